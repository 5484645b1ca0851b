// NMEA 0183 bytes through TNmeaStream as a serial port or a socket delivers
// them: the whole input at once, and again in chunks whose sizes come from
// the input's first bytes. Both must give the same fixes and counts (a
// sentence split between reads is the same sentence), every fix within the
// degrees, and every line counted once.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/nmea_stream.h"

using namespace marovia;

namespace {

bool SameFix(const TPositionFix& A, const TPositionFix& B) {
  const auto same = [](double X, double Y) { return X == Y || (std::isnan(X) && std::isnan(Y)); };
  return same(A.Lat, B.Lat) && same(A.Lon, B.Lon) && same(A.Time, B.Time) &&
         same(A.Speed, B.Speed) && same(A.Course, B.Course) &&
         A.SatellitesUsed == B.SatellitesUsed && A.Mode == B.Mode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  TNmeaStream whole;
  std::vector<TPositionFix> a = whole.Feed(bytes);
  for (TPositionFix& f : whole.Finish()) a.push_back(f);

  TNmeaStream chunked;
  std::vector<TPositionFix> b;
  size_t at = 0, k = 0;
  while (at < bytes.size()) {
    const size_t n = std::min<size_t>(bytes.size() - at, 1 + (Size ? Data[k++ % Size] % 97 : 0));
    for (TPositionFix& f : chunked.Feed(bytes.substr(at, n))) b.push_back(f);
    at += n;
  }
  for (TPositionFix& f : chunked.Finish()) b.push_back(f);

  fuzz::Check(a.size() == b.size(), "chunks gave another number of fixes");
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    fuzz::Check(SameFix(a[i], b[i]), "chunks gave another fix");
  fuzz::Check(whole.Lines() == chunked.Lines() && whole.Damaged() == chunked.Damaged(),
              "chunks gave other counts");
  fuzz::Check(whole.Damaged() <= whole.Lines(), "more damaged lines than lines");
  for (const TPositionFix& f : a)
    fuzz::Check(std::isfinite(f.Lat) && std::isfinite(f.Lon) && std::fabs(f.Lat) <= 90 &&
                    std::fabs(f.Lon) <= 180,
                "a fix outside the degrees");
  return 0;
}
