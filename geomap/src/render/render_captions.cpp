// Caption fonts and the caption's text cell (see render_captions.h).
#include "render/render_captions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "marovia/platform/fonts.h"
#include "render/render_pixels.h"

namespace marovia::render {

namespace {

constexpr double kPi = std::numbers::pi;

// Font height in pixels for a size in points at 96 pixels per inch, grown
// by Scale; negative: the em height, as font heights are given.
int ScaledFontHeight(int32_t Points, double Scale) {
  return -std::clamp(ViewPixel(Points * 96.0 / 72.0 * Scale), -4096, 4096);
}

}  // namespace

void SetCaptionFont(TCanvas& Canvas, const TLMTextProperties& C, double Scale) {
  Canvas.Brush().SetColor(C.BGColor);
  TFont& font = Canvas.Font();
  font.SetColor(C.FGColor);
  font.SetStyle(C.FontStyles);
  font.SetName(C.FontName);
  font.SetOrientation(0);
  if (Scale == 1)
    font.SetSize(C.Size);
  else
    font.SetHeight(ScaledFontHeight(C.Size, Scale));
  Canvas.Brush().SetStyle(C.Transparent ? bsClear : bsSolid);
  if (C.Direction == 0) {
    font.SetOrientation(0);
    return;
  }
  LOGFONTW lf;
  GetObjectW(font.Handle(), sizeof lf, &lf);
  // Tenths of a degree, counter-clockwise; reduced to one turn so that no
  // direction overflows.
  const int32_t tenths = static_cast<int32_t>((int64_t{C.Direction} * 10) % 3600);
  lf.lfEscapement = tenths;
  lf.lfOrientation = tenths;
  lf.lfCharSet = 1;
  lf.lfOutPrecision = 0;
  lf.lfClipPrecision = 0;
  lf.lfQuality = 4;
  lf.lfPitchAndFamily = 0;
  font.SetHandle(CreateFontIndirectW(lf));
}

bool SameCaptionFont(const TLMTextProperties& A, const TLMTextProperties& B) {
  return A.Size == B.Size && A.Direction == B.Direction && A.FGColor == B.FGColor &&
         A.BGColor == B.BGColor && A.Transparent == B.Transparent && A.FontStyles == B.FontStyles &&
         A.FontName == B.FontName;
}

CaptionLayout LayOutCaption(TCanvas& Canvas, TPoint P, const TLMTextProperties& C, double Scale) {
  CaptionLayout out;
  const TSize extent = Canvas.TextExtent(C.Text);
  const int hw = extent.cx / 2, hh = extent.cy / 2;
  int ax = 0, ay = 0;
  switch (C.HAlignment) {
    case taLeftJustify:
      ax = 0;
      break;
    case taRightJustify:
      ax = 2 * hw;
      break;
    case taCenter:
      ax = hw;
      break;
    default:
      return out;
  }
  switch (C.VAlignment) {
    case vaTop:
      ay = 0;
      break;
    case vaMiddle:
      ay = hh;
      break;
    case vaBottom:
      ay = 2 * hh;
      break;
    default:
      return out;
  }
  const double phi = C.Direction / 180.0 * kPi;
  const double ox = -ax * std::cos(phi) - ay * std::sin(phi);
  const double oy = ax * std::sin(phi) - ay * std::cos(phi);
  const double dx = Scale == 1 ? C.dx : ViewPixel(C.dx * Scale);
  const double dy = Scale == 1 ? C.dy : ViewPixel(C.dy * Scale);
  const int x = ViewPixel(static_cast<double>(P.X) + dx + ViewPixel(ox));
  const int y = ViewPixel(static_cast<double>(P.Y) + dy + ViewPixel(oy));
  out.Drawn = true;
  out.Origin = TPoint{x, y};
  out.Extent = TPoint{extent.cx, extent.cy};
  if (C.Direction % 360 == 0) {
    out.Box = Bounds(x, y, extent.cx, extent.cy);
    return out;
  }
  // A turned cell: the bounding box of its four corners, turned
  // counter-clockwise about the origin (y grows downwards).
  const double c = std::cos(phi), s = std::sin(phi);
  const double xs[4] = {0, extent.cx * c, extent.cy * s, extent.cx * c + extent.cy * s};
  const double ys[4] = {0, -extent.cx * s, extent.cy * c, -extent.cx * s + extent.cy * c};
  const auto [xLo, xHi] = std::minmax_element(std::begin(xs), std::end(xs));
  const auto [yLo, yHi] = std::minmax_element(std::begin(ys), std::end(ys));
  out.Box = Rect(ViewPixel(x + std::floor(*xLo)), ViewPixel(y + std::floor(*yLo)),
                 ViewPixel(x + std::ceil(*xHi)), ViewPixel(y + std::ceil(*yHi)));
  return out;
}

}  // namespace marovia::render
