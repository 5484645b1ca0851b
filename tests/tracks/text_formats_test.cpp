// The shared text layers of the readers: ISO 8601 times against the C
// library's own calendar (timegm), the XML scanner's tokens and its refusals,
// the JSON scanner's grammar, nesting that no input can turn into a stack
// overflow.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "tracks/json_scanner.h"
#include "tracks/track_text.h"
#include "tracks/xml_scanner.h"

namespace marovia::tracks {
namespace {

double Timegm(int Y, int Mo, int D, int H, int Mi, int S) {
  std::tm tm{};
  tm.tm_year = Y - 1900;
  tm.tm_mon = Mo - 1;
  tm.tm_mday = D;
  tm.tm_hour = H;
  tm.tm_min = Mi;
  tm.tm_sec = S;
  return static_cast<double>(timegm(&tm));
}

TEST(TrackText, IsoTimesAgreeWithTheCalendar) {
  struct TCase {
    const char* Text;
    double Expected;  // NaN: refused
  } cases[] = {
      {"2021-05-01T10:00:00Z", Timegm(2021, 5, 1, 10, 0, 0)},
      {"2021-05-01T10:00:00.125Z", Timegm(2021, 5, 1, 10, 0, 0) + 0.125},
      {"2021-05-01t10:00:00,5z", Timegm(2021, 5, 1, 10, 0, 0) + 0.5},
      {"2021-05-01T10:00:00", Timegm(2021, 5, 1, 10, 0, 0)},  // no zone: UTC
      {"2021-05-01T12:30:00+02:30", Timegm(2021, 5, 1, 10, 0, 0)},
      {"2021-05-01T00:00:00-0500", Timegm(2021, 5, 1, 5, 0, 0)},
      {"2021-05-01T10:00Z", Timegm(2021, 5, 1, 10, 0, 0)},
      {"2021-05-01", Timegm(2021, 5, 1, 0, 0, 0)},
      {" 2016-12-31T23:59:60Z ", Timegm(2017, 1, 1, 0, 0, 0)},  // leap second
      {"2000-02-29T00:00:00Z", Timegm(2000, 2, 29, 0, 0, 0)},
      {"1969-07-20T20:17:40Z", Timegm(1969, 7, 20, 20, 17, 40)},
      {"1900-03-01T00:00:00Z", Timegm(1900, 3, 1, 0, 0, 0)},
      {"0000-01-01T00:00:00Z", -62167219200.0},
      {"9999-12-31T23:59:59Z", 253402300799.0},
      {"9999-12-31T23:59:59-01:00", NAN},  // past the year 9999
      {"1900-02-29T00:00:00Z", NAN},
      {"2021-13-01T00:00:00Z", NAN},
      {"2021-05-01T24:00:00Z", NAN},
      {"2021-05-01T10:60:00Z", NAN},
      {"2021-05-01T10:00:00.Z", NAN},
      {"2021-05-01T10:00:00ZZ", NAN},
      {"2021-05-01T10:00:00+2", NAN},
      {"21-05-01", NAN},
      {"", NAN},
  };
  for (const TCase& c : cases) {
    double t = 0;
    const bool ok = ParseIsoTime(c.Text, t);
    EXPECT_EQ(ok, !std::isnan(c.Expected)) << c.Text;
    if (ok) {
      EXPECT_NEAR(t, c.Expected, 1e-9) << c.Text;
    }
  }
  // Written back to the millisecond, a carry into the next second included.
  EXPECT_EQ(FormatIsoTime(Timegm(1969, 12, 31, 23, 59, 59) + 0.25), "1969-12-31T23:59:59.250Z");
  EXPECT_EQ(FormatIsoTime(Timegm(2021, 5, 1, 10, 0, 0) - 0.0001), "2021-05-01T10:00:00Z");
  EXPECT_EQ(FormatIsoTime(-62167219200.0), "0000-01-01T00:00:00Z");
  EXPECT_EQ(FormatIsoTime(1e300), "");  // no year of four digits: left out
}

// The tokens of a document as text: "<name" for a start (with its
// attributes), ">name:text" for an end.
std::string Tokens(std::string_view Doc) {
  TXmlScanner x(Doc, "t.xml");
  std::string out;
  for (TXmlScanner::TToken t; (t = x.Next()) != TXmlScanner::TToken::Eof;) {
    if (t == TXmlScanner::TToken::Start) {
      out += "<" + std::string(x.Name());
      for (const auto& a : x.RawAttributes())
        out += " " + std::string(a.Name) + "=" + x.Decoded(a.Value);
    } else {
      out += ">" + std::string(x.LocalName()) + ":" + x.Text();
    }
    out += "|";
  }
  return out;
}

TEST(TrackText, XmlScannerTokensAndRefusals) {
  EXPECT_EQ(Tokens("<?xml version='1.0'?><!DOCTYPE a [<!ENTITY e 'x'>]><!-- c --><a k='1' "
                   "m=\"&lt;&#65;&#x42;\"><b/><p:c>t&amp;<![CDATA[<raw>]]><?pi?>u</p:c></a>\n"),
            "<a k=1 m=<AB|<b|>b:|<p:c|>c:t&<raw>u|>a:|");
  struct TBad {
    const char* Doc;
    int64_t Line;
    const char* Why;
  } bad[] = {
      {"<a>\n<b></a>", 2, "does not close 'b' (opened at line 2)"},
      {"<a>\n<b>", 2, "the file ends inside 'b'"},
      {"<a x=1/>", 1, "is not quoted"},
      {"<a x/>", 1, "has no value"},
      {"<a>&unknown;</a>", 1, "is not defined"},
      {"<a>&#0;</a>", 1, "names no character"},
      {"<a>&#xD800;</a>", 1, "names no character"},
      {"<a>& b</a>", 1, "starts no reference"},
      {"<a>< b</a>", 1, "starts no tag"},
      {"<a></a>\n<b/>", 2, "a second root element"},
      {"x<a/>", 1, "text outside the root element"},
      {"<a><!-- never closed</a>", 1, "ends inside a comment"},
      {"</a>", 1, "closes nothing"},
  };
  for (const TBad& b : bad) {
    try {
      Tokens(b.Doc);
      ADD_FAILURE() << b.Doc;
    } catch (const ETrackFileError& e) {
      EXPECT_EQ(e.Line(), b.Line) << b.Doc;
      EXPECT_NE(std::string(e.what()).find(b.Why), std::string::npos) << e.what();
    }
  }
}

// Nesting is followed in vectors: 200 000 levels are read (XML) or
// validated (JSON) without exhausting the call stack.
TEST(TrackText, DeepNestingNeedsNoStack) {
  const int n = 200000;  // far more levels than a stack of 8 MB would hold by recursion
  std::string xml, json;
  for (int i = 0; i < n; ++i) xml += "<a>";
  for (int i = 0; i < n; ++i) xml += "</a>";
  EXPECT_EQ(Tokens(xml).size(), static_cast<std::size_t>(n) * 7);  // "<a|" and ">a:|"
  json.assign(n, '[');
  json.append(n, ']');
  TJsonScanner j(json, "t.json");
  EXPECT_EQ(j.Validate().End, json.size());
}

TEST(TrackText, JsonGrammarAndStrings) {
  for (const char* good : {"0", "-0.5e+10", "[1,-2.25E-3,true,false,null]", " {\"a\":{\"b\":[]}} ",
                           "\"\\u00e9\\ud83d\\ude00\\\"\\\\\\/\\n\""}) {
    TJsonScanner j(good, "g.json");
    EXPECT_NO_THROW(j.Validate()) << good;
  }
  for (const char* bad : {"01", "1.", "-", ".5", "1e", "[1,]", "{\"a\" 1}", "{\"a\":1,}", "{1:2}",
                          "\"\\x\"", "\"\\u12\"", "\"a\nb\"", "tru", "[1] [2]", "[", ""}) {
    TJsonScanner j(bad, "b.json");
    EXPECT_THROW(j.Validate(), ETrackFileError) << bad;
  }
  const std::string text = "\"\\u00e9\\ud83d\\ude00 \\ud800x\\t\"";
  TJsonScanner j(text, "s.json");
  EXPECT_EQ(j.String(j.Validate()), "\xC3\xA9\xF0\x9F\x98\x80 \xEF\xBF\xBDx\t");
}

}  // namespace
}  // namespace marovia::tracks
