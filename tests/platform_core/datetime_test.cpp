#include <gtest/gtest.h>

#include <cmath>

#include "marovia/platform/datetime.h"
#include "marovia/platform/sysutils.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

TEST(DateTime, EncodesAndDecodesDates) {
  const struct {
    int y, m, d;
    double serial;
  } cases[] = {
      {1899, 12, 30, 0},       {1899, 12, 31, 1},     {1900, 1, 1, 2},     {1899, 12, 29, -1},
      {1800, 1, 1, -36522},    {2000, 2, 29, 36585},  {2000, 3, 1, 36586}, {1, 1, 1, -693593},
      {9999, 12, 31, 2958465}, {2024, 12, 31, 45657},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    DecodeDate(c.serial, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.serial;
  }
}

TEST(DateTime, RejectsImpossibleDatesAndTimes) {
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);  // not a leap year
  EXPECT_THROW(EncodeDate(2023, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2023, 4, 31), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  TDateTime t = 5;
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, t));
  EXPECT_EQ(t, 5);
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(2100));
}

TEST(DateTime, TimeOfDayRoundTripsAndNegativeDatesKeepIt) {
  const TDateTime t = EncodeTime(13, 45, 30, 250);
  int h, n, s, ms;
  DecodeTime(t, h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 134530250);
  DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ(ms, 999);
  // -1.25 is 1899-12-29 at 06:00: the fraction is the time of day.
  int y, m, d;
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 6);
  EXPECT_THROW(DecodeDate(std::nan(""), y, m, d), EInvalidOp);
  EXPECT_THROW(DecodeTime(1e300, h, n, s, ms), EInvalidOp);
}

TEST(DateTime, FormatsPictures) {
  const TDateTime d = EncodeDate(2004, 3, 7) + EncodeTime(9, 5, 3, 42);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", d), "2004-03-07 09:05:03.042");
  EXPECT_EQ(FormatDateTime("d/m/yy h:n:s", d), "7/3/04 9:5:3");
  EXPECT_EQ(FormatDateTime("hh:mm", d), "09:05");  // m after an hour is the minute
  EXPECT_EQ(FormatDateTime("'Date:' dddd d mmmm yyyy", d), "Date: Sunday 7 March 2004");
  EXPECT_EQ(FormatDateTime("ddd mmm \"yyyy\"", d), "Sun Mar yyyy");
  EXPECT_EQ(FormatDateTime("h am/pm", d + 0.5), "9 pm");
  EXPECT_EQ(FormatDateTime("YYYYMMDD", d), "20040307");
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy", 0), "30.12.1899");
}

TEST(DateTime, NowAndFileAge) {
  const TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_EQ(Date(), std::floor(Date()));
  test::TempDir dir;
  const std::string f = dir.Write("f.txt", "x");
  TDateTime age = 0;
  ASSERT_TRUE(FileAge(f, age));
  EXPECT_LT(std::fabs(age - Now()), 1.0 / 24);  // within the hour
  EXPECT_FALSE(FileAge(dir.File("none"), age));
  EXPECT_FALSE(FileAge(dir.Path().string(), age));
}

}  // namespace
}  // namespace marovia
