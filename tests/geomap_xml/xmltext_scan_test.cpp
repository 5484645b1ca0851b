// Numbers and attributes picked out of tag texts: ScanNumber, ScanInteger,
// NextAttribute, AttributeValue, RootLineIdentifier.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "marovia/geomap/xmltext.h"
#include "marovia/zylbase/zylbase.h"

using namespace marovia;

namespace {

struct NumberCase {
  std::string text;
  bool exponent;
  int mode;
  int start;
  double value;
  int end;  // position left behind
};

}  // namespace

TEST(ScanNumber, FollowsTheStateTable) {
  const NumberCase cases[] = {
      {" -1.5E3x", true, 1, 1, -1500, 8},
      {"1.2.3", false, 3, 1, 0, 4},  // error at the second separator
      {"12.", true, 1, 1, 12, 4},
      {"   42", false, 1, 1, 42, 6},
      {".5", false, 1, 1, 0.5, 3},
      {".", false, 1, 1, 0, 2},
      {"12+3", false, 1, 1, 12, 3},
      {"1e3", true, 1, 1, 1000, 4},  // upper-cased before the test
      {"2E-3", true, 1, 1, 0.002, 5},
      {"1E5.3", true, 3, 1, 1e5, 4},
      {"1.5E3", false, 1, 1, 1.5, 4},  // no exponent: "E" ends the number
      // Errors give 0 with the position on the offending character.
      {"x", true, 1, 1, 0, 1},
      {"", true, 1, 1, 0, 1},
      {"-x", true, 1, 1, 0, 2},
      {"- 1", true, 1, 1, 0, 2},
      {"1E x", true, 1, 1, 0, 3},  // a blank right after "E"
      {"1EE", true, 1, 1, 0, 3},
      {"1E-+2", true, 1, 1, 0, 4},
      // A number that stops right after "E" or its sign is its mantissa.
      {"1E", true, 1, 1, 1, 3},
      {"1Ex", true, 1, 1, 1, 3},
      {"2.5E-", true, 1, 1, 2.5, 6},
      // Scanning from inside a text, as the corner reader does.
      {"[47.5,16.25]", true, 3, 7, 16.25, 12},
      {"[47.5,16.25]", true, 3, 0, 0, 1},  // a start below 1 counts as 1
      // Fixed fault: a start beyond the end was answered as it was, a
      // position past the one after the end that a caller could index with.
      {"12", true, 1, 9, 0, 3},
      {"", true, 3, 200, 0, 1},
  };
  for (const auto& c : cases) {
    int pos = c.start;
    EXPECT_EQ(ScanNumber(c.text, c.exponent, c.mode, pos), c.value) << '"' << c.text << '"';
    EXPECT_EQ(pos, c.end) << '"' << c.text << '"';
  }
}

TEST(ScanNumber, TakesTheSeparatorsOfItsMode) {
  const struct {
    const char* text;
    int mode;
    double value;
    int end;
  } cases[] = {
      {"47.5", 1, 47.5, 5}, {"47,5", 1, 47, 3},   {"47.5", 2, 47, 3},
      {"47,5", 2, 47.5, 5}, {"47.5", 3, 47.5, 5}, {"47,5", 3, 47.5, 5},
      {"47,5.1", 3, 0, 5},  {"47.5", 0, 47, 3},   {"47,5", 7, 47, 3},
  };
  for (const auto& c : cases) {
    int pos = 1;
    EXPECT_EQ(ScanNumber(c.text, true, c.mode, pos), c.value) << c.text << " mode " << c.mode;
    EXPECT_EQ(pos, c.end) << c.text << " mode " << c.mode;
  }
}

TEST(ScanNumber, ClampsOverflowAndStopsCountingHugeExponents) {
  const struct {
    std::string text;
    double value;
  } cases[] = {
      {"1E400", uc_MaxDouble},
      {"-1E400", -uc_MaxDouble},
      {"1E-400", 0},
      {"1" + std::string(400, '0'), uc_MaxDouble},  // the mantissa alone overflows
      {"0." + std::string(400, '0') + "1", 0},
      {"1E" + std::string(5000, '9'), uc_MaxDouble},  // no integer overflow in the exponent
      {"1E" + std::string(30, '0') + "5", 1e5},       // the limit is on the value, not the digits
  };
  for (const auto& c : cases) {
    int pos = 1;
    EXPECT_EQ(ScanNumber(c.text, true, 1, pos), c.value) << c.text.substr(0, 40);
    EXPECT_EQ(pos, static_cast<int>(c.text.size()) + 1) << c.text.substr(0, 40);
  }
}

