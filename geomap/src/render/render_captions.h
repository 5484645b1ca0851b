// Landmark captions: the font a caption sets, where its text cell goes and
// the box it covers. Shared by the plain drawing (every caption where its
// offsets put it) and the placement without overlap.
#pragma once

#include "marovia/geomap/landmark.h"
#include "marovia/platform/graphics.h"

namespace marovia::render {

// Sets Canvas's font and brush for caption C. Scale: device pixels per view
// pixel (1 on screen): the font's size and nothing else grows with it. The
// height is rounded to whole pixels, and glyph advances are whole pixels:
// below about 12 pixels to the em (a 9-point caption printed at 72 dpi) a
// caption's length on paper may differ by a few per cent from the view's. A
// caption of direction 0 sets the angle back to 0, since the description of
// the previous rotated caption would otherwise stay in force.
void SetCaptionFont(TCanvas& Canvas, const TLMTextProperties& C, double Scale);

// Whether SetCaptionFont sets the same font and brush for both captions.
bool SameCaptionFont(const TLMTextProperties& A, const TLMTextProperties& B);

// Where a caption goes when drawn at anchor P with the font now set.
struct CaptionLayout {
  bool Drawn = false;  // false for an alignment outside the enumerations
  TPoint Origin;       // TextOut's point: the text cell's top-left before turning
  TRect Box;           // the pixels the (turned) text cell covers
  TPoint Extent;       // width and height of the unturned text cell
};

// The text cell's top-left is the anchor moved by (dx, dy) (times Scale) and
// by the alignment offset (ax, ay) turned with the text; the turned offset is
// rounded once, as a whole.
CaptionLayout LayOutCaption(TCanvas& Canvas, TPoint P, const TLMTextProperties& C, double Scale);

}  // namespace marovia::render
