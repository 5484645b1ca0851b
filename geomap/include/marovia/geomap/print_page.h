// Printing a window of a map to a one-page PDF file: the caption and the
// scale above, the map window below, as large as the page allows (the
// printer of the platform, printers.h, makes the PDF). A calibrated map's
// window is georeferenced on the page (TGeoMap's printing).
#pragma once

#include <string>

#include "marovia/platform/types.h"

namespace marovia {

class TGeoMap;

struct TPrintJob {
  std::string FileName;  // the PDF file (replaced)
  int Dpi = 150;
  double PaperWidth = 210;  // millimetres, portrait
  double PaperHeight = 297;
  bool Landscape = false;
  // Dots for one view pixel of the symbols, captions and lines; 0: as
  // large as Map's view shows them next to the map (the printed scale
  // over the view's magnification). A job that prints a view pixel as a
  // fixed size on paper (1/96 inch: Dpi / 96) keeps them exactly alike at
  // every resolution, where the whole-percent print scale would vary them
  // by a percent.
  double DotsPerViewPixel = 0;
};

// Margin around the printed part of the page, in millimetres.
constexpr double kPrintMarginMm = 10;

// The printable area of the page in dots, for Job's paper and resolution
// (the page less the margins and the title line).
TPoint PrintableArea(const TPrintJob& Job);

// The part of Map's image (image pixels) that its current view shows:
// paper gets no background beyond the image's edges. Empty when the view
// lies off the image.
TRect ViewWindowOnImage(const TGeoMap& Map);

// Prints a window of Map's image (image pixels) scaled to fill the
// printable area, with symbols, captions and lines as large on paper as
// Map's view shows them (its magnification makes a view pixel). Raises EPrinter or EInOutError
// (naming the file) when the document cannot be made, and for an empty window; no file is left
// behind then.
void PrintMapWindow(TGeoMap& Map, const TRect& Window, const TPrintJob& Job);

}  // namespace marovia
