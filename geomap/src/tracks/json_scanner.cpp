// The JSON scanner of the GeoJSON reader (see json_scanner.h).
#include "tracks/json_scanner.h"

#include <charconv>
#include <cmath>

#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia::tracks {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TJsonScanner::TJsonScanner(std::string_view Text, const std::string& FileName)
    : text_(Text), fileName_(FileName) {}

void TJsonScanner::Fail(std::size_t Offset, const std::string& Why) const {
  FailAt(fileName_, text_, Offset, Why);
}

int64_t TJsonScanner::LineOf(std::size_t Offset) const {
  return PositionOf(text_, Offset).Line;
}

std::size_t TJsonScanner::SkipSpace(std::size_t i) const {
  while (i < text_.size() && IsSpace(text_[i])) ++i;
  return i;
}

std::size_t TJsonScanner::SkipString(std::size_t i) const {
  const std::size_t start = i++;
  for (;;) {
    if (i >= text_.size()) Fail(start, "the file ends inside a string");
    const unsigned char c = static_cast<unsigned char>(text_[i]);
    if (c == '"') return i + 1;
    if (c < 0x20) Fail(i, "a control character inside a string (write it as an escape)");
    if (c != '\\') {
      ++i;
      continue;
    }
    if (i + 1 >= text_.size()) Fail(start, "the file ends inside a string");
    const char e = text_[i + 1];
    if (e == 'u') {
      for (int k = 2; k < 6; ++k)
        if (i + k >= text_.size() || HexValue(text_[i + k]) < 0)
          Fail(i, "\\u needs four hexadecimal digits");
      i += 6;
    } else if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' ||
               e == 't') {
      i += 2;
    } else {
      Fail(i, "the escape " + Quoted(text_.substr(i, 2)) + " is not JSON");
    }
  }
}

std::size_t TJsonScanner::SkipNumber(std::size_t i) const {
  const std::size_t start = i;
  auto bad = [&] { Fail(start, "a malformed number"); };
  if (i < text_.size() && text_[i] == '-') ++i;
  if (i >= text_.size() || !IsDigit(text_[i])) bad();
  if (text_[i] == '0') {
    ++i;
  } else {
    while (i < text_.size() && IsDigit(text_[i])) ++i;
  }
  if (i < text_.size() && text_[i] == '.') {
    ++i;
    if (i >= text_.size() || !IsDigit(text_[i])) bad();
    while (i < text_.size() && IsDigit(text_[i])) ++i;
  }
  if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
    ++i;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) ++i;
    if (i >= text_.size() || !IsDigit(text_[i])) bad();
    while (i < text_.size() && IsDigit(text_[i])) ++i;
  }
  return i;
}

std::size_t TJsonScanner::Key(std::size_t i) {
  i = SkipSpace(i);
  if (i >= text_.size() || text_[i] != '"') Fail(i, "a member's name (a string) expected");
  i = SkipSpace(SkipString(i));
  if (i >= text_.size() || text_[i] != ':') Fail(i, "':' expected after a member's name");
  return SkipSpace(i + 1);
}

std::size_t TJsonScanner::SkipValue(std::size_t i) {
  stack_.clear();
  for (;;) {
    // A value starts at i.
    i = SkipSpace(i);
    if (i >= text_.size()) Fail(i, "the file ends where a value should be");
    const char c = text_[i];
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      i = SkipSpace(i + 1);
      if (i < text_.size() && text_[i] == close) {
        ++i;
      } else {
        stack_.push_back(c);
        if (c == '{') i = Key(i);
        continue;
      }
    } else if (c == '"') {
      i = SkipString(i);
    } else if (c == '-' || IsDigit(c)) {
      i = SkipNumber(i);
    } else if (text_.substr(i, 4) == "true" || text_.substr(i, 4) == "null") {
      i += 4;
    } else if (text_.substr(i, 5) == "false") {
      i += 5;
    } else {
      Fail(i, "a value expected, found " + Quoted(text_.substr(i, 1)));
    }
    // After a value: a separator, or the end of its containers.
    for (;;) {
      if (stack_.empty()) return i;
      i = SkipSpace(i);
      const char open = stack_.back();
      const char close = open == '{' ? '}' : ']';
      if (i >= text_.size())
        Fail(i, std::string("the file ends inside an ") + (open == '{' ? "object" : "array"));
      if (text_[i] == ',') {
        ++i;
        if (open == '{') i = Key(i);
        break;
      }
      if (text_[i] != close)
        Fail(i,
             std::string("',' or '") + close + "' expected, found " + Quoted(text_.substr(i, 1)));
      stack_.pop_back();
      ++i;
    }
  }
}

