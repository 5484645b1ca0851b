// UTM zone and latitude band of a position, with the Norway and Svalbard
// exceptions, and the central meridian of a zone.

#include "geo_constants.h"
#include "marovia/geobasics/utm.h"

namespace marovia {

double UTMCentralMeridian(int zone) {
  if (zone < 1 || zone > 60) return 0.0;
  return geodetail::DegToRad(6.0 * zone - 183.0);
}

void GeoToUTMZone(double lat, double lon, int& zone, char16_t& band) {
  zone = 0;
  band = u' ';
  // Written so that NaN fails the test too (every comparison with NaN is
  // false); a NaN would otherwise reach the integer conversions below.
  if (!(lat >= -80.0 && lat <= 84.0 && lon >= -180.0 && lon < 180.0)) return;

  // Every quotient below is non-negative within the UTM area, where a
  // conversion to int (which truncates) is the floor without a library call.

  // Bands of 8 degrees from 80 S, skipping the letters I and O; X is the
  // last band and also takes 80 N to 84 N.
  int i = static_cast<int>(lat + 80.0) / 8;
  if (i >= 6) ++i;
  if (i >= 12) ++i;
  if (i > 21) i = 21;
  band = static_cast<char16_t>(u'C' + i);

  zone = static_cast<int>((lon + 180.0) / 6.0) + 1;
  // A longitude a hair below 180 can round up to 360 in the sum above.
  if (zone > 60) zone = 60;

  // Norway exception: south-western Norway lies wholly in zone 32.
  if (band == u'V' && lon >= 3.0 && lon < 12.0) zone = 32;
  // Svalbard exception: zones 32, 34 and 36 are not used; the odd zones
  // between 0 and 42 E are widened to 12 degrees.
  if (band == u'X' && lon >= 0.0 && lon < 42.0) {
    zone = 2 * static_cast<int>((lon + 3.0) / 12.0) + 31;
  }
}

std::string GeoToUTMZone(double lat, double lon) {
  int zone = 0;
  char16_t band = u' ';
  GeoToUTMZone(lat, lon, zone, band);
  if (zone == 0) return std::string();
  return std::to_string(zone) + static_cast<char>(band);
}

}  // namespace marovia
