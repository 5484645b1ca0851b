// Decimal digit extraction and rounding for the number formatters.
#include "decimal_digits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace marovia::decimal {
namespace {

// Parses the "d.ddde[+-]x" text of std::to_chars' scientific form.
Digits FromScientific(const char* first, const char* last, bool negative) {
  Digits d;
  d.negative = negative;
  const char* p = first;
  for (; p != last && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
  int exp10 = 0;
  if (p != last) {
    ++p;
    if (p != last && *p == '+') ++p;
    std::from_chars(p, last, exp10);
  }
  d.exponent = exp10 + 1;
  const size_t lead = d.digits.find_first_not_of('0');
  if (lead == std::string::npos) return Digits{negative, "", 0};
  d.digits.erase(0, lead);
  d.exponent -= static_cast<int>(lead);
  d.digits.erase(d.digits.find_last_not_of('0') + 1);
  return d;
}

}  // namespace

// The value to `count` significant digits, correctly rounded.
Digits Significant(double value, int count) {
  // 767 significant digits spell out every double exactly.
  char buf[800];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                         count - 1);
  return FromScientific(buf, r.ptr, std::signbit(value));
}

Digits RoundedHalfUp(double value, int significant, int decimals) {
  // 40 digits settle the rounding unless the first dropped digit is a 5
  // followed by zeros only: that may be a true half or the 40-digit rounding
  // of something just below it, and only the exact expansion can tell.
  Digits d = Significant(value, 40);
  const long keep = std::min<long>(significant, static_cast<long>(d.exponent) + decimals);
  if (keep >= 0 && keep + 1 == static_cast<long>(d.digits.size()) &&
      d.digits[static_cast<size_t>(keep)] == '5')
    d = Significant(value, 780);
  RoundHalfUp(d, significant, decimals);
  return d;
}

Digits Shortest(double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  return FromScientific(buf, r.ptr, std::signbit(value));
}

void RoundHalfUp(Digits& d, int significant, int decimals) {
  if (d.digits.empty()) return;
  // Digits kept: limited by the significant count and by the decimal place.
  long keep = significant;
  const long byDecimals = static_cast<long>(d.exponent) + decimals;
  if (byDecimals < keep) keep = byDecimals;
  if (keep >= static_cast<long>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    d.exponent = 0;
    return;
  }
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    size_t i = d.digits.size();
    while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
    if (i == 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    } else {
      ++d.digits[i - 1];
    }
  }
  const size_t last = d.digits.find_last_not_of('0');
  if (last == std::string::npos) {
    d.digits.clear();
    d.exponent = 0;
  } else {
    d.digits.erase(last + 1);
  }
}

}  // namespace marovia::decimal
