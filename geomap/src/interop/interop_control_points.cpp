// .points control-point lists: import into the model their CRS and points
// call for, export of the calibration points (see control_points.h).
#include <cmath>
#include <memory>

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

struct TFrameAndProjection {
  TPointFrame Frame;
  std::unique_ptr<TCrsProjection> Projection;  // pfProjected and pfUtm
};

TFrameAndProjection FrameOf(const std::string& Crs, const std::string& Where) {
  const TCrsInfo info = ClassifyCrs(Crs, Where);
  if (info.Kind == ckOtherGeographic)
    throw EZYLGeoMapError(Where +
                          ": latitude/longitude on a datum other than WGS 84 is not supported");
  TFrameAndProjection f;
  f.Frame.Kind = info.Kind == ckGeographicWgs84 ? TPointFrame::pfGeographic
                 : info.Kind == ckUtmWgs84      ? TPointFrame::pfUtm
                                                : TPointFrame::pfProjected;
  f.Frame.Zone = info.Zone;
  f.Frame.South = info.South;
  f.Frame.Crs = Crs;
  if (f.Frame.Kind != TPointFrame::pfGeographic)
    f.Projection = std::make_unique<TCrsProjection>(Crs);
  return f;
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
  TFrameAndProjection f = FrameOf(crs, FileName);
  std::vector<TGroundPoint> points;
  for (const TRow& r : rows) {
    TGroundPoint p;
    p.X = r.X;
    p.Y = r.Y;
    p.Easting = r.MapX;
    p.Northing = r.MapY;
    if (f.Frame.Kind == TPointFrame::pfGeographic) {
      if (!(std::fabs(r.MapY) <= 90)) FailAt(FileName, r.Line, "the latitude is outside -90..90");
      p.Lon = r.MapX;
      p.Lat = r.MapY;
    } else if (!f.Projection->Inverse(r.MapX, r.MapY, p.Lat, p.Lon)) {
      FailAt(FileName, r.Line, "the point lies outside the CRS");
    }
    points.push_back(p);
  }
  return TImportedMap{CalibrationFromPoints(points, f.Frame, Width, Height, FileName), ""};
}

TImportedMap ImportControlPoints(const std::string& FileName, const std::string& ImageName,
                                 const std::string& CrsText) {
  const std::string image = ImageName.empty() ? ChangeFileExt(FileName, "") : ImageName;
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
    } else if (projection && !projection->Forward(p.Lat, p.Lon, x, y)) {
      continue;
    }
    text += FormatNumber(x) + "," + FormatNumber(y) + "," + FormatNumber(p.X) + "," +
            FormatNumber(p.Y == 0 ? 0.0 : -p.Y) + ",1,0,0,0\n";
  }
  WriteFileReplacing(FileName, text);
}

}  // namespace marovia
