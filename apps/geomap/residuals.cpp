#include "residuals.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <ostream>

#include "cli_text.h"
#include "marovia/geobasics/ellipsoids.h"
#include "marovia/platform/strutils.h"

namespace marovia::geomaptool {

namespace {

// Metres per degree of a great circle on the sphere the map control uses
// for distances (radius 6378000 m).
constexpr double kMetresPerDegree = kDistanceSphereRadius * std::numbers::pi / 180.0;

std::string Format(const char* Fmt, auto... Values) {
  char buf[256];
  std::snprintf(buf, sizeof buf, Fmt, Values...);
  return buf;
}

// A pixel coordinate of a control point: whole pixels as ever, a position
// between pixels with two decimals.
std::string PixelText(double V) {
  return V == std::floor(V) && std::fabs(V) < 1e9 ? Format("%6d", static_cast<int>(V))
                                                  : Format("%9.2f", V);
}

// A residual of a few thousandths is no sign: "+0.00", never "-0.00".
double Tidy(double V, double Unit) {
  return std::fabs(V) < Unit / 2 ? 0.0 : V;
}

std::string Position(double Lat, double Lon) {
  return Format("%9.5f %c %10.5f %c", std::fabs(Lat), Lat < 0 ? 'S' : 'N', std::fabs(Lon),
                Lon < 0 ? 'W' : 'E');
}

void PrintPointResiduals(std::ostream& Out, const TMapCalibration& Cal, bool Brief) {
  const bool utm = Cal.Model() == cmUTM;
  // The points the fit used: the record's, or the full-precision ones that
  // stand for it, which may be more than the record holds and lie between
  // pixels.
  const std::vector<TControlPoint> points = Cal.ControlPoints();
  Out << "  points:      " << points.size();
  if (Brief) {
    const TCalibResidual* worst = nullptr;
    const auto residuals = Cal.Residuals();
    for (const TCalibResidual& r : residuals)
      if (r.Valid && (!worst || std::hypot(r.dX, r.dY) > std::hypot(worst->dX, worst->dY)))
        worst = &r;
    if (worst) {
      Out << Format(", largest residual %.2f px (point %d), %.1f m",
                    std::hypot(worst->dX, worst->dY), worst->Index, worst->DistanceMetres);
    }
    Out << "\n";
    return;
  }
  Out << "\n";
  if (points.empty()) return;
  // Beside each residual, the point's residual under the fit of the other
  // points: what a point would miss by had it not pulled the fit its way.
  Out << (utm ? "      #     northing     easting      x      y      dx      dy     metres"
              : "      #    latitude   longitude      x      y      dx      dy     metres")
      << "   left out: dx      dy     metres\n";
  const auto loo = Cal.LeaveOneOutResiduals();
  for (const TCalibResidual& r : Cal.Residuals()) {
    const TControlPoint& q = points[static_cast<size_t>(r.Index - 1)];
    Out << Format(utm ? "  %5d %12.2f %11.2f " : "  %5d %11.5f %11.5f ", r.Index, q.LatOrNorthing,
                  q.LongOrEasting)
        << PixelText(q.X) << " " << PixelText(q.Y);
    if (r.Valid) {
      Out << Format(" %+7.2f %+7.2f %10.1f", Tidy(r.dX, 0.01), Tidy(r.dY, 0.01), r.DistanceMetres);
    } else {
      Out << "   (the model cannot place this point)";
    }
    const TCalibResidual& l = loo[static_cast<size_t>(r.Index - 1)];
    if (l.Valid) {
      Out << Format("        %+9.2f %+7.2f %10.1f\n", Tidy(l.dX, 0.01), Tidy(l.dY, 0.01),
                    l.DistanceMetres);
    } else {
      Out << "        (too few other points)\n";
    }
  }
}

void PrintLineResiduals(std::ostream& Out, const TMapCalibration& Cal, bool Brief) {
  const TCalibData& cd = Cal.Data();
  int meridians = 0, parallels = 0;
  for (int i = 0; i < cd.NumCalLines; ++i)
    (cd.CalLines[static_cast<size_t>(i)].LineType == gtlMeridian ? meridians : parallels)++;
  Out << "  lines:       " << meridians << " meridian(s), " << parallels << " parallel(s)";
  const auto residuals = LineResiduals(Cal);
  if (Brief) {
    const TLineResidual* worst = nullptr;
    for (const TLineResidual& r : residuals)
      if (r.Valid && (!worst || r.OffMetres > worst->OffMetres)) worst = &r;
    if (worst) {
      Out << Format(", largest residual %.5f deg (line %d, point %d), %.1f m",
                    std::fabs(worst->OffDegrees), worst->Line, worst->Point, worst->OffMetres);
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
      Out << Format(" %+11.5f %10.1f\n", Tidy(r.OffDegrees, 1e-5), r.OffMetres);
    } else {
      Out << "   (the model gives no position here)\n";
    }
  }
}

}  // namespace

std::vector<TLineResidual> LineResiduals(const TMapCalibration& Cal) {
  std::vector<TLineResidual> out;
  if (Cal.Model() != cmParabolicIp) return out;
  const TCalibData& cd = Cal.Data();
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
      const TPixelPosition at = Cal.PixelToGeo(r.X, r.Y);
      const bool latOk = at.LatValid, lonOk = at.LongValid;
      const double lat = at.Latit, lon = at.Longit;
      if (line.LineType == gtlParallel) {
        r.Valid = latOk && std::isfinite(lat);
        r.OffDegrees = lat - line.LineValue;
        r.OffMetres = std::fabs(r.OffDegrees) * kMetresPerDegree;
      } else {
        // A degree of longitude shrinks with the cosine of the latitude.
        r.Valid = lonOk && latOk && std::isfinite(lon) && std::isfinite(lat);
        r.OffDegrees = lon - line.LineValue;
        r.OffMetres =
            std::fabs(r.OffDegrees) * kMetresPerDegree * std::cos(lat * std::numbers::pi / 180);
      }
      out.push_back(r);
    }
  }
  return out;
}

