// The shared parts of the map exchange formats (see interop_support.h).
#include "interop/interop_support.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "calibration/crs_projection.h"
#include "calibration/proj_support.h"
#include "files/replace_file.h"
#include "interop/interop_crs.h"
#include "marovia/geobasics/utm.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia::interop {

std::vector<std::string> SplitLines(std::string_view Bytes, const std::string& Name) {
  if (Bytes.size() > kMaxExchangeFileBytes)
    throw EZYLGeoMapError(Name + ": longer than " + std::to_string(kMaxExchangeFileBytes) +
                          " bytes, not a map exchange file");
  if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
  std::vector<std::string> lines;
  while (!Bytes.empty()) {
    const std::size_t end = Bytes.find('\n');
    std::string_view line = Bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    Bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string> ReadLines(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EInOutError(FileName, "cannot open the file for reading");
  std::string bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxExchangeFileBytes) break;
  }
  if (in.bad()) throw EInOutError(FileName, "read error");
  return SplitLines(bytes, FileName);
}

void FailAt(const std::string& FileName, std::size_t Line, const std::string& Text) {
  throw EZYLGeoMapError(FileName + (Line > 0 ? ":" + std::to_string(Line) : std::string()) + ": " +
                        Text);
}

std::optional<double> ParseNumber(std::string_view Text) {
  const std::string trimmed = Trim(Text);
  Text = trimmed;
  if (!Text.empty() && Text.front() == '+') Text.remove_prefix(1);
  if (Text.empty()) return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
  if (ec != std::errc() || end != Text.data() + Text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::vector<std::string> SplitFields(std::string_view Line, char Separator) {
  std::vector<std::string> fields;
  for (;;) {
    const std::size_t at = Line.find(Separator);
    fields.push_back(Trim(Line.substr(0, at)));
    if (at == std::string_view::npos) return fields;
    Line.remove_prefix(at + 1);
  }
}

std::string FormatNumber(double Value) {
  // Plain decimals where they stay short (coordinates, metres), the
  // exponent form only for the very small and very large.
  char buffer[400];
  const double a = std::fabs(Value);
  const auto format =
      a == 0 || (a >= 1e-4 && a < 1e16) ? std::chars_format::fixed : std::chars_format::general;
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, Value, format);
  return std::string(buffer, r.ptr);
}

void WriteFileReplacing(const std::string& Target, std::string_view Bytes) {
  ReplaceFileContents(Target, [&](TTextFile& file) { file.Write(Bytes); });
}

namespace {

std::string UtmCrs(int Zone, bool South, TGeoEllipsoid Ellipsoid) {
  if (Ellipsoid == gelWGS84) return "EPSG:" + std::to_string((South ? 32700 : 32600) + Zone);
  const TGeoEllipsoidData& e = GeoEllipsoidData[static_cast<int>(Ellipsoid)];
  return "+proj=utm +zone=" + std::to_string(Zone) + (South ? " +south" : "") +
         " +a=" + FormatNumber(e.MajorAxis) + " +b=" + FormatNumber(e.MinorAxis) +
         " +units=m +no_defs";
}

double MaxResidual(const TMapCalibration& Cal) {
  double worst = 0;
  for (const TCalibResidual& r : Cal.Residuals()) {
    if (!r.Valid) return std::numeric_limits<double>::infinity();
    worst = std::max(worst, std::hypot(r.dX, r.dY));
  }
  return worst;
}

}  // namespace

std::optional<TAffineGeoref> AffineGeoref(const TMapCalibration& Cal, std::string& Why) {
  const std::string name(CalibModelNames[static_cast<std::size_t>(Cal.Model())]);
  if (!Cal.Converts()) {
    Why = "the calibration (model " + name + ") is not fitted";
    return std::nullopt;
  }
  TAffineGeoref a;
  const auto& rows = Cal.EquRectPLSP();
  switch (Cal.Model()) {
    case cmEquiRect:  // row 0 latitude, row 1 longitude
      a.G = {rows[1][0], rows[1][1], rows[1][2], rows[0][0], rows[0][1], rows[0][2]};
      a.Crs = "EPSG:4326";
      a.Geographic = true;
      return a;
    case cmUTM:  // row 0 northing, row 1 easting
      if (Cal.Data().UTMZone < 1 || Cal.Data().UTMZone > 60) break;
      a.G = {rows[1][0], rows[1][1], rows[1][2], rows[0][0], rows[0][1], rows[0][2]};
      a.Crs = UtmCrs(Cal.Data().UTMZone, Cal.Data().UTMSouth, Cal.Data().Ellipsoid);
      return a;
    case cmProjected: {
      if (Cal.Data().PolyOrder != 1) {
        Why = "the model projected of order 2 is not affine";
        return std::nullopt;
      }
      // The affine rows are read back through the model: three pixels a
      // long way apart, each to WGS 84 and forward into the CRS again.
      const TCrsProjection crs(Cal.Data().CrsText);
      constexpr double kBase = 1024;
      const double px[3] = {0, kBase, 0}, py[3] = {0, 0, kBase};
      double e[3], n[3];
      for (int i = 0; i < 3; ++i) {
        const TPixelPosition p = Cal.PixelToGeo(px[i], py[i]);
        if (!p.Valid() || !crs.Forward(p.Latit, p.Longit, e[i], n[i])) {
          Why = "the projected model does not convert the image's corner";
          return std::nullopt;
        }
      }
      // In the CRS's own units, as the files that carry it hold them.
      const double m = crs.MetresPerUnit();
      for (int i = 0; i < 3; ++i) e[i] /= m, n[i] /= m;
      a.G = {e[0], (e[1] - e[0]) / kBase, (e[2] - e[0]) / kBase,
             n[0], (n[1] - n[0]) / kBase, (n[2] - n[0]) / kBase};
      a.Crs = Cal.Data().CrsText;
      return a;
    }
    default:
      break;
  }
  Why = "the model " + name + " is not affine";
  return std::nullopt;
}

TMapCalibration FittedModel(TCalibModel Model, const std::vector<TGroundPoint>& Points,
                            const TPointFrame& Frame, int Order, int32_t Width, int32_t Height,
                            const std::string& Where) {
  TCalibData d;
  const bool metres = Model == cmUTM;
  std::vector<TControlPoint> points;
  points.reserve(Points.size());
  for (const TGroundPoint& p : Points)
    points.push_back({p.X, p.Y, metres ? p.Northing : p.Lat, metres ? p.Easting : p.Lon});
  if (Model == cmUTM) {
    d.UTMZone = Frame.Zone;
    d.UTMSouth = Frame.South;
  }
  if (Model == cmProjected) {
    d.CrsText =
        Frame.Kind == TPointFrame::pfUtm ? UtmCrs(Frame.Zone, Frame.South, gelWGS84) : Frame.Crs;
    d.PolyOrder = Order;
  }
  TMapCalibration cal(Model, d, Width, Height);
  try {
    cal.SetControlPoints(std::move(points));
    cal.Fit();
  } catch (const EZYLGeoMapError& e) {
    throw EZYLGeoMapError(Where + ": " + e.what());
  }
  return cal;
}

TMapCalibration CalibrationFromPoints(const std::vector<TGroundPoint>& Points,
                                      const TPointFrame& Frame, int32_t Width, int32_t Height,
                                      const std::string& Where, double FitsWithin) {
  const std::size_t n = Points.size();
  if (n < 3)
    throw EZYLGeoMapError(Where + ": " + std::to_string(n) +
                          " control point(s); a calibration needs at least 3");
  const TCalibModel affine = Frame.Kind == TPointFrame::pfGeographic ? cmEquiRect
                             : Frame.Kind == TPointFrame::pfUtm      ? cmUTM
                                                                     : cmProjected;
  TMapCalibration cal = FittedModel(affine, Points, Frame, 1, Width, Height, Where);
  if (cal.Converts() && (n < 6 || MaxResidual(cal) <= FitsWithin)) return cal;
  if (n >= 6) {
    const TCalibModel second =
        Frame.Kind == TPointFrame::pfGeographic ? cmBiquadraticPn : cmProjected;
    cal = FittedModel(second, Points, Frame, 2, Width, Height, Where);
    if (cal.Converts() && MaxResidual(cal) <= FitsWithin) return cal;
  }
  cal = FittedModel(cmThinPlate, Points, Frame, 1, Width, Height, Where);
  if (cal.Converts()) return cal;
  throw EZYLGeoMapError(Where + ": the control points determine no calibration" +
                        (cal.FitMessage().empty() ? "" : ": " + cal.FitMessage()));
}

TMapCalibration CalibrationByCount(const std::vector<TGroundPoint>& Points,
                                   const TPointFrame& Frame, int32_t Width, int32_t Height,
                                   const std::string& Where) {
  const std::size_t n = Points.size();
  if (n < 3)
    throw EZYLGeoMapError(Where + ": " + std::to_string(n) +
                          " control point(s); a calibration needs at least 3");
  const bool geographic = Frame.Kind == TPointFrame::pfGeographic;
  TCalibModel model = cmThinPlate;
  int order = 1;
  if (n < 6) {
    model = geographic ? cmEquiRect : Frame.Kind == TPointFrame::pfUtm ? cmUTM : cmProjected;
  } else if (n < 10) {
    model = geographic ? cmBiquadraticPn : cmProjected;
    order = 2;
  }
  TMapCalibration cal = FittedModel(model, Points, Frame, order, Width, Height, Where);
  if (!cal.Converts())
    throw EZYLGeoMapError(Where + ": the control points determine no calibration" +
                          (cal.FitMessage().empty() ? "" : ": " + cal.FitMessage()));
  return cal;
}

std::vector<TGroundPoint> GroundPointsInCrs(const std::vector<TCrsPoint>& Points,
                                            const std::string& Crs, const std::string& Where,
                                            TPointFrame& Frame) {
  const TCrsInfo info = ClassifyCrs(Crs, Where);
  Frame = TPointFrame{};
  Frame.Kind = info.Kind == ckUtmWgs84    ? TPointFrame::pfUtm
               : info.Kind == ckProjected ? TPointFrame::pfProjected
                                          : TPointFrame::pfGeographic;
  Frame.Zone = info.Zone;
  Frame.South = info.South;
  Frame.Crs = Crs;
  const TSilentProjContext ctx;
  TPjPtr toWgs84;
  if (info.Kind != ckGeographicWgs84) {
    toWgs84 = NormalisedCrsToCrs(ctx.get(), Crs, "EPSG:4326");
    if (!toWgs84)
      throw EZYLGeoMapError(Where + ": PROJ knows no transformation from the CRS \"" +
                            Crs.substr(0, 80) + "\" to WGS 84");
  }
  std::vector<TGroundPoint> out;
  out.reserve(Points.size());
  for (const TCrsPoint& c : Points) {
    TGroundPoint p;
    p.X = c.X;
    p.Y = c.Y;
    p.Easting = c.E;
    p.Northing = c.N;
    p.Lon = c.E;
    p.Lat = c.N;
    if (toWgs84) {
      const PJ_COORD r = proj_trans(toWgs84.get(), PJ_FWD, proj_coord(c.E, c.N, 0, 0));
      p.Lon = r.xy.x;
      p.Lat = r.xy.y;
    }
    if (!std::isfinite(p.Lat) || !std::isfinite(p.Lon) || !(std::fabs(p.Lat) <= 90))
      throw EZYLGeoMapError(Where + ": the position " + FormatNumber(c.E) + ", " +
                            FormatNumber(c.N) + " lies outside its CRS");
    out.push_back(p);
  }
  return out;
}

TMapCalibration CalibrationFromGeotransform(const std::array<double, 6>& G, const std::string& Crs,
                                            int32_t Width, int32_t Height,
                                            const std::string& Where) {
  // Exact for an affine model; a datum shift or other units bend the
  // transform in WGS 84 a little, which the grid shows to the fit.
  constexpr int kGrid = 5;
  std::vector<TCrsPoint> grid;
  for (int j = 0; j < kGrid; ++j)
    for (int i = 0; i < kGrid; ++i) {
      TCrsPoint c;
      c.X = std::round(double(Width) * i / (kGrid - 1));
      c.Y = std::round(double(Height) * j / (kGrid - 1));
      c.E = G[0] + G[1] * c.X + G[2] * c.Y;
      c.N = G[3] + G[4] * c.X + G[5] * c.Y;
      grid.push_back(c);
    }
  TPointFrame frame;
  const std::vector<TGroundPoint> points = GroundPointsInCrs(grid, Crs, Where, frame);
  return CalibrationFromPoints(points, frame, Width, Height, Where, 0.01);
}

std::vector<TGroundPoint> SampleGrid(const TMapCalibration& Cal, int N) {
  N = std::max(N, 2);
  std::vector<TGroundPoint> points;
  const auto& rows = Cal.EquRectPLSP();
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) {
      TGroundPoint p;
      p.X = std::round(static_cast<double>(Cal.ImageWidth()) * i / (N - 1));
      p.Y = std::round(static_cast<double>(Cal.ImageHeight()) * j / (N - 1));
      const TPixelPosition g = Cal.PixelToGeo(p.X, p.Y);
      if (!g.Valid()) continue;
      p.Lat = g.Latit;
      p.Lon = g.Longit;
      if (Cal.Model() == cmUTM) {
        p.Northing = rows[0][0] + rows[0][1] * p.X + rows[0][2] * p.Y;
        p.Easting = rows[1][0] + rows[1][1] * p.X + rows[1][2] * p.Y;
      }
      points.push_back(p);
    }
  }
  return points;
}

