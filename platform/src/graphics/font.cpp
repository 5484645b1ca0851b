// TFont and the font handle functions.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "marovia/platform/graphics.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

// Rounds a * b / c half away from zero, as the host's MulDiv does, for
// c > 0. Results beyond the int range saturate to +-INT32_MAX (never
// INT32_MIN), so that the caller may negate them: a size read from a file
// must not wrap into a height of the other sign.
int MulDiv(int a, int b, int c) {
  int64_t n = static_cast<int64_t>(a) * b;
  int64_t q = (std::llabs(n) * 2 + c) / (2 * static_cast<int64_t>(c));
  q = std::min<int64_t>(q, INT32_MAX);
  return static_cast<int>(n < 0 ? -q : q);
}

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW& lf) {
  auto h = std::make_shared<LOGFONTW>(lf);
  h->lfFaceName[31] = 0;  // a name without terminator must not run off the record
  return h;
}

int GetObjectW(const HFONT& Font, int Size, LOGFONTW* Buffer) {
  if (!Font) return 0;
  if (!Buffer) return static_cast<int>(sizeof(LOGFONTW));
  if (Size <= 0) return 0;
  size_t n =
      static_cast<size_t>(Size) < sizeof(LOGFONTW) ? static_cast<size_t>(Size) : sizeof(LOGFONTW);
  std::memcpy(Buffer, Font.get(), n);
  return static_cast<int>(n);
}

bool DeleteObject(HFONT& Font) {
  Font.reset();
  return true;
}

std::string FaceNameOf(const LOGFONTW& lf) {
  std::string out;
  for (int i = 0; i < 32 && lf.lfFaceName[i] != 0; ++i) {
    char32_t c = lf.lfFaceName[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < 32 && lf.lfFaceName[i + 1] >= 0xDC00 &&
        lf.lfFaceName[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (lf.lfFaceName[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

void SetFaceName(LOGFONTW& lf, const std::string& Utf8Name) {
  std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
  int n = 0;
  for (size_t i = 0; i < Utf8Name.size();) {
    char32_t cp = NextCodePoint(Utf8Name, i);
    if (cp >= 0x10000) {
      if (n + 2 > 31) break;
      cp -= 0x10000;
      lf.lfFaceName[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      lf.lfFaceName[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      if (n + 1 > 31) break;
      lf.lfFaceName[n++] = static_cast<char16_t>(cp);
    }
  }
}

TFont::TFont() {
  lf_.lfHeight = -11;  // 8 points at 96 dpi
  lf_.lfWeight = 400;
  lf_.lfCharSet = 1;
  SetFaceName(lf_, "Tahoma");
}

void TFont::Assign(const TPersistent& Source) {
  if (auto* f = dynamic_cast<const TFont*>(&Source)) {
    lf_ = f->lf_;
    color_ = f->color_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

std::string TFont::Name() const {
  return FaceNameOf(lf_);
}

void TFont::SetName(const std::string& Value) {
  if (Name() == Value) return;
  SetFaceName(lf_, Value);
  Changed();
}

int TFont::Size() const {
  return -MulDiv(lf_.lfHeight, 72, 96);
}

void TFont::SetSize(int Value) {
  SetHeight(-MulDiv(Value, 96, 72));
}

void TFont::SetHeight(int Value) {
  if (lf_.lfHeight == Value) return;
  lf_.lfHeight = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (color_ == Value) return;
  color_ = Value;
  Changed();
}

TFontStyles TFont::Style() const {
  TFontStyles s;
  if (lf_.lfWeight >= 600) s.insert(fsBold);
  if (lf_.lfItalic) s.insert(fsItalic);
  if (lf_.lfUnderline) s.insert(fsUnderline);
  if (lf_.lfStrikeOut) s.insert(fsStrikeOut);
  return s;
}

void TFont::SetStyle(const TFontStyles& Value) {
  if (Style() == Value) return;
  lf_.lfWeight = Value.count(fsBold) ? 700 : 400;
  lf_.lfItalic = Value.count(fsItalic) ? 1 : 0;
  lf_.lfUnderline = Value.count(fsUnderline) ? 1 : 0;
  lf_.lfStrikeOut = Value.count(fsStrikeOut) ? 1 : 0;
  Changed();
}

void TFont::SetOrientation(int Value) {
  if (lf_.lfEscapement == Value && lf_.lfOrientation == Value) return;
  lf_.lfEscapement = Value;
  lf_.lfOrientation = Value;
  Changed();
}

void TFont::SetCharset(uint8_t Value) {
  if (lf_.lfCharSet == Value) return;
  lf_.lfCharSet = Value;
  Changed();
}

HFONT TFont::Handle() const {
  return CreateFontIndirectW(lf_);
}

void TFont::SetHandle(const HFONT& Value) {
  if (!Value) return;
  lf_ = *Value;
  lf_.lfFaceName[31] = 0;
  Changed();
}

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace marovia
