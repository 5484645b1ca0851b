// Small numeric and text routines of the companion math package: great
// circle distances, angle and hexadecimal texts, dates read by a picture,
// 1-2-5 rounding, random decisions and swapping.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "marovia/platform/datetime.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

// Errors of the math package: a system that cannot be solved (too few or
// degenerate data), or a value that cannot be formatted.
class EZYLMathError : public EZYLError {
 public:
  using EZYLError::EZYLError;
};

// Great-circle distance between two points on a sphere of the given radius,
// in the unit of the radius. Latitudes and longitudes in degrees (any
// range; longitudes need not be normalised). The result lies in
// [0, pi * Radius]: the shorter way round. Accurate for every pair, nearby
// and antipodal points included (no acos of a rounded cosine).
double SphereGreatCircleDist(double Radius, double Lat1, double Long1, double Lat2, double Long2);

// Text of an angle in degrees, without a hemisphere letter; "-" in front of
// negative values. The degree sign is U+00B0 (UTF-8), minutes are marked
// with ' and seconds with ". Decimals (clamped to 0..9) is the number of
// decimals of the last component:
//   dfDeg        "12.5000°"        (Decimals 4), "12°" (Decimals 0)
//   dfDegMin     "12°30.00'"       (Decimals 2), "12°30'" (Decimals 0)
//   dfDegMinSec  "12°30'07.5\""    (Decimals 1), "12°30'08\"" (Decimals 0)
// Minutes and seconds have two integer digits. The value is rounded to the
// last component first (halves away from zero), so carries propagate:
// 12.99999° as dfDegMin with 0 decimals is "13°00'", never "12°60'".
// NaN and infinities raise EZYLMathError.
std::string DegreeToStr(double Value, TDegreeFormat Format, int Decimals);

// Hexadecimal text of exactly Digits digits (upper case, no prefix): the low
// 4*Digits bits of Value in two's complement, so Hex(-1, 8) is "FFFFFFFF".
// Beyond 16 digits the sign is extended. Digits below 1 give "".
std::string Hex(int64_t Value, int Digits);

// Value of the hexadecimal digits (either case) in S from the 1-based
// position Pos on, after blanks; Pos moves past the last digit. No digits
// give 0 with Pos on the first character that is not a digit. The value
// keeps the low 64 bits of a longer number, so ScanHex reads back Hex of any
// value: for Digits < 16 compare modulo 2^(4*Digits), e.g. cast to int32_t
// for 8 digits. A Pos before the text counts as 1.
int64_t ScanHex(std::string_view S, int& Pos);

// Date and time read from S at the 1-based position Pos by a picture. Picture
// letters, each repeated for the number of digits to read:
//   y year (yy: two digits, 00..49 -> 2000s, 50..99 -> 1900s), m month
//   (mmm: a three-letter month name of Language, ASCII case ignored), d day,
//   H or h hour, M or n minute, S or s second, z milliseconds.
// A single letter reads one or two digits. Every other picture character
// skips one character of S. A picture without date letters gives the zero
// date (1899-12-30) plus the time; with date letters a missing month or day
// is 1. Times are 0 unless read.
// On success Pos moves past what was read. A text that does not fit the
// picture (missing digits, unknown month name, impossible date or time)
// gives 0, the zero date, and leaves Pos unchanged.
// Example: ScanDateTime("20240229153000", "yyyymmddHHMMSS", lanEnglish, pos).
TDateTime ScanDateTime(std::string_view S, std::string_view Format, TLanguage Language, int& Pos);

// x rounded to the nearest value of the series 1, 2, 5 times a power of ten,
// nearest in ratio (the boundaries are sqrt(2), sqrt(10), sqrt(50)): 1.4 ->
// 1, 1.5 -> 2, 3.1 -> 2, 3.2 -> 5, 7 -> 5, 7.1 -> 10. The sign is kept;
// 0, NaN and infinities are returned unchanged.
double Round125(double x);

// True with probability p: always true for p >= 1, always false for p <= 0
// and NaN. The random source is a process-wide generator (thread-safe) with
// a fixed seed, so a program sees the same sequence on every run unless it
// reseeds it.
bool BRandom(double p);
void SetBRandomSeed(uint64_t Seed);

// Swaps two values.
inline void ExChange(double& a, double& b) {
  const double t = a;
  a = b;
  b = t;
}
inline void ExChange(int32_t& a, int32_t& b) {
  const int32_t t = a;
  a = b;
  b = t;
}

}  // namespace marovia