TEST(ScanInteger, ReadsSignedDecimalsAndSaturates) {
  const struct {
    std::string text;
    int start;
    int32_t value;
    int end;
  } cases[] = {
      {"", 1, 0, 1},
      {"  -42x", 1, -42, 6},
      {"+7", 1, 7, 3},
      {"   ", 1, 0, 3},  // blanks are never skipped past the last character
      {"12,34", 4, 34, 6},
      {"12", 0, 12, 3},
      // Fixed fault: a start beyond the end was answered as it was.
      {"12", 5, 0, 3},
      {"", 7, 0, 1},
      {"2147483648", 1, INT32_MAX, 11},
      {"-99999999999999999999", 1, INT32_MIN, 22},
      {std::string(1000, '9'), 1, INT32_MAX, 1001},
  };
  for (const auto& c : cases) {
    int pos = c.start;
    EXPECT_EQ(ScanInteger(c.text, pos), c.value) << '"' << c.text.substr(0, 30) << '"';
    EXPECT_EQ(pos, c.end) << '"' << c.text.substr(0, 30) << '"';
  }
}

TEST(NextAttribute, AnswersEachCode) {
  const struct {
    const char* text;
    int start;
    int code;
    const char* name;
    const char* value;
    int end;
  } cases[] = {
      {" a=\"1\" b=2", 1, 0, "a", "1", 7},
      {" a=\"1\" b=2", 7, 0, "b", "2", 11},
      {" name = \"x y\" ", 1, 0, "name", "x y", 14},
      {"a=bare next", 1, 0, "a", "bare", 8},
      {"a=\"open", 1, 0, "a", "open", 8},  // the end of the text ends the value
      {"a=", 1, 0, "a", "", 3},
      {"  ", 1, 0, "", "", 3},
      {"x\"y=1", 1, 1, "x", "", 3},  // quote in the name
      {"a==1", 1, 2, "a", "", 4},    // second "="
      {"a=1=2", 1, 3, "a", "1", 5},  // "=" in a bare value
      {"a=\"1\"", 6, 4, "", "", 6},  // beyond the text: position kept
  };
  for (const auto& c : cases) {
    int pos = c.start;
    std::string name = "stale", value = "stale";
    EXPECT_EQ(NextAttribute(c.text, pos, name, value), c.code) << c.text;
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(pos, c.end) << c.text;
  }
}

TEST(AttributeValue, MatchesNamesWithoutCaseAndStopsAtAMalformedAttribute) {
  const std::string tag = " a=\"1\" B=\"Two Words\" c=\"3\" ";
  EXPECT_EQ(AttributeValue(tag, "b"), "Two Words");  // values keep their case
  EXPECT_EQ(AttributeValue(tag, "C"), "3");
  EXPECT_EQ(AttributeValue(tag, "d"), "");
  const std::string broken = " a=\"1\" b==2 c=\"3\"";
  EXPECT_EQ(AttributeValue(broken, "a"), "1");
  EXPECT_EQ(AttributeValue(broken, "c"), "");  // after the malformed one: missing
  // The first of two equal names wins.
  EXPECT_EQ(AttributeValue(" x=\"1\" X=\"2\"", "x"), "1");
  // Values are handed over as written; AttributeText decodes them.
  EXPECT_EQ(AttributeValue(" n=\"a &amp; b\"", "n"), "a &amp; b");
  EXPECT_EQ(AttributeText(" n=\"a &amp; &quot;b&quot;\"", "n"), "a & \"b\"");
}

TEST(RootLineIdentifier, TakesTheTrimmedDecodedLowerCasedId) {
  const struct {
    const char* line;
    const char* id;
  } cases[] = {
      {"<lmsymbols sig=\"Quorvant\" vers=\"1.0\" id=\"Alpha\">", "alpha"},
      {"<GEOMAP ID=\" Beta  \" model=\"utm\">", "beta"},
      {"<gmlandmarks sig=\"Quorvant\">", ""},
      {"<lmsymbols id=\"&#65;&amp;B\">", "a&b"},
  };
  for (const auto& c : cases) EXPECT_EQ(RootLineIdentifier(c.line), c.id) << c.line;
}
