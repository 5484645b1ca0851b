// The frame drawn around a control's view.
#pragma once

#include "marovia/platform/graphics.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

// Draws a frame of Style on the pixels from (Left, Top) to (Right, Bottom),
// both corners included; nothing outside that rectangle changes. Nothing is
// drawn when Right < Left or Bottom < Top. The five colours play the roles
// of a 3-D border, from light to dark: C1 highlight, C2 light face, C3
// shadow, C4 dark shadow, C5 plain line. Looks, outer ring first:
//
//   fsNone     nothing
//   fsLowered  two rings, sunken: C3 / C1, then C4 / C2 (top-left / bottom-right)
//   fsRaised   two rings, raised: C2 / C4, then C1 / C3
//   fsFlat     one ring in C5
//   fsEtched   a groove: C3 / C1, then C1 / C3
//   fsBump     a ridge:  C1 / C3, then C3 / C1
//
// Pen colour, style, mode and width are restored afterwards. An unknown
// style value draws nothing.
void DrawFrame(TCanvas& Canvas, TFrameStyle Style, int Left, int Top, int Right, int Bottom,
               TColor C1, TColor C2, TColor C3, TColor C4, TColor C5);

}  // namespace marovia
