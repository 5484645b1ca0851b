// Number and Boolean texts, trimming and substring search of the XML files.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/sysutils.h"

using namespace marovia;

namespace {

struct FixedCase {
  double value;
  int width;
  int decimals;
  const char* text;
};

}  // namespace

TEST(StrFixed, FormatsFixedPointAndExponentFields) {
  const FixedCase cases[] = {
      // The writers' forms: width 1, 5 or 3 decimals.
      {47.5, 1, 5, "47.50000"},
      {-3.14159, 1, 3, "-3.142"},
      {0.0005, 1, 3, "0.001"},   // halves away from zero, on the decimal value
      {-0.0004, 1, 3, "0.000"},  // no sign on a result that rounds to zero
      // Right-aligned, wider when needed.
      {2.5, 8, 2, "    2.50"},
      {123456.0, 3, 1, "123456.0"},
      {7.25, 4, -1, "   7"},  // negative decimals other than -2 count as 0
      // Negative width: zero fill with the sign in front.
      {-1.5, -8, 2, "-0001.50"},
      {1.5, -6, 2, "001.50"},
      // Exponent form: |width| characters, two exponent digits.
      {1500.0, 10, -2, " 1.500E+03"},
      {-1500.0, 10, -2, "-1.500E+03"},
      {0.00025, 11, -2, " 2.5000E-04"},
      {1500.0, 1, -2, " 1.5E+03"},  // at least one fraction digit
      // A three-digit exponent does not fit its two places.
      {1e150, 10, -2, "**********"},
      // Values that are not numbers.
      {std::numeric_limits<double>::quiet_NaN(), 5, 2, "  NAN"},
      {-std::numeric_limits<double>::infinity(), 1, 3, "-INF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrFixed(c.value, c.width, c.decimals), c.text)
        << c.value << " width " << c.width << " decimals " << c.decimals;
}

TEST(StrFixed, RefusesFieldsTooLargeToBuild) {
  EXPECT_THROW(StrFixed(1, 1001, 2), ERangeError);
  EXPECT_THROW(StrFixed(1, std::numeric_limits<int>::min(), 2), ERangeError);
  EXPECT_THROW(StrFixed(1, 1, 1001), ERangeError);
  EXPECT_EQ(StrFixed(1, -1000, 0).size(), 1000u);
}

TEST(BoolToWord, UnknownStylesWriteStyleZero) {
  EXPECT_EQ(BoolToWord(true, 2), ".T.");
  EXPECT_EQ(BoolToWord(false, 7), "BAD");
  EXPECT_EQ(BoolToWord(true, 9), "TRUE");
  EXPECT_EQ(BoolToWord(false, -1), "FALSE");
}

TEST(TrimBlanks, RemovesOnlyOuterBlanks) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("    "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");  // tabs are not blanks
  EXPECT_EQ(TrimBlanks(" \xC3\xA9 "), "\xC3\xA9");
}

TEST(PosOfNth, FindsTheNthNonOverlappingOccurrence) {
  const struct {
    const char* pattern;
    const char* text;
    int start, n;
    bool ignoreCase;
    int pos;
  } cases[] = {
      {"ab", "xabyabzab", 1, 1, false, 2},  {"ab", "xabyabzab", 1, 2, false, 5},
      {"ab", "xabyabzab", 1, 4, false, 0},  // fewer occurrences
      {"ab", "xabyabzab", 3, 1, false, 5},  // counted from the start position
      {"ab", "xabyabzab", 0, 1, false, 2},  // a start below 1 counts as 1
      {"ab", "xabyabzab", 99, 1, false, 0}, {"ab", "xabyabzab", 1, 0, false, 0},  // n below 1
      {"aa", "aaaa", 1, 2, false, 3},  // occurrences do not overlap
      {"AB", "xaBy", 1, 1, true, 2},        {"AB", "xaBy", 1, 1, false, 0},
      {"", "abc", 1, 1, false, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PosOfNth(c.pattern, c.text, c.start, c.n, c.ignoreCase), c.pos)
        << c.pattern << " in " << c.text << " from " << c.start << " n " << c.n;
}
