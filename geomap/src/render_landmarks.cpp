// Landmarks in the view: class visibility, random sampling of large sets,
// the host's drawing event, symbols, captions and the highlighted landmark.
//
// What holds:
//   - OnDrawLandmark runs for every landmark that is visible by class,
//     sampled and convertible, also when its point lies outside the view;
//   - a symbol (and its caption) is drawn only strictly inside the view:
//     0 < x < W and 0 < y < H, so landmarks on the first row or column are
//     left to the event;
//   - with more landmarks than FLMRandSampleLimit, and more than that many
//     within the view, each is drawn with probability limit / (number in
//     view), so the expected count in view is the limit.
#include <cmath>
#include <cstdint>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/symbol_drawing.h"
#include "marovia/platform/fonts.h"
#include "marovia/zylmath/math1.h"
#include "render_pixels.h"
#include "render_symbol_stamps.h"

namespace marovia {

using render::ViewPixel;

namespace {

constexpr double kPi = 3.14159265358979323846;

bool StrictlyInside(TPoint P, int W, int H) {
  return P.X > 0 && P.X < W && P.Y > 0 && P.Y < H;
}

// The caption's font on the canvas. A rotated caption replaces the font by
// one made from its description with the escapement set; a caption of
// direction 0 sets the angle back to 0, since the description of the
// previous rotated caption would otherwise stay in force.
void SetCaptionFont(TCanvas& Canvas, const TLMTextProperties& C) {
  Canvas.Brush().SetColor(C.BGColor);
  TFont& font = Canvas.Font();
  font.SetColor(C.FGColor);
  font.SetSize(C.Size);
  font.SetStyle(C.FontStyles);
  font.SetName(C.FontName);
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

// The caption of a landmark drawn at P. The text cell's top-left is the
// anchor moved by (dx, dy) and by the alignment offset (ax, ay) turned with
// the text; the turned offset is rounded once, as a whole.
void DrawCaption(TCanvas& Canvas, TPoint P, const TLMTextProperties& C) {
  SetCaptionFont(Canvas, C);
  const std::string& text = C.Text;
  const TSize extent = Canvas.TextExtent(text);
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
      return;
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
      return;
  }
  const double phi = C.Direction / 180.0 * kPi;
  const double ox = -ax * std::cos(phi) - ay * std::sin(phi);
  const double oy = ax * std::sin(phi) - ay * std::cos(phi);
  const int x = ViewPixel(static_cast<double>(P.X) + C.dx + ViewPixel(ox));
  const int y = ViewPixel(static_cast<double>(P.Y) + C.dy + ViewPixel(oy));
  Canvas.TextOut(x, y, text);
}

}  // namespace

double TGeoMap::LandMarkSampleRate(int W, int H) const {
  if (FNumLandMarks <= FLMRandSampleLimit) return 1;
  // The view's corners as a quadrilateral of positions, in corner order.
  const TPoint controlCorners[4] = {{0, 0}, {0, H}, {W, H}, {W, 0}};
  TCornerArray view{};
  for (int k = 0; k < 4; ++k) {
    const TPoint p = ControlToImageSat(controlCorners[k]);
    bool valid = false;
    view[static_cast<size_t>(k)].Latit = CalcLatitude(p, valid);
    view[static_cast<size_t>(k)].Longit = CalcLongitude(p, valid);
  }
  int64_t inView = 0;
  for (int32_t i = 0; i < FNumLandMarks; ++i) {
    const TLandMark& lm = FLandMarks[static_cast<size_t>(i)];
    if (FLMClassVisible[lm.ClassFlag] && PositionInMap(lm.Latitude, lm.Longitude, view)) ++inView;
  }
  if (inView > FLMRandSampleLimit) return static_cast<double>(FLMRandSampleLimit) / inView;
  return 1;
}

void TGeoMap::DrawLandMarks(TCanvas& Canvas, int W, int H) {
  Canvas.Pen().SetColor(clLime);
  const double p = LandMarkSampleRate(W, H);
  render::SymbolStamps stamps;  // the few symbols of a view, drawn once each
  for (int32_t i = 0; i < FNumLandMarks; ++i) {
    const TLandMark& lm = FLandMarks[static_cast<size_t>(i)];
    if (!FLMClassVisible[lm.ClassFlag]) continue;
    if (!BRandom(p)) continue;
    int32_t x = 0, y = 0;
    if (!CalcPixelCoords(lm.Latitude, lm.Longitude, x, y)) continue;
    const TPoint P = ImageToControlSat(x, y);
    bool handled = false;
    if (OnDrawLandmark) {
      OnDrawLandmark(this, handled, Canvas, P, lm);
      // A handler that removed landmarks must not leave us reading past them.
      if (i >= FNumLandMarks) break;
    }
    if (handled || !StrictlyInside(P, W, H)) continue;
    const TLandMark& shown = FLandMarks[static_cast<size_t>(i)];
    const TSymbolProperties& s = shown.SymbolProps;
    stamps.Draw(Canvas, P.X, P.Y, s.Kind, s.FGColor, s.BGColor, s.Size, s.Direction, s.Length,
                s.Transparent);
    if (!shown.Caption.Text.empty()) DrawCaption(Canvas, P, shown.Caption);
  }
}

// The highlighted landmark: its own symbol shape in the highlight colours,
// without caption and never sampled away.
void TGeoMap::DrawHighLightedLandMark(TCanvas& Canvas, int W, int H) {
  if (FHighLM <= 0 || FHighLM > FNumLandMarks) return;
  const TLandMark& lm = FLandMarks[static_cast<size_t>(FHighLM - 1)];
  if (!FLMClassVisible[lm.ClassFlag]) return;
  int32_t x = 0, y = 0;
  if (!CalcPixelCoords(lm.Latitude, lm.Longitude, x, y)) return;
  const TPoint P = ImageToControlSat(x, y);
  bool handled = false;
  if (OnDrawLandmark) {
    OnDrawLandmark(this, handled, Canvas, P, lm);
    if (FHighLM <= 0 || FHighLM > FNumLandMarks) return;
  }
  if (handled || !StrictlyInside(P, W, H)) return;
  const TSymbolProperties& s = FLandMarks[static_cast<size_t>(FHighLM - 1)].SymbolProps;
  DrawLandMarkSymbolOnCanvas(Canvas, P.X, P.Y, s.Kind, FHighLMColFG, FHighLMColBG, s.Size,
                             s.Direction, s.Length, FHighLMTrans);
}

}  // namespace marovia
