// ScanDateTime: dates and times read by a picture such as "yyyymmddHHMMSS".
#include <array>

#include "marovia/zylmath/math1.h"

namespace marovia {

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads exactly n digits, or 1 to 2 digits when n is 1.
bool ReadNumber(std::string_view s, size_t& i, size_t n, int& value) {
  const size_t most = n == 1 ? 2 : n;
  size_t got = 0;
  int64_t v = 0;
  while (got < most && i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (v < 100000000) v = v * 10 + (s[i] - '0');  // far beyond any valid field
    ++i;
    ++got;
  }
  if (got == 0 || (n > 1 && got < n)) return false;
  value = static_cast<int>(v);
  return true;
}

// Reads a three-letter month name; month 1..12.
bool ReadMonthName(std::string_view s, size_t& i, TLanguage lang, int& month) {
  static const std::array<const char*, 12> kEnglish = {"jan", "feb", "mar", "apr", "may", "jun",
                                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  static const std::array<const char*, 12> kGerman = {"jan", "feb", "mrz", "apr", "mai", "jun",
                                                      "jul", "aug", "sep", "okt", "nov", "dez"};
  const auto& names = lang == lanGerman ? kGerman : kEnglish;
  // The start position may lie past the end of the text.
  const size_t left = i < s.size() ? s.size() - i : 0;
  // German March is also written with an umlaut (UTF-8 "mär" / "MÄR").
  if (lang == lanGerman && left >= 4 && Lower(s[i]) == 'm' && s[i + 1] == '\xC3' &&
      (s[i + 2] == '\xA4' || s[i + 2] == '\x84') && Lower(s[i + 3]) == 'r') {
    i += 4;
    month = 3;
    return true;
  }
  if (left < 3) return false;
  for (size_t m = 0; m < names.size(); ++m) {
    const char* n = names[m];
    if (Lower(s[i]) == n[0] && Lower(s[i + 1]) == n[1] && Lower(s[i + 2]) == n[2]) {
      i += 3;
      month = static_cast<int>(m) + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

TDateTime ScanDateTime(std::string_view S, std::string_view Format, TLanguage Language, int& Pos) {
  size_t i = Pos < 1 ? 0 : static_cast<size_t>(Pos) - 1;
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, msec = 0;
  bool hasDate = false, hasMonth = false, hasDay = false;

  for (size_t f = 0; f < Format.size();) {
    const char letter = Format[f];
    size_t run = 1;
    while (f + run < Format.size() && Format[f + run] == letter) ++run;
    f += run;
    bool ok = true;
    switch (letter) {
      case 'y':
        ok = ReadNumber(S, i, run, year);
        if (ok && run == 2) year += year < 50 ? 2000 : 1900;
        hasDate = true;
        break;
      case 'm':
        ok = run == 3 ? ReadMonthName(S, i, Language, month) : ReadNumber(S, i, run, month);
        hasDate = hasMonth = true;
        break;
      case 'd':
        ok = ReadNumber(S, i, run, day);
        hasDate = hasDay = true;
        break;
      case 'H':
      case 'h':
        ok = ReadNumber(S, i, run, hour);
        break;
      case 'M':
      case 'n':
        ok = ReadNumber(S, i, run, minute);
        break;
      case 'S':
      case 's':
        ok = ReadNumber(S, i, run, second);
        break;
      case 'z':
        ok = ReadNumber(S, i, run, msec);
        break;
      default:
        // A separator: skip one character of the text per picture character.
        if (i + run > S.size()) return 0;
        i += run;
        break;
    }
    if (!ok) return 0;
  }
  if (hasDate) {
    if (!hasMonth) month = 1;
    if (!hasDay) day = 1;
  }
  TDateTime date = 0, time = 0;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, msec, time))
    return 0;
  Pos = static_cast<int>(i + 1);
  // Before the zero date the fraction still counts forward within the day.
  return date < 0 ? date - time : date + time;
}

}  // namespace marovia
