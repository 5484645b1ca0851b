// NMEA 0183 logs: one track of the fixes of a file, one point per epoch.
//
// A receiver sends several sentences for the same moment (GGA with the
// altitude, RMC with the date, speed and course, GNS); consecutive fixes
// with the same time of day are merged into one point, the position taken
// from the first. Dates come from RMC sentences only: the points before the
// first date take it too, and the day advances where the time of day falls
// back by more than twelve hours (midnight). A log without any date keeps
// its points without times and their times of day in the field
// "time_of_day" (seconds since midnight UTC), and says so in a note.
//
// Fields per point, named as GPX names them: speed (m/s), course
// (degrees), sat, hdop, geoidheight (metres), fix ("2d", "3d", "dgps",
// "pps"). Damaged lines (see NmeaSkipIsDamage) are counted and noted;
// sentences without a fix and sentences of other types are passed over.
#include <cmath>

#include "marovia/geomap/nmea.h"
#include "marovia/geomap/track_files.h"
#include "tracks/field_slots.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

struct TEpoch {
  double TimeOfDay = kNoValue;
  int64_t Day = -1;  // days since 1970-01-01; -1: no date
  double Lat = 0, Lon = 0, Altitude = kNoValue, Geoid = kNoValue;
  double Speed = kNoValue, Course = kNoValue, Hdop = kNoValue;
  int Satellites = -1;
  const char* Fix = nullptr;
};

const char* FixText(const TNmeaFix& F) {
  const bool height = !std::isnan(F.Altitude);
  if (F.Kind == TNmeaKind::GGA) {
    switch (F.Quality) {
      case 1:
        return height ? "3d" : "2d";
      case 2:
      case 4:
      case 5:
        return "dgps";
      case 3:
        return "pps";
      default:
        return nullptr;
    }
  }
  if (F.Kind == TNmeaKind::GNS) {
    switch (F.Mode) {
      case 'A':
        return height ? "3d" : "2d";
      case 'D':
      case 'R':
      case 'F':
        return "dgps";
      case 'P':
        return "pps";
      default:
        return nullptr;
    }
  }
  return nullptr;
}

bool SameTime(double A, double B) {
  return (std::isnan(A) && std::isnan(B)) || std::fabs(A - B) < 1e-6;
}

void Merge(TEpoch& E, const TNmeaFix& F) {
  auto take = [](double& Mine, double Theirs) {
    if (std::isnan(Mine)) Mine = Theirs;
  };
  take(E.Altitude, F.Altitude);
  take(E.Geoid, F.GeoidSeparation);
  take(E.Speed, F.Speed);
  take(E.Course, F.Course);
  take(E.Hdop, F.Hdop);
  if (E.Satellites < 0) E.Satellites = F.Satellites;
  if (!E.Fix) E.Fix = FixText(F);
  if (E.Day < 0 && F.Year > 0)
    E.Day = DaysFromCivil(F.Year, static_cast<unsigned>(F.Month), static_cast<unsigned>(F.Day));
}

// Absolute times of the epochs from their times of day and the dates some
// of them carry; false when none carries a date.
bool AssignDays(std::vector<TEpoch>& Epochs) {
  std::size_t first = 0;
  while (first < Epochs.size() && Epochs[first].Day < 0) ++first;
  if (first == Epochs.size()) return false;
  int64_t day = Epochs[first].Day;
  double last = Epochs[first].TimeOfDay;
  for (std::size_t i = first + 1; i < Epochs.size(); ++i) {
    TEpoch& e = Epochs[i];
    if (e.Day >= 0) {
      day = e.Day;
    } else if (!std::isnan(e.TimeOfDay) && !std::isnan(last) && e.TimeOfDay < last - 43200) {
      ++day;
    }
    if (!std::isnan(e.TimeOfDay)) last = e.TimeOfDay;
    e.Day = day;
  }
  day = Epochs[first].Day;
  double next = Epochs[first].TimeOfDay;
  for (std::size_t i = first; i-- > 0;) {
    TEpoch& e = Epochs[i];
    if (!std::isnan(e.TimeOfDay) && !std::isnan(next) && e.TimeOfDay > next + 43200) --day;
    if (!std::isnan(e.TimeOfDay)) next = e.TimeOfDay;
    e.Day = day;
  }
  return true;
}

}  // namespace

TTrackData ParseNmeaLog(std::string_view Bytes, const std::string& FileName) {
  TTrackData data;
  data.Source = FileName;
  data.Format = "NMEA 0183";
  std::vector<TEpoch> epochs;
  TLineCursor lines(Bytes);
  std::string_view line;
  while (lines.Next(line)) {
    const TNmeaSentence s = ParseNmeaSentence(line);
    if (NmeaSkipIsDamage(s.Skip)) {
      std::string note = "line " + std::to_string(lines.LineNumber()) + ": " + NmeaSkipText(s.Skip);
      if (!s.Why.empty()) note += ": " + s.Why;
      data.Warn(std::move(note));
      continue;
    }
    if (s.Skip != TNmeaSkip::None) continue;
    const TNmeaFix& f = s.Fix;
    if (epochs.empty() || !SameTime(epochs.back().TimeOfDay, f.TimeOfDay)) {
      TEpoch e;
      e.TimeOfDay = f.TimeOfDay;
      e.Lat = f.Lat;
      e.Lon = f.Lon;
      epochs.push_back(e);
    }
    Merge(epochs.back(), f);
  }
  const bool dated = AssignDays(epochs);
  if (!dated && !epochs.empty())
    data.Note(
        "no RMC sentence gives a date: the points keep their times of day in the field "
        "time_of_day");

  TTrack track;
  TPointRange segment{0, 0};
  TTrackPoints& p = data.Points;
  p.Reserve(epochs.size());
  TFieldSlots slots(p);
  for (const TEpoch& e : epochs) {
    double t = kNoValue;
    if (dated && !std::isnan(e.TimeOfDay)) t = static_cast<double>(e.Day) * 86400 + e.TimeOfDay;
    const std::size_t i = p.Append(e.Lat, e.Lon, e.Altitude, t);
    if (!dated && !std::isnan(e.TimeOfDay)) slots.Number(0, i, "time_of_day", "", e.TimeOfDay);
    if (!std::isnan(e.Course)) slots.Number(1, i, "course", "", e.Course);
    if (!std::isnan(e.Speed)) slots.Number(2, i, "speed", "", e.Speed);
    if (!std::isnan(e.Geoid)) slots.Number(3, i, "geoidheight", "", e.Geoid);
    if (e.Fix) slots.Text(4, i, "fix", "", e.Fix);
    if (e.Satellites >= 0) slots.Number(5, i, "sat", "", e.Satellites);
    if (!std::isnan(e.Hdop)) slots.Number(6, i, "hdop", "", e.Hdop);
  }
  segment.End = p.Size();
  if (segment.End > 0) {
    track.Segments.push_back(segment);
    data.Tracks.push_back(std::move(track));
  }
  return data;
}

}  // namespace marovia
