// JSON reading (recursive descent with a depth limit) and writing helpers.
#include "json.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace geodbtool {

namespace {

constexpr int kMaxDepth = 512;

class Parser {
 public:
  explicit Parser(std::string_view t) : t_(t) {}

  JsonValue Document() {
    SkipBlanks();
    JsonValue v = Value(0);
    SkipBlanks();
    if (p_ != t_.size()) Fail("unexpected text after the JSON value");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    size_t line = 1, col = 1;
    for (size_t i = 0; i < p_ && i < t_.size(); ++i) {
      if (t_[i] == '\n') {
        ++line;
        col = 1;
      } else {
        ++col;
      }
    }
    throw JsonError(std::string("JSON error at line ") + std::to_string(line) + ", column " +
                    std::to_string(col) + ": " + what);
  }

  void SkipBlanks() {
    while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r'))
      ++p_;
  }

  bool Literal(std::string_view word) {
    if (t_.substr(p_, word.size()) != word) return false;
    p_ += word.size();
    return true;
  }

  JsonValue Value(int depth) {
    if (depth > kMaxDepth) Fail("nesting too deep");
    if (p_ >= t_.size()) Fail("unexpected end of text");
    JsonValue v;
    const char c = t_[p_];
    if (c == '{') {
      v.kind = JsonValue::Kind::Object;
      ++p_;
      SkipBlanks();
      if (p_ < t_.size() && t_[p_] == '}') {
        ++p_;
        return v;
      }
      for (;;) {
        SkipBlanks();
        if (p_ >= t_.size() || t_[p_] != '"') Fail("object member name expected");
        std::string name = String();
        SkipBlanks();
        if (p_ >= t_.size() || t_[p_] != ':') Fail("':' expected");
        ++p_;
        SkipBlanks();
        JsonValue member = Value(depth + 1);
        v.object.emplace_back(std::move(name), std::move(member));
        SkipBlanks();
        if (p_ < t_.size() && t_[p_] == ',') {
          ++p_;
          continue;
        }
        if (p_ < t_.size() && t_[p_] == '}') {
          ++p_;
          return v;
        }
        Fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      v.kind = JsonValue::Kind::Array;
      ++p_;
      SkipBlanks();
      if (p_ < t_.size() && t_[p_] == ']') {
        ++p_;
        return v;
      }
      for (;;) {
        SkipBlanks();
        v.array.push_back(Value(depth + 1));
        SkipBlanks();
        if (p_ < t_.size() && t_[p_] == ',') {
          ++p_;
          continue;
        }
        if (p_ < t_.size() && t_[p_] == ']') {
          ++p_;
          return v;
        }
        Fail("',' or ']' expected");
      }
    }
    if (c == '"') {
      v.kind = JsonValue::Kind::String;
      v.string = String();
      return v;
    }
    if (Literal("true")) {
      v.kind = JsonValue::Kind::Bool;
      v.boolean = true;
      return v;
    }
    if (Literal("false")) {
      v.kind = JsonValue::Kind::Bool;
      return v;
    }
    if (Literal("null")) return v;
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.kind = JsonValue::Kind::Number;
      v.number = Number();
      return v;
    }
    Fail(std::string("unexpected character '") + c + "'");
  }

  double Number() {
    const size_t start = p_;
    if (t_[p_] == '-') ++p_;
    auto digits = [&] {
      const size_t s = p_;
      while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
      if (p_ == s) Fail("digit expected");
    };
    digits();
    if (p_ < t_.size() && t_[p_] == '.') {
      ++p_;
      digits();
    }
    if (p_ < t_.size() && (t_[p_] == 'e' || t_[p_] == 'E')) {
      ++p_;
      if (p_ < t_.size() && (t_[p_] == '+' || t_[p_] == '-')) ++p_;
      digits();
    }
    double d = 0;
    const auto r = std::from_chars(t_.data() + start, t_.data() + p_, d);
    if (r.ec == std::errc::result_out_of_range) Fail("number out of range");
    if (r.ec != std::errc()) Fail("invalid number");
    return d;
  }

  unsigned Hex4() {
    if (p_ + 4 > t_.size()) Fail("incomplete \\u escape");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = t_[p_++];
      v <<= 4;
      if (h >= '0' && h <= '9')
        v |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f')
        v |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        v |= static_cast<unsigned>(h - 'A' + 10);
      else
        Fail("invalid \\u escape");
    }
    return v;
  }

  static void AppendUtf8(std::string& s, unsigned cp) {
    if (cp < 0x80) {
      s += static_cast<char>(cp);
    } else if (cp < 0x800) {
      s += static_cast<char>(0xC0 | (cp >> 6));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      s += static_cast<char>(0xE0 | (cp >> 12));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (cp >> 18));
      s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string String() {
    ++p_;  // opening quote
    std::string s;
    for (;;) {
      if (p_ >= t_.size()) Fail("unterminated string");
      const char c = t_[p_++];
      if (c == '"') return s;
      if (static_cast<unsigned char>(c) < 0x20) Fail("control character in string");
      if (c != '\\') {
        s += c;
        continue;
      }
      if (p_ >= t_.size()) Fail("unterminated string");
      const char e = t_[p_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          s += e;
          break;
        case 'b':
          s += '\b';
          break;
        case 'f':
          s += '\f';
          break;
        case 'n':
          s += '\n';
          break;
        case 'r':
          s += '\r';
          break;
        case 't':
          s += '\t';
          break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!Literal("\\u")) Fail("lone surrogate in \\u escape");
            const unsigned lo = Hex4();
            if (lo < 0xDC00 || lo > 0xDFFF) Fail("invalid surrogate pair");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            Fail("lone surrogate in \\u escape");
          }
          AppendUtf8(s, cp);
          break;
        }
        default:
          Fail("invalid escape");
      }
    }
  }

  std::string_view t_;
  size_t p_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  if (kind != Kind::Object) return nullptr;
  // The last of repeated names wins.
  for (auto it = object.rbegin(); it != object.rend(); ++it)
    if (it->first == name) return &it->second;
  return nullptr;
}

JsonValue ParseJson(std::string_view text) {
  // A UTF-8 byte order mark is tolerated.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return Parser(text).Document();
}

std::string JsonQuote(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static const char* hex = "0123456789abcdef";
      out += "\\u00";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

template <class T>
static std::string Shortest(T v) {
  if (!std::isfinite(v)) return "null";  // JSON has no NaN or infinity
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string JsonNumber(float v) {
  return Shortest(v);
}
std::string JsonNumber(double v) {
  return Shortest(v);
}

}  // namespace geodbtool
