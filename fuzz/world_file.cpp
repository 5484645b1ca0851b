// World files: the six numbers of an image's affine transform.
//
// Invariants checked: a file read gives six finite numbers whose pixel has
// an area (the transform can be inverted), and reading the same bytes
// again gives the same numbers.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/world_file.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::Refusing([&] {
    const std::array<double, 6> v = ParseWorldFile(bytes, "fuzz.wld");
    for (const double x : v) fuzz::Check(std::isfinite(x), "a number that is not finite");
    fuzz::Check(v[0] * v[3] - v[2] * v[1] != 0, "a transform without area");
    fuzz::Check(ParseWorldFile(bytes, "fuzz.wld") == v, "the same bytes read differently");
  });
  return 0;
}
