// IGC flight recorder files: one record a line, its kind the first letter.
//
//   H  headers; HFDTE gives the date (HFDTEddmmyy or HFDTEDATE:ddmmyy,nn),
//      the others are kept in the track's Extras by their three-letter code
//   I  extensions of the B records: a count nn, then nn groups of start
//      byte ss, end byte ff (1-based, inclusive) and a three-letter code
//   B  a fix, by byte (1-based):
//        2-7 time hhmmss UTC   8-14 latitude ddmmmmm (minutes x 1000)
//        15 N/S   16-23 longitude dddmmmmm   24 E/W   25 validity (A 3D,
//        V 2D or none)   26-30 pressure altitude   31-35 GNSS altitude
//        (metres, signed)   36-  the I record's extensions
//   C  the declared task: after the first C line, one turn point a line
//        (latitude, longitude as in B records, then its name)
// Other records (A, G, L, E, F, K, D) are passed over.
//
// The B records make one track: elevation the GNSS altitude of A fixes
// (none for V fixes), or the pressure altitude throughout when the file
// has no GNSS altitude other than 0; the field pressure_altitude holds the
// pressure altitude, and each extension a field of its code (a number when
// its bytes read as one). B records follow each other in time, so the day
// advances wherever the time falls back (a flight past midnight UTC). A file without a
// date keeps times of day in the field time_of_day and says so. The task's
// turn points make a route. B records that are too short or not digits
// where digits belong are counted, noted and left out.
#include <cmath>

#include "marovia/geomap/track_files.h"
#include "tracks/field_slots.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

bool Digits(std::string_view S, int64_t& Value) {
  if (S.empty()) return false;
  int64_t v = 0;
  for (const char c : S) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  Value = v;
  return true;
}

// A signed altitude of five bytes: "01234", "-0012".
bool Altitude(std::string_view S, double& Metres) {
  int64_t v;
  if (!S.empty() && S[0] == '-') {
    if (!Digits(S.substr(1), v)) return false;
    Metres = -static_cast<double>(v);
    return true;
  }
  if (!Digits(S, v)) return false;
  Metres = static_cast<double>(v);
  return true;
}

// ddmmmmmN (Degree digits 2) or dddmmmmmE (3): degrees and thousandths
// of minutes.
bool Angle(std::string_view S, int DegreeDigits, char Positive, char Negative, double& Degrees) {
  int64_t d, m;
  if (S.size() != static_cast<std::size_t>(DegreeDigits + 6) ||
      !Digits(S.substr(0, DegreeDigits), d) || !Digits(S.substr(DegreeDigits, 5), m))
    return false;
  const char h = S.back();
  if (h != Positive && h != Negative) return false;
  if (m >= 60000) return false;
  const double v = static_cast<double>(d) + static_cast<double>(m) / 60000.0;
  Degrees = h == Negative ? -v : v;
  return true;
}

struct TFix {
  double TimeOfDay = 0, Lat = 0, Lon = 0, Pressure = kNoValue, Gnss = kNoValue;
  bool Valid = false;
  std::vector<std::string_view> Extensions;
};

struct TTurnpoint {
  double Lat = 0, Lon = 0;
  std::string Name;
};

struct TExtension {
  std::size_t First = 0, Last = 0;  // 0-based, inclusive
  std::string Code;
};

}  // namespace

