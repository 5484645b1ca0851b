// Text helpers of the track readers and writers (see track_text.h).
#include "tracks/track_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

std::string ErrorMessage(const std::string& FileName, int64_t Line, int64_t Column,
                         const std::string& Why) {
  std::string where = FileName;
  if (Line > 0) where += ": line " + std::to_string(Line);
  if (Column > 0) where += ", column " + std::to_string(Column);
  return where + ": " + Why;
}

}  // namespace

ETrackFileError::ETrackFileError(const std::string& FileName, int64_t Line, int64_t Column,
                                 const std::string& Why)
    : EZYLGeoMapError(ErrorMessage(FileName, Line, Column, Why)),
      fileName_(FileName),
      line_(Line),
      column_(Column) {}

namespace tracks {

std::string_view TrimSpace(std::string_view S) {
  while (!S.empty() && IsSpace(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsSpace(S.back())) S.remove_suffix(1);
  return S;
}

bool ParseNumber(std::string_view S, double& Value) {
  S = TrimSpace(S);
  if (!S.empty() && S.front() == '+') S.remove_prefix(1);
  // from_chars also takes "inf" and "nan"; a number starts with a digit or
  // a point, after its sign.
  const std::size_t lead = !S.empty() && S.front() == '-' ? 1 : 0;
  if (S.size() <= lead) return false;
  const char c = S[lead];
  if (!(c >= '0' && c <= '9') && c != '.') return false;
  double v = 0;
  const auto r = std::from_chars(S.data(), S.data() + S.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != S.data() + S.size() || !std::isfinite(v)) return false;
  Value = v;
  return true;
}

bool ParseInteger(std::string_view S, int64_t& Value) {
  S = TrimSpace(S);
  if (!S.empty() && S.front() == '+') S.remove_prefix(1);
  int64_t v = 0;
  const auto r = std::from_chars(S.data(), S.data() + S.size(), v);
  if (S.empty() || r.ec != std::errc() || r.ptr != S.data() + S.size()) return false;
  Value = v;
  return true;
}

// Howard Hinnant's days-from-civil algorithm: exact for every year that
// fits, eras of 400 years of 146097 days.
int64_t DaysFromCivil(int64_t Year, unsigned Month, unsigned Day) {
  Year -= Month <= 2;
  const int64_t era = (Year >= 0 ? Year : Year - 399) / 400;
  const int64_t yoe = Year - era * 400;                                          // [0, 399]
  const int64_t doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                     // [0, 146096]
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t Days, int64_t& Year, unsigned& Month, unsigned& Day) {
  Days += 719468;
  const int64_t era = (Days >= 0 ? Days : Days - 146096) / 146097;
  const int64_t doe = Days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  Day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  Month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  Year = yoe + era * 400 + (Month <= 2);
}

bool ValidDate(int64_t Year, int Month, int Day) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12 || Day < 1) return false;
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  return Day <= kDays[Month - 1] + (Month == 2 && leap ? 1 : 0);
}

namespace {

// Reads exactly N digits at S[i]; false when they are not all digits.
bool Digits(std::string_view S, std::size_t& i, int N, int& Value) {
  if (i + N > S.size()) return false;
  int v = 0;
  for (int k = 0; k < N; ++k) {
    const char c = S[i + k];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  i += N;
  Value = v;
  return true;
}

bool Expect(std::string_view S, std::size_t& i, char C) {
  if (i >= S.size() || S[i] != C) return false;
  ++i;
  return true;
}

}  // namespace

bool ValidTime(double Seconds) {
  // 0000-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
  return Seconds >= -62167219200.0 && Seconds <= 253402300799.0;
}

bool ParseIsoTime(std::string_view S, double& Seconds) {
  S = TrimSpace(S);
  std::size_t i = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(S, i, 4, year) || !Expect(S, i, '-') || !Digits(S, i, 2, month) ||
      !Expect(S, i, '-') || !Digits(S, i, 2, day) || !ValidDate(year, month, day))
    return false;
  double fraction = 0;
  int64_t offset = 0;  // seconds east of UTC
  if (i < S.size()) {
    if (S[i] != 'T' && S[i] != 't' && S[i] != ' ') return false;
    ++i;
    if (!Digits(S, i, 2, hour) || !Expect(S, i, ':') || !Digits(S, i, 2, minute)) return false;
    if (i < S.size() && S[i] == ':' && !(++i, Digits(S, i, 2, second))) return false;
    // A leap second (:60) reads as the first second of the next minute.
    if (hour > 23 || minute > 59 || second > 60) return false;
    if (i < S.size() && (S[i] == '.' || S[i] == ',')) {
      ++i;
      double scale = 0.1;
      const std::size_t first = i;
      for (; i < S.size() && S[i] >= '0' && S[i] <= '9'; ++i, scale /= 10)
        fraction += (S[i] - '0') * scale;
      if (i == first) return false;
    }
    if (i < S.size()) {
      if (S[i] == 'Z' || S[i] == 'z') {
        ++i;
      } else if (S[i] == '+' || S[i] == '-') {
        const int sign = S[i] == '-' ? -1 : 1;
        ++i;
        int oh, om = 0;
        if (!Digits(S, i, 2, oh)) return false;
        if (i < S.size() && S[i] == ':') ++i;
        if (i < S.size() && !Digits(S, i, 2, om)) return false;
        if (oh > 23 || om > 59) return false;
        offset = sign * (oh * 3600 + om * 60);
      } else {
        return false;
      }
    }
    if (i != S.size()) return false;
  }
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const double t =
      static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second - offset) + fraction;
  if (!ValidTime(t)) return false;  // a zone pushing it past 9999 or before 0000
  Seconds = t;
  return true;
}

