// Formatting and plain text helpers of the XML files: StrFixed, BoolToWord,
// TrimBlanks, PosOfNth.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

// Widest field and most decimals StrFixed accepts; beyond them a caller
// error would otherwise turn into a huge allocation.
constexpr int64_t kMaxFieldWidth = 1000;

// The exponent form selected by Decimals == -2.
constexpr int kExponentForm = -2;

std::string PadLeft(std::string s, int64_t width) {
  if (static_cast<int64_t>(s.size()) < width)
    s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

// Exponent form in a field of `field` characters, written with a four-digit
// exponent and then cut to two digits: "-1.50000E+0003" -> "-1.50000E+03".
// The two digits removed must be "00"; otherwise the number does not fit
// and the whole text becomes stars.
std::string ExponentForm(double value, int64_t width) {
  if (!std::isfinite(value)) return PadLeft(FloatToStr(value), width);
  // Blank or sign, digit, point, fraction, "E", sign, four digits.
  const int64_t fraction = std::clamp<int64_t>(width + 2 - 9, 1, 17);
  std::string s = FloatToStrF(value, ffExponent, static_cast<int>(fraction) + 1, 4);
  if (s[0] != '-') s.insert(0, 1, ' ');
  const size_t e = s.find('E');
  // "E", sign, then the four exponent digits.
  const size_t first = e + 2;
  if (s.compare(first, 2, "00") == 0) {
    s.erase(first, 2);
  } else {
    s.erase(first, 2);
    std::fill(s.begin(), s.end(), '*');
  }
  return PadLeft(std::move(s), width);
}

// Leading blanks become zeros; a "-" right after them moves to the front.
void ZeroFill(std::string& s) {
  const size_t digits = s.find_first_not_of(' ');
  if (digits == 0 || digits == std::string::npos) return;
  std::fill(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(digits), '0');
  if (s[digits] == '-') {
    s[digits] = '0';
    s[0] = '-';
  }
}

}  // namespace

std::string StrFixed(double Value, int Width, int Decimals) {
  const int64_t width = std::abs(static_cast<int64_t>(Width));
  if (width > kMaxFieldWidth)
    throw ERangeError("StrFixed: field width " + std::to_string(Width) + " outside -" +
                      std::to_string(kMaxFieldWidth) + ".." + std::to_string(kMaxFieldWidth));
  std::string s;
  if (Decimals == kExponentForm) {
    s = ExponentForm(Value, width);
  } else {
    // FormatFixed refuses more than 1000 decimals with ERangeError.
    s = PadLeft(FormatFixed(Value, std::max(Decimals, 0)), width);
  }
  if (Width < 0) ZeroFill(s);
  return s;
}

std::string BoolToWord(bool Value, int Style) {
  static constexpr std::array<std::array<const char*, 2>, 8> kWords = {{
      {"FALSE", "TRUE"},
      {"F", "T"},
      {".F.", ".T."},
      {"0", "1"},
      {"0", "-1"},
      {"00", "FF"},
      {"NO", "YES"},
      {"BAD", "GOOD"},
  }};
  if (Style < 0 || Style >= static_cast<int>(kWords.size())) Style = 0;
  return kWords[static_cast<size_t>(Style)][Value ? 1 : 0];
}

std::string TrimBlanks(std::string_view Text) {
  const size_t first = Text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  const size_t last = Text.find_last_not_of(' ');
  return std::string(Text.substr(first, last - first + 1));
}

int PosOfNth(std::string_view Pattern, std::string_view Text, int Start, int N, bool IgnoreCase) {
  if (N < 1 || Pattern.empty()) return 0;
  std::string foldedPattern, foldedText;
  if (IgnoreCase) {
    foldedPattern = LowerCase(Pattern);
    foldedText = LowerCase(Text);
    Pattern = foldedPattern;
    Text = foldedText;
  }
  size_t from = Start < 1 ? 0 : static_cast<size_t>(Start) - 1;
  for (int found = 0; from <= Text.size();) {
    const size_t at = Text.find(Pattern, from);
    if (at == std::string_view::npos) return 0;
    if (++found == N) return static_cast<int>(std::min<size_t>(at + 1, INT32_MAX));
    from = at + Pattern.size();  // occurrences do not overlap
  }
  return 0;
}

}  // namespace marovia
