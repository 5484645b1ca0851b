// NMEA 0183 from a byte stream (a serial port, a socket, a log) to fixes.
//
// Bytes arrive in chunks of any size; a sentence ends at CR or LF. Each
// complete line goes through ParseNmeaSentence (nmea.h); damaged ones
// (bad or missing checksum, cut short, a field that is not what its place
// demands) are skipped and counted by reason, never guessed at. A line
// longer than kMaxNmeaLine (the standard allows 82 characters; receivers'
// proprietary sentences run longer) is dropped whole as damaged, so a
// stream of garbage without line ends costs bounded memory.
//
// Epochs: a receiver sends several sentences per position (GGA with the
// satellites and altitude, RMC with speed, course and date, GNS). Each
// sentence with a position yields a fix at once, carrying what the earlier
// sentences of the same epoch (same time of day) gave, so that no fix
// waits for the next epoch; a sentence of a new epoch starts afresh. The
// date comes from the last RMC seen (times without one have no date: Time
// stays NaN).
//
// Not thread safe: one stream per reader thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geomap/nmea.h"
#include "marovia/geomap/position.h"

namespace marovia {

constexpr std::size_t kMaxNmeaLine = 1024;

class TNmeaStream {
 public:
  // Feeds bytes; answers the fixes completed by them, in order.
  std::vector<TPositionFix> Feed(std::string_view Bytes);
  // The line still open at the end of a stream, as if a line end followed.
  std::vector<TPositionFix> Finish();

  // Lines read, and how many were skipped for each reason (indexed by
  // TNmeaSkip; None counts the lines that gave a fix).
  int64_t Lines() const { return lines_; }
  int64_t Count(TNmeaSkip Reason) const { return counts_[static_cast<std::size_t>(Reason)]; }
  // Damaged lines (NmeaSkipIsDamage), over-long lines included.
  int64_t Damaged() const;
  // The time of day (seconds since midnight UTC) of the last fix, NaN
  // before the first.
  double LastTimeOfDay() const { return epoch_.TimeOfDay; }

 private:
  void Line(std::string_view Text, std::vector<TPositionFix>& Out);

  std::string line_;
  bool overlong_ = false;
  int64_t lines_ = 0;
  int64_t overlongLines_ = 0;
  std::array<int64_t, 8> counts_{};
  // The epoch being gathered.
  struct TEpoch {
    double TimeOfDay = kNoValue;
    TPositionFix Fix;
  } epoch_;
  int year_ = 0, month_ = 0, day_ = 0;  // the last RMC's date
};

}  // namespace marovia
