// Landmarks in the view: class visibility, random sampling of large sets,
// the host's drawing event, symbols, captions and the highlighted landmark.
//
// What holds:
//   - OnDrawLandmark runs for every landmark that is visible by class,
//     sampled and convertible, also when its point lies outside the view;
//   - a symbol (and its caption) is drawn only strictly inside the view:
//     0 < x < W and 0 < y < H, so landmarks on the first row or column are
//     left to the event;
//   - with PlaceLabels on, captions are placed after all symbols are drawn,
//     so that no caption covers a symbol; otherwise each caption follows
//     its symbol;
//   - with more landmarks than FLMRandSampleLimit, and more than that many
//     within the view, each is drawn with probability limit / (number in
//     view), so the expected count in view is the limit.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/symbol_drawing.h"
#include "marovia/zylmath/math1.h"
#include "render/label_placement.h"
#include "render/map_view.h"
#include "render/render_captions.h"
#include "render/render_pixels.h"
#include "render/render_symbol_stamps.h"

namespace marovia {

using render::TMapView;
using render::ViewPixel;

namespace {

bool StrictlyInside(TPoint P, int W, int H) {
  return P.X > 0 && P.X < W && P.Y > 0 && P.Y < H;
}

// A symbol measure (size, length) grown by Scale, in 32 bits.
int32_t Scaled(int32_t V, double Scale) {
  return Scale == 1 ? V : ViewPixel(V * Scale);
}

// The pixels a symbol of (scaled) size S and length L covers around P,
// with a pen PenWidth wide: a little generous, never short. lmUserDef draws
// nothing and covers the anchor pixel only.
TRect SymbolBox(TPoint P, TLandMarkElement Kind, int32_t S, int32_t L, int32_t Direction,
                int PenWidth) {
  const int64_t s = S < 0 ? -int64_t{S} : S;
  const int64_t pen = PenWidth / 2;
  auto square = [&](int64_t r) {
    r += pen;
    return Rect(ViewPixel(P.X - static_cast<double>(r)), ViewPixel(P.Y - static_cast<double>(r)),
                ViewPixel(P.X + static_cast<double>(r) + 1),
                ViewPixel(P.Y + static_cast<double>(r) + 1));
  };
  switch (Kind) {
    case lmPlus:
    case lmSquare:
    case lmCrossBox:
    case lmCross:
      return square(s + 2);  // the halo's reach
    case lmTriangle:
    case lmCircle:
    case lmSpade:
      return square(s + 1);
    case lmArrowFrom:
    case lmArrowTo: {
      // The shaft from the anchor to the point at L in Direction, the
      // barbs within S of either end.
      const double phi = Direction / 180.0 * std::numbers::pi;
      const double tx = P.X + std::sin(phi) * L, ty = P.Y - std::cos(phi) * L;
      const double r = static_cast<double>(s + 1 + pen);
      return Rect(ViewPixel(std::min<double>(P.X, tx) - r),
                  ViewPixel(std::min<double>(P.Y, ty) - r),
                  ViewPixel(std::max<double>(P.X, tx) + r + 1),
                  ViewPixel(std::max<double>(P.Y, ty) + r + 1));
    }
    case lmUserDef:
      return Rect(P.X, P.Y, P.X + 1, P.Y + 1);
  }
  return square(5);  // the fixed plus of values outside the enumeration
}

int OverlayPenWidth(double Scale) {
  return Scale == 1 ? 1 : std::max(1, ViewPixel(Scale));
}

// The order in which captions claim their place: the host's priority, the
// highlighted landmark, a lower class number, a larger symbol, the list
// position. The last makes the order, and so the placement, total.
struct CaptionRank {
  int32_t HostPriority;
  bool Highlighted;
  uint8_t Class;
  int32_t SymbolSize;
  int32_t Index;
  bool operator<(const CaptionRank& o) const {
    if (HostPriority != o.HostPriority) return HostPriority > o.HostPriority;
    if (Highlighted != o.Highlighted) return Highlighted;
    if (Class != o.Class) return Class < o.Class;
    if (SymbolSize != o.SymbolSize) return SymbolSize > o.SymbolSize;
    return Index < o.Index;
  }
};

// Pixels kept free between a symbol and a caption moved beside it.
constexpr int kCaptionGap = 2;

}  // namespace

double TGeoMap::LandMarkSampleRate(const TMapView& View) const {
  const int W = View.Width, H = View.Height;
  if (FNumLandMarks <= FLMRandSampleLimit) return 1;
  // The view's corners as a quadrilateral of positions, in corner order.
  const TPoint controlCorners[4] = {{0, 0}, {0, H}, {W, H}, {W, 0}};
  TCornerArray view{};
  for (int k = 0; k < 4; ++k) {
    const TPoint p = View.ControlToImage(controlCorners[k]);
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

void TGeoMap::DrawSymbol(render::SymbolStamps& Stamps, TCanvas& Canvas, TPoint P,
                         const TSymbolProperties& S, TColor FG, TColor BG, bool Transparent) {
  if (FOverlayScale == 1) {
    Stamps.Draw(Canvas, P.X, P.Y, S.Kind, FG, BG, S.Size, S.Direction, S.Length, Transparent);
    return;
  }
  // Stamps hold one-pixel pens only; a scaled symbol is drawn.
  Canvas.Pen().SetWidth(OverlayPenWidth(FOverlayScale));
  DrawLandMarkSymbolOnCanvas(Canvas, P.X, P.Y, S.Kind, FG, BG, Scaled(S.Size, FOverlayScale),
                             S.Direction, Scaled(S.Length, FOverlayScale), Transparent);
  Canvas.Pen().SetWidth(1);
}

void TGeoMap::DrawLandMarks(TCanvas& Canvas, const TMapView& View) {
  const int W = View.Width, H = View.Height;
  Canvas.Pen().SetColor(clLime);
  const double p = LandMarkSampleRate(View);
  render::SymbolStamps stamps;  // the few symbols of a view, drawn once each
  std::vector<TShownLandMark> shown;
  for (int32_t i = 0; i < FNumLandMarks; ++i) {
    const TLandMark& lm = FLandMarks[static_cast<size_t>(i)];
    if (!FLMClassVisible[lm.ClassFlag]) continue;
    if (!BRandom(p)) continue;
    int32_t x = 0, y = 0;
    if (!CalcPixelCoords(lm.Latitude, lm.Longitude, x, y)) continue;
    const TPoint P = View.ImageToControl(x, y);
    bool handled = false;
    if (OnDrawLandmark) {
      OnDrawLandmark(this, handled, Canvas, P, lm);
      // A handler that removed landmarks must not leave us reading past them.
      if (i >= FNumLandMarks) break;
    }
    if (handled || !StrictlyInside(P, W, H)) continue;
    const TLandMark& drawn = FLandMarks[static_cast<size_t>(i)];
    const TSymbolProperties& s = drawn.SymbolProps;
    DrawSymbol(stamps, Canvas, P, s, s.FGColor, s.BGColor, s.Transparent);
    if (FPlaceLabels) {
      shown.push_back(TShownLandMark{i, P});
    } else if (!drawn.Caption.Text.empty()) {
      render::SetCaptionFont(Canvas, drawn.Caption, FOverlayScale);
      const auto layout = render::LayOutCaption(Canvas, P, drawn.Caption, FOverlayScale);
      if (layout.Drawn) Canvas.TextOut(layout.Origin.X, layout.Origin.Y, drawn.Caption.Text);
    }
  }
  if (FPlaceLabels) PlaceAndDrawCaptions(Canvas, W, H, shown);
}

// Every drawn symbol is an obstacle; captions then claim their places in
// rank order and are drawn once all are placed. A turned caption keeps its
// own position or is left out: moved beside its symbol it would no longer
// read along the line its author gave it.
void TGeoMap::PlaceAndDrawCaptions(TCanvas& Canvas, int W, int H,
                                   const std::vector<TShownLandMark>& Shown) {
  const int pen = OverlayPenWidth(FOverlayScale);
  // A handler (OnDrawLandmark, OnLabelPriority) may have removed landmarks:
  // positions past the count are gone and must not be read.
  auto gone = [&](size_t k) { return Shown[k].Index >= FNumLandMarks; };
  render::LabelPlacer placer(W, H);
  std::vector<TRect> symbols(Shown.size());
  for (size_t k = 0; k < Shown.size(); ++k) {
    if (gone(k)) continue;
    const TSymbolProperties& s = FLandMarks[static_cast<size_t>(Shown[k].Index)].SymbolProps;
    symbols[k] = SymbolBox(Shown[k].P, s.Kind, Scaled(s.Size, FOverlayScale),
                           Scaled(s.Length, FOverlayScale), s.Direction, pen);
    if (s.Kind != lmUserDef) placer.AddObstacle(symbols[k], static_cast<int32_t>(k));
  }
  std::vector<std::pair<CaptionRank, size_t>> order;
  for (size_t k = 0; k < Shown.size(); ++k) {
    if (gone(k)) continue;
    const int32_t i = Shown[k].Index;
    const TLandMark& lm = FLandMarks[static_cast<size_t>(i)];
    if (lm.Caption.Text.empty()) continue;
    // Taken before the handler runs: it may remove the landmark.
    CaptionRank rank{0, i + 1 == FHighLM, lm.ClassFlag, lm.SymbolProps.Size, i};
    if (OnLabelPriority) {
      OnLabelPriority(this, i + 1, lm, rank.HostPriority);
      if (gone(k)) continue;
    }
    order.push_back({rank, k});
  }
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

  struct Placed {
    size_t Shown;
    TPoint Origin;
  };
  std::vector<Placed> placed;
  placed.reserve(order.size());
  // Measuring sets the font; consecutive captions mostly share one, so the
  // font is set again only when the caption's look changes.
  const TLMTextProperties* fontOf = nullptr;
  for (const auto& [rank, k] : order) {
    if (gone(k)) continue;
    const TLMTextProperties& c = FLandMarks[static_cast<size_t>(Shown[k].Index)].Caption;
    if (fontOf == nullptr || !render::SameCaptionFont(*fontOf, c))
      render::SetCaptionFont(Canvas, c, FOverlayScale);
    fontOf = &c;
    const auto layout = render::LayOutCaption(Canvas, Shown[k].P, c, FOverlayScale);
    if (!layout.Drawn) continue;
    const auto k32 = static_cast<int32_t>(k);
    if (c.Direction % 360 != 0) {
      if (placer.Place(std::span(&layout.Box, 1), k32) == 0) placed.push_back({k, layout.Origin});
      continue;
    }
    const auto positions =
        render::CaptionPositions(layout.Box, symbols[k], layout.Extent, kCaptionGap * pen);
    const int chosen = placer.Place(positions, k32);
    if (chosen >= 0)
      placed.push_back({k, TPoint{positions[static_cast<size_t>(chosen)].Left,
                                  positions[static_cast<size_t>(chosen)].Top}});
  }
  fontOf = nullptr;
  for (const Placed& pl : placed) {
    if (gone(pl.Shown)) continue;
    const TLMTextProperties& c = FLandMarks[static_cast<size_t>(Shown[pl.Shown].Index)].Caption;
    if (fontOf == nullptr || !render::SameCaptionFont(*fontOf, c))
      render::SetCaptionFont(Canvas, c, FOverlayScale);
    fontOf = &c;
    Canvas.TextOut(pl.Origin.X, pl.Origin.Y, c.Text);
  }
}

// The highlighted landmark: its own symbol shape in the highlight colours,
// without caption and never sampled away.
void TGeoMap::DrawHighLightedLandMark(TCanvas& Canvas, const TMapView& View) {
  const int W = View.Width, H = View.Height;
  if (FHighLM <= 0 || FHighLM > FNumLandMarks) return;
  const TLandMark& lm = FLandMarks[static_cast<size_t>(FHighLM - 1)];
  if (!FLMClassVisible[lm.ClassFlag]) return;
  int32_t x = 0, y = 0;
  if (!CalcPixelCoords(lm.Latitude, lm.Longitude, x, y)) return;
  const TPoint P = View.ImageToControl(x, y);
  bool handled = false;
  if (OnDrawLandmark) {
    OnDrawLandmark(this, handled, Canvas, P, lm);
    if (FHighLM <= 0 || FHighLM > FNumLandMarks) return;
  }
  if (handled || !StrictlyInside(P, W, H)) return;
  const TSymbolProperties& s = FLandMarks[static_cast<size_t>(FHighLM - 1)].SymbolProps;
  Canvas.Pen().SetWidth(OverlayPenWidth(FOverlayScale));
  DrawLandMarkSymbolOnCanvas(Canvas, P.X, P.Y, s.Kind, FHighLMColFG, FHighLMColBG,
                             Scaled(s.Size, FOverlayScale), s.Direction,
                             Scaled(s.Length, FOverlayScale), FHighLMTrans);
  Canvas.Pen().SetWidth(1);
}

}  // namespace marovia
