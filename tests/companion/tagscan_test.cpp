// Tag scanner and WriteLnStream: well-formed files, hostile input, linear
// time on huge input, and the position left behind for the next call.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"
#include "marovia/zylbase/streamtext.h"
#include "marovia/zylbase/tagscan.h"
#include "marovia/zylbase/zylbase.h"
#include "support/temp_dir.h"

using namespace marovia;

namespace {

// The table the XML readers pass; 15 "invalidtag" is the end-of-input answer.
const std::array<std::string, 16> kTags = {
    "geomap",       "/geomap",  "calline",   "corners",   "resolution", "gmlandmarks",
    "/gmlandmarks", "landmark", "calquads",  "lmsymbols", "/lmsymbols", "symbol",
    "utmzone",      "utmsouth", "ellipsoid", "invalidtag"};
constexpr int kHigh = 15;

struct Tag {
  int ix;
  std::string text, content;
};

class Scan {
 public:
  explicit Scan(const std::string& bytes) {
    stream_.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream_.SetPosition(0);
  }
  Tag Next() {
    Tag t;
    t.ix = ReadNextTagInStream(stream_, kTags, kHigh, t.text, t.content);
    return t;
  }
  TMemoryStream& Stream() { return stream_; }

 private:
  TMemoryStream stream_;
};

}  // namespace

TEST(TagScanner, WalksACalibrationSetElementByElement) {
  Scan s(
      "<?xml version=\"1.0\"?>\r\n\r\n<!-- TGeoMap Calibration / x -->\r\n"
      "<corners>\r\n[47.5,16.25] [46,16] \r\n</corners>\r\n"
      "<resolution>12.500</resolution>\r\n"
      "<calline type=\"parallel\" value=\"47\" npoints=\"3\">\r\n[1,2] [3,4] [5,6] "
      "\r\n</calline>\r\n"
      "</geomap>\r\nafter");
  Tag t = s.Next();
  EXPECT_EQ(t.ix, 3);
  EXPECT_EQ(t.text, "");
  EXPECT_EQ(t.content, " [47.5,16.25] [46,16]  ");  // each CR LF became one blank
  t = s.Next();
  EXPECT_EQ(t.ix, 4);
  EXPECT_EQ(t.content, "12.500");
  t = s.Next();
  EXPECT_EQ(t.ix, 2);
  EXPECT_EQ(t.text, " type=\"parallel\" value=\"47\" npoints=\"3\"");
  EXPECT_EQ(t.content, " [1,2] [3,4] [5,6]  ");
  t = s.Next();
  EXPECT_EQ(t.ix, 1);
  EXPECT_EQ(t.content, "");
  // The stream is left right after "</geomap>", so a caller can go on.
  EXPECT_EQ(s.Stream().Position(), s.Stream().Size() - 7);
  t = s.Next();
  EXPECT_EQ(t.ix, kHigh);
  EXPECT_EQ(t.text, "");
  EXPECT_EQ(t.content, "");
  EXPECT_EQ(s.Stream().Position(), s.Stream().Size());
}

TEST(TagScanner, MatchesWholeNamesWithoutCaseAndSeveralPerLine) {
  Scan s("<utmzonex>9</utmzonex><UTMZone>33</utmZONE><utmsouth >TRUE</utmsouth ><utm>1</utm>");
  Tag t = s.Next();
  EXPECT_EQ(t.ix, 12);
  EXPECT_EQ(t.content, "33");
  t = s.Next();
  EXPECT_EQ(t.ix, 13);
  EXPECT_EQ(t.text, " ");
  EXPECT_EQ(t.content, "TRUE");
  EXPECT_EQ(s.Next().ix, kHigh);
}

TEST(TagScanner, SelfClosingAndClosingTagsHaveNoContent) {
  Scan s(
      "<symbol element=\"Cross\" size=\"8\" />\r\n<symbol a=\"1\"/></lmsymbols>\r\n<symbol "
      "b=\"2\"/>");
  Tag t = s.Next();
  EXPECT_EQ(t.ix, 11);
  EXPECT_EQ(t.text, " element=\"Cross\" size=\"8\" ");
  EXPECT_EQ(t.content, "");
  t = s.Next();
  EXPECT_EQ(t.ix, 11);
  EXPECT_EQ(t.text, " a=\"1\"");
  EXPECT_EQ(s.Next().ix, 10);  // the set ends; the next symbol is still there
  EXPECT_EQ(s.Next().ix, 11);
}

