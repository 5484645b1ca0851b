// Coordinate reference systems given as text: the checks before PROJ, PROJ's
// parsers (authority codes, PROJ strings, WKT, PROJJSON) and, for a text
// accepted, conversions both ways.
//
// Invariants checked: the text is kept as given; a copy converts like the
// original; a batch gives the single-point results bit for bit; a position
// converted successfully gives metres that convert back to a position
// (within the ranges of latitude and longitude).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "calibration/crs_projection.h"
#include "fuzz_support.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(fuzz::AsText(Data, Size));
  fuzz::Refusing([&] {
    const TCrsProjection proj(text);
    fuzz::Check(proj.Text() == text, "the text is not kept as given");
    const TCrsProjection copy = proj;
    const std::vector<double> lat = {0, 45.5, -33.9, 89.9, -89.9, 10};
    const std::vector<double> lon = {0, 7.25, 151.2, -179.9, 179.9, NAN};
    const size_t n = lat.size();
    std::vector<double> e(n), no(n), la(n), lo(n);
    std::vector<uint8_t> ok(n), okInv(n);
    copy.ForwardBatch(lat, lon, e, no, ok);
    copy.InverseBatch(e, no, la, lo, okInv);
    for (size_t i = 0; i < n; ++i) {
      double e1 = 0, n1 = 0;
      const bool one = proj.Forward(lat[i], lon[i], e1, n1);
      fuzz::Check(one == (ok[i] != 0), "the batch and a single point disagree on success");
      if (!one) continue;
      fuzz::Check(
          std::memcmp(&e1, &e[i], sizeof e1) == 0 && std::memcmp(&n1, &no[i], sizeof n1) == 0,
          "the batch and a single point disagree");
      fuzz::Check(std::isfinite(e1) && std::isfinite(n1), "a success without finite metres");
      if (okInv[i])
        fuzz::Check(std::fabs(la[i]) <= 90 + 1e-9 && std::isfinite(lo[i]),
                    "the inverse gives no position");
    }
  });
  return 0;
}
