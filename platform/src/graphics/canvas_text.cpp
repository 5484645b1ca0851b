// TCanvas text operations.
#include "font_engine.h"
#include "raster.h"

namespace marovia {

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  if (!surface_) {
    TextExtent(Text);  // still resolve the font, so errors are the same
    return;
  }
  const uint32_t bg = ColorToPixel(brush_.Color());
  const TextMetrics m =
      DrawText(*surface_, ClipRect(), font_.LogFont(), X, Y, Text, ColorToPixel(font_.Color()),
               brush_.Style() == bsClear ? nullptr : &bg);
  penPos_ = TPoint{static_cast<int32_t>(X + static_cast<int64_t>(m.Width)), Y};
}

void TCanvas::TextRect(const TRect& R, int X, int Y, const std::string& Text) {
  if (!surface_) return;
  TRect limit = Intersect(ClipRect(), R);
  if (IsEmpty(limit)) limit = TRect{};
  if (brush_.Style() != bsClear) {
    SpanPainter bg(*surface_, limit, ColorToPixel(brush_.Color()), pmCopy);
    for (int64_t y = limit.Top; y < limit.Bottom; ++y) bg.Span(y, limit.Left, limit.Right);
  }
  DrawText(*surface_, limit, font_.LogFont(), X, Y, Text, ColorToPixel(font_.Color()), nullptr);
}

TSize TCanvas::TextExtent(const std::string& Text) {
  const TextMetrics m = MeasureText(font_.LogFont(), Text);
  return TSize{m.Width, m.Height()};
}

}  // namespace marovia
