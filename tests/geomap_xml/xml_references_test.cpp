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
      {"a\"b<c>d&e", "a&quot;b&lt;c&gt;d&amp;e"},
      {"&amp;", "&amp;amp;"},
      {"line\r\nend\ttab", "line&#13;&#10;end&#9;tab"},
      {"Z\xC3\xBCrich \xE2\x82\xAC", "Z\xC3\xBCrich \xE2\x82\xAC"},  // in the code page
      {"\xD0\x96uk", "&#1046;uk"},                                   // Cyrillic Zhe is not
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
      // Left as written.
      {"a & b", "a & b"},
      {"&amp", "&amp"},
      {"&nbsp;", "&nbsp;"},
      {"&#;", "&#;"},
      {"&#12a;", "&#12a;"},
      {"&#xD800;", "&#xD800;"},
      {"&#1114112;", "&#1114112;"},
      {"&#99999999999999999999999;", "&#99999999999999999999999;"},
      {"&&amp;", "&&"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeXMLReferences(c.text), c.decoded) << c.text;
}

TEST(XMLReferences, ValuesSurviveTheEightBitFile) {
  // Escape, store as Windows-1252 bytes, read back, decode.
  const std::string values[] = {
      "",
      "Caption \"quoted\" <b> & more",
      // Two literals: a hex escape would take the "e" as one of its digits.
      std::string("Stra\xC3\x9F") + "e, \xC3\xA9t\xC3\xA9, \xE2\x82\xAC 5",
      "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xE6\x9D\xB1\xE4\xBA\xAC",
      "two\r\nlines",
  };
  for (const std::string& v : values) {
    const std::string bytes = Utf8ToCp1252(EscapeXMLValue(v));
    EXPECT_EQ(bytes.find('"'), std::string::npos) << v;
    EXPECT_EQ(bytes.find('\n'), std::string::npos) << v;
    EXPECT_EQ(DecodeXMLReferences(Cp1252ToUtf8(bytes)), v) << v;
  }
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(DecodeXMLReferences(Cp1252ToUtf8(Utf8ToCp1252(EscapeXMLValue(withNul)))), withNul);
}

TEST(ShapeNames, EveryWrittenShapeReadsBackAsItselfAndOthersAsCross) {
  // Fixed fault: "Plus" and "User-Defined" used to come back as lmCross.
  for (int k = 0; k < kNumLandMarkElements; ++k) {
    const auto kind = static_cast<TLandMarkElement>(k);
    EXPECT_EQ(LandMarkElementFromName(LandMarkElementName(kind)), kind) << LMTypeNames[k];
  }
  EXPECT_EQ(LandMarkElementFromName("ARROWTO"), lmArrowTo);
  EXPECT_EQ(LandMarkElementFromName("user-defined"), lmUserDef);
  for (const char* other : {"", "unknown", " square", "squares"})
    EXPECT_EQ(LandMarkElementFromName(other), lmCross) << other;
  EXPECT_EQ(LandMarkElementName(static_cast<TLandMarkElement>(200)), "Cross");
}
