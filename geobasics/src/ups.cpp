// Universal Polar Stereographic forward and inverse.
#include "marovia/geobasics/ups.h"

#include <cmath>

#include "geo_constants.h"

namespace marovia {

using namespace geodetail;

namespace {

struct UpsConstants {
  double a;
  double e2;
  double e;
  double c;  // sqrt(1 - e^2) exp(e artanh e): the pole's factor in rho = k0 a T / c
};

UpsConstants UpsConstantsOf(TGeoEllipsoid ellipsoid) {
  const double a = GeoEllipsoidData[ellipsoid].MajorAxis;
  const double e2 = GeoEllEccSquared(ellipsoid);
  const double e = std::sqrt(std::fabs(e2));
  return {a, e2, e, std::sqrt(1.0 - e2) * std::exp(e * std::atanh(e))};
}

}  // namespace

void LatLongToUPS(double lat, double lon, TGeoEllipsoid ellipsoid, double& x, double& y) {
  const UpsConstants k = UpsConstantsOf(ellipsoid);
  // Colatitude from the pole of the position's hemisphere; the equator
  // counts as northern.
  const double chi = (lat >= 0.0 ? 90.0 - lat : 90.0 + lat) * Pi / 180.0;
  const double T = 2.0 * std::tan(chi / 2.0) * std::exp(k.e * std::atanh(k.e * std::cos(chi)));
  const double rho = UPS_k0 * k.a * T / k.c;

  if (lon >= 180.0) {
    lon -= 360.0;
  } else if (lon < -180.0) {
    lon += 360.0;
  }
  const double lambda = lon * Pi / 180.0;
  // sin(pi) and cos(pi/2) are not exactly 0 in floating point; the grid
  // lines through the pole are kept exact.
  x = (lon == -180.0) ? 0.0 : rho * std::sin(lambda);
  y = (std::fabs(lon) == 90.0) ? 0.0 : rho * std::cos(lambda);
  if (lat >= 0.0) y = -y;
  x += UPS_FalseOrigin;
  y += UPS_FalseOrigin;
}

void UPSToLatLong(double x, double y, bool southhemi, TGeoEllipsoid ellipsoid, double& lat,
                  double& lon) {
  const UpsConstants k = UpsConstantsOf(ellipsoid);
  const double dx = x - UPS_FalseOrigin;
  const double dy = y - UPS_FalseOrigin;
  const double rho = std::hypot(dx, dy);
  const double T = rho * k.c / (UPS_k0 * k.a);

  // Newton's method on F(chi) = 2 tan(chi/2) w(chi) - T, starting from the
  // spherical solution; it converges to full precision in a few steps.
  const double tolerance = 0.1 * std::sqrt(uc_MinDouble);
  double chi = 2.0 * std::atan(T / 2.0);
  for (int step = 0; step < 6; ++step) {
    const double cosChi = std::cos(chi);
    const double w = std::exp(k.e * std::atanh(k.e * cosChi));
    const double F = 2.0 * std::tan(chi / 2.0) * w - T;
    const double D = (1.0 - k.e2) * w / ((1.0 - k.e2 * Pow2(cosChi)) * Pow2(std::cos(chi / 2.0)));
    const double delta = -F / D;
    chi += delta;
    if (std::fabs(delta) < tolerance) break;
  }

  lat = 90.0 - chi * 180.0 / Pi;
  if (southhemi) lat = -lat;
  const double lonRad = southhemi ? -std::atan2(-dx, dy) : -std::atan2(-dx, -dy);
  lon = lonRad * 180.0 / Pi;
}

}  // namespace marovia
