// GPX 1.0 and 1.1 files through ParseGpx.
//
// Invariants checked: see track_checks.h (the model, the GPX and GeoJSON
// round trips, the statistics); a refusal names the file.
#include "track_checks.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::CheckReader([&] { return ParseGpx(bytes, "fuzz.gpx"); }, "fuzz.gpx");
  return 0;
}
