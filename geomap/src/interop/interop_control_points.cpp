// .points control-point lists: import into the model their CRS and points
// call for, export of the calibration points (see control_points.h).
#include <cmath>

#include "calibration/crs_projection.h"
#include "interop/interop_crs.h"
#include "interop/interop_support.h"
#include "marovia/geomap/control_points.h"
#include "marovia/platform/files.h"

namespace marovia {

using namespace interop;

namespace {

constexpr std::string_view kCrsPrefix = "#CRS:";
constexpr std::string_view kHeader = "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual";

// The image of a list: georeferencers name it "X.jpg.points" beside
// "X.jpg", or "X.points"; the second is matched with the image extensions.
std::string ImageOfPointsFile(const std::string& FileName) {
  const std::string stem = ChangeFileExt(FileName, "");
  if (FileExists(stem)) return stem;
  static const char* const kExtensions[] = {".tif", ".tiff", ".png", ".jpg",  ".jpeg",
                                            ".bmp", ".gif",  ".cog", ".gtiff"};
  std::string tried = ExtractFileName(stem);
  for (const char* ext : kExtensions)
    for (const std::string& e : {std::string(ext), UpperCase(ext)}) {
      if (FileExists(stem + e)) return stem + e;
    }
  for (const char* ext : kExtensions) tried += ", " + ExtractFileName(stem) + ext;
  throw EZYLGeoMapError(FileName + ": no image beside the list (looked for " + tried +
                        ", each also in upper case)");
}

}  // namespace

TImportedMap ParseControlPoints(std::string_view Bytes, const std::string& FileName, int32_t Width,
                                int32_t Height, const std::string& CrsText) {
  const std::vector<std::string> lines = SplitLines(Bytes, FileName);
  std::string crs = CrsText;
  struct TRow {
    std::size_t Line;
    double MapX, MapY, X, Y;
  };
  std::vector<TRow> rows;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.empty()) continue;
    if (line.substr(0, kCrsPrefix.size()) == kCrsPrefix) {
      if (CrsText.empty()) crs = std::string(Trim(line.substr(kCrsPrefix.size())));
      continue;
    }
    if (line.front() == '#' || LowerCase(line.substr(0, 4)) == "mapx") continue;
    const std::vector<std::string> f = SplitFields(line);
    if (f.size() < 4)
      FailAt(FileName, i + 1, "a point has at least 4 fields (mapX,mapY,sourceX,sourceY)");
    double v[4];
    static const char* const kNames[] = {"mapX", "mapY", "sourceX", "sourceY"};
    for (int k = 0; k < 4; ++k) {
      const auto n = ParseNumber(f[static_cast<std::size_t>(k)]);
      if (!n) FailAt(FileName, i + 1, std::string(kNames[k]) + " is not a number");
      v[k] = *n;
    }
    if (f.size() >= 5 && Trim(f[4]) == "0") continue;  // disabled
    rows.push_back({i + 1, v[0], v[1], v[2], -v[3]});
  }
  if (crs.empty())
    throw EZYLGeoMapError(FileName + ": the list names no CRS (no #CRS line) and none was given");
  ClassifyCrs(crs, FileName);  // an unknown CRS is refused as such, not by a point's line
  std::vector<TCrsPoint> positions;
  for (const TRow& r : rows) positions.push_back({r.X, r.Y, r.MapX, r.MapY});
  TPointFrame frame;
  std::vector<TGroundPoint> points;
  try {
    points = GroundPointsInCrs(positions, crs, FileName, frame);
  } catch (const EZYLGeoMapError&) {
    // The line of the first point that cannot be placed, when one cannot.
    for (const TRow& r : rows) {
      TPointFrame f;
      try {
        GroundPointsInCrs({{r.X, r.Y, r.MapX, r.MapY}}, crs, FileName, f);
      } catch (const EZYLGeoMapError&) {
        FailAt(FileName, r.Line, "the point lies outside its CRS");
      }
    }
    throw;
  }
  return TImportedMap{CalibrationFromPoints(points, frame, Width, Height, FileName), ""};
}

TImportedMap ImportControlPoints(const std::string& FileName, const std::string& ImageName,
                                 const std::string& CrsText) {
  const std::string image = ImageName.empty() ? ImageOfPointsFile(FileName) : ImageName;
  std::string bytes;
  for (const std::string& line : ReadLines(FileName)) bytes += line + "\n";
  int32_t width = 0, height = 0;
  ImageSize(image, FileName, width, height);
  TImportedMap result = ParseControlPoints(bytes, FileName, width, height, CrsText);
  result.ImageName = image;
  result.Calibration.Data().MapFName = ExtractFileName(image);
  result.Calibration.Data().Caption = ExtractFileName(ChangeFileExt(image, ""));
  return result;
}

void ExportControlPoints(const TMapCalibration& Cal, const std::string& FileName, int GridN) {
  if (!Cal.Converts())
    throw EZYLGeoMapError(FileName + ": the calibration is not fitted; nothing to write");
  const bool pointModel = Cal.Model() != cmParabolicIp && Cal.Model() != cmUndefined;
  std::vector<TGroundPoint> points =
      pointModel && Cal.Data().NumCalQuads >= 3 ? CalibrationPoints(Cal) : SampleGrid(Cal, GridN);
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
  std::string text = std::string(kCrsPrefix) + " " + CrsAsWkt(crs, FileName, latFirst) + "\n";
  text += std::string(kHeader) + "\n";
  for (const TGroundPoint& p : points) {
    double x = p.Lon, y = p.Lat;
    if (Cal.Model() == cmUTM) {
      x = p.Easting;
      y = p.Northing;
    } else if (projection) {
      // The list holds the CRS's own units.
      if (!projection->Forward(p.Lat, p.Lon, x, y)) continue;
      x /= projection->MetresPerUnit();
      y /= projection->MetresPerUnit();
    }
    text += FormatNumber(x) + "," + FormatNumber(y) + "," + FormatNumber(p.X) + "," +
            FormatNumber(p.Y == 0 ? 0.0 : -p.Y) + ",1,0,0,0\n";
  }
  WriteFileReplacing(FileName, text);
}

}  // namespace marovia
