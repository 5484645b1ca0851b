// Small numeric and text routines: distances, angle and hex texts, date
// pictures, 1-2-5 rounding, random decisions, swapping.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>

#include "marovia/zylmath/math1.h"

using namespace marovia;

namespace {
constexpr double kR = 6378000;
constexpr double kPi = std::numbers::pi;
}  // namespace

TEST(SphereGreatCircleDist, KnownPairsAntipodesAndSamePoint) {
  EXPECT_EQ(SphereGreatCircleDist(kR, 47.1, 15.4, 47.1, 15.4), 0);
  EXPECT_NEAR(SphereGreatCircleDist(kR, 0, 0, 0, 180), kPi * kR, 1e-6);
  EXPECT_NEAR(SphereGreatCircleDist(kR, 90, 0, -90, 0), kPi * kR, 1e-6);
  EXPECT_NEAR(SphereGreatCircleDist(kR, 30, 20, -30, -160), kPi * kR, 1e-6);  // antipodal
  EXPECT_NEAR(SphereGreatCircleDist(kR, 0, 0, 90, 123), kPi * kR / 2, 1e-6);
  EXPECT_NEAR(SphereGreatCircleDist(kR, 0, 0, 0, 1), 111317.09969219833, 1e-6);
  EXPECT_NEAR(SphereGreatCircleDist(kR, 48.2082, 16.3738, 52.52, 13.405), 524120.22922958876, 1e-5);
  EXPECT_NEAR(SphereGreatCircleDist(kR, 0, 179.5, 0, -179.5), 111317.09969219833, 1e-6);
  // A millimetre stays a millimetre.
  EXPECT_NEAR(SphereGreatCircleDist(kR, 10, 10, 10, 10 + 1e-8 / std::cos(10 * kPi / 180)),
              kR * 1e-8 * kPi / 180, 1e-9);
}

TEST(DegreeToStr, FormatsEachKind) {
  EXPECT_EQ(DegreeToStr(12.5, dfDeg, 2), "12.50\xC2\xB0");
  EXPECT_EQ(DegreeToStr(12.25, dfDeg, 0), "12\xC2\xB0");
  EXPECT_EQ(DegreeToStr(47.5125, dfDegMin, 2),
            "47\xC2\xB0"
            "30.75'");
  EXPECT_EQ(DegreeToStr(47.5, dfDegMin, 0),
            "47\xC2\xB0"
            "30'");
  EXPECT_EQ(DegreeToStr(16.0875, dfDegMinSec, 0),
            "16\xC2\xB0"
            "05'15\"");
  EXPECT_EQ(DegreeToStr(16.0875, dfDegMinSec, 1),
            "16\xC2\xB0"
            "05'15.0\"");
  EXPECT_EQ(DegreeToStr(0, dfDegMinSec, 0),
            "0\xC2\xB0"
            "00'00\"");
  EXPECT_EQ(DegreeToStr(-12.5, dfDeg, 1), "-12.5\xC2\xB0");
  EXPECT_EQ(DegreeToStr(-0.00001, dfDeg, 2), "0.00\xC2\xB0");  // no "-0"
  EXPECT_EQ(DegreeToStr(1e20, dfDegMin, 0),
            "100000000000000000000\xC2\xB0"
            "00'");
  EXPECT_THROW(DegreeToStr(std::numeric_limits<double>::quiet_NaN(), dfDeg, 0), EZYLMathError);
  EXPECT_THROW(DegreeToStr(-std::numeric_limits<double>::infinity(), dfDeg, 0), EZYLMathError);
}

TEST(DegreeToStr, CarriesNeverShowSixty) {
  EXPECT_EQ(DegreeToStr(10 + 59.9999 / 60, dfDegMin, 2),
            "11\xC2\xB0"
            "00.00'");
  EXPECT_EQ(DegreeToStr(12.99999, dfDegMin, 0),
            "13\xC2\xB0"
            "00'");
  EXPECT_EQ(DegreeToStr(10.99999999, dfDegMinSec, 0),
            "11\xC2\xB0"
            "00'00\"");
  EXPECT_EQ(DegreeToStr(10 + 29.9999999 / 3600, dfDegMinSec, 2),
            "10\xC2\xB0"
            "00'30.00\"");
  EXPECT_EQ(DegreeToStr(89.9999999, dfDeg, 3), "90.000\xC2\xB0");
}

TEST(DegreeToStr, HugeAnglesBeyondIntegerRangeKeepTheirDigits) {
  // Converting these to an integer count would overflow every integer type.
  const std::string ones = "1" + std::string(300, '0');
  EXPECT_EQ(DegreeToStr(1e300, dfDeg, 0), ones + "\xC2\xB0");
  EXPECT_EQ(DegreeToStr(-1e300, dfDegMinSec, 1), "-" + ones +
                                                     "\xC2\xB0"
                                                     "00'00.0\"");
  EXPECT_EQ(DegreeToStr(std::numeric_limits<double>::max(), dfDegMin, 0).size(), 309u + 2 + 3);
}

TEST(Hex, RoundTripsThroughScanHex) {
  EXPECT_EQ(Hex(0xFF0000, 8), "00FF0000");
  EXPECT_EQ(Hex(0xABC, 2), "BC");  // exactly Digits digits
  EXPECT_EQ(Hex(-1, 8), "FFFFFFFF");
  EXPECT_EQ(Hex(-2, 18), "FFFFFFFFFFFFFFFFFE");
  EXPECT_EQ(Hex(5, 0), "");
  EXPECT_THROW(Hex(5, 1000000000), EZYLMathError);
  for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{0x12345678}, int64_t{-1},
                    std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()}) {
    int pos = 1;
    EXPECT_EQ(ScanHex(Hex(v, 16), pos), v);
    EXPECT_EQ(pos, 17);
    pos = 1;
    EXPECT_EQ(static_cast<int32_t>(ScanHex(Hex(v, 8), pos)), static_cast<int32_t>(v));
  }
}

