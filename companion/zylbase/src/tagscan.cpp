// The tag scanner. One forward pass over the bytes with one byte of
// look-ahead; nothing is ever read twice, so a call costs the bytes it
// consumes (plus, for streams, at most one read-ahead block that is given
// back by seeking).
#include "marovia/zylbase/tagscan.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "marovia/platform/strutils.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

namespace {

bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsNameChar(int c) {
  return c >= 0 && !IsBlank(c) && c != '>' && c != '<' && c != '/';
}

// Bytes that end a run of plain content: a tag start and line ends.
bool IsSpecial(int c) {
  return c == '<' || c == '\r' || c == '\n';
}

// Bytes that end a run of plain tag text: outside quotes also the tag's end,
// a '<' that breaks it and the opening quote; inside quotes only the
// closing quote and line ends.
bool IsTagSpecial(int c) {
  return c == '<' || c == '>' || c == '"' || c == '\r' || c == '\n';
}
bool IsQuotedSpecial(int c) {
  return c == '"' || c == '\r' || c == '\n';
}

// Byte source over a text file: the file's own read-ahead, taken in blocks.
class TextFileSource {
 public:
  explicit TextFileSource(TTextFile& f) : f_(f) {}
  int Peek() { return f_.PeekChar(); }
  int Get() { return f_.ReadChar(); }
  bool SkipPast(char stop) {
    for (std::string_view block = f_.PeekBlock(); !block.empty(); block = f_.PeekBlock()) {
      const size_t at = block.find(stop);
      if (at != std::string_view::npos) {
        f_.SkipBytes(at + 1);
        return true;
      }
      f_.SkipBytes(block.size());
    }
    return false;
  }
  // Appends the bytes up to the first one for which stop is true (not
  // consumed), or to the end of the input.
  template <typename Stop>
  void AppendUntil(std::string& out, Stop stop) {
    for (std::string_view block = f_.PeekBlock(); !block.empty(); block = f_.PeekBlock()) {
      size_t end = 0;
      while (end < block.size() && !stop(static_cast<unsigned char>(block[end]))) ++end;
      out.append(block.data(), end);
      f_.SkipBytes(end);
      if (end < block.size()) return;
    }
  }
  void Finish() {}

 private:
  TTextFile& f_;
};

// Byte source over a stream. Reads in blocks that start small and double,
// so that scanning many small elements does not read far ahead each time;
// Finish gives back what was read ahead.
class StreamSource {
 public:
  explicit StreamSource(TStream& s) : s_(s), start_(s.Position()) {}
  int Peek() {
    if (pos_ == len_ && !Fill()) return -1;
    return static_cast<unsigned char>(buf_[pos_]);
  }
  int Get() {
    if (pos_ == len_ && !Fill()) return -1;
    return static_cast<unsigned char>(buf_[pos_++]);
  }
  // Consumes everything up to and including the next stop byte; false at
  // the end of the input.
  bool SkipPast(char stop) {
    for (;;) {
      if (pos_ == len_ && !Fill()) return false;
      const void* hit = std::memchr(buf_.data() + pos_, stop, len_ - pos_);
      if (hit != nullptr) {
        pos_ = static_cast<size_t>(static_cast<const char*>(hit) - buf_.data()) + 1;
        return true;
      }
      pos_ = len_;
    }
  }
  // Appends the bytes up to the first one for which stop is true (not
  // consumed), or to the end of the input.
  template <typename Stop>
  void AppendUntil(std::string& out, Stop stop) {
    for (;;) {
      if (pos_ == len_ && !Fill()) return;
      size_t end = pos_;
      while (end < len_ && !stop(static_cast<unsigned char>(buf_[end]))) ++end;
      out.append(buf_.data() + pos_, end - pos_);
      const bool stopped = end < len_;
      pos_ = end;
      if (stopped) return;
    }
  }
  void Finish() {
    const int64_t consumed = fetched_ - static_cast<int64_t>(len_ - pos_);
    s_.Seek(start_ + consumed, soBeginning);
  }

 private:
  bool Fill() {
    if (eof_) return false;
    buf_.resize(chunk_);
    const int64_t n = s_.Read(buf_.data(), static_cast<int64_t>(chunk_));
    pos_ = 0;
    len_ = n > 0 ? static_cast<size_t>(n) : 0;
    if (len_ == 0) {
      eof_ = true;
      return false;
    }
    fetched_ += n;
    if (chunk_ < kMaxChunk) chunk_ *= 2;
    return true;
  }

