// The desktop-GPS track (.plt) and waypoint (.wpt) text files: the same
// bytes through ParsePlt and ParseWpt.
//
// Invariants checked: see track_checks.h (the model, the GPX and GeoJSON
// round trips, the statistics); a refusal names the file.
#include "track_checks.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::CheckReader([&] { return ParsePlt(bytes, "fuzz.plt"); }, "fuzz.plt");
  fuzz::CheckReader([&] { return ParseWpt(bytes, "fuzz.wpt"); }, "fuzz.wpt");
  return 0;
}
