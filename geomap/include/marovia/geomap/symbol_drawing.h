// Drawing of landmark symbols on any canvas.
#pragma once

#include <cstdint>

#include "marovia/geomap/landmark_types.h"
#include "marovia/platform/graphics.h"

namespace marovia {

// Draws the symbol Kind centred on the pixel (x, y) of Canvas.
//
//   FGColor      outlines and lines
//   BGColor      fill, and the one-pixel halo of the plus, square, cross box
//                and diagonal cross
//   Size         half the extent of the symbol in pixels; for the arrows the
//                length of the barbs
//   Direction    degrees clockwise from straight up (triangle and arrows)
//   Length       shaft length of the arrows in pixels
//   Transparent  outlines only: no fill, no halo
//
// A point at distance r in direction a from (x, y) is
// (Round(sin a * r + x), Round(-cos a * r + y)), rounding halves to even.
// Pen width, style and mode are not touched. Afterwards the pen colour is
// FGColor (lmUserDef draws and changes nothing), the brush colour BGColor
// for the shapes that set it, and a transparent circle leaves the brush
// clear. A Kind outside the enumeration draws a plus with arms of 4 pixels
// whatever Size is. Zero or negative sizes draw degenerate figures;
// coordinates beyond the 32-bit range saturate rather than wrap.
void DrawLandMarkSymbolOnCanvas(TCanvas& Canvas, int32_t x, int32_t y, TLandMarkElement Kind,
                                TColor FGColor, TColor BGColor, int32_t Size, int32_t Direction,
                                int32_t Length, bool Transparent);

}  // namespace marovia
