// Windows-1252 <-> UTF-8, and character counting of UTF-8 text.
//
// Bytes 0x00-0x7F and 0xA0-0xFF are the code points of the same number.
// 0x80-0x9F map through the table below; the five bytes the code page leaves
// unused (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same
// number, so every byte survives a round trip.
#include "marovia/platform/strutils.h"

namespace marovia {
namespace {

constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t ByteToCodePoint(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
}

// The byte for a code point, or -1 when the code page lacks it.
int CodePointToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

}  // namespace

void AppendUtf8(std::string& Out, char32_t Cp) {
  if (Cp < 0x80) {
    Out.push_back(static_cast<char>(Cp));
  } else if (Cp < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (Cp >> 6)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  } else if (Cp < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (Cp >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (Cp >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((Cp >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  }
}

size_t DecodeUtf8(std::string_view S, size_t I, char32_t& Cp) {
  const auto b0 = static_cast<unsigned char>(S[I]);
  if (b0 < 0x80) {
    Cp = b0;
    return 1;
  }
  size_t len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, Cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, Cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, Cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (S.size() - I < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(S[I + k]);
    if ((b & 0xC0) != 0x80) return 0;
    Cp = (Cp << 6) | (b & 0x3F);
  }
  if (Cp < min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) return 0;
  return len;
}

char32_t NextCodePoint(std::string_view S, size_t& I) {
  char32_t cp = 0;
  const size_t len = DecodeUtf8(S, I, cp);
  if (len == 0) {
    ++I;
    return 0xFFFD;
  }
  I += len;
  return cp;
}

std::string Cp1252ToUtf8(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  for (char c : S) AppendUtf8(out, ByteToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  size_t i = 0;
  while (i < S.size()) {
    char32_t cp;
    const size_t len = DecodeUtf8(S, i, cp);
    if (len == 0) {  // not UTF-8: keep the byte as a Windows-1252 byte
      out.push_back(S[i]);
      ++i;
      continue;
    }
    const int b = CodePointToByte(cp);
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
    i += len;
  }
  return out;
}

int64_t Utf8Length(std::string_view S) {
  int64_t n = 0;
  for (size_t i = 0; i < S.size(); ++n) {
    char32_t cp;
    const size_t len = DecodeUtf8(S, i, cp);
    i += len == 0 ? 1 : len;
  }
  return n;
}

std::string Utf8Left(std::string_view S, int64_t N) {
  size_t i = 0;
  for (int64_t n = 0; n < N && i < S.size(); ++n) {
    char32_t cp;
    const size_t len = DecodeUtf8(S, i, cp);
    i += len == 0 ? 1 : len;
  }
  return std::string(S.substr(0, i));
}

}  // namespace marovia
