// Geographic <-> earth-centred cartesian coordinates.
#include "marovia/geobasics/cartesian.h"

#include <cmath>

#include "geo_constants.h"

namespace marovia {

using namespace geodetail;

void GeoToCartesian(double lat, double lon, double height, TGeoEllipsoid ellipsoid, double& x,
                    double& y, double& z) {
  const double a = GeoEllipsoidData[ellipsoid].MajorAxis;
  const double e2 = GeoEllEccSquared(ellipsoid);
  const double phi = DegToRad(lat);
  const double lambda = DegToRad(lon);
  const double sinPhi = std::sin(phi);
  const double cosPhi = std::cos(phi);
  const double N = a / std::sqrt(1.0 - e2 * sinPhi * sinPhi);  // prime vertical radius
  x = (N + height) * cosPhi * std::cos(lambda);
  y = (N + height) * cosPhi * std::sin(lambda);
  z = (N * (1.0 - e2) + height) * sinPhi;
}

void CartesianToGeo(double x, double y, double z, TGeoEllipsoid ellipsoid, double& lat, double& lon,
                    double& height) {
  const double a = GeoEllipsoidData[ellipsoid].MajorAxis;
  const double e2 = GeoEllEccSquared(ellipsoid);
  const double rf = RecipFlattening(ellipsoid);
  const double f = (rf == 0.0) ? 0.0 : 1.0 / rf;

  const double p = std::sqrt(x * x + y * y);  // distance from the polar axis
  double phi;
  if (p == 0.0) {
    // On the polar axis the closed formula divides by p; its limit is the
    // pole on the side of z, at longitude 0.
    phi = (z >= 0.0) ? Pi / 2.0 : -Pi / 2.0;
    lon = 0.0;
  } else {
    const double r = std::sqrt(p * p + z * z);
    // Parametric latitude of a first approximation, then one closed step.
    const double mu = std::atan(z / p * ((1.0 - f) + e2 * a / r));
    const double sinMu = std::sin(mu);
    const double cosMu = std::cos(mu);
    phi = std::atan((z * (1.0 - f) + e2 * a * Pow3(sinMu)) /
                    ((1.0 - f) * (p - e2 * a * Pow3(cosMu))));
    lon = RadToDeg(std::atan2(y, x));
  }
  const double sinPhi = std::sin(phi);
  height = p * std::cos(phi) + z * sinPhi - a * std::sqrt(1.0 - e2 * sinPhi * sinPhi);
  lat = RadToDeg(phi);
}

}  // namespace marovia
