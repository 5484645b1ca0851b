#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

TEST(Rounding, RoundsHalvesToEven) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(3.5), 4);
  EXPECT_EQ(Round(-0.5), 0);
  EXPECT_EQ(Round(-1.5), -2);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(Round(2.4999999999999996), 2);
  EXPECT_EQ(Round(2.5000000000000004), 3);
  EXPECT_EQ(Round(-0.0), 0);
  // Near 2^53 every double is an integer or a half-integer step apart.
  EXPECT_EQ(Round(4503599627370495.5), 4503599627370496);  // 2^52 - 0.5
  EXPECT_EQ(Round(4503599627370496.5), 4503599627370496);
  EXPECT_EQ(Round(9007199254740993.0), 9007199254740992);  // 2^53 + 1 is not a double
  EXPECT_EQ(Round(-9007199254740992.0), -9007199254740992);
}

TEST(Rounding, ConvertsLargestValuesInsideInt64) {
  EXPECT_EQ(Round(9223372036854774784.0), 9223372036854774784);  // 2^63 - 1024
  EXPECT_EQ(Round(-9223372036854775808.0), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Trunc(-9223372036854775808.0), std::numeric_limits<int64_t>::min());
}

TEST(Rounding, RaisesInvalidOpOutsideInt64AndForNonFinite) {
  const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e19, -1e19, 9223372036854775808.0};
  for (double x : bad) {
    EXPECT_THROW(Round(x), EInvalidOp) << x;
    EXPECT_THROW(Trunc(x), EInvalidOp) << x;
    EXPECT_THROW(Round32(x), EInvalidOp) << x;
  }
}

TEST(Rounding, Round32RaisesWhenResultLeavesInt32) {
  EXPECT_EQ(Round32(2147483646.5), 2147483646);
  EXPECT_EQ(Round32(-2147483648.4), std::numeric_limits<int32_t>::min());
  EXPECT_THROW(Round32(2147483647.5), EInvalidOp);  // even neighbour is 2^31
  EXPECT_THROW(Round32(-2147483649.0), EInvalidOp);
  EXPECT_THROW(Trunc32(3e9), EInvalidOp);
  EXPECT_EQ(Trunc32(-2147483648.9), std::numeric_limits<int32_t>::min());
}

TEST(Rounding, TruncatesTowardZero) {
  EXPECT_EQ(Trunc(2.9), 2);
  EXPECT_EQ(Trunc(-2.9), -2);
  EXPECT_EQ(Trunc(-0.1), 0);
  EXPECT_EQ(Trunc32(1e9 + 0.99), 1000000000);
}

TEST(Rounding, ErrorMessageNamesTheValue) {
  try {
    Round(1e19);
    FAIL();
  } catch (const EInvalidOp& e) {
    EXPECT_NE(e.Message().find("1E19"), std::string::npos) << e.Message();
  }
}

}  // namespace
}  // namespace marovia
