// MGRS and USNG references: the input's lines (split at line ends and NULs)
// read one by one and as one batch of fixed-width fields, on an ellipsoid
// chosen from the input's length.
//
// Invariants checked: a reference read gives a finite position on the
// globe and a precision of 0 to 5 digits, a refusal gives its reason; the
// batch gives the single readings' bits and verdicts; every position read
// is written again (compact and spaced), and what is written reads back at
// the same precision, both forms to the same bits.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "marovia/geobasics/mgrs.h"

using namespace marovia;

namespace {

// Fields wider than any reference with blanks to spare; longer lines are
// read singly only.
constexpr std::size_t kWidth = 40;

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckWrittenAgain(double lat, double lon, int precision, TGeoEllipsoid ell) {
  const std::string compact = LatLongToMGRS(lat, lon, precision, ell);
  const std::string spaced = LatLongToMGRS(lat, lon, precision, ell, true);
  fuzz::Check(compact.size() <= MGRS_MaxLength && spaced.size() <= USNG_MaxLength,
              "a reference longer than its form allows");
  fuzz::Check(compact.empty() == spaced.empty(), "one form written, the other not");
  if (compact.empty()) return;
  double a = 0, b = 0, c = 0, d = 0;
  int pa = -1, pb = -1;
  fuzz::Check(MGRSToLatLong(compact, ell, a, b, pa) && pa == precision,
              "a reference written does not read back");
  fuzz::Check(MGRSToLatLong(spaced, ell, c, d, pb) && pb == precision,
              "a spaced reference written does not read back");
  fuzz::Check(SameBits(a, c) && SameBits(b, d), "the two forms read back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view text = fuzz::AsText(Data, Size);
  const auto ell = static_cast<TGeoEllipsoid>(Size % GeoEllipsoidCount);

  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find_first_of(std::string_view("\n\0", 2), start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }

  std::vector<char> fields;
  std::vector<double> lat, lon;
  std::vector<uint8_t> ok;
  for (const std::string_view line : lines) {
    double a = NAN, b = NAN;
    int precision = -1;
    std::string why;
    const bool read = MGRSToLatLong(line, ell, a, b, precision, &why);
    if (read) {
      fuzz::Check(a >= -90 && a <= 90 && b >= -180 && b <= 180, "a position off the globe");
      fuzz::Check(precision >= 0 && precision <= MGRS_MaxPrecision, "a precision out of range");
      CheckWrittenAgain(a, b, precision, ell);
    } else {
      fuzz::Check(!why.empty(), "a refusal without its reason");
    }
    if (line.size() <= kWidth) {
      fields.resize(fields.size() + kWidth, '\0');
      std::copy(line.begin(), line.end(), fields.end() - kWidth);
      lat.push_back(read ? a : NAN);
      lon.push_back(read ? b : NAN);
      ok.push_back(read);
    }
  }

  const std::size_t n = ok.size();
  std::vector<double> batchLat(n), batchLon(n);
  std::vector<uint8_t> batchOk(n);
  MGRSToLatLong(fields, kWidth, ell, batchLat, batchLon, batchOk);
  for (std::size_t i = 0; i < n; ++i) {
    fuzz::Check(batchOk[i] == ok[i], "the batch and the single reading disagree on a reference");
    if (ok[i])
      fuzz::Check(SameBits(batchLat[i], lat[i]) && SameBits(batchLon[i], lon[i]),
                  "the batch and the single reading give different positions");
  }
  return 0;
}
