// NMEA bytes to fixes: line assembly with a length bound, then one epoch
// gathered across the sentences that share its time of day.
#include "marovia/geomap/nmea_stream.h"

#include <chrono>
#include <cmath>

#include "tracks/track_text.h"

namespace marovia {

namespace {

TFixMode ModeOf(const TNmeaFix& F) {
  // GGA says 2D or 3D nowhere; an altitude means the receiver solved for
  // height.
  return std::isnan(F.Altitude) ? TFixMode::Fix2D : TFixMode::Fix3D;
}

}  // namespace

std::vector<TPositionFix> TNmeaStream::Feed(std::string_view Bytes) {
  std::vector<TPositionFix> out;
  for (char c : Bytes) {
    if (c == '\r' || c == '\n') {
      if (overlong_) {
        ++lines_;
        ++overlongLines_;
        overlong_ = false;
      } else if (!line_.empty()) {
        Line(line_, out);
      }
      line_.clear();
      continue;
    }
    if (overlong_) continue;
    if (line_.size() >= kMaxNmeaLine) {
      line_.clear();
      overlong_ = true;
      continue;
    }
    line_.push_back(c);
  }
  return out;
}

std::vector<TPositionFix> TNmeaStream::Finish() {
  return Feed("\n");
}

int64_t TNmeaStream::Damaged() const {
  int64_t n = overlongLines_;
  for (std::size_t i = 0; i < counts_.size(); ++i)
    if (NmeaSkipIsDamage(static_cast<TNmeaSkip>(i))) n += counts_[i];
  return n;
}

void TNmeaStream::Line(std::string_view Text, std::vector<TPositionFix>& Out) {
  ++lines_;
  const TNmeaSentence s = ParseNmeaSentence(Text);
  ++counts_[static_cast<std::size_t>(s.Skip)];
  if (s.Skip != TNmeaSkip::None) return;
  const TNmeaFix& n = s.Fix;
  if (n.Kind == TNmeaKind::RMC && n.Year > 0) {
    year_ = n.Year;
    month_ = n.Month;
    day_ = n.Day;
  }
  // A new time of day (or a sentence without one) starts a new epoch.
  const bool same = !std::isnan(n.TimeOfDay) && n.TimeOfDay == epoch_.TimeOfDay;
  if (!same) epoch_ = TEpoch{n.TimeOfDay, TPositionFix{}};
  TPositionFix& f = epoch_.Fix;
  f.Lat = n.Lat;
  f.Lon = n.Lon;
  if (!std::isnan(n.Altitude)) f.Altitude = n.Altitude;
  if (!std::isnan(n.Speed)) f.Speed = n.Speed;
  if (!std::isnan(n.Course)) f.Course = n.Course;
  if (n.Satellites >= 0) f.SatellitesUsed = n.Satellites;
  if (!std::isnan(n.Hdop) && n.Hdop >= 0) f.HorizontalError = n.Hdop * kNmeaMetresPerHdop;
  if (n.Kind != TNmeaKind::RMC || f.Mode == TFixMode::Unknown)
    f.Mode = n.Kind == TNmeaKind::RMC ? TFixMode::Fix2D : ModeOf(n);
  if (!std::isnan(n.TimeOfDay) && year_ > 0)
    f.Time = static_cast<double>(tracks::DaysFromCivil(year_, static_cast<unsigned>(month_),
                                                       static_cast<unsigned>(day_))) *
                 86400.0 +
             n.TimeOfDay;
  f.Received = std::chrono::steady_clock::now();
  Out.push_back(f);
}

}  // namespace marovia