TTrackData ParseIgc(std::string_view Bytes, const std::string& FileName) {
  TTrackData data;
  data.Source = FileName;
  data.Format = "IGC";
  TTrack track;
  bool taskHeader = false;
  int64_t day = -1;
  std::vector<TExtension> extensions;
  std::vector<TFix> fixes;
  std::vector<TTurnpoint> task;
  TLineCursor lines(Bytes);
  std::string_view line;
  while (lines.Next(line)) {
    line = TrimSpace(line);
    if (line.empty()) continue;
    const std::string where = "line " + std::to_string(lines.LineNumber()) + ": ";
    const char kind = line[0];
    if (kind == 'H') {
      if (line.size() >= 5 && line.substr(2, 3) == "DTE") {
        std::string_view d = line.substr(5);
        if (d.substr(0, 4) == "DATE") d.remove_prefix(4);
        if (!d.empty() && d[0] == ':') d.remove_prefix(1);
        int64_t dd, mm, yy;
        if (d.size() >= 6 && Digits(d.substr(0, 2), dd) && Digits(d.substr(2, 2), mm) &&
            Digits(d.substr(4, 2), yy) &&
            ValidDate(yy < 80 ? 2000 + yy : 1900 + yy, static_cast<int>(mm),
                      static_cast<int>(dd))) {
          day = DaysFromCivil(yy < 80 ? 2000 + yy : 1900 + yy, static_cast<unsigned>(mm),
                              static_cast<unsigned>(dd));
        } else {
          data.Warn(where + "the date " + Quoted(line) + " is not ddmmyy");
        }
      } else if (line.size() > 5) {
        std::string_view value = line.substr(5);
        if (const std::size_t colon = value.find(':'); colon != std::string_view::npos)
          value = value.substr(colon + 1);
        track.Extras.emplace_back(std::string(line.substr(2, 3)), LineTextAsUtf8(TrimSpace(value)));
      }
    } else if (kind == 'I') {
      int64_t n;
      extensions.clear();
      if (line.size() < 3 || !Digits(line.substr(1, 2), n) ||
          line.size() < 3 + static_cast<std::size_t>(n) * 7) {
        data.Warn(where + "an I record that does not list its extensions");
        continue;
      }
      for (int64_t k = 0; k < n; ++k) {
        const std::string_view g = line.substr(3 + static_cast<std::size_t>(k) * 7, 7);
        int64_t first, last;
        if (!Digits(g.substr(0, 2), first) || !Digits(g.substr(2, 2), last) || first < 36 ||
            last < first) {
          data.Warn(where + "the extension " + Quoted(g) + " is not ssffccc");
          continue;
        }
        extensions.push_back({static_cast<std::size_t>(first - 1),
                              static_cast<std::size_t>(last - 1), std::string(g.substr(4, 3))});
      }
    } else if (kind == 'B') {
      TFix f;
      int64_t hh, mi, ss;
      const bool ok =
          line.size() >= 35 && Digits(line.substr(1, 2), hh) && Digits(line.substr(3, 2), mi) &&
          Digits(line.substr(5, 2), ss) && hh < 24 && mi < 60 && ss < 61 &&
          Angle(line.substr(7, 8), 2, 'N', 'S', f.Lat) &&
          Angle(line.substr(15, 9), 3, 'E', 'W', f.Lon) && (line[24] == 'A' || line[24] == 'V') &&
          Altitude(line.substr(25, 5), f.Pressure) && Altitude(line.substr(30, 5), f.Gnss);
      if (!ok || !PositionProblem(f.Lat, f.Lon).empty()) {
        data.Warn(where + "a B record that is not time, position, validity and altitudes");
        continue;
      }
      f.TimeOfDay = static_cast<double>(hh * 3600 + mi * 60 + ss);
      f.Valid = line[24] == 'A';
      for (const TExtension& e : extensions)
        f.Extensions.push_back(e.Last < line.size() ? line.substr(e.First, e.Last - e.First + 1)
                                                    : std::string_view());
      fixes.push_back(std::move(f));
    } else if (kind == 'C') {
      if (!taskHeader) {
        taskHeader = true;
        continue;
      }
      double lat, lon;
      if (line.size() < 18 || !Angle(line.substr(1, 8), 2, 'N', 'S', lat) ||
          !Angle(line.substr(9, 9), 3, 'E', 'W', lon) || !PositionProblem(lat, lon).empty()) {
        data.Warn(where + "a task point that is not latitude and longitude");
        continue;
      }
      task.push_back({lat, lon, LineTextAsUtf8(TrimSpace(line.substr(18)))});
    }
  }

  // Elevation: GNSS altitude unless the recorder gives none.
  bool gnss = false;
  for (const TFix& f : fixes) gnss = gnss || f.Gnss != 0;
  if (day < 0 && !fixes.empty())
    data.Note(
        "no HFDTE record gives the date: the points keep their times of day in the field "
        "time_of_day");

  TTrackPoints& p = data.Points;
  TFieldSlots slots(p);
  TPointRange segment{0, 0};
  double last = kNoValue;
  for (const TFix& f : fixes) {
    if (day >= 0 && !std::isnan(last) && f.TimeOfDay < last) ++day;
    last = f.TimeOfDay;
    const double ele = gnss ? (f.Valid ? f.Gnss : kNoValue) : f.Pressure;
    const double t = day >= 0 ? static_cast<double>(day) * 86400 + f.TimeOfDay : kNoValue;
    const std::size_t i = p.Append(f.Lat, f.Lon, ele, t);
    if (day < 0) slots.Number(0, i, "time_of_day", "", f.TimeOfDay);
    slots.Number(1, i, "pressure_altitude", "", f.Pressure);
    for (std::size_t k = 0; k < f.Extensions.size() && k < extensions.size(); ++k) {
      const std::string_view v = TrimSpace(f.Extensions[k]);
      if (!v.empty()) slots.Value(2 + k, i, extensions[k].Code, "", std::string(v));
    }
  }
  segment.End = p.Size();
  if (segment.End > 0) {
    track.Segments.push_back(segment);
    data.Tracks.push_back(std::move(track));
  }
  if (!task.empty()) {
    TRoute route;
    route.Name = "task";
    route.Points.Begin = p.Size();
    const std::size_t names = p.FieldIndex("name", "", TFieldKind::Text);
    for (const TTurnpoint& t : task) {
      const std::size_t i = p.Append(t.Lat, t.Lon);
      if (!t.Name.empty()) p.SetText(names, i, t.Name);
    }
    route.Points.End = p.Size();
    data.Routes.push_back(std::move(route));
  }
  return data;
}

}  // namespace marovia
