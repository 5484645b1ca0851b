// GeoJSON texts through ParseGeoJson.
//
// Invariants checked: see track_checks.h (the model, the GPX and GeoJSON
// round trips, the statistics); a refusal names the file.
#include "track_checks.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::CheckReader([&] { return ParseGeoJson(bytes, "fuzz.geojson"); }, "fuzz.geojson");
  return 0;
}
