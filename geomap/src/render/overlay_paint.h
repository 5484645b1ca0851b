// Drawing of overlay features on a canvas: strokes with opacity and dashes,
// filled rings with holes, markers and their placed captions. Everything
// takes view pixels (overlay_geometry.h) and clips to the view.
//
// Opacity: the canvas has none, so a translucent stroke or fill is drawn
// opaque and blended into the pixels it changed: result = old + (new - old)
// * opacity, channel by channel, over the box of what was drawn.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "marovia/platform/graphics.h"
#include "render/label_placement.h"
#include "render/overlay_geometry.h"

namespace marovia {

// The caption placement shared by the overlay layers of one composition.
class TOverlayCaptions {
 public:
  TOverlayCaptions(int Width, int Height) : Placer(Width, Height) {}
  render::LabelPlacer Placer;
  // A new owner for a symbol and its caption.
  int32_t NewOwner() { return next_++; }

 private:
  int32_t next_ = 1 << 24;  // clear of the landmarks' indexes
};

namespace render {

struct TStroke {
  TColor Color = clBlack;
  double Opacity = 1;
  int Width = 1;             // device pixels
  std::vector<double> Dash;  // dash and gap lengths in view pixels
};

// Draws Paths with the stroke; nothing for a stroke of opacity 0.
void StrokePaths(TCanvas& Canvas, int Width, int Height, const std::vector<TViewPath>& Paths,
                 const TStroke& Stroke);

// Fills rings in order: a ring that is no hole adds its area, a hole takes
// its area away again (an island in a lake's hole is the ring after it).
void FillRings(TCanvas& Canvas, int Width, int Height,
               std::span<const std::vector<TViewPoint>> Rings, std::span<const uint8_t> Hole,
               TColor Color, double Opacity);

// A round marker of Radius device pixels at P, filled with Fill and
// outlined in white; answers the box it covers.
TRect DrawMarker(TCanvas& Canvas, TPoint P, int Radius, TColor Fill);

// The view's pixels on the canvas's surface that Box covers (empty when
// none).
TRect SurfaceBox(const TCanvas& Canvas, int Width, int Height, TRect Box);

// A colour as a surface word, 0x00RRGGBB.
uint32_t SurfaceWord(TColor C);

// A caption beside a symbol's box: placed where it overlaps no symbol or
// caption when Captions is given (left out when no place is free), else
// right of the symbol. The font is the canvas's.
void DrawCaption(TCanvas& Canvas, TOverlayCaptions* Captions, int32_t Owner, const TRect& Symbol,
                 const std::string& Text);

// View point to canvas pixel, halves to even (the control's rounding).
TPoint CanvasPoint(TViewPoint P);

}  // namespace render
}  // namespace marovia
