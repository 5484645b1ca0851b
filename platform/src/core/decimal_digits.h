// Decimal digits of a double, as the number formatters use them.
#pragma once

#include <string>

namespace marovia::decimal {

// |value| = 0.d1d2d3... x 10^exponent. digits holds no leading or trailing
// zeros; an empty digit string means zero (exponent 0 then).
struct Digits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// The binary value rounded, halves away from zero, to at most `significant`
// significant digits (1..40) and at most `decimals` digits after the
// decimal point. The decision is made on the exact binary value, so only a
// true half rounds up from below. value must be finite.
Digits RoundedHalfUp(double value, int significant, int decimals);

// The shortest digits that read back as the same double. value must be finite.
Digits Shortest(double value);

// Rounds d, halves away from zero, to keep at most `significant` digits and
// at most `decimals` digits after the decimal point. May carry into a new
// leading digit (9.99 -> 10) or round to zero.
void RoundHalfUp(Digits& d, int significant, int decimals);

}  // namespace marovia::decimal
