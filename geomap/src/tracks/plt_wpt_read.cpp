// The desktop-GPS text files of tracks (.plt) and waypoints (.wpt):
// comma-separated lines in Windows-1252 after a fixed header.
//
// PLT                                     WPT
//   1  a title line                         1  a title line
//   2  datum name (WGS 84 only here)        2  datum name
//   3  altitude unit line (always feet)     3, 4  reserved lines
//   4  reserved                             then one waypoint a line:
//   5  0,width,colour,name,...                1 number  2 name  3 latitude
//   6  number of points (not trusted)         4 longitude  5 date  6 symbol
//   then one point a line:                    7 status  8 display format
//     1 latitude  2 longitude                 9 foreground colour
//     3 1 where a new segment starts          10 background colour
//     4 altitude in feet (-777: none)         11 description  12-14 ...
//     5 date  6, 7 date and time texts        15 altitude in feet (-777)
// Dates are days since 1899-12-30 (0 or empty: none); their fraction is
// the time of day, written to 7 decimals (8.6 ms): a time within 5 ms of a
// whole second is taken as that second. Colours are Windows colour values,
// red in the lowest byte. Commas inside names and descriptions are stored
// as the byte 0xD1. A point or waypoint line that does not read is counted,
// noted and left out; a header that is not one, or a datum other than
// WGS 84, is refused.
#include <cmath>

#include "marovia/geomap/track_files.h"
#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

constexpr double kFoot = 0.3048;
constexpr double kNoAltitude = -777;
constexpr double kUnixEpochDays = 25569;  // 1970-01-01 in days since 1899-12-30

std::vector<std::string_view> Split(std::string_view Line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = Line.find(',', start);
    fields.push_back(TrimSpace(Line.substr(start, comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

std::string Text(std::string_view Field) {
  std::string s(Field);
  for (char& c : s)
    if (c == '\xD1') c = ',';
  return LineTextAsUtf8(s);
}

double Seconds(double Days) {
  const double t = (Days - kUnixEpochDays) * 86400;
  const double whole = std::round(t);
  return std::fabs(t - whole) < 0.005 ? whole : t;
}

// The header lines before the records; refuses files that are not of the
// format or not on WGS 84.
void Header(TLineCursor& Lines, int Count, const std::string& FileName, const char* Format,
            std::vector<std::string_view>& Out) {
  std::string_view line;
  for (int k = 1; k <= Count; ++k) {
    if (!Lines.Next(line))
      FailLine(FileName, k,
               std::string("the file ends inside the header of a ") + Format + " file");
    Out.push_back(line);
  }
  const std::string datum = LowerCase(TrimSpace(Out[1]));
  if (datum != "wgs 84" && datum != "wgs84" && datum != "wgs-84")
    FailLine(FileName, 2, "the datum " + Quoted(Out[1]) + " is not WGS 84; convert the file first");
}

}  // namespace

TTrackData ParsePlt(std::string_view Bytes, const std::string& FileName) {
  TTrackData data;
  data.Source = FileName;
  data.Format = "PLT";
  TLineCursor lines(Bytes);
  std::vector<std::string_view> header;
  Header(lines, 6, FileName, "PLT", header);
  if (LowerCase(header[0]).find("track") == std::string::npos)
    FailLine(FileName, 1, "not a PLT track file: " + Quoted(header[0]));
  TTrack track;
  const std::vector<std::string_view> info = Split(header[4]);
  int64_t width, colour;
  if (info.size() > 1 && ParseInteger(info[1], width) && width > 0 && width < 100)
    track.Style.Width = static_cast<double>(width);
  if (info.size() > 2 && ParseInteger(info[2], colour) && colour >= 0 && colour <= 0xFFFFFF)
    track.Style.LineColor = static_cast<TColor>(colour);
  if (info.size() > 3) track.Name = Text(info[3]);

  TTrackPoints& p = data.Points;
  std::string_view line;
  while (lines.Next(line)) {
    if (TrimSpace(line).empty()) continue;
    const std::vector<std::string_view> f = Split(line);
    double lat, lon, code = 0, feet = kNoAltitude, days = 0;
    if (f.size() < 2 || !ParseNumber(f[0], lat) || !ParseNumber(f[1], lon) ||
        !PositionProblem(lat, lon).empty() ||
        (f.size() > 2 && !f[2].empty() && !ParseNumber(f[2], code)) ||
        (f.size() > 3 && !f[3].empty() && !ParseNumber(f[3], feet)) ||
        (f.size() > 4 && !f[4].empty() && !ParseNumber(f[4], days)) ||
        (days != 0 && !ValidTime(Seconds(days)))) {
      data.Warn("line " + std::to_string(lines.LineNumber()) +
                ": not latitude, longitude, break, altitude, date: " + Quoted(line));
      continue;
    }
    if (track.Segments.empty() || code == 1) track.Segments.push_back({p.Size(), p.Size()});
    p.Append(lat, lon, feet == kNoAltitude ? kNoValue : feet * kFoot,
             days == 0 ? kNoValue : Seconds(days));
    track.Segments.back().End = p.Size();
  }
  data.Tracks.push_back(std::move(track));
  return data;
}

TTrackData ParseWpt(std::string_view Bytes, const std::string& FileName) {
  TTrackData data;
  data.Source = FileName;
  data.Format = "WPT";
  TLineCursor lines(Bytes);
  std::vector<std::string_view> header;
  Header(lines, 4, FileName, "WPT", header);
  if (LowerCase(header[0]).find("waypoint") == std::string::npos)
    FailLine(FileName, 1, "not a WPT waypoint file: " + Quoted(header[0]));
  std::string_view line;
  while (lines.Next(line)) {
    if (TrimSpace(line).empty()) continue;
    const std::vector<std::string_view> f = Split(line);
    TWaypoint w;
    double days = 0, feet = kNoAltitude;
    if (f.size() < 4 || !ParseNumber(f[2], w.Lat) || !ParseNumber(f[3], w.Lon) ||
        !PositionProblem(w.Lat, w.Lon).empty() ||
        (f.size() > 4 && !f[4].empty() && !ParseNumber(f[4], days)) ||
        (days != 0 && !ValidTime(Seconds(days))) ||
        (f.size() > 14 && !f[14].empty() && !ParseNumber(f[14], feet))) {
      data.Warn("line " + std::to_string(lines.LineNumber()) +
                ": not number, name, latitude, longitude, ...: " + Quoted(line));
      continue;
    }
    w.Name = Text(f[1]);
    if (!f[0].empty()) w.Extras.emplace_back("number", Text(f[0]));
    if (days != 0) w.Time = Seconds(days);
    if (f.size() > 5) w.Symbol = Text(f[5]);
    if (f.size() > 10) w.Description = Text(f[10]);
    if (feet != kNoAltitude) w.Ele = feet * kFoot;
    int64_t colour;
    if (f.size() > 9 && ParseInteger(f[9], colour) && colour >= 0 && colour <= 0xFFFFFF)
      w.Style.MarkerColor = static_cast<TColor>(colour);
    data.Waypoints.push_back(std::move(w));
  }
  return data;
}

}  // namespace marovia
