// The MGRS grid over a calibrated map of any model: in each grid zone the
// map reaches (UTM zones and hemispheres, with the Norway and Svalbard
// exceptions, and the polar caps in UPS), lines of constant easting and of
// constant northing every 100 km and, as the view's scale allows, every
// 10 km down to 1 m; each line is a polyline through the calibration,
// clipped to its grid zone (the boundary found by bisection) and to the
// image's extent on the view. The 100 km squares carry their two letters
// where they are wide enough on the view to read.
//
// Steps: the grid zones and their extents from a raster of positions over
// the map's corners; the finest step whose lines lie at least
// kMinLineSpacing view pixels apart; the lines; the letters.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>

#include "marovia/geobasics/mgrs.h"
#include "marovia/geobasics/ups.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"
#include "marovia/geomap/geomap.h"
#include "render/map_view.h"

namespace marovia {

using render::TMapView;
using render::ViewPixel;

namespace {

constexpr double kSquare = 100000.0;
constexpr double kMinLineSpacing = 48;  // view pixels between the finer lines
constexpr double kMinLabelWidth = 40;   // view pixels a square needs for its letters
constexpr int kSegments = 32;           // per line across the zone's extent
constexpr int kRaster = 33;             // positions per side sampling the map
constexpr int kMaxLines = 400;          // per direction and zone, 100 km lines included

// A grid zone: a UTM zone and hemisphere, or a polar cap (Zone 0).
struct TGridZone {
  int Zone = 0;
  bool South = false;
  bool operator<(const TGridZone& o) const {
    return std::tie(Zone, South) < std::tie(o.Zone, o.South);
  }
};

TGridZone GridZoneOf(double Lat, double Lon) {
  int zone = 0;
  char16_t band = u' ';
  GeoToUTMZone(Lat, Lon == 180 ? -180 : Lon, zone, band);
  return TGridZone{zone, Lat < 0};
}

bool InZone(const TGridZone& g, double Lat, double Lon) {
  if (!(Lat >= -90 && Lat <= 90 && Lon >= -180 && Lon <= 180)) return false;
  const TGridZone h = GridZoneOf(Lat, Lon);
  return h.Zone == g.Zone && h.South == g.South;
}

void ToGrid(const TGridZone& g, TGeoEllipsoid e, double Lat, double Lon, double& x, double& y) {
  if (g.Zone) {
    LatLongToUTMInZone(Lat, Lon, g.Zone, g.South, e, x, y);
  } else {
    LatLongToUPS(Lat, Lon, e, x, y);
  }
}

void ToGeo(const TGridZone& g, TGeoEllipsoid e, double x, double y, double& Lat, double& Lon) {
  if (g.Zone) {
    UTMToLatLong(x, y, g.Zone, g.South, e, Lat, Lon);
  } else {
    UPSToLatLong(x, y, g.South, e, Lat, Lon);
  }
}

// The part of the segment (x1, y1)-(x2, y2) inside the box (Liang-Barsky);
// false when none is.
bool ClipSegment(double Left, double Top, double Right, double Bottom, double& x1, double& y1,
                 double& x2, double& y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - Left, Right - x1, y1 - Top, Bottom - y1};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;
      continue;
    }
    const double r = q[k] / p[k];
    if (p[k] < 0) {
      t0 = std::max(t0, r);
    } else {
      t1 = std::min(t1, r);
    }
    if (t0 > t1) return false;
  }
  x2 = x1 + t1 * dx, y2 = y1 + t1 * dy;
  x1 = x1 + t0 * dx, y1 = y1 + t0 * dy;
  return true;
}

struct TExtent {
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
};

}  // namespace

void TGeoMap::SetShowMGRSGrid(bool Value) {
  if (Value == FShowMGRSGrid) return;
  FShowMGRSGrid = Value;
  Paint();
}

