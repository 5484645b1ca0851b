// ReadLineFromStream: the five line-end modes, the end of the stream, the
// position left for the next reader, and the code page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/streams.h"

using namespace marovia;

namespace {

void Fill(TMemoryStream& s, const std::string& bytes) {
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
}

struct Line {
  std::string text;
  bool end;
  friend bool operator==(const Line&, const Line&) = default;
};

std::ostream& operator<<(std::ostream& os, const Line& l) {
  return os << '"' << l.text << '"' << (l.end ? " EOS" : "");
}

// Every line up to and including the first one that reports the end.
std::vector<Line> AllLines(const std::string& bytes, int mode) {
  TMemoryStream s;
  Fill(s, bytes);
  std::vector<Line> lines;
  for (;;) {
    Line l;
    l.text = ReadLineFromStream(s, l.end, mode);
    lines.push_back(l);
    if (l.end) return lines;
  }
}

}  // namespace

TEST(ReadLineFromStream, EndsLinesByMode) {
  const struct {
    const char* bytes;
    int mode;
    std::vector<Line> lines;
  } cases[] = {
      {"ab\r\ncd\n\nef", 0, {{"ab", false}, {"cd", false}, {"", false}, {"ef", true}}},
      {"a\r\r\nb", 0, {{"a\r", false}, {"b", true}}},  // at most two characters dropped
      {"ab\n", 0, {{"ab", false}, {"", true}}},
      // Mode 1: a line that meets the end is handed over unchanged.
      {"ab\rcd\r\nef", 1, {{"ab", false}, {"cd", false}, {"\nef", true}}},
      {"ab\r\ncd\ref", 2, {{"ab", false}, {"", false}, {"cd", false}, {"ef", true}}},
      {"ab\n\rcd\nx\r", 3, {{"ab", false}, {"cd\nx\r", true}}},
      {"ab\ncd\r\nef\r", 4, {{"ab\ncd", false}, {"ef\r", true}}},
      {"ab\ncd\r", 9, {{"ab\ncd\r", true}}},  // other modes know no line end
      {"", 0, {{"", true}}},
  };
  for (const auto& c : cases) EXPECT_EQ(AllLines(c.bytes, c.mode), c.lines) << "mode " << c.mode;
}

TEST(ReadLineFromStream, LeavesTheStreamRightAfterTheLineEnd) {
  // A long first line crosses several read blocks; the rest must stay
  // unread for the tag scanner.
  const std::string first(100000, 'x');
  TMemoryStream s;
  Fill(s, first + "\r\n<tail>");
  bool end = true;
  EXPECT_EQ(ReadLineFromStream(s, end, 0), first);
  EXPECT_FALSE(end);
  EXPECT_EQ(s.Position(), static_cast<int64_t>(first.size()) + 2);

  TMemoryStream t;
  Fill(t, "one\ntwo\n");
  ReadLineFromStream(t, end, 0);
  EXPECT_EQ(t.Position(), 4);
}

TEST(ReadLineFromStream, ReadsWindows1252BytesAsUtf8) {
  TMemoryStream s;
  Fill(s,
       "Stra\xDF"
       "e \x80 \x81\n");
  bool end = false;
  EXPECT_EQ(ReadLineFromStream(s, end, 0),
            "Stra\xC3\x9F"
            "e \xE2\x82\xAC \xC2\x81");
}
