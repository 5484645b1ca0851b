// TDateTime: encoding, decoding, the clock and file times.
//
// A TDateTime is split like this: round the value to whole milliseconds;
// the day is the millisecond count divided by 86 400 000 truncated toward
// zero, counted from 1899-12-30; the time of day is the remainder's absolute
// value. So -1.25 is 1899-12-29 06:00. Calendar dates are proleptic
// Gregorian.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "marovia/platform/datetime.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

constexpr int64_t kMSecsPerDay = 86400000;

// Days from 1970-01-01 to y-m-d (proleptic Gregorian, any year).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

// 1899-12-30 counted from 1970-01-01.
const int64_t kEpochShift = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

// Splits D into a day number (days since 1899-12-30) and milliseconds of
// the day. Raises EInvalidOp for NaN, infinities and out-of-range values.
void Split(TDateTime D, int64_t& day, int64_t& msec) {
  const int64_t total = Round(D * static_cast<double>(kMSecsPerDay));
  day = total / kMSecsPerDay;
  msec = std::abs(total % kMSecsPerDay);
}

TDateTime FromTm(const std::tm& t, int msec) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date)) return 0;
  TryEncodeTime(t.tm_hour, t.tm_min, std::min(t.tm_sec, 59), msec, time);
  return date >= 0 ? date + time : date - time;
}

}  // namespace

bool IsLeapYear(int Year) {
  return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > DaysInMonth(Year, Month))
    return false;
  Result = static_cast<double>(DaysFromCivil(Year, Month, Day) - kEpochShift);
  return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
    return false;
  const int64_t ms = ((Hour * 60 + Min) * 60 + Sec) * int64_t{1000} + MSec;
  Result = static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime r;
  if (!TryEncodeDate(Year, Month, Day, r))
    throw EConvertError("Invalid argument to date encode: " + std::to_string(Year) + "-" +
                        std::to_string(Month) + "-" + std::to_string(Day));
  return r;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime r;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, r))
    throw EConvertError("Invalid argument to time encode: " + std::to_string(Hour) + ":" +
                        std::to_string(Min) + ":" + std::to_string(Sec) + "." +
                        std::to_string(MSec));
  return r;
}

void DecodeDate(TDateTime D, int& Year, int& Month, int& Day) {
  int64_t day, msec;
  Split(D, day, msec);
  int64_t y;
  CivilFromDays(day + kEpochShift, y, Month, Day);
  Year = static_cast<int>(y);  // Split keeps |day| below 2^63 ms, about 3e8 years
}

void DecodeTime(TDateTime D, int& Hour, int& Min, int& Sec, int& MSec) {
  int64_t day, msec;
  Split(D, day, msec);
  Hour = static_cast<int>(msec / 3600000);
  Min = static_cast<int>(msec / 60000 % 60);
  Sec = static_cast<int>(msec / 1000 % 60);
  MSec = static_cast<int>(msec % 1000);
}

TDateTime Now() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm t{};
  ::localtime_r(&ts.tv_sec, &t);
  return FromTm(t, static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime Date() {
  return std::floor(Now());
}

bool FileAge(const std::string& FileName, TDateTime& Age) {
  if (FileName.empty() || FileName.find('\0') != std::string::npos) return false;
  struct stat st;
  if (::stat(FileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  std::tm t{};
  if (::localtime_r(&st.st_mtim.tv_sec, &t) == nullptr) return false;
  Age = FromTm(t, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
  return true;
}

}  // namespace marovia
