// Numbers in tag texts and contents: ScanInteger and ScanNumber.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

#include "marovia/geomap/xmltext.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

namespace {

// Exponent digits stop counting once the exponent exceeds this: every
// double is reached long before, and the number text stays short.
constexpr int kExponentLimit = 4200;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The index a scan starts at: positions below 1 count as 1, and a position
// beyond the text starts at its end, so that the position answered is never
// further out than one past the end.
size_t StartIndex(int pos, std::string_view text) {
  return pos < 1 ? 0 : std::min(static_cast<size_t>(pos) - 1, text.size());
}

int ToPos(size_t index) {
  return static_cast<int>(std::min<size_t>(index + 1, INT32_MAX));
}

enum class NumState { Start, Sign, Integer, Point, Fraction, Mark, ExpSign, Exponent, End, Error };

enum class CharClass { Separator, Blank, Sign, Digit, E, Other };

// The transition table, rows by NumState (Start..Exponent), columns by
// CharClass. Mark stands in for "mark when the exponent is allowed, else
// end", resolved in Step.
constexpr NumState kTable[8][6] = {
    // separator       blank            sign               digit              "E"              other
    {NumState::Point, NumState::Start, NumState::Sign, NumState::Integer, NumState::Error,
     NumState::Error},  // start
    {NumState::Point, NumState::Error, NumState::Error, NumState::Integer, NumState::Error,
     NumState::Error},  // sign
    {NumState::Point, NumState::End, NumState::End, NumState::Integer, NumState::Mark,
     NumState::End},  // integer
    {NumState::Error, NumState::End, NumState::End, NumState::Fraction, NumState::Mark,
     NumState::End},  // point
    {NumState::Error, NumState::End, NumState::End, NumState::Fraction, NumState::Mark,
     NumState::End},  // fraction
    {NumState::Error, NumState::Error, NumState::ExpSign, NumState::Exponent, NumState::Error,
     NumState::End},  // mark
    {NumState::Error, NumState::Error, NumState::Error, NumState::Exponent, NumState::Error,
     NumState::End},  // exponent sign
    {NumState::End, NumState::End, NumState::End, NumState::Exponent, NumState::End,
     NumState::End},  // exponent
};

CharClass Classify(int c, int separatorMode) {
  if (c < 0) return CharClass::Other;  // the end of the text
  if ((c == '.' && (separatorMode == 1 || separatorMode == 3)) ||
      (c == ',' && (separatorMode == 2 || separatorMode == 3)))
    return CharClass::Separator;
  if (c == ' ') return CharClass::Blank;
  if (c == '+' || c == '-') return CharClass::Sign;
  if (IsDigit(static_cast<char>(c))) return CharClass::Digit;
  if (c == 'E' || c == 'e') return CharClass::E;
  return CharClass::Other;
}

// The parts of a scanned number, kept apart so that the value can be
// computed without a locale-dependent conversion and overflow can be told
// from underflow.
struct NumberParts {
  bool negative = false;
  std::string mantissa;  // digits and at most one '.'
  bool exponentNegative = false;
  int exponent = 0;  // absolute value, at most a few digits above kExponentLimit
};

// The value of the parts. An "E" without exponent digits ("1E", "1E-")
// leaves the exponent 0: the number is its mantissa.
double Convert(const NumberParts& n) {
  std::string text = n.mantissa;
  if (text.front() == '.') text.insert(0, 1, '0');
  if (text.back() == '.') text += '0';
  if (n.exponent != 0) {
    text += n.exponentNegative ? "e-" : "e";
    text += std::to_string(n.exponent);
  }
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // from_chars leaves v alone; decide between overflow and underflow by
    // the decimal position of the first significant digit.
    const size_t point = std::min(n.mantissa.find('.'), n.mantissa.size());
    const size_t lead = n.mantissa.find_first_not_of("0.");
    if (lead == std::string::npos) {
      v = 0;
    } else {
      const int64_t magnitude = (lead < point ? static_cast<int64_t>(point - lead)
                                              : -static_cast<int64_t>(lead - point)) +
                                (n.exponentNegative ? -n.exponent : n.exponent);
      v = magnitude > 0 ? uc_MaxDouble : 0;
    }
  }
  v = std::min(v, uc_MaxDouble);
  return n.negative ? -v : v;
}

}  // namespace

int32_t ScanInteger(std::string_view Text, int& Pos) {
  size_t i = StartIndex(Pos, Text);
  while (i + 1 < Text.size() && Text[i] == ' ') ++i;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
    negative = Text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude with the sign's limit as a ceiling: the text
  // may hold any number of digits.
  const int64_t limit = negative ? -int64_t{INT32_MIN} : int64_t{INT32_MAX};
  int64_t value = 0;
  for (; i < Text.size() && IsDigit(Text[i]); ++i)
    value = std::min(limit, value * 10 + (Text[i] - '0'));
  Pos = ToPos(i);
  return static_cast<int32_t>(negative ? -value : value);
}

double ScanNumber(std::string_view Text, bool ExponentAllowed, int SeparatorMode, int& Pos) {
  size_t i = StartIndex(Pos, Text);
  NumberParts n;
  NumState state = NumState::Start;
  for (;;) {
    const int c = i < Text.size() ? static_cast<unsigned char>(Text[i]) : -1;
    NumState next = kTable[static_cast<int>(state)][static_cast<int>(Classify(c, SeparatorMode))];
    if (next == NumState::Mark && !ExponentAllowed) next = NumState::End;
    if (next == NumState::End || next == NumState::Error) {
      state = next;
      break;
    }
    switch (next) {
      case NumState::Sign:
        n.negative = c == '-';
        break;
      case NumState::ExpSign:
        n.exponentNegative = c == '-';
        break;
      case NumState::Mark:  // the "E" itself is not kept: see Convert
        break;
      case NumState::Integer:
      case NumState::Fraction:
        n.mantissa += static_cast<char>(c);
        break;
      case NumState::Point:
        n.mantissa += '.';  // a ',' separator counts as '.'
        break;
      case NumState::Exponent:
        if (n.exponent <= kExponentLimit) n.exponent = n.exponent * 10 + (c - '0');
        break;
      default:  // Start: a leading blank
        break;
    }
    state = next;
    ++i;
  }
  Pos = ToPos(i);
  if (state == NumState::Error) return 0;
  return Convert(n);
}

}  // namespace marovia
