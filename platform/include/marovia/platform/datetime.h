// TDateTime: days since 1899-12-30 00:00 as a double; the fraction is the
// time of day. Negative values count back from that day, with the fraction
// still the time of day.
#pragma once

#include <cstdint>
#include <string>

namespace marovia {

using TDateTime = double;

// Local date and time now; today at 00:00.
TDateTime Now();
TDateTime Date();
// Raise EConvertError for an impossible date or time.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime D, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime D, int& Hour, int& Min, int& Sec, int& MSec);
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result);
bool IsLeapYear(int Year);
// Local modification time of a file; false when it cannot be examined.
bool FileAge(const std::string& FileName, TDateTime& Age);
// Picture formatting: yyyy, yy, mm, m, dd, d, hh, h, nn, n, ss, s, zzz;
// case-insensitive; m and mm right after an hour are minutes; mmm / mmmm and
// ddd / dddd give English month and weekday names; am/pm or a/p select a
// 12-hour clock. Quoted text and other characters are copied. An empty
// picture gives "yyyy-mm-dd hh:nn:ss". Raises EInvalidOp for NaN and
// values beyond the millisecond range, like DecodeDate and DecodeTime.
std::string FormatDateTime(const std::string& Format, TDateTime D);

}  // namespace marovia