TEST(ScanHex, ReadsDigitsFromPositionAndAdvances) {
  int pos = 3;
  EXPECT_EQ(ScanHex("x= 1aF|", pos), 0x1AF);
  EXPECT_EQ(pos, 7);
  pos = 1;
  EXPECT_EQ(ScanHex("zz", pos), 0);
  EXPECT_EQ(pos, 1);
  pos = 10;
  EXPECT_EQ(ScanHex("12", pos), 0);
  pos = 0;
  EXPECT_EQ(ScanHex("ff", pos), 255);
  pos = 1;
  EXPECT_EQ(ScanHex("", pos), 0);
}

TEST(ScanDateTime, ReadsPictures) {
  int pos = 1;
  EXPECT_DOUBLE_EQ(ScanDateTime("20240229153045", "yyyymmddHHMMSS", lanEnglish, pos),
                   EncodeDate(2024, 2, 29) + EncodeTime(15, 30, 45, 0));
  EXPECT_EQ(pos, 15);
  pos = 3;
  EXPECT_DOUBLE_EQ(ScanDateTime("d:29.02.2024 07:05", "dd.mm.yyyy HH:MM", lanEnglish, pos),
                   EncodeDate(2024, 2, 29) + EncodeTime(7, 5, 0, 0));
  pos = 1;
  EXPECT_DOUBLE_EQ(ScanDateTime("3-mar-99", "d-mmm-yy", lanEnglish, pos), EncodeDate(1999, 3, 3));
  pos = 1;
  EXPECT_DOUBLE_EQ(ScanDateTime("01OKT2021", "ddmmmyyyy", lanGerman, pos), EncodeDate(2021, 10, 1));
  pos = 1;
  EXPECT_DOUBLE_EQ(ScanDateTime("12:00:30", "hh:nn:ss", lanEnglish, pos), 0.5 + 30.0 / 86400);
  // Before the zero date the fraction still counts forward within the day.
  pos = 1;
  EXPECT_DOUBLE_EQ(ScanDateTime("18991229120000", "yyyymmddHHMMSS", lanEnglish, pos), -1.5);
}

TEST(ScanDateTime, MalformedTextGivesZeroAndKeepsPosition) {
  for (const char* bad :
       {"", "2023022915", "20230229120000", "20231301000000", "20230101250000", "2023x101000000"}) {
    int pos = 1;
    EXPECT_EQ(ScanDateTime(bad, "yyyymmddHHMMSS", lanEnglish, pos), 0) << bad;
    EXPECT_EQ(pos, 1) << bad;
  }
  int pos = 1;
  EXPECT_EQ(ScanDateTime("xx-foo-2020", "dd-mmm-yyyy", lanEnglish, pos), 0);
}

TEST(ScanDateTime, MonthNameIsNotReadPastTheEndOfTheText) {
  // The view ends before "jan"; a start beyond its end must not look there.
  const std::string buffer = "12345678jan";
  const std::string_view text(buffer.data(), 5);
  for (const TLanguage lang : {lanEnglish, lanGerman}) {
    int pos = 9;
    EXPECT_EQ(ScanDateTime(text, "mmm", lang, pos), 0);
    EXPECT_EQ(pos, 9);
  }
}

TEST(Round125, Table) {
  const std::pair<double, double> table[] = {
      {0, 0},         {1, 1},      {1.4, 1},     {1.5, 2},        {3, 2},
      {3.2, 5},       {7, 5},      {7.1, 10},    {10, 10},        {1000, 1000},
      {250, 200},     {45, 50},    {0.03, 0.02}, {0.0035, 0.005}, {2e-300, 2e-300},
      {8e300, 1e301}, {-7.1, -10}, {-0.3, -0.2}, {5e-324, 5e-324}};
  for (const auto& [x, r] : table) EXPECT_DOUBLE_EQ(Round125(x), r) << x;
  EXPECT_TRUE(std::isnan(Round125(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(Round125(-std::numeric_limits<double>::infinity()),
            -std::numeric_limits<double>::infinity());
}

TEST(BRandom, CertainAndImpossibleAndFair) {
  int hits = 0;
  for (int i = 0; i < 10000; ++i) {
    EXPECT_TRUE(BRandom(1));
    EXPECT_FALSE(BRandom(0));
    hits += BRandom(0.25);
  }
  EXPECT_NEAR(hits, 2500, 250);
  EXPECT_FALSE(BRandom(-1));
  EXPECT_FALSE(BRandom(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(BRandom(2));
  SetBRandomSeed(42);
  bool first[64];
  for (bool& b : first) b = BRandom(0.5);
  SetBRandomSeed(42);
  for (bool b : first) EXPECT_EQ(BRandom(0.5), b);
}

TEST(ExChange, SwapsDoublesAndIntegers) {
  double a = 1.5, b = -2;
  ExChange(a, b);
  EXPECT_EQ(a, -2);
  EXPECT_EQ(b, 1.5);
  int32_t i = 3, j = 4;
  ExChange(i, j);
  EXPECT_EQ(i, 4);
  EXPECT_EQ(j, 3);
}
