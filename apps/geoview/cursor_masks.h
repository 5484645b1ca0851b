// The platform's monochrome cursors in the form SDL_CreateCursor takes.
//
// Pixel meaning, platform (AND, XOR) to SDL (data, mask):
//   transparent  (1, 0) -> (0, 0)
//   black        (0, 0) -> (1, 1)
//   white        (0, 1) -> (0, 1)
//   inverted     (1, 1) -> (1, 0)
// so data = NOT (AND XOR XOR) and mask = NOT AND. SDL wants rows of whole
// bytes (leftmost pixel in the highest bit): a width that is no multiple of
// 8 is padded with transparent pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/resources.h"

namespace marovia::geoview {

struct TSdlCursorBits {
  int Width = 0;  // a multiple of 8
  int Height = 0;
  int HotX = 0;
  int HotY = 0;
  std::vector<uint8_t> Data;  // Width / 8 bytes a row, rows top-down
  std::vector<uint8_t> Mask;
};

// Empty (Width 0) for a system cursor, which has no picture, and for masks
// shorter than the size says.
TSdlCursorBits SdlCursorBits(const TCursorImage& Image);

}  // namespace marovia::geoview
