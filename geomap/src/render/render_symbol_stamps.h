// Landmark symbols drawn by stamping: the renderer draws thousands of
// landmarks that share a few symbols, and a symbol drawn through the canvas
// costs a score of clipped line draws. Each distinct symbol is drawn once on
// a scratch bitmap; every landmark then copies its pixels.
//
// What holds: a stamp gives exactly the pixels, pen position and pen and
// brush colours that DrawLandMarkSymbolOnCanvas would leave. That is so
// because
//   - only shapes made of lines, rectangles and polygons at whole-pixel
//     offsets from the anchor are stamped (their pixels move with the
//     anchor; the triangle, arrows and circle place points through rounded
//     trigonometry and are always drawn);
//   - with a one-pixel solid pen in copy mode every pixel written gets a
//     colour that does not depend on what was there (the pixels written are
//     found by drawing the symbol over two different backgrounds);
//   - a stamp is used only where the whole symbol lies inside the canvas's
//     clip rectangle, and only for surfaces of a direct pixel format.
// Anything else is drawn through the canvas.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/geomap/landmark_types.h"
#include "marovia/platform/graphics.h"

namespace marovia::render {

class SymbolStamps {
 public:
  // DrawLandMarkSymbolOnCanvas, stamped where that gives the same result.
  void Draw(TCanvas& Canvas, int32_t X, int32_t Y, TLandMarkElement Kind, TColor FGColor,
            TColor BGColor, int32_t Size, int32_t Direction, int32_t Length, bool Transparent);

 private:
  struct Key {
    TLandMarkElement Kind;
    TColor FG, BG;
    int32_t Size;
    bool Transparent;
    TPixelFormat Format;
    friend bool operator==(const Key&, const Key&) = default;
  };
  // Pixels of one row, consecutive from Dx.
  struct Run {
    int32_t Dy, Dx, Count, First;  // First: index of the first word
  };
  struct Stamp {
    Key key;
    int32_t radius = 0;  // the pixels lie within +-radius of the anchor
    std::vector<Run> runs;
    std::vector<uint32_t> words;  // stored pixel words, quantised to the format
    bool movesPen = false;        // the symbol ends with the pen at anchor + penOffset
    TPoint penOffset;
    bool setsBrush = false;  // the brush colour ends as the background colour
  };

  static bool Stampable(TLandMarkElement Kind, int32_t Size);
  const Stamp& Find(const Key& K, int32_t Direction, int32_t Length);
  static Stamp Make(const Key& K, int32_t Direction, int32_t Length);

  std::vector<Stamp> stamps_;
};

}  // namespace marovia::render
