// Text rendering for the canvas: fonts resolved by name through the system
// font configuration, rasterised with FreeType, glyphs cached per face, pixel
// size, style and angle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "marovia/platform/graphics.h"

namespace marovia {

// Layout of a line of text in a font, in pixels of the unrotated text.
struct TextMetrics {
  int Width = 0;    // sum of the glyph advances
  int Ascent = 0;   // base line below the top of the cell
  int Descent = 0;  // cell bottom below the base line
  int Height() const { return Ascent + Descent; }
};

TextMetrics MeasureText(const LOGFONTW& Font, const std::string& Utf8Text);

// Draws Utf8Text with the top-left of its cell at (X, Y), the base line
// turned by the font's escapement (counter-clockwise). Background (the
// rotated cell) is filled with *Background unless it is null. Glyphs blend
// their coverage over the surface. Returns the metrics used.
TextMetrics DrawText(TBitmap& Surface, const TRect& Clip, const LOGFONTW& Font, int X, int Y,
                     const std::string& Utf8Text, uint32_t Color, const uint32_t* Background);

// Bytes of glyph images held by the cache (bounded; for tests).
size_t GlyphCacheBytes();

}  // namespace marovia
