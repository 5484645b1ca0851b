// Text to number: StrToFloat, StrToInt and their Try / Def forms.
#include <charconv>
#include <cmath>
#include <limits>

#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool TryStrToFloat(std::string_view S, double& Value) {
  std::string_view s = StripBlanks(S);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  // The words FloatToStr writes for the non-finite values read back.
  if (SameText(s, "INF")) {
    Value = negative ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  if (SameText(s, "NAN")) {
    Value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }

  // Validate the shape: digits [. digits] [E [sign] digits], at least one
  // mantissa digit. Also note where the first significant digit sits, to
  // tell underflow (a tiny value: zero) from overflow (an error).
  size_t i = 0;
  long intDigits = 0, leadZeros = 0, fracLeadZeros = 0;
  bool anyDigit = false, seenNonZero = false;
  while (i < s.size() && IsDigit(s[i])) {
    if (s[i] != '0') seenNonZero = true;
    if (!seenNonZero) ++leadZeros;
    ++intDigits;
    anyDigit = true;
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) {
      if (s[i] != '0') seenNonZero = true;
      if (!seenNonZero) ++fracLeadZeros;
      anyDigit = true;
      ++i;
    }
  }
  if (!anyDigit) return false;
  long exp10 = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNeg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      expNeg = s[i] == '-';
      ++i;
    }
    if (i >= s.size() || !IsDigit(s[i])) return false;
    for (; i < s.size() && IsDigit(s[i]); ++i)
      if (exp10 < 1000000) exp10 = exp10 * 10 + (s[i] - '0');
    if (expNeg) exp10 = -exp10;
  }
  if (i != s.size()) return false;

  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    if (!seenNonZero) {
      v = 0;
    } else {
      // Decimal position of the leading significant digit.
      const long magnitude =
          (intDigits - leadZeros > 0 ? intDigits - leadZeros : -fracLeadZeros) + exp10;
      if (magnitude > 0) return false;  // overflow
      v = 0;                            // underflow
    }
  } else if (r.ec != std::errc() || r.ptr != s.data() + s.size()) {
    return false;
  }
  Value = negative ? -v : v;
  return true;
}

double StrToFloat(std::string_view S) {
  double v;
  if (!TryStrToFloat(S, v))
    throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
  return v;
}

bool TryStrToInt(std::string_view S, int64_t& Value) {
  std::string_view s = StripBlanks(S);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  // Accumulate as unsigned so that the most negative value parses too.
  uint64_t u = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), u, base);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (u > limit) return false;
  Value = negative ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
  return true;
}

int64_t StrToInt(std::string_view S) {
  int64_t v;
  if (!TryStrToInt(S, v))
    throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
  return v;
}

int64_t StrToIntDef(std::string_view S, int64_t Default) {
  int64_t v;
  return TryStrToInt(S, v) ? v : Default;
}

}  // namespace marovia