TEST(TagScanner, QuotedValuesMayHoldAngleBrackets) {
  Scan s("<landmark captext=\"a<b>c\" lat=\"1\"/><landmark captext=\"unclosed\r\n lat=\"2\"/>");
  Tag t = s.Next();
  EXPECT_EQ(t.ix, 7);
  EXPECT_EQ(t.text, " captext=\"a<b>c\" lat=\"1\"");
  // A quote left open ends with its line rather than swallowing the file.
  t = s.Next();
  EXPECT_EQ(t.ix, 7);
  EXPECT_EQ(t.text, " captext=\"unclosed  lat=\"2\"");
}

TEST(TagScanner, NestedElementsOfTheSameNameStayInTheContent) {
  Scan s("<calline><calline>x</calline><calline/>y</calline><corners>z</corners>");
  Tag t = s.Next();
  EXPECT_EQ(t.ix, 2);
  EXPECT_EQ(t.content, "<calline>x</calline><calline/>y");
  EXPECT_EQ(s.Next().content, "z");
}

TEST(TagScanner, SurvivesHostileInput) {
  // Unterminated tag at the end of the input.
  EXPECT_EQ(Scan("<corners").Next().ix, kHigh);
  EXPECT_EQ(Scan("<corners a=\"1\"").Next().ix, kHigh);
  EXPECT_EQ(Scan("<").Next().ix, kHigh);
  EXPECT_EQ(Scan("").Next().ix, kHigh);
  // Missing closing tag: the rest of the input is the content.
  {
    Scan s("<resolution>12\r\n<utmzone>3");
    Tag t = s.Next();
    EXPECT_EQ(t.ix, 4);
    EXPECT_EQ(t.content, "12 <utmzone>3");
    EXPECT_EQ(s.Next().ix, kHigh);
  }
  // A tag broken by a '<' is dropped; the scan resumes at that '<'.
  {
    Scan s("<corners [1,2] <resolution>5</resolution>");
    Tag t = s.Next();
    EXPECT_EQ(t.ix, 4);
    EXPECT_EQ(t.content, "5");
  }
  // Binary bytes, NUL included, in names, between and inside elements.
  {
    static const char kBin[] = "\0\xff<\0corners>\x01<<resolution>\0x\x90</resolution>";
    Scan s(std::string(kBin, sizeof kBin - 1));
    Tag t = s.Next();
    EXPECT_EQ(t.ix, 4);
    EXPECT_EQ(t.content, std::string("\0x\xC2\x90", 4));  // byte 0x90 is U+0090
  }
  // Commented-out elements are skipped, also an unterminated comment.
  EXPECT_EQ(Scan("<!-- <corners>1</corners> --><utmzone>2</utmzone>").Next().content, "2");
  EXPECT_EQ(Scan("<!-- <corners>1</corners>").Next().ix, kHigh);
  EXPECT_EQ(Scan("<!DOCTYPE x><utmzone>2</utmzone>").Next().ix, 12);
}

TEST(TagScanner, HandsBackWindows1252AsUtf8) {
  Tag t = Scan("<landmark captext=\"Caf\xE9\">\x80</landmark>").Next();
  EXPECT_EQ(t.text, " captext=\"Caf\xC3\xA9\"");
  EXPECT_EQ(t.content, "\xE2\x82\xAC");
}

TEST(TagScanner, OnlyEntriesUpToHighAreSearched) {
  TMemoryStream st;
  const std::string bytes = "<ellipsoid>WGS84</ellipsoid><corners>1</corners>";
  st.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  st.SetPosition(0);
  std::string text, content;
  EXPECT_EQ(ReadNextTagInStream(st, kTags, 4, text, content), 3);
  EXPECT_EQ(content, "1");
  const std::array<const char*, 2> raw = {"ellipsoid", "end"};
  st.SetPosition(0);
  EXPECT_EQ(ReadNextTagInStream(st, raw, 1, text, content), 0);
  EXPECT_EQ(content, "WGS84");
  EXPECT_THROW(ReadNextTagInStream(st, kTags, 16, text, content), EZYLError);
  EXPECT_THROW(ReadNextTagInStream(st, kTags, -1, text, content), EZYLError);
}

