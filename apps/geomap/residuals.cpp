#include "residuals.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli_text.h"
#include "marovia/geobasics/ellipsoids.h"

namespace marovia::geomaptool {

namespace {

// Metres per degree of a great circle on the sphere the map control uses
// for distances (radius 6378000 m).
constexpr double kMetresPerDegree = 6378000.0 * 3.14159265358979323846 / 180.0;

std::string Format(const char* Fmt, auto... Values) {
  char buf[256];
  std::snprintf(buf, sizeof buf, Fmt, Values...);
  return buf;
}

std::string Position(double Lat, double Lon) {
  return Format("%9.5f %c %10.5f %c", std::fabs(Lat), Lat < 0 ? 'S' : 'N', std::fabs(Lon),
                Lon < 0 ? 'W' : 'E');
}

void PrintPointResiduals(std::ostream& Out, const TGeoMap& Map, bool Brief) {
  const TCalibData& cd = Map.CalibData();
  const bool utm = Map.CalibModel() == cmUTM;
  Out << "  points:      " << cd.NumCalQuads;
  if (Brief) {
    const TCalibResidual* worst = nullptr;
    const auto residuals = Map.CalibResiduals();
    for (const TCalibResidual& r : residuals)
      if (r.Valid && (!worst || std::hypot(r.dX, r.dY) > std::hypot(worst->dX, worst->dY))) worst = &r;
    if (worst) {
      Out << Format(", largest residual %.2f px (point %d), %.1f m", std::hypot(worst->dX, worst->dY),
                    worst->Index, worst->DistanceMetres);
    }
    Out << "\n";
    return;
  }
  Out << "\n";
  if (cd.NumCalQuads == 0) return;
  Out << (utm ? "      #     northing     easting      x      y      dx      dy     metres\n"
              : "      #    latitude   longitude      x      y      dx      dy     metres\n");
  for (const TCalibResidual& r : Map.CalibResiduals()) {
    const TCalQuad& q = cd.CalQuads[static_cast<size_t>(r.Index - 1)];
    Out << Format(utm ? "  %5d %12.2f %11.2f %6d %6d" : "  %5d %11.5f %11.5f %6d %6d", r.Index,
                  q.Latitude, q.Longitude, q.MapX, q.MapY);
    if (r.Valid) {
      Out << Format(" %+7.2f %+7.2f %10.1f\n", r.dX, r.dY, r.DistanceMetres);
    } else {
      Out << "   (the model cannot place this point)\n";
    }
  }
}

void PrintLineResiduals(std::ostream& Out, const TGeoMap& Map, bool Brief) {
  const TCalibData& cd = Map.CalibData();
  int meridians = 0, parallels = 0;
  for (int i = 0; i < cd.NumCalLines; ++i)
    (cd.CalLines[static_cast<size_t>(i)].LineType == gtlMeridian ? meridians : parallels)++;
  Out << "  lines:       " << meridians << " meridian(s), " << parallels << " parallel(s)";
  const auto residuals = LineResiduals(Map);
  if (Brief) {
    const TLineResidual* worst = nullptr;
    for (const TLineResidual& r : residuals)
      if (r.Valid && (!worst || r.OffMetres > worst->OffMetres)) worst = &r;
    if (worst) {
      Out << Format(", largest residual %.5f deg (line %d, point %d), %.1f m", std::fabs(worst->OffDegrees),
                    worst->Line, worst->Point, worst->OffMetres);
    }
    Out << "\n";
    return;
  }
  Out << "\n";
  if (residuals.empty()) return;
  Out << "   line  point  kind        value      x      y   off (deg)     metres\n";
  for (const TLineResidual& r : residuals) {
    Out << Format("  %5d %6d  %-8s %10.5f %6d %6d", r.Line, r.Point,
                  r.Kind == gtlMeridian ? "meridian" : "parallel", r.Value, r.X, r.Y);
    if (r.Valid) {
      Out << Format(" %+11.5f %10.1f\n", r.OffDegrees, r.OffMetres);
    } else {
      Out << "   (the model gives no position here)\n";
    }
  }
}

}  // namespace

std::vector<TLineResidual> LineResiduals(const TGeoMap& Map) {
  std::vector<TLineResidual> out;
  if (Map.CalibModel() != cmParabolicIp) return out;
  const TCalibData& cd = Map.CalibData();
  for (int i = 0; i < cd.NumCalLines; ++i) {
    const TCalibLine& line = cd.CalLines[static_cast<size_t>(i)];
    for (int p = 0; p < line.NumPoints; ++p) {
      TLineResidual r;
      r.Line = i + 1;
      r.Point = p + 1;
      r.Kind = line.LineType;
      r.Value = line.LineValue;
      r.X = line.CalPoints[static_cast<size_t>(p)].X;
      r.Y = line.CalPoints[static_cast<size_t>(p)].Y;
      bool latOk = false, lonOk = false;
      const double lat = Map.CalcLatitude(r.X, r.Y, latOk);
      const double lon = Map.CalcLongitude(r.X, r.Y, lonOk);
      if (line.LineType == gtlParallel) {
        r.Valid = latOk && std::isfinite(lat);
        r.OffDegrees = lat - line.LineValue;
        r.OffMetres = std::fabs(r.OffDegrees) * kMetresPerDegree;
      } else {
        // A degree of longitude shrinks with the cosine of the latitude.
        r.Valid = lonOk && latOk && std::isfinite(lon) && std::isfinite(lat);
        r.OffDegrees = lon - line.LineValue;
        r.OffMetres = std::fabs(r.OffDegrees) * kMetresPerDegree *
                      std::cos(lat * 3.14159265358979323846 / 180);
      }
      out.push_back(r);
    }
  }
  return out;
}

void PrintCalibration(std::ostream& Out, TGeoMap& Map, bool Brief) {
  const TCalibData& cd = Map.CalibData();
  const TCalibModel model = Map.CalibModel();
  Out << "  caption:     " << apps::Printable(cd.Caption) << "\n";
  Out << "  model:       " << CalibModelNames[model];
  if (model == cmUTM) {
    Out << ", zone " << cd.UTMZone << (cd.UTMSouth ? " south" : " north");
  }
  const auto ellipsoid = static_cast<size_t>(cd.Ellipsoid);
  Out << ", ellipsoid " << (ellipsoid < GeoEllipsoidCount ? GeoEllipsoidId[ellipsoid] : "?")
      << "\n";
  Out << "  image:       " << apps::Printable(Map.MapImgFile()) << ", " << Map.MapImgWidth()
      << " x " << Map.MapImgHeight() << " pixels\n";
  static const char* const kCorners[] = {"top left    ", "bottom left ", "bottom right",
                                         "top right   "};
  for (int c = 0; c < 4; ++c) {
    Out << (c == 0 ? "  corners:     " : "               ") << kCorners[c] << "  "
        << Position(cd.Corners[static_cast<size_t>(c)].Latit,
                    cd.Corners[static_cast<size_t>(c)].Longit)
        << "\n";
  }
  Out << "  resolution:  " << apps::Fixed(cd.Resolution, 3) << " m per pixel\n";
  if (model == cmParabolicIp) {
    PrintLineResiduals(Out, Map, Brief);
  } else if (model != cmUndefined) {
    double qx = 0, qy = 0;
    Map.CalibQuality(qx, qy);
    Out << "  quality:     " << Format("%.2f", qx) << " px across, " << Format("%.2f", qy)
        << " px down (root mean square)\n";
    PrintPointResiduals(Out, Map, Brief);
  }
}

}  // namespace marovia::geomaptool
