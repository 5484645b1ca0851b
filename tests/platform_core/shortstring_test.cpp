#include "marovia/platform/shortstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>

namespace marovia {
namespace {

// The byte image is what tables and file records rely on.
static_assert(sizeof(TShortString<59>) == 60);
static_assert(sizeof(TShortString<255>) == 256);
static_assert(std::is_trivial_v<TShortString<59>>);

TEST(ShortString, CutsAtCapacityAndConvertsToUtf8) {
  constexpr TShortString<3> s("abcdef");
  static_assert(s.Length() == 3);
  EXPECT_EQ(s.View(), "abc");
  const TShortString<8> accented("Caf\xe9");  // Windows-1252 e acute
  EXPECT_EQ(accented.Length(), 4u);
  EXPECT_EQ(accented.Text(), "Caf\xc3\xa9");
}

TEST(ShortString, DamagedLengthByteIsClampedToTheField) {
  // A record read from a damaged file may carry any length byte; reading
  // past the field would run into the next record field.
  TShortString<4> s("abcd");
  s.Len = 250;
  EXPECT_EQ(s.Length(), 4u);
  EXPECT_EQ(s.View(), "abcd");
  EXPECT_EQ(s.Text(), "abcd");
}

TEST(ShortString, SetTextCutsCharactersAndFillsTheRest) {
  TShortString<6> s;
  s.SetText(
      "\xe2\x82\xac"
      "uro!",
      4, ' ');  // the euro sign is one byte here
  EXPECT_EQ(s.Len, 4);
  EXPECT_EQ(s.Text(),
            "\xe2\x82\xac"
            "uro");
  EXPECT_EQ(std::string(s.Data, 6), "\x80uro  ");

  s.SetBytes("toolongtext", 100);  // a limit beyond the field is the field
  EXPECT_EQ(s.View(), "toolon");
  s.SetBytes("x", -3);
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(std::memcmp(s.Data, "\0\0\0\0\0\0", 6), 0);
}

}  // namespace
}  // namespace marovia
