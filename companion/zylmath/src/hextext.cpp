// Hexadecimal texts: Hex writes, ScanHex reads.
#include <algorithm>

#include "marovia/zylmath/math1.h"

namespace marovia {

namespace {
// Longer texts hold nothing but sign digits; refuse rather than allocate.
constexpr int kMaxHexDigits = 64;
}  // namespace

std::string Hex(int64_t Value, int Digits) {
  if (Digits < 1) return std::string();
  if (Digits > kMaxHexDigits)
    throw EZYLMathError("Hex: " + std::to_string(Digits) + " digits requested, at most " +
                        std::to_string(kMaxHexDigits) + " allowed");
  static const char kDigits[] = "0123456789ABCDEF";
  const auto bits = static_cast<uint64_t>(Value);
  std::string out(static_cast<size_t>(Digits), Value < 0 ? 'F' : '0');
  for (int i = 0; i < Digits && i < 16; ++i)
    out[static_cast<size_t>(Digits - 1 - i)] = kDigits[(bits >> (4 * i)) & 0xF];
  return out;
}

int64_t ScanHex(std::string_view S, int& Pos) {
  size_t i = Pos < 1 ? 0 : static_cast<size_t>(Pos) - 1;
  while (i < S.size() && (S[i] == ' ' || S[i] == '\t')) ++i;
  uint64_t value = 0;  // wraps: keeps the low 64 bits
  for (; i < S.size(); ++i) {
    const char c = S[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      break;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  Pos = static_cast<int>(std::min<size_t>(i + 1, INT32_MAX));
  return static_cast<int64_t>(value);
}

}  // namespace marovia
