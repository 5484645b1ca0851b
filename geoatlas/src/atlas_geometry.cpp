#include "atlas_geometry.h"

#include <cmath>

namespace marovia::atlasgeo {

double WrapLongitude(double Long) {
  if (Long >= -180 && Long <= 180) return Long;
  const double w = std::fmod(Long + 180, 360);
  return (w < 0 ? w + 360 : w) - 180;
}

double NearLongitude(double Long, double Reference) {
  return Reference + std::remainder(Long - Reference, 360.0);
}

void UnwrapLongitudes(std::vector<TCoords>& Positions) {
  for (size_t i = 0; i < Positions.size(); ++i) {
    Positions[i].Longit = i == 0 ? WrapLongitude(Positions[i].Longit)
                                 : NearLongitude(Positions[i].Longit, Positions[i - 1].Longit);
  }
}

bool InsidePolygon(double Lat, double Long, const std::vector<TCoords>& Polygon) {
  bool inside = false;
  for (size_t i = 0, j = Polygon.size() - 1; i < Polygon.size(); j = i++) {
    const TCoords& a = Polygon[i];
    const TCoords& b = Polygon[j];
    if ((a.Latit > Lat) == (b.Latit > Lat)) continue;
    const double crossLong =
        a.Longit + (Lat - a.Latit) * (b.Longit - a.Longit) / (b.Latit - a.Latit);
    if (Long < crossLong) inside = !inside;
  }
  return inside;
}

}  // namespace marovia::atlasgeo