TEST(TagScanner, HugeSingleLineIsReadInOnePass) {
  // 16 MB without a line end: junk with stray and unknown tags, then an
  // element whose content is most of it. A reader that went back over the
  // line for every tag would take hours here.
  const size_t half = 8u << 20;
  std::string bytes;
  bytes.reserve(2 * half + 64);
  while (bytes.size() < half) bytes += "ab<c d=\"e\">f<g <h ";
  bytes += "<calline n=\"1\">";
  const size_t contentStart = bytes.size();
  while (bytes.size() - contentStart < half) bytes += "[1,2] [3,4] ";
  const size_t contentSize = bytes.size() - contentStart;
  bytes += "</calline><utmzone>7</utmzone>";
  Scan s(bytes);
  bytes.clear();
  bytes.shrink_to_fit();
  Tag t = s.Next();
  EXPECT_EQ(t.ix, 2);
  EXPECT_EQ(t.content.size(), contentSize);
  EXPECT_EQ(s.Next().content, "7");
}

TEST(TagScanner, ManyElementsOnOneLineCostLinearTime) {
  // Each call must read only what it consumes: 200000 elements on one line
  // would take hours if every call re-read the rest of the line.
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += "<utmzone>" + std::to_string(i % 60) + "</utmzone>";
  Scan s(bytes);
  int count = 0;
  for (Tag t = s.Next(); t.ix != kHigh; t = s.Next()) {
    ASSERT_EQ(t.content, std::to_string(count % 60));
    ++count;
  }
  EXPECT_EQ(count, 200000);
}

class TagScannerFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) { return dir_.Write("f.xml", bytes); }
  test::TempDir dir_;
};

TEST_F(TagScannerFile, TextFileIsLeftRightAfterTheElement) {
  TTextFile f(
      Write("<geomap id=\"a\">\r\n<utmzone>\r\n32\r\n</utmzone>tail\r\n</geomap>\r\nnext\r\n"));
  f.Reset();
  EXPECT_EQ(f.ReadLn(), "<geomap id=\"a\">");  // root lines are found line by line
  std::string text, content;
  EXPECT_EQ(ReadNextTagInTextFile(f, kTags, kHigh, text, content), 12);
  EXPECT_EQ(content, " 32 ");
  EXPECT_EQ(f.ReadLn(), "tail");
  EXPECT_EQ(ReadNextTagInTextFile(f, kTags, kHigh, text, content), 1);
  EXPECT_EQ(f.ReadLn(), "");
  EXPECT_EQ(f.ReadLn(), "next");
  EXPECT_EQ(ReadNextTagInTextFile(f, kTags, kHigh, text, content), kHigh);
  f.CloseFile();
}

TEST_F(TagScannerFile, TextFilesAndStreamsReadTheSameAcrossBlockBoundaries) {
  // Elements whose tag texts, quoted values, line ends and contents fall on
  // every kind of boundary of the readers' blocks.
  std::string bytes;
  for (int i = 0; bytes.size() < 300000; ++i) {
    bytes += "<landmark id=\"" + std::string(static_cast<size_t>(i % 997), 'q') + "<>\" \r\n";
    bytes += " captext=\"open\r\n<symbol name=\"x\" />\r\n";
    bytes += "<corners>" + std::string(static_cast<size_t>(i % 1301), 'c') + "\r\n[" +
             std::to_string(i) + "]</corners>\r\n";
  }
  Scan s(bytes);
  TTextFile f(Write(bytes));
  f.Reset();
  int elements = 0;
  for (;;) {
    const Tag want = s.Next();
    Tag got;
    got.ix = ReadNextTagInTextFile(f, kTags, kHigh, got.text, got.content);
    ASSERT_EQ(got.ix, want.ix) << elements;
    ASSERT_EQ(got.text, want.text) << elements;
    ASSERT_EQ(got.content, want.content) << elements;
    ASSERT_EQ(f.TextPos(), s.Stream().Position()) << elements;
    if (want.ix == kHigh) break;
    ++elements;
  }
  EXPECT_GT(elements, 1000);
  f.CloseFile();
}

TEST(WriteLnStream, WritesWindows1252AndCrLf) {
  TMemoryStream st;
  WriteLnStream(st, "Caf\xC3\xA9 \xE2\x82\xAC");
  WriteLnStream(st, "");
  const std::string got(reinterpret_cast<const char*>(st.Memory()), static_cast<size_t>(st.Size()));
  EXPECT_EQ(got, "Caf\xE9 \x80\r\n\r\n");
}
