// Colour conversions: system colours to fixed RGB values, colours to pixel
// words.
#include <array>

#include "marovia/platform/graphics.h"

namespace marovia {

namespace {

// A light desktop scheme; a host that wants its own look resolves system
// colours itself before drawing.
constexpr std::array<TColor, 31> kSystemColors = {
    RGB(200, 200, 200),  // 0 scroll bar
    RGB(0, 0, 0),        // 1 desktop background
    RGB(153, 180, 209),  // 2 active caption
    RGB(191, 205, 219),  // 3 inactive caption
    RGB(240, 240, 240),  // 4 menu
    RGB(255, 255, 255),  // 5 window
    RGB(100, 100, 100),  // 6 window frame
    RGB(0, 0, 0),        // 7 menu text
    RGB(0, 0, 0),        // 8 window text
    RGB(0, 0, 0),        // 9 caption text
    RGB(180, 180, 180),  // 10 active border
    RGB(244, 247, 252),  // 11 inactive border
    RGB(171, 171, 171),  // 12 application work space
    RGB(0, 120, 215),    // 13 highlight
    RGB(255, 255, 255),  // 14 highlight text
    RGB(240, 240, 240),  // 15 button face
    RGB(160, 160, 160),  // 16 button shadow
    RGB(109, 109, 109),  // 17 grey text
    RGB(0, 0, 0),        // 18 button text
    RGB(0, 0, 0),        // 19 inactive caption text
    RGB(255, 255, 255),  // 20 button highlight
    RGB(105, 105, 105),  // 21 3D dark shadow
    RGB(227, 227, 227),  // 22 3D light
    RGB(0, 0, 0),        // 23 tooltip text
    RGB(255, 255, 225),  // 24 tooltip background
    RGB(0, 0, 0),        // 25 (unused index)
    RGB(0, 102, 204),    // 26 hot-tracked item
    RGB(185, 209, 234),  // 27 gradient of active caption
    RGB(215, 228, 242),  // 28 gradient of inactive caption
    RGB(51, 153, 255),   // 29 menu highlight
    RGB(240, 240, 240),  // 30 menu bar
};

}  // namespace

TColor ColorToRGB(TColor Color) {
  if (Color >= 0) return Color;
  uint32_t index = static_cast<uint32_t>(Color) & 0xFF;
  return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
}

uint32_t ColorToPixel(TColor Color) {
  uint32_t c = static_cast<uint32_t>(ColorToRGB(Color));
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace marovia
