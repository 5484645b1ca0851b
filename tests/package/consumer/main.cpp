// Uses the installed headers and libraries the way a host program does: a
// projection from the geodesy unit, an exception from the platform, and a
// bitmap drawn through the canvas.
#include <cmath>
#include <cstdio>
#include <limits>

#include "marovia/geobasics/geobasics.h"
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

  try {
    Round(std::numeric_limits<double>::quiet_NaN());
  } catch (const EInvalidOp&) {
    std::printf("consumer: %s zone %s, marovia is usable\n", GeoEllipsoidName[gelWGS84],
                GeoToUTMZone(50, 10).c_str());
    return 0;
  }
  return 3;
}
