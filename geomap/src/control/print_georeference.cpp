// The grid of georeferenced points of a printed map window, refined until
// interpolation in it follows the map's conversion.
#include "print_georeference.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "interop/interop_crs.h"
#include "marovia/geomap/map_calibration.h"

namespace marovia {
namespace {

// A Side x Side grid of page positions over the window, corners included,
// with their image positions and geographic positions.
struct TGrid {
  int Side = 0;
  std::vector<double> PageX, PageY, ImageX, ImageY, Lat, Long;
  std::vector<uint8_t> Ok;
  size_t At(int i, int j) const { return size_t(j) * size_t(Side) + size_t(i); }
};

// Longitude L moved by whole turns to within 180 degrees of Reference, so
// that a grid across 180 degrees stays continuous for its readers.
double Continued(double L, double Reference) {
  return L - 360.0 * std::round((L - Reference) / 360.0);
}

TGrid Convert(const TMapCalibration& Calib, const TPrintedWindow& W, int Side, double& RefLong) {
  TGrid g;
  g.Side = Side;
  const size_t n = size_t(Side) * size_t(Side);
  for (auto* v : {&g.PageX, &g.PageY, &g.ImageX, &g.ImageY, &g.Lat, &g.Long}) v->resize(n);
  g.Ok.resize(n);
  const TRect& a = W.Area;
  for (int j = 0; j < Side; ++j) {
    for (int i = 0; i < Side; ++i) {
      const size_t k = g.At(i, j);
      g.PageX[k] = a.Left + double(a.Width()) * i / (Side - 1);
      g.PageY[k] = a.Top + double(a.Height()) * j / (Side - 1);
      g.ImageX[k] = W.TopLeft.X + (g.PageX[k] - W.PageOrigin.X) / W.Scale;
      g.ImageY[k] = W.TopLeft.Y + (g.PageY[k] - W.PageOrigin.Y) / W.Scale;
    }
  }
  Calib.PixelToGeo(g.ImageX, g.ImageY, g.Lat, g.Long, g.Ok);
  for (size_t k = 0; k < n; ++k) {
    if (!g.Ok[k]) continue;
    if (std::isnan(RefLong)) RefLong = g.Long[k];
    g.Long[k] = Continued(g.Long[k], RefLong);
  }
  return g;
}

// The page pixels that the geographic offset (DLat, DLong) at node (I, J)
// of G spans, by the local derivatives between the node and its
// neighbours: the forward conversion alone, whatever its inverse fit makes
// of a position.
double OffsetInPixels(const TGrid& G, int I, int J, double DLat, double DLong) {
  const int i2 = I + 1 < G.Side ? I + 1 : I - 1, j2 = J + 1 < G.Side ? J + 1 : J - 1;
  const size_t k = G.At(I, J), kx = G.At(i2, J), ky = G.At(I, j2);
  if (!G.Ok[kx] || !G.Ok[ky]) return INFINITY;
  const double dx = G.PageX[kx] - G.PageX[k], dy = G.PageY[ky] - G.PageY[k];
  // [DLat DLong] = [a b; c d] [px py]
  const double a = (G.Lat[kx] - G.Lat[k]) / dx, b = (G.Lat[ky] - G.Lat[k]) / dy;
  const double c = (G.Long[kx] - G.Long[k]) / dx, d = (G.Long[ky] - G.Long[k]) / dy;
  const double det = a * d - b * c;
  if (!(std::fabs(det) > 0)) return INFINITY;
  return std::hypot((d * DLat - b * DLong) / det, (a * DLong - c * DLat) / det);
}

// How far, in page pixels, interpolating bilinearly in Coarse misses the
// conversion at the nodes of Fine (which has twice its cells) that Coarse
// lacks.
double InterpolationError(const TGrid& Coarse, const TGrid& Fine) {
  double worst = 0;
  for (int j = 0; j < Fine.Side; ++j) {
    for (int i = 0; i < Fine.Side; ++i) {
      if (i % 2 == 0 && j % 2 == 0) continue;  // a node of Coarse
      const size_t f = Fine.At(i, j);
      const int ci = std::min(i / 2, Coarse.Side - 2), cj = std::min(j / 2, Coarse.Side - 2);
      const size_t c[4] = {Coarse.At(ci, cj), Coarse.At(ci + 1, cj), Coarse.At(ci, cj + 1),
                           Coarse.At(ci + 1, cj + 1)};
      if (!Fine.Ok[f] || !Coarse.Ok[c[0]] || !Coarse.Ok[c[1]] || !Coarse.Ok[c[2]] ||
          !Coarse.Ok[c[3]]) {
        continue;  // no reader is given these points either
      }
      const double u = (i - 2.0 * ci) / 2, v = (j - 2.0 * cj) / 2;
      const auto mix = [&](const std::vector<double>& q) {
        return (1 - v) * ((1 - u) * q[c[0]] + u * q[c[1]]) + v * ((1 - u) * q[c[2]] + u * q[c[3]]);
      };
      worst = std::max(worst, OffsetInPixels(Fine, i, j, mix(Coarse.Lat) - Fine.Lat[f],
                                             mix(Coarse.Long) - Fine.Long[f]));
    }
  }
  return worst;
}

// The projected CRS on WGS 84 that the map is affine in (its UTM model, or
// a projected model of first order), given to Out; false for every other
// map, whose positions readers take from the point grid alone.
bool AffineCrs(const TMapCalibration& Calib, TPageGeoreference& Out) {
  const TCalibData& d = Calib.Data();
  std::string crs;
  int epsg = 0;
  if (Calib.Model() == cmUTM && d.Ellipsoid == gelWGS84 && d.UTMZone >= 1 && d.UTMZone <= 60) {
    epsg = (d.UTMSouth ? 32700 : 32600) + d.UTMZone;
    crs = "EPSG:" + std::to_string(epsg);
  } else if (Calib.Model() == cmProjected && d.PolyOrder == 1 &&
             interop::ProjectedOnWgs84(d.CrsText, "the map's CRS", epsg)) {
    crs = d.CrsText;
  } else {
    return false;
  }
  bool latitudeFirst = false;
  Out.CrsEpsg = epsg;
  Out.CrsWkt = interop::CrsAsWkt(crs, "the map's CRS", latitudeFirst);
  Out.CrsProjected = true;
  return true;
}

}  // namespace

TPageGeoreference PrintedWindowGeoreference(const TMapCalibration& Calib,
                                            const TPrintedWindow& Window, const std::string& Name) {
  TPageGeoreference out;
  out.Area = Window.Area;
  out.Name = Name;
  if (!Calib.Converts() || Window.Area.Width() <= 0 || Window.Area.Height() <= 0 ||
      !(Window.Scale > 0)) {
    return out;
  }
  // Half a page pixel, or half a map pixel where the map is printed smaller.
  const double tolerance = 0.5 * std::min(1.0, Window.Scale);
  double refLong = NAN;
  TGrid grid = Convert(Calib, Window, 3, refLong);
  while (grid.Side < kMaxPrintGridSide) {
    TGrid finer = Convert(Calib, Window, 2 * grid.Side - 1, refLong);
    if (InterpolationError(grid, finer) <= tolerance) break;
    grid = std::move(finer);
  }
  for (size_t k = 0; k < grid.Ok.size(); ++k) {
    if (grid.Ok[k]) out.Points.push_back({grid.PageX[k], grid.PageY[k], grid.Lat[k], grid.Long[k]});
  }
  AffineCrs(Calib, out);
  return out;
}

}  // namespace marovia