  static constexpr size_t kMaxChunk = 64 * 1024;
  TStream& s_;
  int64_t start_;
  int64_t fetched_ = 0;
  std::vector<char> buf_;
  size_t pos_ = 0;
  size_t len_ = 0;
  size_t chunk_ = 256;
  bool eof_ = false;
};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

template <typename Source>
class Scanner {
 public:
  Scanner(Source& src, const std::vector<std::string>& names) : src_(src), names_(names) {
    for (const auto& n : names_) maxName_ = std::max(maxName_, n.size());
  }

  // Answers the table position of the next element, or -1 at the end of
  // the input.
  int Next(std::string& text, std::string& content) {
    for (;;) {
      if (!src_.SkipPast('<')) return -1;
      if (src_.Peek() == '!') {
        src_.Get();
        if (AtCommentStart() && !SkipComment()) return -1;
        continue;
      }
      std::string name;
      if (src_.Peek() == '/') name += static_cast<char>(src_.Get());
      // Names longer than any table entry cannot match; keep one byte more
      // than the longest entry so that they are known not to.
      while (IsNameChar(src_.Peek())) {
        const int ch = src_.Get();
        if (name.size() <= maxName_) name += static_cast<char>(ch);
      }
      const int ix = Lookup(name);
      if (ix < 0) continue;
      text.clear();
      const int end = ReadTagText(text);
      if (end < 0) return -1;
      if (end == 0) continue;  // broken tag; resume at the '<' that broke it
      content.clear();
      if (ClosesItself(text) || name[0] == '/' || name[0] == '?') return ix;
      ReadContent(name, content);
      return ix;
    }
  }

 private:
  // Appends c, turning a line end (CR LF, LF, CR) into one blank.
  void Put(std::string& out, int c) {
    if (c == '\r') {
      if (src_.Peek() == '\n') src_.Get();
      out += ' ';
    } else if (c == '\n') {
      out += ' ';
    } else {
      out += static_cast<char>(c);
    }
  }

  int Lookup(const std::string& name) const {
    if (name.empty()) return -1;
    for (size_t i = 0; i < names_.size(); ++i)
      if (!names_[i].empty() && SameName(name, names_[i])) return static_cast<int>(i);
    return -1;
  }

  // After "<!": consumes "--" when it follows.
  bool AtCommentStart() {
    if (src_.Peek() != '-') return false;
    src_.Get();
    if (src_.Peek() != '-') return false;
    src_.Get();
    return true;
  }

  // Skips to the end of "-->"; false at the end of the input.
  bool SkipComment() {
    int dashes = 0;
    for (;;) {
      const int c = src_.Get();
      if (c < 0) return false;
      if (c == '>' && dashes >= 2) return true;
      dashes = (c == '-') ? dashes + 1 : 0;
    }
  }

  // Reads the tag text up to and including '>': 1 when the tag closed, 0
  // when a '<' outside quotes broke it (the '<' is not consumed), -1 at the
  // end of the input.
  int ReadTagText(std::string& text) {
    bool quoted = false;
    for (;;) {
      if (quoted)
        src_.AppendUntil(text, IsQuotedSpecial);
      else
        src_.AppendUntil(text, IsTagSpecial);
      const int c = src_.Peek();
      if (c < 0) return -1;
      if (!quoted && c == '<') return 0;
      src_.Get();
      if (!quoted && c == '>') return 1;
      if (c == '"') quoted = !quoted;
      if (c == '\r' || c == '\n') quoted = false;
      Put(text, c);
    }
  }

  // A tag text ending in '/' (blanks after it allowed) closes its element;
  // the '/' and what follows it are removed.
  static bool ClosesItself(std::string& text) {
    const size_t last = text.find_last_not_of(" \t\f\v");
    if (last == std::string::npos || text[last] != '/') return false;
    text.erase(last);
    return true;
  }

