// ReadLineFromStream: one line of Windows-1252 bytes from a stream.
//
// The stream is read in blocks rather than byte by byte (a file stream would
// otherwise pay one system call per character); the bytes read beyond the
// line end are given back by seeking, so the stream is left exactly where a
// byte-wise reader would leave it: the tag scanner continues from there.
#include <algorithm>
#include <vector>

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

constexpr int64_t kFirstBlock = 256;
constexpr int64_t kLargestBlock = 64 * 1024;

// Whether the character just appended to line (its last character) ends the
// line in the mode.
bool EndsLine(const std::string& line, int mode) {
  const char c = line.back();
  const char before = line.size() >= 2 ? line[line.size() - 2] : '\0';
  switch (mode) {
    case 0:
      return c == '\n';
    case 1:
      return c == '\r';
    case 2:
      return c == '\n' || c == '\r';
    case 3:
      return c == '\r' && line.size() >= 2 && before == '\n';
    case 4:
      return c == '\n' && line.size() >= 2 && before == '\r';
    default:
      return false;
  }
}

void DropLineEnd(std::string& line) {
  for (int i = 0; i < 2; ++i)
    if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

}  // namespace

std::string ReadLineFromStream(TStream& Stream, bool& EndOfStream, int LineEndMode) {
  EndOfStream = false;
  std::string line;
  std::vector<char> block;
  for (int64_t size = kFirstBlock;; size = std::min(size * 2, kLargestBlock)) {
    block.resize(static_cast<size_t>(size));
    const int64_t got = Stream.Read(block.data(), size);
    if (got <= 0) {
      EndOfStream = true;
      return Cp1252ToUtf8(line);
    }
    for (int64_t i = 0; i < got; ++i) {
      line.push_back(block[static_cast<size_t>(i)]);
      if (EndsLine(line, LineEndMode)) {
        const int64_t unread = got - i - 1;
        if (unread > 0) Stream.Seek(-unread, soCurrent);
        DropLineEnd(line);
        return Cp1252ToUtf8(line);
      }
    }
  }
}

}  // namespace marovia
