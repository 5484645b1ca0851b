// A round marker as a list of pixels, for layers that draw thousands of
// them (the towns of an item database): stamped straight into the canvas's
// surface, clipped to the view and the canvas's clip rectangle.
//
// The marker is opaque (a disc of the fill colour in a white ring), so a
// pixel covered by several markers ends as the last of them in the points'
// order gives it. A marker wholly inside the view is copied row by row
// without a test; only those across the view's edge are clipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "marovia/platform/graphics.h"

namespace marovia::render {

class TMarkerStamp {
 public:
  // Radius in device pixels (at least 1); the white ring is Radius / 3
  // pixels wide (at least 1).
  TMarkerStamp(int Radius, TColor Fill);
  void Draw(TCanvas& Canvas, int Width, int Height, TPoint P) const;
  // The marker at every point, later points over earlier ones; the view is
  // Width x Height pixels from the surface's origin.
  void DrawAll(TCanvas& Canvas, int Width, int Height, std::span<const TPoint> Points) const;
  // The pixels a marker at P may cover (right and bottom edges excluded).
  TRect Box(TPoint P) const {
    return Rect(P.X - reach_, P.Y - reach_, P.X + reach_ + 1, P.Y + reach_ + 1);
  }

 private:
  // One run of pixels a row: Count words of words_ from At, for the pixels
  // DX to DX + Count - 1 at row DY.
  struct TRun {
    int DY, DX, Count;
    std::size_t At;
  };
  std::vector<TRun> runs_;
  std::vector<uint32_t> words_;
  int reach_ = 0;
};

}  // namespace marovia::render
