// Number to text: IntToStr, IntToHex, FloatToStr, FloatToStrF, FormatFixed.
//
// All of it is locale-independent ('.' decimal point, ',' thousands).
// Floating-point values are rounded to the requested precision with halves
// away from zero, deciding on the exact binary value; FormatFixed instead
// rounds the shortest decimal that reads back as the value.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "decimal_digits.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

using decimal::Digits;

std::string NonFinite(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

char DigitAt(const Digits& d, long i) {
  return (i >= 0 && i < static_cast<long>(d.digits.size())) ? d.digits[static_cast<size_t>(i)]
                                                            : '0';
}

// "E" followed by the exponent: the sign always or only when negative, at
// least minDigits digits.
std::string ExponentText(int e, bool alwaysSign, int minDigits) {
  std::string s = std::to_string(e < 0 ? -e : e);
  if (static_cast<int>(s.size()) < minDigits)
    s.insert(0, static_cast<size_t>(minDigits) - s.size(), '0');
  if (e < 0) return "E-" + s;
  return alwaysSign ? "E+" + s : "E" + s;
}

std::string Sign(const Digits& d) {
  return d.negative && !d.digits.empty() ? "-" : "";
}

// Scientific form: one digit, the point and the rest (at least
// fractionDigits digits, zero-padded), then the exponent.
std::string ScientificText(const Digits& d, int fractionDigits, bool alwaysSign, int expDigits) {
  std::string s = Sign(d);
  s.push_back(DigitAt(d, 0));
  const long frac = std::max<long>(fractionDigits, static_cast<long>(d.digits.size()) - 1);
  if (frac > 0) {
    s.push_back('.');
    for (long i = 1; i <= frac; ++i) s.push_back(DigitAt(d, i));
  }
  const int e = d.digits.empty() ? 0 : d.exponent - 1;
  return s + ExponentText(e, alwaysSign, expDigits);
}

// Plain positional form with exactly `decimals` digits after the point
// (none: no point), and ',' between groups of three when `grouped`.
std::string PositionalText(const Digits& d, long decimals, bool grouped) {
  std::string intPart;
  if (d.exponent <= 0 || d.digits.empty()) {
    intPart = "0";
  } else {
    for (long i = 0; i < d.exponent; ++i) intPart.push_back(DigitAt(d, i));
  }
  if (grouped)
    for (long i = static_cast<long>(intPart.size()) - 3; i > 0; i -= 3)
      intPart.insert(static_cast<size_t>(i), 1, ',');
  std::string s = Sign(d) + intPart;
  if (decimals > 0) {
    s.push_back('.');
    for (long i = 0; i < decimals; ++i) s.push_back(DigitAt(d, d.exponent + i));
  }
  return s;
}

// The general form: positional unless the exponent is out of [-3, precision].
std::string GeneralText(Digits d, int precision, int expDigits) {
  decimal::RoundHalfUp(d, precision, 100000);
  if (d.digits.empty()) return "0";
  if (d.exponent > precision || d.exponent < -3) return ScientificText(d, 0, false, expDigits);
  const long decimals = std::max<long>(0, static_cast<long>(d.digits.size()) - d.exponent);
  return PositionalText(d, decimals, false);
}

}  // namespace

std::string IntToStr(int64_t Value) {
  return std::to_string(Value);
}

std::string IntToHex(int64_t Value, int Digits) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, static_cast<uint64_t>(Value), 16);
  std::string s(buf, r.ptr);
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'a' ? c - 32 : c; });
  // The runtime caps the width at 32 digits.
  const size_t width = static_cast<size_t>(std::clamp(Digits, 0, 32));
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

std::string FloatToStr(double Value) {
  return FloatToStrF(Value, ffGeneral, 15, 0);
}

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  Precision = std::clamp(Precision, 1, 18);
  constexpr int kAnyDecimals = 100000;
  switch (Format) {
    case ffGeneral:
      return GeneralText(decimal::RoundedHalfUp(Value, Precision, kAnyDecimals), Precision,
                         std::clamp(Digits, 0, 4));
    case ffExponent:
      return ScientificText(decimal::RoundedHalfUp(Value, Precision, kAnyDecimals), Precision - 1,
                            true, std::clamp(Digits, 0, 4));
    case ffFixed:
    case ffNumber: {
      Digits = std::clamp(Digits, 0, 18);
      decimal::Digits d = decimal::RoundedHalfUp(Value, Precision, Digits);
      // More integer digits than the precision holds: scientific instead.
      if (d.exponent > Precision) return GeneralText(d, Precision, 0);
      return PositionalText(d, Digits, Format == ffNumber);
    }
  }
  return FloatToStr(Value);
}

std::string FormatFixed(double Value, int Decimals) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  if (Decimals > 1000)
    throw ERangeError("FormatFixed: " + std::to_string(Decimals) + " decimals requested");
  Decimals = std::max(Decimals, 0);
  decimal::Digits d = decimal::Shortest(Value);
  decimal::RoundHalfUp(d, 1000000, Decimals);
  return PositionalText(d, Decimals, false);
}

}  // namespace marovia