void TGeoMap::DrawMGRSGrid(TCanvas& Canvas, const TMapView& View) {
  if (!FCalib.Converts() || FMapImgWidth <= 0 || FMapImgHeight <= 0) return;
  const TGeoEllipsoid ell =
      static_cast<int>(FCalibData.Ellipsoid) < GeoEllipsoidCount ? FCalibData.Ellipsoid : gelWGS84;
  const TCornerArray& c = FCalibData.Corners;
  const double latMin = std::min({c[0].Latit, c[1].Latit, c[2].Latit, c[3].Latit});
  const double latMax = std::max({c[0].Latit, c[1].Latit, c[2].Latit, c[3].Latit});
  const double lonMin = std::min({c[0].Longit, c[1].Longit, c[2].Longit, c[3].Longit});
  const double lonMax = std::max({c[0].Longit, c[1].Longit, c[2].Longit, c[3].Longit});
  if (!(std::isfinite(latMin) && std::isfinite(latMax) && std::isfinite(lonMin) &&
        std::isfinite(lonMax)))
    return;

  // 1. The grid zones the map reaches and each one's extent in its grid.
  std::map<TGridZone, TExtent> extents;
  for (int i = 0; i < kRaster; ++i) {
    for (int j = 0; j < kRaster; ++j) {
      const double lat = std::clamp(latMin + (latMax - latMin) * i / (kRaster - 1), -90.0, 90.0);
      const double lon = std::clamp(lonMin + (lonMax - lonMin) * j / (kRaster - 1), -180.0, 180.0);
      const TGridZone g = GridZoneOf(lat, lon);
      double x = 0, y = 0;
      ToGrid(g, ell, lat, lon, x, y);
      TExtent& e = extents[g];
      e.x0 = std::min(e.x0, x), e.x1 = std::max(e.x1, x);
      e.y0 = std::min(e.y0, y), e.y1 = std::max(e.y1, y);
    }
  }

  // 2. The step: metres per view pixel from the map's resolution.
  const double resolution = FCalibData.Resolution > 0 ? FCalibData.Resolution : 0;
  const double metresPerPixel = resolution / View.Magnify;
  double step = kSquare;
  while (step > 1 && metresPerPixel > 0 && (step / 10) / metresPerPixel >= kMinLineSpacing)
    step /= 10;

  // The image's extent on the view, wherever the view is panned to.
  const double boxLeft = -static_cast<double>(View.TopLeft.X) * View.Magnify;
  const double boxTop = -static_cast<double>(View.TopLeft.Y) * View.Magnify;
  const double boxRight = boxLeft + FMapImgWidth * View.Magnify;
  const double boxBottom = boxTop + FMapImgHeight * View.Magnify;
  const int width = FOverlayScale == 1 ? 1 : std::max(1, ViewPixel(FOverlayScale));
  Canvas.Pen().SetColor(FColorGratLine);

  // A vertex of a line: its view position, or none outside the zone or the
  // calibration's reach.
  struct TVertex {
    double X = 0, Y = 0;
    bool In = false;
  };
  auto vertexAt = [&](const TGridZone& g, double x, double y) {
    TVertex v;
    double lat = 0, lon = 0, px = 0, py = 0;
    ToGeo(g, ell, x, y, lat, lon);
    if (InZone(g, lat, lon) && FCalib.GeoToPixelExact(lat, lon, px, py)) {
      const TPoint p = View.ImageToControl(px, py);
      v = TVertex{static_cast<double>(p.X), static_cast<double>(p.Y), true};
    }
    return v;
  };
  auto segment = [&](const TVertex& a, const TVertex& b) {
    double x1 = a.X, y1 = a.Y, x2 = b.X, y2 = b.Y;
    if (!ClipSegment(boxLeft, boxTop, boxRight, boxBottom, x1, y1, x2, y2)) return;
    Canvas.MoveTo(ViewPixel(x1), ViewPixel(y1));
    Canvas.LineTo(ViewPixel(x2), ViewPixel(y2));
  };
  // The line from (x0, y0) to (x1, y1) in zone g's grid, ended at the
  // zone's boundary where it leaves it.
  auto drawLine = [&](const TGridZone& g, double x0, double y0, double x1, double y1) {
    auto at = [&](double t) { return vertexAt(g, x0 + (x1 - x0) * t, y0 + (y1 - y0) * t); };
    TVertex prev = at(0);
    double tPrev = 0;
    for (int k = 1; k <= kSegments; ++k) {
      const double t = static_cast<double>(k) / kSegments;
      const TVertex cur = at(t);
      if (prev.In && cur.In) {
        segment(prev, cur);
      } else if (prev.In != cur.In) {
        // Bisection for the last vertex inside.
        double in = prev.In ? tPrev : t, out = prev.In ? t : tPrev;
        TVertex edge = prev.In ? prev : cur;
        for (int b = 0; b < 16; ++b) {
          const double mid = (in + out) / 2;
          const TVertex v = at(mid);
          if (v.In) {
            in = mid;
            edge = v;
          } else {
            out = mid;
          }
        }
        segment(prev.In ? prev : edge, prev.In ? edge : cur);
      }
      prev = cur;
      tPrev = t;
    }
  };

  // 3. The lines, 100 km ones twice as wide.
  for (const auto& [g, e] : extents) {
    for (const double s : {kSquare, step}) {
      const double x0 = std::floor(e.x0 / s) * s, x1 = std::ceil(e.x1 / s) * s;
      const double y0 = std::floor(e.y0 / s) * s, y1 = std::ceil(e.y1 / s) * s;
      if ((x1 - x0) / s > kMaxLines || (y1 - y0) / s > kMaxLines) continue;
      Canvas.Pen().SetWidth(s == kSquare ? 2 * width : width);
      for (double x = x0; x <= x1; x += s) {
        if (s != kSquare && std::fmod(x, kSquare) == 0) continue;  // drawn wide already
        drawLine(g, x, y0, x, y1);
      }
      for (double y = y0; y <= y1; y += s) {
        if (s != kSquare && std::fmod(y, kSquare) == 0) continue;
        drawLine(g, x0, y, x1, y);
      }
      if (step == kSquare) break;
    }
  }
  Canvas.Pen().SetWidth(1);

  // 4. The letters of each square whose centre lies on the map and in its
  // zone, where the square is wide enough on the view.
  if (metresPerPixel > 0 && kSquare / metresPerPixel < kMinLabelWidth) return;
  Canvas.Font().SetColor(FColorGratLine);
  Canvas.Brush().SetStyle(bsClear);
  for (const auto& [g, e] : extents) {
    const double x0 = std::floor(e.x0 / kSquare), x1 = std::floor(e.x1 / kSquare);
    const double y0 = std::floor(e.y0 / kSquare), y1 = std::floor(e.y1 / kSquare);
    if (x1 - x0 > kMaxLines || y1 - y0 > kMaxLines) continue;
    for (double i = x0; i <= x1; ++i) {
      for (double j = y0; j <= y1; ++j) {
        double lat = 0, lon = 0, px = 0, py = 0;
        ToGeo(g, ell, (i + 0.5) * kSquare, (j + 0.5) * kSquare, lat, lon);
        if (!InZone(g, lat, lon) || !FCalib.GeoToPixelExact(lat, lon, px, py)) continue;
        if (px < 0 || py < 0 || px >= FMapImgWidth || py >= FMapImgHeight) continue;
        const std::string ref = LatLongToMGRS(lat, lon, 0, ell);
        if (ref.size() < 2) continue;
        const std::string letters = ref.substr(ref.size() - 2);
        const TPoint p = View.ImageToControl(px, py);
        Canvas.TextOut(p.X - Canvas.TextWidth(letters) / 2, p.Y - Canvas.TextHeight(letters) / 2,
                       letters);
      }
    }
  }
  Canvas.Brush().SetStyle(bsSolid);
}

}  // namespace marovia
