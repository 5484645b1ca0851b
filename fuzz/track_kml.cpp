// KML documents through ParseKml, and KMZ archives (inputs starting with
// "PK") through ParseKmz.
//
// Invariants checked: see track_checks.h (the model, the GPX and GeoJSON
// round trips, the statistics); a refusal names the file.
#include "track_checks.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  if (bytes.substr(0, 2) == "PK") {
    fuzz::CheckReader([&] { return ParseKmz(bytes, "fuzz.kmz"); }, "fuzz.kmz");
  } else {
    fuzz::CheckReader([&] { return ParseKml(bytes, "fuzz.kml"); }, "fuzz.kml");
  }
  return 0;
}
