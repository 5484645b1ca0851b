// The live position over the map: the track so far, the accuracy circle,
// the marker. Positions go through the calibration (a batch for the track)
// and the view's one image-to-view mapping, like every other overlay.
//
// Sizes on the image: the accuracy radius and the course's direction are
// measured on the map itself, by converting points a known distance north
// and east of the position, so a map that is rotated, skewed or not north
// up shows them as they lie on it.
#include <cmath>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/position_layer.h"
#include "render/map_view.h"

namespace marovia {

using render::TMapView;

namespace {

constexpr double kPi = 3.14159265358979323846;
// Metres per degree of latitude, and the step used to measure the map's
// local scale and orientation around the position.
constexpr double kMetresPerDegree = 111320.0;
constexpr double kProbeMetres = 50.0;

struct TLocalFrame {
  bool Ok = false;
  double X = 0, Y = 0;            // image position
  double NorthX = 0, NorthY = 0;  // image pixels per metre northwards
  double EastX = 0, EastY = 0;    // image pixels per metre eastwards
};

TLocalFrame FrameAt(const TMapCalibration& Calib, double Lat, double Lon) {
  TLocalFrame f;
  double nx = 0, ny = 0, ex = 0, ey = 0;
  const double dLat = kProbeMetres / kMetresPerDegree;
  const double cosLat = std::max(std::cos(Lat * kPi / 180), 1e-6);
  const double dLon = dLat / cosLat;
  if (!Calib.GeoToPixelExact(Lat, Lon, f.X, f.Y) ||
      !Calib.GeoToPixelExact(Lat + dLat, Lon, nx, ny) ||
      !Calib.GeoToPixelExact(Lat, Lon + dLon, ex, ey))
    return f;
  f.NorthX = (nx - f.X) / kProbeMetres;
  f.NorthY = (ny - f.Y) / kProbeMetres;
  f.EastX = (ex - f.X) / kProbeMetres;
  f.EastY = (ey - f.Y) / kProbeMetres;
  f.Ok = std::isfinite(f.X) && std::isfinite(f.Y) && std::isfinite(f.NorthX) &&
         std::isfinite(f.EastX) && std::isfinite(f.NorthY) && std::isfinite(f.EastY);
  return f;
}

int Scaled(int Pixels, double Scale) {
  return std::max(1, static_cast<int>(std::lround(Pixels * Scale)));
}

}  // namespace

void TGeoMap::DrawPositionLayer(TCanvas& Canvas, const TMapView& View) {
  const TPositionLayer& layer = *FPositionLayer;
  const TPositionStyle& style = layer.Style;
  if (!FCalib.Converts()) return;
  Canvas.Pen().SetMode(pmCopy);
  Canvas.Pen().SetStyle(psSolid);

  // The track so far, one batch through the calibration.
  const std::size_t n = layer.TrackPoints();
  if (n >= 2) {
    std::vector<double> x(n), y(n);
    std::vector<uint8_t> ok(n);
    FCalib.GeoToPixel(layer.TrackLat(), layer.TrackLon(), x, y, ok);
    Canvas.Pen().SetColor(style.Track);
    Canvas.Pen().SetWidth(Scaled(style.TrackWidth, FOverlayScale));
    bool down = false;
    TPoint last;
    for (std::size_t i = 0; i < n; ++i) {
      if (!ok[i]) {
        down = false;
        continue;
      }
      const TPoint p = View.ImageToControl(x[i], y[i]);
      if (!down) {
        Canvas.MoveTo(p.X, p.Y);
        down = true;
      } else if (p != last) {
        Canvas.LineTo(p.X, p.Y);
      }
      last = p;
    }
    Canvas.Pen().SetWidth(1);
  }

  if (!layer.Current()) return;
  const TPositionFix& fix = *layer.Current();
  const TLocalFrame f = FrameAt(FCalib, fix.Lat, fix.Lon);
  if (!f.Ok) return;
  const TPoint c = View.ImageToControl(f.X, f.Y);
  const TColor fill = layer.Lost() ? style.Lost : style.Marker;

  // The accuracy circle: the error radius on the map's own scale.
  if (fix.HorizontalError > 0) {
    const double perMetre =
        std::sqrt(std::hypot(f.NorthX, f.NorthY) * std::hypot(f.EastX, f.EastY));
    const double r = fix.HorizontalError * perMetre * View.Magnify;
    // Smaller than the marker it says nothing; larger than the view it
    // would only be a blur of edge.
    if (r > style.MarkerRadius * FOverlayScale && r < 4.0 * std::max(View.Width, View.Height)) {
      const int ri = static_cast<int>(std::lround(r));
      Canvas.Brush().SetStyle(bsClear);
      Canvas.Pen().SetColor(layer.Lost() ? style.Lost : style.Accuracy);
      Canvas.Pen().SetWidth(Scaled(2, FOverlayScale));
      Canvas.Ellipse(c.X - ri, c.Y - ri, c.X + ri + 1, c.Y + ri + 1);
      Canvas.Pen().SetWidth(1);
      Canvas.Brush().SetStyle(bsSolid);
    }
  }

  // The marker: an arrow along the course while moving, else a dot.
  const int R = Scaled(style.MarkerRadius, FOverlayScale);
  Canvas.Brush().SetColor(fill);
  Canvas.Pen().SetColor(clWhite);
  Canvas.Pen().SetWidth(Scaled(2, FOverlayScale));
  const bool moving =
      std::isfinite(fix.Course) && std::isfinite(fix.Speed) && fix.Speed >= style.MinCourseSpeed;
  double dx = 0, dy = 0;
  if (moving) {
    const double a = fix.Course * kPi / 180;
    dx = std::cos(a) * f.NorthX + std::sin(a) * f.EastX;
    dy = std::cos(a) * f.NorthY + std::sin(a) * f.EastY;
  }
  const double len = std::hypot(dx, dy);
  if (moving && len > 0) {
    dx /= len;
    dy /= len;
    // Tip ahead, two corners behind, a notch at the back.
    auto at = [&](double Along, double Across) {
      return TPoint{static_cast<int32_t>(std::lround(c.X + Along * dx - Across * dy)),
                    static_cast<int32_t>(std::lround(c.Y + Along * dy + Across * dx))};
    };
    Canvas.Polygon({at(1.6 * R, 0), at(-R, R), at(-0.4 * R, 0), at(-R, -R)});
  } else {
    Canvas.Ellipse(c.X - R, c.Y - R, c.X + R + 1, c.Y + R + 1);
  }
  Canvas.Pen().SetWidth(1);
}

}  // namespace marovia
