// XML character references in attribute values: EscapeXMLValue writes them,
// DecodeXMLReferences reads them.
//
// Values are written between double quotes on one line of an 8-bit file, so
// a value must not hold a raw '"' (it would end the value early), '<' or '>'
// (tag delimiters for XML tools), '&' (the start of a reference), a line end
// (the readers work line by line) or a character the code page cannot hold
// (it would turn into '?').
#include <cstdint>

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

// Longest reference body between '&' and ';' that is worth parsing; the
// longest well-formed ones ("#x0010FFFF" with leading zeros) are shorter.
constexpr size_t kMaxReferenceBody = 32;

// Length of the well-formed UTF-8 sequence at s[i] and its code point; 0
// when the bytes there are not one (they are then Windows-1252 bytes).
size_t Utf8Sequence(std::string_view s, size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > kLastCodePoint || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool InCodePage(std::string_view utf8Char) {
  return Cp1252ToUtf8(Utf8ToCp1252(utf8Char)) == utf8Char;
}

void AppendNumericReference(std::string& out, char32_t cp) {
  out += "&#";
  out += std::to_string(static_cast<uint32_t>(cp));
  out += ';';
}

// The character of a reference body (the text between '&' and ';'), or
// false when the body is not a reference this reader knows.
bool ReferenceCharacter(std::string_view body, char32_t& cp) {
  if (body == "amp") return cp = '&', true;
  if (body == "quot") return cp = '"', true;
  if (body == "lt") return cp = '<', true;
  if (body == "gt") return cp = '>', true;
  if (body == "apos") return cp = '\'', true;
  if (body.size() < 2 || body[0] != '#') return false;
  size_t i = 1;
  int base = 10;
  if (body[1] == 'x' || body[1] == 'X') {
    base = 16;
    i = 2;
  }
  if (i == body.size()) return false;
  char32_t value = 0;
  for (; i < body.size(); ++i) {
    const char c = body[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value * static_cast<char32_t>(base) + static_cast<char32_t>(digit);
    if (value > kLastCodePoint) return false;  // also keeps the sum from wrapping
  }
  if (value >= 0xD800 && value <= 0xDFFF) return false;
  cp = value;
  return true;
}

}  // namespace

std::string EscapeXMLValue(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size();) {
    const auto c = static_cast<unsigned char>(Text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        default:
          if (c < 0x20)
            AppendNumericReference(out, c);
          else
            out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    char32_t cp;
    const size_t len = Utf8Sequence(Text, i, cp);
    if (len == 0) {
      out += static_cast<char>(c);  // a stray byte: written as the byte it is
      ++i;
      continue;
    }
    const std::string_view seq = Text.substr(i, len);
    if (InCodePage(seq))
      out += seq;
    else
      AppendNumericReference(out, cp);
    i += len;
  }
  return out;
}

std::string DecodeXMLReferences(std::string_view Text) {
  size_t amp = Text.find('&');
  if (amp == std::string_view::npos) return std::string(Text);
  std::string out;
  out.reserve(Text.size());
  size_t done = 0;
  while (amp != std::string_view::npos) {
    out.append(Text.substr(done, amp - done));
    const size_t semi = Text.substr(amp + 1, kMaxReferenceBody + 1).find(';');
    char32_t cp;
    if (semi != std::string_view::npos && ReferenceCharacter(Text.substr(amp + 1, semi), cp)) {
      AppendUtf8(out, cp);
      done = amp + semi + 2;
    } else {
      out += '&';  // not a reference: kept as written
      done = amp + 1;
    }
    amp = Text.find('&', done);
  }
  out.append(Text.substr(done));
  return out;
}

}  // namespace marovia