std::vector<TGroundPoint> CalibrationPoints(const TMapCalibration& Cal) {
  const TCalibData& d = Cal.Data();
  std::vector<TGroundPoint> points;
  for (const TControlPoint& c : Cal.ControlPoints()) {
    TGroundPoint p;
    p.X = c.X;
    p.Y = c.Y;
    if (Cal.Model() == cmUTM) {
      p.Northing = c.LatOrNorthing;
      p.Easting = c.LongOrEasting;
      UTMToLatLong(c.LongOrEasting, c.LatOrNorthing, d.UTMZone, d.UTMSouth, d.Ellipsoid, p.Lat,
                   p.Lon);
    } else {
      p.Lat = c.LatOrNorthing;
      p.Lon = c.LongOrEasting;
    }
    points.push_back(p);
  }
  return points;
}

void ImageSize(const std::string& ImageName, const std::string& Where, int32_t& Width,
               int32_t& Height) {
  int64_t w = 0, h = 0;
  bool known = false;
  try {
    known = ReadImageDimensions(ImageName, w, h);
  } catch (const EInOutError&) {
    throw EZYLGeoMapError(Where + ": the map image " + ImageName + " cannot be read");
  }
  if (!known || w <= 0 || h <= 0 || w > std::numeric_limits<int32_t>::max() ||
      h > std::numeric_limits<int32_t>::max())
    throw EZYLGeoMapError(Where + ": the size of the map image " + ImageName +
                          " is not known (an image format this library reads?)");
  Width = static_cast<int32_t>(w);
  Height = static_cast<int32_t>(h);
}

}  // namespace marovia::interop
