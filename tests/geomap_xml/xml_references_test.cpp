// XML references in attribute values, and the shape names of the files.
#include <gtest/gtest.h>

#include <string>

#include "marovia/geomap/shape_names.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

using namespace marovia;

TEST(XMLReferences, EscapesWhatWouldBreakALineOrTheCodePage) {
  const struct {
    const char* text;
    const char* escaped;
  } cases[] = {
      {"plain text", "plain text"},
      {"a\"b<c>d&e", "a&quot;b&lt;c&gt;d&amp;e"},
      {"&amp;", "&amp;amp;"},
      {"line\r\nend\ttab", "line&#13;&#10;end&#9;tab"},
      {"Z\xC3\xBCrich \xE2\x82\xAC", "Z\xC3\xBCrich \xE2\x82\xAC"},  // in the code page
      {"\xD0\x96uk", "&#1046;uk"},                                   // Cyrillic Zhe is not
      {"\xF0\x9F\x97\xBA", "&#128506;"},
      {"\xC2\x80", "&#128;"},              // U+0080 has no byte of its own
      {"\xC2\x81", "\xC2\x81"},            // U+0081 stands for the unused byte 0x81
      {"bad \xFF byte", "bad \xFF byte"},  // not UTF-8: left for the code page
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeXMLValue(c.text), c.escaped) << c.text;
}

TEST(XMLReferences, DecodesNamedAndNumericReferencesAndKeepsMalformedOnes) {
  const struct {
    const char* text;
    const char* decoded;
  } cases[] = {
      {"a &amp; b", "a & b"},
      {"&quot;&lt;&gt;&apos;", "\"<>'"},
      {"&#65;&#x42;&#X43;&#0000068;", "ABCD"},
      {"&#8364;&#x416;", "\xE2\x82\xAC\xD0\x96"},
      {"&#x1F5FA;", "\xF0\x9F\x97\xBA"},
      {"&#9;", "\t"},
      // Left as written.
      {"a & b", "a & b"},
      {"&amp", "&amp"},
      {"&AMP;", "&AMP;"},
      {"&nbsp;", "&nbsp;"},
      {"&#;", "&#;"},
      {"&#x;", "&#x;"},
      {"&#12a;", "&#12a;"},
      {"&#xD800;", "&#xD800;"},
      {"&#1114112;", "&#1114112;"},
      {"&#99999999999999999999999;", "&#99999999999999999999999;"},
      {"&&amp;", "&&"},
      {"trailing &", "trailing &"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeXMLReferences(c.text), c.decoded) << c.text;
}

TEST(XMLReferences, ValuesSurviveTheEightBitFile) {
  // Escape, store as Windows-1252 bytes, read back, decode.
  const char* values[] = {
      "",
      "Caption \"quoted\" <b> & more",
      "Stra\xC3\x9F"
      "e, \xC3\xA9t\xC3\xA9, \xE2\x82\xAC 5",
      "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xE6\x9D\xB1\xE4\xBA\xAC",
      "two\r\nlines",
      "already &amp; escaped",
  };
  for (const std::string v : values) {
    const std::string bytes = Utf8ToCp1252(EscapeXMLValue(v));
    EXPECT_EQ(bytes.find('"'), std::string::npos) << v;
    EXPECT_EQ(bytes.find('\n'), std::string::npos) << v;
    EXPECT_EQ(DecodeXMLReferences(Cp1252ToUtf8(bytes)), v) << v;
  }
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(DecodeXMLReferences(Cp1252ToUtf8(Utf8ToCp1252(EscapeXMLValue(withNul)))), withNul);
}

TEST(ShapeNames, EveryWrittenShapeReadsBackAsItself) {
  for (int k = 0; k < kNumLandMarkElements; ++k) {
    const auto kind = static_cast<TLandMarkElement>(k);
    EXPECT_EQ(LandMarkElementFromName(LandMarkElementName(kind)), kind) << LMTypeNames[k];
  }
  // Fixed fault: "Plus" and "User-Defined" used to come back as lmCross.
  EXPECT_EQ(LandMarkElementFromName("Plus"), lmPlus);
  EXPECT_EQ(LandMarkElementFromName("user-defined"), lmUserDef);
}

TEST(ShapeNames, ComparesWithoutCaseAndFallsBackToCross) {
  const struct {
    const char* name;
    TLandMarkElement kind;
  } cases[] = {
      {"ARROWTO", lmArrowTo},   {"arrowfrom", lmArrowFrom}, {"Square", lmSquare},
      {"triangle", lmTriangle}, {"CIRCLE", lmCircle},       {"crossbox", lmCrossBox},
      {"spade", lmSpade},       {"cross", lmCross},         {"", lmCross},
      {"unknown", lmCross},     {" square", lmCross},       {"squares", lmCross},
  };
  for (const auto& c : cases) EXPECT_EQ(LandMarkElementFromName(c.name), c.kind) << c.name;
  EXPECT_EQ(LandMarkElementName(static_cast<TLandMarkElement>(200)), "Cross");
}
