// DegreeToStr: angles as degrees, minutes and seconds.
#include <algorithm>
#include <cmath>

#include "marovia/platform/strutils.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

namespace {

using Wide = unsigned __int128;

std::string WideToStr(Wide v) {
  std::string s;
  do {
    s += static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  std::reverse(s.begin(), s.end());
  return s;
}

std::string Padded(Wide v, size_t width) {
  std::string s = WideToStr(v);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

}  // namespace

std::string DegreeToStr(double Value, TDegreeFormat Format, int Decimals) {
  if (!std::isfinite(Value)) throw EZYLMathError("DegreeToStr: the angle is not a finite number");
  const int d = std::clamp(Decimals, 0, 9);
  Wide scale10 = 1;
  for (int i = 0; i < d; ++i) scale10 *= 10;
  const int units = Format == dfDegMinSec ? 3600 : Format == dfDegMin ? 60 : 1;

  // Count the angle in units of the last printed digit, rounded once, so
  // that every carry (59.99' -> 1°00') is taken before the split. From 2^53
  // on a double holds whole degrees only, and may hold more of them than
  // any integer type: those are written from the double's own digits.
  const long double a = std::fabs(static_cast<long double>(Value));
  const bool huge = a >= 0x1p53L;
  const Wide n =
      huge ? 0 : static_cast<Wide>(std::roundl(a * units * static_cast<long double>(scale10)));
  const Wide frac = n % scale10;
  const Wide whole = n / scale10;
  const std::string degrees = huge ? FormatFixed(std::fabs(Value), 0) : WideToStr(whole / units);

  const std::string deg = "\xC2\xB0";  // U+00B0 DEGREE SIGN
  std::string text = (Value < 0 && (huge || n != 0)) ? "-" : "";
  // Built by appending: replacing the contents of a string with a literal
  // (`"." + s`, `f = "."`) makes GCC 12 at -O3 warn of an overlapping copy
  // (-Wrestrict) that cannot happen.
  auto fraction = [&] {
    std::string f;
    if (d > 0) {
      f.push_back('.');
      f += Padded(frac, static_cast<size_t>(d));
    }
    return f;
  };
  switch (Format) {
    case dfDegMin:
      text += degrees + deg + Padded(whole % 60, 2) + fraction() + "'";
      break;
    case dfDegMinSec:
      text += degrees + deg + Padded(whole / 60 % 60, 2) + "'" + Padded(whole % 60, 2) +
              fraction() + "\"";
      break;
    default:
      text += degrees + fraction() + deg;
      break;
  }
  return text;
}

}  // namespace marovia