std::string FormatIsoTime(double Seconds) {
  if (!ValidTime(Seconds)) return std::string();
  double whole = std::floor(Seconds);
  int64_t millis = static_cast<int64_t>(std::llround((Seconds - whole) * 1000));
  if (millis == 1000) {
    whole += 1;
    millis = 0;
  }
  const int64_t t = static_cast<int64_t>(whole);
  const int64_t days = (t >= 0 ? t : t - 86399) / 86400;
  const int64_t rest = t - days * 86400;
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, year, month, day);
  char buffer[64];
  const int hh = static_cast<int>(rest / 3600), mm = static_cast<int>(rest / 60 % 60),
            ss = static_cast<int>(rest % 60);
  int n = std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02d:%02d:%02d",
                        static_cast<long long>(year), month, day, hh, mm, ss);
  if (millis != 0)
    n += std::snprintf(buffer + n, sizeof buffer - n, ".%03d", static_cast<int>(millis));
  return std::string(buffer, static_cast<std::size_t>(n)) + "Z";
}

std::string FormatShortest(double Value) {
  char buffer[400];
  const double a = std::fabs(Value);
  // Plain decimals (xsd:decimal has no exponent) except for magnitudes no
  // coordinate, elevation or sensor value has.
  const auto format =
      a == 0 || (a >= 1e-9 && a < 1e16) ? std::chars_format::fixed : std::chars_format::general;
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, Value, format);
  return std::string(buffer, r.ptr);
}

TTextPosition PositionOf(std::string_view Text, std::size_t Offset) {
  Offset = std::min(Offset, Text.size());
  TTextPosition p;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < Offset; ++i) {
    if (Text[i] == '\n') {
      ++p.Line;
      lineStart = i + 1;
    }
  }
  p.Column = static_cast<int64_t>(Offset - lineStart) + 1;
  return p;
}

void FailAt(const std::string& FileName, std::string_view Text, std::size_t Offset,
            const std::string& Why) {
  const TTextPosition p = PositionOf(Text, Offset);
  throw ETrackFileError(FileName, p.Line, p.Column, Why);
}

void FailLine(const std::string& FileName, int64_t Line, const std::string& Why) {
  throw ETrackFileError(FileName, Line, 0, Why);
}

std::string PositionProblem(double Lat, double Lon) {
  if (!(Lat >= -90 && Lat <= 90)) return "latitude " + FormatShortest(Lat) + " is outside -90..90";
  if (!(Lon >= -180 && Lon <= 180))
    return "longitude " + FormatShortest(Lon) + " is outside -180..180";
  return std::string();
}

bool IsValidUtf8(std::string_view S) {
  for (std::size_t i = 0; i < S.size();) {
    if (static_cast<unsigned char>(S[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t cp;
    const std::size_t n = DecodeUtf8(S, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string LineTextAsUtf8(std::string_view S) {
  return IsValidUtf8(S) ? std::string(S) : Cp1252ToUtf8(S);
}

std::string Quoted(std::string_view S) {
  std::string q = "'";
  for (std::size_t i = 0; i < S.size() && i < 40; ++i) {
    const unsigned char c = static_cast<unsigned char>(S[i]);
    q += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  }
  return q + (S.size() > 40 ? "...'" : "'");
}

bool TLineCursor::Next(std::string_view& Line) {
  if (pos_ >= text_.size()) return false;
  std::size_t end = pos_;
  while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
  Line = text_.substr(pos_, end - pos_);
  if (end < text_.size())
    end += text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n' ? 2 : 1;
  pos_ = end;
  ++line_;
  return true;
}

}  // namespace tracks
}  // namespace marovia