  // Reads the content up to the matching closing tag of name, which is
  // consumed but not kept; at the end of the input the content is the rest.
  void ReadContent(const std::string& name, std::string& content) {
    int depth = 0;
    for (;;) {
      src_.AppendUntil(content, IsSpecial);
      const int c = src_.Get();
      if (c < 0) return;
      if (c != '<') {
        Put(content, c);
        continue;
      }
      const size_t mark = content.size();
      content += '<';
      const bool closing = src_.Peek() == '/';
      if (closing) content += static_cast<char>(src_.Get());
      std::string candidate;
      while (IsNameChar(src_.Peek())) {
        const int ch = src_.Get();
        content += static_cast<char>(ch);
        if (candidate.size() <= name.size()) candidate += static_cast<char>(ch);
      }
      if (!SameName(candidate, name)) continue;
      if (closing) {
        while (IsBlank(src_.Peek())) Put(content, src_.Get());
        if (src_.Peek() != '>') continue;
        src_.Get();
        if (depth == 0) {
          content.resize(mark);
          return;
        }
        --depth;
        content += '>';
      } else {
        SkipNestedOpeningTag(content, depth);
      }
    }
  }

  // The rest of a nested opening tag of the same name: copied into the
  // content; it deepens the nesting unless it closes itself.
  void SkipNestedOpeningTag(std::string& content, int& depth) {
    bool quoted = false;
    int last = 0;
    for (;;) {
      const int c = src_.Peek();
      if (c < 0 || (!quoted && c == '<')) return;
      src_.Get();
      if (!quoted && c == '>') {
        if (last != '/') ++depth;
        content += '>';
        return;
      }
      if (c == '"') quoted = !quoted;
      if (c == '\r' || c == '\n') quoted = false;
      if (!IsBlank(c)) last = c;
      Put(content, c);
    }
  }

  Source& src_;
  const std::vector<std::string>& names_;
  size_t maxName_ = 0;
};

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

template <typename List>
std::vector<std::string> PrepareNames(const char* who, const List& Tags, int High) {
  if (High < 0 || static_cast<size_t>(High) >= Tags.size())
    throw EZYLError(std::string(who) + ": highest tag position " + std::to_string(High) +
                    " outside the tag list of " + std::to_string(Tags.size()) + " entries");
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(High) + 1);
  for (int i = 0; i <= High; ++i) {
    const char* raw = nullptr;
    if constexpr (std::is_same_v<List, std::span<const char* const>>)
      raw = Tags[static_cast<size_t>(i)];
    else
      raw = Tags[static_cast<size_t>(i)].c_str();
    // The file holds Windows-1252 bytes; compare in that encoding. Plain
    // ASCII names (all the map files' tags) are the same in both.
    if (raw == nullptr)
      names.emplace_back();
    else if (IsAscii(raw))
      names.emplace_back(raw);
    else
      names.push_back(Utf8ToCp1252(raw));
  }
  return names;
}

template <typename Source>
int Run(Source& src, const std::vector<std::string>& names, int High, std::string& TagText,
        std::string& Content) {
  std::string text, content;
  Scanner<Source> scanner(src, names);
  const int ix = scanner.Next(text, content);
  src.Finish();
  if (ix < 0) {
    TagText.clear();
    Content.clear();
    return High;
  }
  TagText = Cp1252ToUtf8(text);
  Content = Cp1252ToUtf8(content);
  return ix;
}

template <typename List>
int FromTextFile(TTextFile& f, const List& Tags, int High, std::string& TagText,
                 std::string& Content) {
  const auto names = PrepareNames("ReadNextTagInTextFile", Tags, High);
  TextFileSource src(f);
  return Run(src, names, High, TagText, Content);
}

template <typename List>
int FromStream(TStream& s, const List& Tags, int High, std::string& TagText, std::string& Content) {
  const auto names = PrepareNames("ReadNextTagInStream", Tags, High);
  StreamSource src(s);
  return Run(src, names, High, TagText, Content);
}

}  // namespace

int ReadNextTagInTextFile(TTextFile& TextFile, std::span<const std::string> Tags, int High,
                          std::string& TagText, std::string& Content) {
  return FromTextFile(TextFile, Tags, High, TagText, Content);
}

int ReadNextTagInTextFile(TTextFile& TextFile, std::span<const char* const> Tags, int High,
                          std::string& TagText, std::string& Content) {
  return FromTextFile(TextFile, Tags, High, TagText, Content);
}

int ReadNextTagInStream(TStream& Stream, std::span<const std::string> Tags, int High,
                        std::string& TagText, std::string& Content) {
  return FromStream(Stream, Tags, High, TagText, Content);
}

int ReadNextTagInStream(TStream& Stream, std::span<const char* const> Tags, int High,
                        std::string& TagText, std::string& Content) {
  return FromStream(Stream, Tags, High, TagText, Content);
}

}  // namespace marovia
