// FormatDateTime: picture formatting of a TDateTime.
//
// Specifiers (case-insensitive): y/yy two-digit year, yyy/yyyy four digits;
// m/mm month (minute when directly after an hour specifier), mmm/mmmm month
// name; d/dd day, ddd/dddd weekday name; h/hh hour; n/nn minute; s/ss
// second; z/zzz milliseconds; am/pm and a/p switch to a 12-hour clock.
// Text in single or double quotes is copied without the quotes; every other
// character is copied as it is. Names are English.
#include <cctype>
#include <cmath>
#include <cstring>

#include "marovia/platform/datetime.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
constexpr const char* kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};

std::string Pad(int64_t v, int width) {
  std::string s = std::to_string(v < 0 ? -v : v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return v < 0 ? "-" + s : s;
}

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view word) {
  return s.size() - i >= word.size() && SameText(s.substr(i, word.size()), word);
}

}  // namespace

std::string FormatDateTime(const std::string& Format, TDateTime D) {
  const std::string_view f = Format.empty() ? std::string_view("yyyy-mm-dd hh:nn:ss") : Format;
  int year, month, day, hour, minute, sec, msec;
  DecodeDate(D, year, month, day);
  DecodeTime(D, hour, minute, sec, msec);
  // Weekday of the day number: 1899-12-30 was a Saturday.
  const int64_t dayNo = Round(D * 86400000.0) / 86400000;
  const int weekday = static_cast<int>(((dayNo + 6) % 7 + 7) % 7);

  // A 12-hour clock applies to the whole picture when it holds am/pm or a/p.
  bool twelve = false;
  for (size_t i = 0; i < f.size(); ++i)
    if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p")) twelve = true;
  const int shownHour = twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour;

  std::string out;
  bool afterHour = false;
  size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '\'' || c == '"') {
      const size_t end = f.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? f.size() : end;
      out.append(f.substr(i + 1, stop - i - 1));
      i = stop == f.size() ? stop : stop + 1;
      continue;
    }
    if (StartsWithNoCase(f, i, "am/pm")) {
      out += hour < 12 ? f.substr(i, 2) : f.substr(i + 3, 2);
      i += 5;
      continue;
    }
    if (StartsWithNoCase(f, i, "a/p")) {
      out += hour < 12 ? f.substr(i, 1) : f.substr(i + 2, 1);
      i += 3;
      continue;
    }
    size_t n = 1;
    if (u != '\0' && std::strchr("YMDHNSZ", u) != nullptr)
      while (i + n < f.size() && std::toupper(static_cast<unsigned char>(f[i + n])) == u) ++n;
    bool wasHour = false;
    switch (u) {
      case 'Y':
        out += n <= 2 ? Pad(year % 100, 2) : Pad(year, 4);
        break;
      case 'M':
        if (afterHour && n <= 2) {
          out += Pad(minute, n == 2 ? 2 : 1);
        } else if (n <= 2) {
          out += Pad(month, static_cast<int>(n));
        } else {
          const std::string name = kMonthNames[month - 1];
          out += n == 3 ? name.substr(0, 3) : name;
        }
        break;
      case 'D':
        if (n <= 2) {
          out += Pad(day, static_cast<int>(n));
        } else {
          const std::string name = kDayNames[weekday];
          out += n == 3 ? name.substr(0, 3) : name;
        }
        break;
      case 'H':
        out += Pad(shownHour, n >= 2 ? 2 : 1);
        wasHour = true;
        break;
      case 'N':
        out += Pad(minute, n >= 2 ? 2 : 1);
        break;
      case 'S':
        out += Pad(sec, n >= 2 ? 2 : 1);
        break;
      case 'Z':
        out += Pad(msec, n >= 3 ? 3 : 1);
        break;
      default:
        out.push_back(c);
        break;
    }
    if (std::isalpha(static_cast<unsigned char>(c))) afterHour = wasHour;
    i += n;
  }
  return out;
}

}  // namespace marovia
