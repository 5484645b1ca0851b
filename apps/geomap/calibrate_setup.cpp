#include "calibrate_setup.h"

#include <cctype>

#include "arguments.h"
#include "cli_text.h"
#include "marovia/platform/strutils.h"

namespace marovia::geomaptool {

TCalibModel ModelFromName(const std::string& Name) {
  for (int m = 0; m < kNumCalibModels; ++m)
    if (m != cmUndefined && SameText(Name, CalibModelNames[static_cast<size_t>(m)]))
      return static_cast<TCalibModel>(m);
  throw TUsageError("--model '" + apps::Printable(Name) +
                    "' is not one of equirect, utm, millercylindrical, conicconformal, "
                    "biquadraticpn, parabolicip, projected, thinplate");
}

// A zone with its latitude band, as geoconvert writes it: 32T. Bands C to M
// lie south of the equator, N to X north. "32N" means the north in either
// reading and is taken; "33S" once meant the southern hemisphere here but is
// band S (32 to 40 degrees north) everywhere else, so it is refused with the
// ways to say either.
TUtmZone UtmZoneFromText(const std::string& Text) {
  static const std::string kBands = "CDEFGHJKLMNPQRSTUVWX";
  TUtmZone z;
  std::string digits = Text;
  char band = 0;
  if (!digits.empty() && std::isalpha(static_cast<unsigned char>(digits.back()))) {
    band = static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
    digits.pop_back();
  }
  int64_t zone = 0;
  if (band == 0 || kBands.find(band) == std::string::npos || digits.empty() ||
      !TryStrToInt(digits, zone) || zone < 1 || zone > 60) {
    throw TUsageError("--utm-zone '" + apps::Printable(Text) +
                      "' is not a zone 1 to 60 with its latitude band C to X, e.g. 32T");
  }
  if (band == 'S') {
    throw TUsageError("--utm-zone '" + apps::Printable(Text) + "' is ambiguous: band S lies 32 " +
                      "to 40 degrees north; give the band of the map, e.g. " + digits +
                      "H for 32 to 24 degrees south, or " + digits + "T for 40 to 48 north");
  }
  z.Zone = static_cast<int>(zone);
  z.South = band < 'N';
  return z;
}

TMapCalibration NewCalibration(const TCalibSetup& Setup, const std::string& ImageName,
                               int32_t Width, int32_t Height) {
  TCalibData data;
  data.UTMZone = -1;  // a cleared record's, written as none
  data.MapFName = ImageName;
  data.Ellipsoid = Setup.Ellipsoid;
  data.Caption = Setup.Caption;
  if (Setup.Model == cmUTM) {
    data.UTMZone = Setup.Zone.Zone;
    data.UTMSouth = Setup.Zone.South;
  }
  data.CrsText = Setup.Crs;
  data.PolyOrder = Setup.Order;
  data.Smoothing = Setup.Smoothing;
  return TMapCalibration(Setup.Model, data, Width, Height);
}

}  // namespace marovia::geomaptool
