// NMEA 0183 logs through ParseNmeaLog, and each line through
// ParseNmeaSentence: a fix lies within the degrees and its time of day
// within a day; only a malformed sentence says why.
//
// Invariants checked: see track_checks.h (the model, the GPX and GeoJSON
// round trips, the statistics); a refusal names the file.
#include "marovia/geomap/nmea.h"
#include "track_checks.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::CheckReader([&] { return ParseNmeaLog(bytes, "fuzz.nmea"); }, "fuzz.nmea");
  for (const std::string_view line : fuzz::SplitAt(bytes, "\n")) {
    const TNmeaSentence s = ParseNmeaSentence(line);
    fuzz::Check(s.Why.empty() == (s.Skip != TNmeaSkip::Malformed), "a reason for the wrong skip");
    if (s.Skip != TNmeaSkip::None) continue;
    fuzz::Check(fuzz::InDegrees(s.Fix.Lat, s.Fix.Lon), "a fix outside the degrees");
    const double t = s.Fix.TimeOfDay;
    fuzz::Check(std::isnan(t) || (t >= 0 && t < 86401), "a time of day beyond a day");
  }
  return 0;
}
