// gpsd's JSON reports, one line at a time through ParseGpsdReport: only a
// malformed line says why, a position lies within the degrees and comes
// only from a TPV of mode 2 or 3, the sky's counts are never negative
// beyond "not given", and parsing the same line twice gives the same.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/gpsd_reports.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  for (const std::string_view line : fuzz::SplitAt(bytes, "\n")) {
    const TGpsdReport r = ParseGpsdReport(line);
    if (r.Kind == TGpsdReportKind::Malformed)
      fuzz::Check(!r.Why.empty(), "a malformed line without a reason");
    if (r.HasPosition) {
      fuzz::Check(r.Kind == TGpsdReportKind::Tpv, "a position from another report");
      fuzz::Check(r.Fix.Mode == TFixMode::Fix2D || r.Fix.Mode == TFixMode::Fix3D,
                  "a position without a fix");
      fuzz::Check(std::isfinite(r.Fix.Lat) && std::isfinite(r.Fix.Lon) &&
                      std::fabs(r.Fix.Lat) <= 90 && std::fabs(r.Fix.Lon) <= 180,
                  "a position outside the degrees");
      fuzz::Check(std::isnan(r.Fix.Course) || (r.Fix.Course >= 0 && r.Fix.Course < 360),
                  "a course outside [0, 360)");
    }
    fuzz::Check(r.Sky.Used >= -1 && r.Sky.Visible >= -1, "a negative satellite count");
    const TGpsdReport again = ParseGpsdReport(line);
    fuzz::Check(again.Kind == r.Kind && again.HasPosition == r.HasPosition &&
                    again.Sky.Satellites.size() == r.Sky.Satellites.size(),
                "two readings of one line differ");
  }
  return 0;
}
