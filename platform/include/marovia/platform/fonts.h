// Font descriptions and the font handle of the host framework.
//
// A font handle (HFONT) is a shared, immutable LOGFONTW: CreateFontIndirectW
// makes one, GetObjectW reads one back, and TFont (graphics.h) both hands out
// its own description as a handle and takes over the description of a handle
// assigned to it. Handles are reference counted, so a font given to a canvas
// stays alive as long as anybody holds it; DeleteObject only drops the
// caller's reference.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace marovia {

// The 92-byte font description, field for field as the Windows record, so a
// host can keep such records in memory or files.
struct LOGFONTW {
  int32_t lfHeight = 0;      // < 0: character height (em) in pixels; > 0: cell height; 0: default
  int32_t lfWidth = 0;       // average character width, 0 = natural
  int32_t lfEscapement = 0;  // angle of the base line, tenths of a degree counter-clockwise
  int32_t lfOrientation =
      0;  // angle of each glyph, tenths of a degree (kept, rendering uses escapement)
  int32_t lfWeight = 400;        // 100..900, 400 normal, 700 bold; 0 = normal
  uint8_t lfItalic = 0;          // non-zero: italic
  uint8_t lfUnderline = 0;       // non-zero: underlined
  uint8_t lfStrikeOut = 0;       // non-zero: struck out
  uint8_t lfCharSet = 1;         // kept, not interpreted (1 = default character set)
  uint8_t lfOutPrecision = 0;    // kept, not interpreted
  uint8_t lfClipPrecision = 0;   // kept, not interpreted
  uint8_t lfQuality = 0;         // kept, not interpreted
  uint8_t lfPitchAndFamily = 0;  // kept, not interpreted
  char16_t lfFaceName[32] = {};  // UTF-16 face name, zero-terminated (at most 31 code units)
};
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW must keep the 92-byte layout");

using HFONT = std::shared_ptr<const LOGFONTW>;

// Creates a font handle from a description (the description is copied).
HFONT CreateFontIndirectW(const LOGFONTW& lf);

// Copies the description of Font into *Buffer. Size is the size of the
// buffer in bytes; at most sizeof(LOGFONTW) bytes are written. Returns the
// number of bytes written, or 0 for a null handle, a null buffer or Size <= 0.
// With a null buffer and a valid handle it returns sizeof(LOGFONTW).
int GetObjectW(const HFONT& Font, int Size, LOGFONTW* Buffer);

// Releases the caller's reference to a font handle (the handle is reset).
// Always true; provided for code written against the handle protocol.
bool DeleteObject(HFONT& Font);

// Face name of a description as UTF-8, and the reverse (truncated to 31 UTF-16
// code units, never splitting a surrogate pair).
std::string FaceNameOf(const LOGFONTW& lf);
void SetFaceName(LOGFONTW& lf, const std::string& Utf8Name);

}  // namespace marovia
