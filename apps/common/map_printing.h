// Printing a window of a map to a one-page PDF file: the caption and the
// scale above, the map window below, as large as the page allows.
#pragma once

#include <string>

#include "marovia/platform/types.h"

namespace marovia {
class TGeoMap;
}

namespace marovia::apps {

struct TPrintJob {
  std::string FileName;  // the PDF file (replaced)
  int Dpi = 150;
  double PaperWidth = 210;  // millimetres, portrait
  double PaperHeight = 297;
  bool Landscape = false;
};

// Margin around the printed part of the page, in millimetres.
constexpr double kPrintMarginMm = 10;

// The printable area of the page in dots, for Job's paper and resolution
// (the page less the margins and the title line).
TPoint PrintableArea(const TPrintJob& Job);

// Prints the window of Map's image from image pixel TopLeft, Width x Height
// image pixels, scaled to fill the printable area. Raises EPrinter or
// EInOutError (naming the file) when the document cannot be made; no file
// is left behind then.
void PrintMapWindow(TGeoMap& Map, TPoint TopLeft, int Width, int Height, const TPrintJob& Job);

}  // namespace marovia::apps
