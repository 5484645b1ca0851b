// The GDAL virtual raster with the calibration's ground control points (see
// vrt_export.h).
#include <algorithm>
#include <filesystem>
#include <memory>

#include "calibration/crs_projection.h"
#include "interop/interop_crs.h"
#include "interop/interop_support.h"
#include "interop/read_back.h"
#include "marovia/geomap/vrt_export.h"

namespace marovia {

using namespace interop;

namespace {

// The image as the .vrt names it: relative to its folder when below it.
std::pair<std::string, bool> SourceName(const std::string& Vrt, const std::string& Image) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder = fs::absolute(fs::path(Vrt), ec).parent_path();
  const fs::path image = fs::absolute(fs::path(Image), ec);
  const fs::path relative = image.lexically_relative(folder);
  if (!relative.empty() && relative.begin()->string() != "..")
    return {relative.generic_string(), true};
  return {image.generic_string(), false};
}

}  // namespace

TReadBackError ExportVrt(const TMapCalibration& Cal, const std::string& FileName,
                         const std::string& ImageName, int GridN, int Bands) {
  if (!Cal.Converts())
    throw EZYLGeoMapError(FileName + ": the calibration is not fitted; nothing to write");
  std::vector<TGroundPoint> points = Cal.Model() == cmThinPlate
                                         ? CalibrationPoints(Cal)
                                         : SampleGrid(Cal, std::clamp(GridN, 2, 50));
  std::string crs = "EPSG:4326";
  std::unique_ptr<TCrsProjection> projection;
  if (Cal.Model() == cmUTM) {
    std::string why;
    if (const auto a = AffineGeoref(Cal, why)) crs = a->Crs;
  } else if (Cal.Model() == cmProjected) {
    crs = Cal.Data().CrsText;
    projection = std::make_unique<TCrsProjection>(crs);
  }
  bool latFirst = false;
  const std::string wkt = CrsAsWkt(crs, FileName, latFirst);
  std::string x = "<VRTDataset rasterXSize=\"" + std::to_string(Cal.ImageWidth()) +
                  "\" rasterYSize=\"" + std::to_string(Cal.ImageHeight()) + "\">\n";
  x += "  <GCPList Projection=\"" + EscapeXMLValue(wkt) + "\" dataAxisToSRSAxisMapping=\"" +
       (latFirst ? "2,1" : "1,2") + "\">\n";
  int id = 0;
  for (const TGroundPoint& p : points) {
    double gx = p.Lon, gy = p.Lat;
    if (Cal.Model() == cmUTM) {
      gx = p.Easting;
      gy = p.Northing;
    } else if (projection) {
      // GCPs are in the CRS's own units.
      if (!projection->Forward(p.Lat, p.Lon, gx, gy)) continue;
      gx /= projection->MetresPerUnit();
      gy /= projection->MetresPerUnit();
    }
    x += "    <GCP Id=\"" + std::to_string(++id) + "\" Pixel=\"" + FormatNumber(p.X) +
         "\" Line=\"" + FormatNumber(p.Y) + "\" X=\"" + FormatNumber(gx) + "\" Y=\"" +
         FormatNumber(gy) + "\" Z=\"0\"/>\n";
  }
  if (id < 3) throw EZYLGeoMapError(FileName + ": the calibration converts too few pixels");
  // What GDAL's readers see through these points by default.
  std::unique_ptr<TCrsProjection> frame;
  if (crs != "EPSG:4326") frame = std::make_unique<TCrsProjection>(crs);
  TReadBackError readBack = PolynomialReadBack(Cal, points, frame.get(), crs.substr(0, 40));
  if (Cal.Model() == cmThinPlate) readBack.How += " (a thin-plate reader of them is exact)";
  x += "  </GCPList>\n";
  const auto [source, relative] = SourceName(FileName, ImageName);
  static const char* const kColours[] = {"Red", "Green", "Blue", "Alpha"};
  Bands = std::clamp(Bands, 1, 4);
  for (int b = 1; b <= Bands; ++b) {
    x += "  <VRTRasterBand dataType=\"Byte\" band=\"" + std::to_string(b) + "\">\n";
    x += std::string("    <ColorInterp>") + (Bands == 1 ? "Gray" : kColours[b - 1]) +
         "</ColorInterp>\n";
    x += "    <SimpleSource>\n      <SourceFilename relativeToVRT=\"" +
         std::string(relative ? "1" : "0") + "\">" + EscapeXMLValue(source) + "</SourceFilename>\n";
    x += "      <SourceBand>" + std::to_string(b) + "</SourceBand>\n    </SimpleSource>\n";
    x += "  </VRTRasterBand>\n";
  }
  x += "</VRTDataset>\n";
  WriteFileReplacing(FileName, x);
  return readBack;
}

}  // namespace marovia