TJsonScanner::TSpan TJsonScanner::Validate() {
  const std::size_t begin = SkipSpace(0);
  if (begin >= text_.size()) Fail(begin, "the file holds no JSON value");
  const std::size_t end = SkipValue(begin);
  const std::size_t rest = SkipSpace(end);
  if (rest != text_.size()) Fail(rest, "more text after the JSON value");
  const char first = text_[begin];
  return {begin, end, first == '-' || IsDigit(first) ? '0' : first};
}

void TJsonScanner::Members(TSpan Object,
                           const std::function<void(const std::string&, TSpan)>& Visit) {
  std::size_t i = SkipSpace(Object.Begin + 1);
  if (i < text_.size() && text_[i] == '}') return;
  for (;;) {
    const std::size_t keyStart = SkipSpace(i);
    const std::size_t valueStart = Key(i);
    const std::string key = String({keyStart, SkipString(keyStart), '"'});
    const std::size_t end = SkipValue(valueStart);
    const char first = text_[valueStart];
    Visit(key, {valueStart, end, first == '-' || IsDigit(first) ? '0' : first});
    i = SkipSpace(end);
    if (i >= Object.End || text_[i] == '}') return;
    ++i;  // ','
  }
}

void TJsonScanner::Elements(TSpan Array, const std::function<void(TSpan)>& Visit) {
  std::size_t i = SkipSpace(Array.Begin + 1);
  if (i < text_.size() && text_[i] == ']') return;
  for (;;) {
    const std::size_t start = SkipSpace(i);
    const std::size_t end = SkipValue(start);
    const char first = text_[start];
    Visit({start, end, first == '-' || IsDigit(first) ? '0' : first});
    i = SkipSpace(end);
    if (i >= Array.End || text_[i] == ']') return;
    ++i;  // ','
  }
}

TJsonScanner::TSpan TJsonScanner::Member(TSpan Object, std::string_view Key) {
  TSpan found;
  Members(Object, [&](const std::string& K, TSpan V) {
    if (K == Key && found.Kind == 0) found = V;
  });
  return found;
}

std::string TJsonScanner::String(TSpan Value) const {
  std::string out;
  const std::string_view raw = text_.substr(Value.Begin + 1, Value.End - Value.Begin - 2);
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      out += raw[i];
      continue;
    }
    const char e = raw[++i];
    switch (e) {
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        auto hex4 = [&](std::size_t at) {
          char32_t v = 0;
          for (std::size_t k = at; k < at + 4; ++k)
            v = v * 16 + static_cast<char32_t>(HexValue(raw[k]));
          return v;
        };
        char32_t cp = hex4(i + 1);
        i += 4;
        if (cp >= 0xD800 && cp < 0xDC00 && i + 6 < raw.size() && raw[i + 1] == '\\' &&
            raw[i + 2] == 'u') {
          const char32_t low = hex4(i + 3);
          if (low >= 0xDC00 && low < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          }
        }
        if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;  // an unpaired surrogate
        AppendUtf8(out, cp);
        break;
      }
      default:
        out += e;  // " \ /
    }
  }
  return out;
}

bool TJsonScanner::Number(TSpan Value, double& Result) const {
  if (Value.Kind != '0') return false;
  double v = 0;
  const char* first = text_.data() + Value.Begin;
  const char* last = text_.data() + Value.End;
  const auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) return false;
  Result = v;
  return true;
}

}  // namespace marovia::tracks
