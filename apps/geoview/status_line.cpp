#include "status_line.h"

#include <cmath>
#include <cstdio>

#include "cli_text.h"
#include "marovia/geobasics/mgrs.h"
#include "marovia/geobasics/utm.h"

namespace marovia::geoview {

std::string StatusLine(const std::optional<TPointerPosition>& Pointer, TGeoEllipsoid Ellipsoid,
                       double Magnification, const std::string& Caption) {
  std::string s;
  if (Pointer) {
    s += apps::DegreesMinutes(Pointer->Lat, 'N', 'S') + "  " +
         apps::DegreesMinutes(Pointer->Lon, 'E', 'W') + "    ";
    int zone = 0;
    double easting = 0, northing = 0;
    LatLongToUTM(Pointer->Lat, Pointer->Lon, Ellipsoid, zone, easting, northing);
    const std::string band = GeoToUTMZone(Pointer->Lat, Pointer->Lon);
    if (zone != 0 && !band.empty() && std::isfinite(easting) && std::isfinite(northing)) {
      char buf[80];
      std::snprintf(buf, sizeof buf, "UTM %s %.0f E %.0f N    ", band.c_str(), easting, northing);
      s += buf;
    } else {
      s += "UTM -    ";
    }
    // The grid reference also covers the polar caps.
    const std::string mgrs = LatLongToMGRS(Pointer->Lat, Pointer->Lon, 5, Ellipsoid);
    if (!mgrs.empty()) s += "MGRS " + mgrs + "    ";
  }
  char mag[40];
  std::snprintf(mag, sizeof mag, "x%.3g    ", Magnification);
  s += mag;
  s += apps::Printable(Caption);
  return s;
}

std::string GpsStatus(const std::optional<TPositionFix>& Fix, std::optional<TSourceState> State,
                      const std::string& Why) {
  if (!State) return "";
  switch (*State) {
    case TSourceState::Connecting:
      return "GPS connecting";
    case TSourceState::Lost:
      return Why.empty() ? "GPS lost" : "GPS lost: " + Why;
    case TSourceState::Stopped:
      return "GPS stopped";
    case TSourceState::Receiving:
      break;
  }
  std::string text = "GPS";
  if (!Fix) return text + " receiving";
  switch (Fix->Mode) {
    case TFixMode::Fix3D:
      text += " 3D fix";
      break;
    case TFixMode::Fix2D:
      text += " 2D fix";
      break;
    default:
      text += " fix";
  }
  char number[48];
  if (std::isfinite(Fix->Speed)) {
    std::snprintf(number, sizeof number, ", %.1f km/h", Fix->Speed * 3.6);
    text += number;
  }
  const int sats = Fix->SatellitesUsed >= 0 ? Fix->SatellitesUsed : Fix->SatellitesVisible;
  if (sats >= 0) text += ", " + std::to_string(sats) + (sats == 1 ? " satellite" : " satellites");
  return text;
}

}  // namespace marovia::geoview
