// Printing the map through the platform's printer.
//
// Scales: the integer forms take a percentage, 100 printing one printer dot
// per map image pixel; the real forms take the factor itself (dots per
// image pixel). What is printed is the map as the view shows it (image,
// grid, landmarks, trace, the host's render events) without the control's
// frame. Only the part that falls on the page is composed, so a large scale
// costs no more memory than a page. A calibrated map georeferences what it
// prints: the page then tells its readers where each printed dot lies.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/printers.h"
#include "print_georeference.h"
#include "render/render_pixels.h"

namespace marovia {

using render::ViewPixel;

namespace {

// Dots for Pixels image pixels at Scale dots per pixel, never negative.
int32_t PrintedExtent(int64_t Pixels, double Scale) {
  if (Pixels <= 0 || !(Scale > 0)) return 0;
  return std::max(ViewPixel(static_cast<double>(Pixels) * Scale), 0);
}

}  // namespace

void TGeoMap::PrintWindow(TPoint TopLeft, double Scale, int32_t PrintW, int32_t PrintH,
                          int32_t PosHoriz, int32_t PosVert) {
  TPrinter& printer = Printer();
  if (!printer.Printing()) RaiseError("no printer document is open");
  if (!(Scale > 0) || !std::isfinite(Scale)) RaiseError("the print scale must be positive");
  // The printed rectangle, cut at the page's right and bottom edges.
  const int64_t w = std::min<int64_t>(PrintW, int64_t{printer.PageWidth()} - PosHoriz);
  const int64_t h = std::min<int64_t>(PrintH, int64_t{printer.PageHeight()} - PosVert);
  if (w <= 0 || h <= 0) return;
  TBitmap picture;
  RenderMapWindow(picture, TopLeft, Scale, static_cast<int>(w), static_cast<int>(h));
  TCanvas& page = printer.Canvas();
  page.SetCopyMode(cmSrcCopy);
  const TRect printed = Bounds(PosHoriz, PosVert, static_cast<int32_t>(w), static_cast<int32_t>(h));
  page.CopyRect(printed, picture.Canvas(),
                Rect(0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h)));
  // What lies on the page of the printed window.
  const TRect onPage =
      Rect(std::max(printed.Left, 0), std::max(printed.Top, 0), printed.Right, printed.Bottom);
  if (onPage.Width() <= 0 || onPage.Height() <= 0) return;
  TPageGeoreference georef = PrintedWindowGeoreference(
      FCalib, TPrintedWindow{TopLeft, Scale, TPoint{PosHoriz, PosVert}, onPage},
      Caption().empty() ? std::string("Map") : Caption());
  if (georef.Points.size() >= 3) printer.AddGeoreference(std::move(georef));
}

void TGeoMap::CalcExtentsOfPrint(const TRect& MapWindow, int32_t Scale, int32_t& Width,
                                 int32_t& Height) {
  const double s = Scale / 100.0;
  Width = PrintedExtent(int64_t{MapWindow.Right} - MapWindow.Left, s);
  Height = PrintedExtent(int64_t{MapWindow.Bottom} - MapWindow.Top, s);
}

void TGeoMap::CopyToOpenPrinter(const TRect& MapWindow, int32_t Scale, int32_t PosHoriz,
                                int32_t PosVert) {
  int32_t w = 0, h = 0;
  CalcExtentsOfPrint(MapWindow, Scale, w, h);
  PrintWindow(TPoint{MapWindow.Left, MapWindow.Top}, Scale / 100.0, w, h, PosHoriz, PosVert);
}

void TGeoMap::CopyToOpenPrinter(TPoint TopLeft, int32_t Scale, int32_t PosHoriz, int32_t PosVert,
                                int32_t Width, int32_t Height) {
  const TRect window{TopLeft.X, TopLeft.Y, ViewPixel(static_cast<double>(TopLeft.X) + Width),
                     ViewPixel(static_cast<double>(TopLeft.Y) + Height)};
  CopyToOpenPrinter(window, Scale, PosHoriz, PosVert);
}

// The whole map with its top-left corner at (x, y) of the page; x and y
// then hold its bottom-right corner, where the caller may continue.
void TGeoMap::CopyToOpenPrinter(int32_t& x, int32_t& y, double ScaleF) {
  const int32_t w = PrintedExtent(FMapImgWidth, ScaleF);
  const int32_t h = PrintedExtent(FMapImgHeight, ScaleF);
  PrintWindow(TPoint{0, 0}, ScaleF, w, h, x, y);
  x = ViewPixel(static_cast<double>(x) + w);
  y = ViewPixel(static_cast<double>(y) + h);
}

// One document holding the whole map at the top left of its first page,
// written to the printer's file name (which the host sets).
void TGeoMap::PrintIt(double ScaleF) {
  if (!(ScaleF > 0) || !std::isfinite(ScaleF)) RaiseError("the print scale must be positive");
  TPrinter& printer = Printer();
  printer.BeginDoc();
  try {
    int32_t x = 0, y = 0;
    CopyToOpenPrinter(x, y, ScaleF);
    printer.EndDoc();
  } catch (...) {
    printer.Abort();
    throw;
  }
}

}  // namespace marovia
