// A view of the map as a value: which image, from which image pixel, at
// what magnification, on how many pixels. Every composition step and every
// export takes the view it draws, so an export builds its own and never
// touches the control's.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "marovia/platform/graphics.h"
#include "render/render_pixels.h"

namespace marovia {

class TImagePyramid;

namespace render {

// Where the pixels of a view come from: the decoded image in memory, or the
// tile pyramid of an image too large to decode whole (Bitmap is then null).
struct TImageSource {
  TBitmap* Bitmap = nullptr;  // drawing reads it through its canvas
  const TImagePyramid* Pyramid = nullptr;
  int64_t Width = 0;
  int64_t Height = 0;
};

// How far a converted position may go: the renderer's range (+-kPixelLimit,
// which leaves room for the offsets of symbols and captions) or the whole
// int32 range of the public conversions.
enum class TPixelRange { View, Int32 };

struct TMapView {
  TPoint TopLeft;      // image pixel at the view's top-left corner
  double Magnify = 1;  // view pixels per image pixel
  int Width = 0;       // view pixels
  int Height = 0;
  TImageSource Image;

  // Image position to view pixel and back: the one mapping of the control,
  // rounded halves to even and saturated to Range, so that no position far
  // outside the map raises.
  TPoint ImageToControl(double X, double Y, TPixelRange Range = TPixelRange::View) const {
    return TPoint{Saturate((X - TopLeft.X) * Magnify, Range),
                  Saturate((Y - TopLeft.Y) * Magnify, Range)};
  }
  TPoint ControlToImage(TPoint P, TPixelRange Range = TPixelRange::View) const {
    return TPoint{Saturate(RoundHalfEven(P.X / Magnify) + TopLeft.X, Range),
                  Saturate(RoundHalfEven(P.Y / Magnify) + TopLeft.Y, Range)};
  }

  // The image window the view shows, right and bottom exclusive: W / Magnify
  // image pixels from TopLeft, rounded to whole pixels.
  int64_t SourceRight() const {
    return RoundToPosition(Width / Magnify + static_cast<double>(TopLeft.X));
  }
  int64_t SourceBottom() const {
    return RoundToPosition(Height / Magnify + static_cast<double>(TopLeft.Y));
  }

 private:
  static int32_t Saturate(double V, TPixelRange Range) {
    const int32_t r = RoundSaturated(V);
    return Range == TPixelRange::View ? std::clamp(r, -kPixelLimit, kPixelLimit) : r;
  }
};

}  // namespace render
}  // namespace marovia
