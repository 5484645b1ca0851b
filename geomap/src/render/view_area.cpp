// The latitude and longitude box of a part of a view (see view_area.h).
#include "render/view_area.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "marovia/geomap/map_calibration.h"

namespace marovia::render {

namespace {

constexpr int kEdgeSamples = 16;

bool PoleInside(const TMapCalibration& Calib, const TLayerView& V, double Lat, double X0, double Y0,
                double X1, double Y1) {
  double x = 0, y = 0;
  if (!Calib.GeoToPixelExact(Lat, 0, x, y)) return false;
  const double vx = (x - V.Left) * V.Magnify, vy = (y - V.Top) * V.Magnify;
  return vx >= X0 && vx <= X1 && vy >= Y0 && vy <= Y1;
}

}  // namespace

TGeoBox ViewArea(const TLayerView& View, double X0, double Y0, double X1, double Y1) {
  TGeoBox box;
  if (!View.Calib || !(View.Magnify > 0)) return box;
  if (X0 > X1) std::swap(X0, X1);
  if (Y0 > Y1) std::swap(Y0, Y1);
  std::vector<double> px, py;
  auto add = [&](double vx, double vy) {
    px.push_back(View.Left + vx / View.Magnify);
    py.push_back(View.Top + vy / View.Magnify);
  };
  for (int i = 0; i <= kEdgeSamples; ++i) {
    const double t = static_cast<double>(i) / kEdgeSamples;
    add(X0 + t * (X1 - X0), Y0);
    add(X0 + t * (X1 - X0), Y1);
    add(X0, Y0 + t * (Y1 - Y0));
    add(X1, Y0 + t * (Y1 - Y0));
  }
  add((X0 + X1) / 2, (Y0 + Y1) / 2);
  const std::size_t n = px.size();
  std::vector<double> lat(n), lon(n);
  std::vector<uint8_t> ok(n);
  View.Calib->PixelToGeo(px, py, lat, lon, ok);
  std::vector<double> lats, lons;
  for (std::size_t i = 0; i < n; ++i)
    if (ok[i] && std::isfinite(lat[i]) && std::isfinite(lon[i])) {
      lats.push_back(std::clamp(lat[i], -90.0, 90.0));
      double l = std::fmod(lon[i], 360.0);
      if (l > 180) l -= 360;
      if (l < -180) l += 360;
      lons.push_back(l);
    }
  if (lats.size() < 3) return box;
  const auto [lo, hi] = std::minmax_element(lats.begin(), lats.end());
  const double growLat = std::max((*hi - *lo) / 50, 1e-7);
  box.LatLow = std::max(-90.0, *lo - growLat);
  box.LatHigh = std::min(90.0, *hi + growLat);

  // Longitudes: the box is the circle less its widest gap between samples.
  std::sort(lons.begin(), lons.end());
  double gap = lons.front() + 360 - lons.back();
  std::size_t after = 0;  // index of the sample after the widest gap
  for (std::size_t i = 1; i < lons.size(); ++i)
    if (lons[i] - lons[i - 1] > gap) {
      gap = lons[i] - lons[i - 1];
      after = i;
    }
  const double span = 360 - gap;
  const double growLong = std::max(span / 50, 1e-7);
  double west = lons[after] - growLong;
  double east = lons[after == 0 ? lons.size() - 1 : after - 1] + growLong;
  if (span + 2 * growLong >= 360) {
    west = -180;
    east = 180;
  }
  if (west < -180) west += 360;
  if (east > 180) east -= 360;
  box.LongLow = west;
  box.LongHigh = east;
  const bool north = PoleInside(*View.Calib, View, 90, X0, Y0, X1, Y1);
  const bool south = PoleInside(*View.Calib, View, -90, X0, Y0, X1, Y1);
  if (north) box.LatHigh = 90;
  if (south) box.LatLow = -90;
  if (north || south) {
    box.LongLow = -180;
    box.LongHigh = 180;
  }
  return box;
}

}  // namespace marovia::render
