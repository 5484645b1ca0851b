// A map window on a printed page.
#include "marovia/geomap/print_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/printers.h"

namespace marovia {

namespace {

int Dots(double Millimetres, int Dpi) {
  return static_cast<int>(std::lround(Millimetres / 25.4 * Dpi));
}

// Height of the title line in dots: a 12-point font and some space.
int TitleHeight(int Dpi) {
  return static_cast<int>(std::lround(18.0 / 72 * Dpi));
}

void SetUpPrinter(TPrinter& P, const TPrintJob& Job) {
  P.SetResolution(Job.Dpi);
  P.SetPaperSize(Job.PaperWidth, Job.PaperHeight);
  P.SetOrientation(Job.Landscape ? poLandscape : poPortrait);
  P.SetFileName(Job.FileName);
}

}  // namespace

TPoint PrintableArea(const TPrintJob& Job) {
  const double w = Job.Landscape ? Job.PaperHeight : Job.PaperWidth;
  const double h = Job.Landscape ? Job.PaperWidth : Job.PaperHeight;
  const int margin = Dots(kPrintMarginMm, Job.Dpi);
  return TPoint{std::max(1, Dots(w, Job.Dpi) - 2 * margin),
                std::max(1, Dots(h, Job.Dpi) - 2 * margin - TitleHeight(Job.Dpi))};
}

TRect ViewWindowOnImage(const TGeoMap& Map) {
  const double m = Map.Magnification();
  const TPoint tl = Map.TopLeft();
  const auto right = static_cast<int>(std::lround(tl.X + Map.Width() / m));
  const auto bottom = static_cast<int>(std::lround(tl.Y + Map.Height() / m));
  TRect r = Rect(std::max(tl.X, 0), std::max(tl.Y, 0), std::min(right, Map.MapImgWidth()),
                 std::min(bottom, Map.MapImgHeight()));
  if (r.Right <= r.Left || r.Bottom <= r.Top) r = TRect{};
  return r;
}

void PrintMapWindow(TGeoMap& Map, const TRect& Window, const TPrintJob& Job) {
  const int width = Window.Width();
  const int height = Window.Height();
  if (width <= 0 || height <= 0) throw EPrinter("the view shows nothing of the map to print");
  TPrinter& printer = Printer();
  if (printer.Printing()) printer.Abort();  // a document left open by a failed job
  SetUpPrinter(printer, Job);
  const TPoint area = PrintableArea(Job);
  const int margin = Dots(kPrintMarginMm, Job.Dpi);
  // The scale is whole per cent of a dot per image pixel.
  const double fit =
      std::min(static_cast<double>(area.X) / width, static_cast<double>(area.Y) / height);
  const int scale = std::max(1, static_cast<int>(std::floor(fit * 100)));
  const int printedW = static_cast<int>(std::lround(width * scale / 100.0));
  const int left = margin + std::max(0, (area.X - printedW) / 2);
  const int top = margin + TitleHeight(Job.Dpi);

  printer.SetTitle(Map.Caption());
  printer.BeginDoc();
  try {
    TCanvas& canvas = printer.Canvas();
    TFont& font = canvas.Font();
    font.SetHeight(-static_cast<int>(std::lround(12.0 / 72 * Job.Dpi)));
    font.SetColor(clBlack);
    canvas.Brush().SetStyle(bsClear);
    // The resolution is metres per image pixel.
    const double metresPerDot = Map.CalibData().Resolution * 100.0 / scale;
    std::string title = Map.Caption();
    if (metresPerDot > 0) {
      // One dot is 25.4 / Dpi millimetres on paper; the map's resolution
      // holds along its middle row, so the scale is given to three digits.
      const double ratio = metresPerDot * 1000.0 / (25.4 / Job.Dpi);
      const double unit = std::pow(10.0, std::floor(std::log10(ratio)) - 2);
      char text[64];
      std::snprintf(text, sizeof text, "    scale about 1:%.0f", std::round(ratio / unit) * unit);
      title += text;
    }
    canvas.TextOut(margin, margin, title);
    // Symbols, captions and lines keep on paper the size a view pixel
    // gives them: dots per image pixel over view pixels per image pixel.
    // The control is not repainted for the change and back.
    const double overlay = Map.OverlayScale();
    const bool suppressed = Map.SuppressPaint();
    Map.SetSuppressPaint(true);
    Map.SetOverlayScale(Job.DotsPerViewPixel > 0 ? Job.DotsPerViewPixel
                                                 : scale / 100.0 / Map.Magnification());
    auto restore = [&] {
      Map.SetOverlayScale(overlay);
      if (!suppressed) Map.SetSuppressPaint(false);
    };
    try {
      Map.CopyToOpenPrinter(TPoint{Window.Left, Window.Top}, scale, left, top, width, height);
    } catch (...) {
      restore();
      throw;
    }
    restore();
    printer.EndDoc();
  } catch (...) {
    printer.Abort();
    throw;
  }
}

}  // namespace marovia