void PrintCalibration(std::ostream& Out, const TMapCalibration& Calibration,
                      const std::string& ImageName, bool Brief) {
  TMapCalibration cal = Calibration;
  const TCalibData cd = cal.Data();
  const TCalibModel model = cal.Model();
  Out << "  caption:     " << apps::Printable(cd.Caption) << "\n";
  Out << "  model:       " << CalibModelNames[model];
  if (model == cmUTM) {
    Out << ", zone " << cd.UTMZone << (cd.UTMSouth ? " south" : " north");
  } else if (model == cmProjected) {
    Out << (cd.PolyOrder == 2 ? ", second order" : ", affine");
  } else if (model == cmThinPlate) {
    Out << ", smoothing " << apps::Printable(FloatToStr(cd.Smoothing));
  }
  const auto ellipsoid = static_cast<size_t>(cd.Ellipsoid);
  Out << ", ellipsoid " << (ellipsoid < GeoEllipsoidCount ? GeoEllipsoidId[ellipsoid] : "?")
      << "\n";
  if (model == cmProjected) Out << "  crs:         " << apps::Printable(cd.CrsText) << "\n";
  Out << "  image:       " << apps::Printable(ImageName) << ", " << cal.ImageWidth() << " x "
      << cal.ImageHeight() << " pixels\n";
  // A calibration file stores corners and a resolution; loading it does not
  // recompute them. Where the fitted model disagrees, both are shown.
  const TCornerArray stored = cd.Corners;
  const double storedResolution = cd.Resolution;
  cal.CalcExtentsAndResolution();
  const TCornerArray& fitted = cal.Data().Corners;
  bool same = std::fabs(storedResolution - cal.Data().Resolution) < 5e-4;
  for (size_t c = 0; c < 4; ++c) {
    same = same && std::fabs(stored[c].Latit - fitted[c].Latit) < 5e-6 &&
           std::fabs(stored[c].Longit - fitted[c].Longit) < 5e-6;
  }
  static const char* const kCorners[] = {"top left    ", "bottom left ", "bottom right",
                                         "top right   "};
  if (!same)
    Out << "  corners:     " << std::string(14, ' ')
        << "stored                   by the fitted model\n";
  for (size_t c = 0; c < 4; ++c) {
    Out << (c == 0 && same ? "  corners:     " : "               ") << kCorners[c] << "  "
        << Position(stored[c].Latit, stored[c].Longit);
    if (!same) Out << "   " << Position(fitted[c].Latit, fitted[c].Longit);
    Out << "\n";
  }
  Out << "  resolution:  " << apps::Fixed(storedResolution, 3) << " m per pixel";
  if (!same) Out << " (by the fitted model " << apps::Fixed(cal.Data().Resolution, 3) << ")";
  Out << "\n";
  if (model == cmParabolicIp) {
    PrintLineResiduals(Out, cal, Brief);
  } else if (model != cmUndefined) {
    // The control's quality figures compare whole pixels; the residuals
    // below are exact, and so is their root mean square.
    double qx = 0, qy = 0;
    cal.CalibQuality(qx, qy);
    double sum = 0;
    int n = 0;
    for (const TCalibResidual& r : cal.Residuals()) {
      if (!r.Valid) continue;
      sum += r.dX * r.dX + r.dY * r.dY;
      ++n;
    }
    // Said as what it measures: how far the clicked points lie from where
    // the fitted calibration puts them.
    Out << "  fit:         the points lie " << Format("%.2f", n ? std::sqrt(sum / n) : 0.0)
        << " px from where the fitted model puts them (root mean square; in whole pixels "
        << Format("%.2f", qx) << " px across, " << Format("%.2f", qy) << " px down)\n";
    PrintPointResiduals(Out, cal, Brief);
  }
}

}  // namespace marovia::geomaptool
