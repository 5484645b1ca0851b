#include <gtest/gtest.h>

#include "marovia/platform/strutils.h"

namespace marovia {
namespace {

TEST(CodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8Length(utf8), 256);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
}

TEST(CodePage, MapsTheCharactersOfTheHighRange) {
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Utf8ToCp1252("\u20AC"), "\x80");
  EXPECT_EQ(Cp1252ToUtf8("\x9F\xE9\xFF"), "\u0178\u00E9\u00FF");
  EXPECT_EQ(Utf8ToCp1252("Stra\u00DFe \u2013 \u201Cx\u201D"),
            "Stra\xDF"
            "e \x96 \x93x\x94");
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D"), "\u0081\u008D");  // unused bytes stay distinct
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\u4E2Db"), "a?b");
  EXPECT_EQ(Utf8ToCp1252("\U0001F600"), "?");
  EXPECT_EQ(Utf8ToCp1252("\u0080"), "?");  // a C1 control the code page uses otherwise
}

TEST(CodePage, InvalidUtf8BytesAreTakenAsWindows1252) {
  EXPECT_EQ(Utf8ToCp1252("caf\xE9"), "caf\xE9");            // truncated sequence
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "\xC0\xAF");          // overlong '/'
  EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "\xED\xA0\x80");  // surrogate
  EXPECT_EQ(Utf8ToCp1252("\x80x"), "\x80x");                // stray continuation
}

TEST(Utf8, LengthAndLeftCountCharacters) {
  const std::string s = "a\u00E9\u20AC\U0001F600z";
  EXPECT_EQ(Utf8Length(s), 5);
  EXPECT_EQ(Utf8Left(s, 3), "a\u00E9\u20AC");
  EXPECT_EQ(Utf8Left(s, 0), "");
  EXPECT_EQ(Utf8Left(s, -1), "");
  EXPECT_EQ(Utf8Left(s, 99), s);
  EXPECT_EQ(Utf8Length("\xE9\xE9"), 2);  // invalid bytes count one each
  EXPECT_EQ(Utf8Left("\xE2\x82", 1), "\xE2");
}

}  // namespace
}  // namespace marovia
