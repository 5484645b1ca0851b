// Uses the installed headers and libraries the way a host program does: a
// projection from the geodesy unit, an exception from the platform, a
// bitmap drawn through the canvas, and a track length (whose geodesic
// library is linked privately into the shared library).
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "marovia/geobasics/geobasics.h"
#include "marovia/geomap/track_stats.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/sysutils.h"

int main() {
  using namespace marovia;
  int zone = 0;
  double easting = 0, northing = 0;
  LatLongToUTM(50, 10, gelWGS84, zone, easting, northing);
  if (zone != 32 || std::fabs(easting - 571666.4475) > 1e-3) return 1;

  TBitmap bmp;
  bmp.SetSize(8, 8);
  bmp.Canvas().Pen().SetColor(clRed);
  bmp.Canvas().MoveTo(0, 0);
  bmp.Canvas().LineTo(8, 0);
  if (bmp.Canvas().Pixels(3, 0) != clRed) return 2;

  // One degree of the equator is the semi-major axis times pi / 180.
  if (std::fabs(GeodesicDistance(0, 0, 0, 1) - 6378137 * std::numbers::pi / 180) > 1e-6) return 4;

  try {
    Round(std::numeric_limits<double>::quiet_NaN());
  } catch (const EInvalidOp&) {
    std::printf("consumer: %s zone %s, marovia is usable\n", GeoEllipsoidName[gelWGS84],
                GeoToUTMZone(50, 10).c_str());
    return 0;
  }
  return 3;
}
