#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

TEST(FloatToStr, GeneralFormWithFifteenSignificantDigits) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {100, "100"},
      {0.1, "0.1"},
      {-1.5, "-1.5"},
      {1e15, "1E15"},
      {123456789012345, "123456789012345"},
      {1234567890123456, "1.23456789012346E15"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {1.5e-5, "1.5E-5"},
      {-2.5e-7, "-2.5E-7"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.1 + 0.2, "0.3"},
      {999999999999999.9, "1E15"},  // rounding carries into a new digit
      {1e100, "1E100"},
      {1.7976931348623157e308, "1.79769313486232E308"},
      {4.9406564584124654e-324, "4.94065645841247E-324"},
      {12.345, "12.345"},
      {-123456.789, "-123456.789"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
}

TEST(FloatToStr, RoundsOnTheExactBinaryValueWithHalvesUp) {
  // An exact half at the sixteenth digit goes up.
  EXPECT_EQ(FloatToStr(128197351839284.5), "128197351839285");
  EXPECT_EQ(FloatToStr(2120619992793.625), "2120619992793.63");
  // Just below a half: an intermediate rounding to fewer digits would have
  // made it a half and rounded up.
  EXPECT_EQ(FloatToStr(-0x1.f9304b89f5f68p+420), "-5.34332758700279E126");
}

TEST(FloatToStr, NonFiniteValues) {
  EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
  EXPECT_EQ(FloatToStr(HUGE_VAL), "INF");
  EXPECT_EQ(FloatToStr(-HUGE_VAL), "-INF");
}

TEST(FloatToStr, IgnoresTheProcessLocale) {
  // A locale with a decimal comma, when the machine has one; the result must
  // not change either way.
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(FloatToStr(1.25), "1.25");
  EXPECT_EQ(FormatFixed(1.25, 1), "1.3");
  EXPECT_DOUBLE_EQ(StrToFloat("1.25"), 1.25);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(FloatToStrF, FixedNumberAndExponentForms) {
  EXPECT_EQ(FloatToStrF(1234.5678, ffFixed, 15, 2), "1234.57");
  EXPECT_EQ(FloatToStrF(1234.5678, ffFixed, 6, 3), "1234.570");  // 6 significant first
  EXPECT_EQ(FloatToStrF(0.5, ffFixed, 15, 0), "1");
  EXPECT_EQ(FloatToStrF(-0.001, ffFixed, 15, 2), "0.00");
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1,234,567.89");
  EXPECT_EQ(FloatToStrF(-999.5, ffNumber, 15, 0), "-1,000");
  EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2), "1.235E+03");
  EXPECT_EQ(FloatToStrF(-0.000123, ffExponent, 3, 0), "-1.23E-4");
  EXPECT_EQ(FloatToStrF(1e20, ffFixed, 15, 2), "1E20");  // too many integer digits
  EXPECT_EQ(FloatToStrF(123.456, ffGeneral, 4, 0), "123.5");
  EXPECT_EQ(FloatToStrF(123456, ffGeneral, 4, 2), "1.235E05");
}

TEST(FormatFixed, RoundsTheDecimalValueHalvesAwayFromZero) {
  EXPECT_EQ(FormatFixed(2.675, 2), "2.68");  // binary value is 2.67499999...
  EXPECT_EQ(FormatFixed(-2.675, 2), "-2.68");
  EXPECT_EQ(FormatFixed(1.005, 2), "1.01");
  EXPECT_EQ(FormatFixed(0.125, 2), "0.13");
  EXPECT_EQ(FormatFixed(9.9999, 3), "10.000");
  EXPECT_EQ(FormatFixed(12.5, 0), "13");
  EXPECT_EQ(FormatFixed(0, 3), "0.000");
  EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixed(1e22, 1), "10000000000000000000000.0");
  EXPECT_EQ(FormatFixed(48.123456789, 5), "48.12346");
  EXPECT_EQ(FormatFixed(1.5, -3), "2");
  EXPECT_THROW(FormatFixed(1.5, 100000), ERangeError);
}

TEST(IntToStr, DecimalAndHex) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
  EXPECT_EQ(IntToHex(-1, 1), "FFFFFFFFFFFFFFFF");
}

TEST(StrToFloat, AcceptsDecimalTextWithBlanks) {
  EXPECT_DOUBLE_EQ(StrToFloat(" 1.5 "), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("+5."), 5);
  EXPECT_DOUBLE_EQ(StrToFloat("1e3"), 1000);
  EXPECT_DOUBLE_EQ(StrToFloat("-2.5E-7"), -2.5e-7);
  EXPECT_EQ(StrToFloat("1e-400"), 0);  // underflow reads as zero
  EXPECT_TRUE(std::isinf(StrToFloat("-INF")));
  EXPECT_TRUE(std::isnan(StrToFloat("nan")));
  // FloatToStr's output reads back exactly to 15 digits.
  for (double v : {1.0 / 3, 1e15, -2.5e-7, 6378137.0, 0.00001})
    EXPECT_EQ(FloatToStr(StrToFloat(FloatToStr(v))), FloatToStr(v));
}

TEST(StrToFloat, RejectsMalformedText) {
  double v = 42;
  for (const char* bad : {"", " ", ".", "1,5", "1e", "1e+", "--1", "0x10", "1.5x", "1e400", "e5"})
    EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
  EXPECT_EQ(v, 42);
  try {
    StrToFloat("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

TEST(StrToInt, DecimalHexAndRange) {
  EXPECT_EQ(StrToInt(" -42 "), -42);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(StrToIntDef("9223372036854775808", -1), -1);
  EXPECT_EQ(StrToIntDef("1.0", 7), 7);
  EXPECT_EQ(StrToIntDef("", 7), 7);
  EXPECT_THROW(StrToInt("12a"), EConvertError);
}

TEST(TextUtils, TrimCaseAndCompare) {
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(UpperCase("abc\xE9"), "ABC\xE9");  // bytes above 127 unchanged
  EXPECT_EQ(LowerCase("ÄBC"), "Äbc");
  EXPECT_TRUE(SameText("GeoMap", "gEOmAP"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  EXPECT_EQ(CompareText("", ""), 0);
}

}  // namespace
}  // namespace marovia
