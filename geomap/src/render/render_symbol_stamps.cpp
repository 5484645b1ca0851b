// Landmark symbols stamped from patterns drawn once (see the header for what
// makes a stamp exact).
#include "render/render_symbol_stamps.h"

#include <cstdlib>

#include "marovia/geomap/symbol_drawing.h"

namespace marovia::render {

namespace {

// Symbols up to this size are stamped; larger ones are rare and drawn.
constexpr int32_t kMaxStampedSize = 64;
// The pen position a scratch canvas starts with, so that a symbol that
// leaves it alone can be told from one that moves it.
constexpr TPoint kUnmovedPen{-1000000, -1000000};

bool DirectFormat(TPixelFormat F) {
  return F != pf1bit && F != pf4bit && F != pf8bit;
}

}  // namespace

// Shapes of lines, rectangles and polygons at whole-pixel offsets; values
// outside the enumeration draw a fixed small plus, also stampable.
bool SymbolStamps::Stampable(TLandMarkElement Kind, int32_t Size) {
  if (Size < -kMaxStampedSize || Size > kMaxStampedSize) return false;
  switch (Kind) {
    case lmPlus:
    case lmSquare:
    case lmCrossBox:
    case lmSpade:
    case lmCross:
      return true;
    case lmTriangle:
    case lmCircle:
    case lmArrowFrom:
    case lmArrowTo:
    case lmUserDef:
      return false;
  }
  return true;
}

SymbolStamps::Stamp SymbolStamps::Make(const Key& K, int32_t Direction, int32_t Length) {
  Stamp st;
  st.key = K;
  // The widest shape (the diagonal cross's halo) reaches Size + 2 from the
  // anchor; the fixed plus of unknown kinds reaches 5.
  st.radius = std::max(std::abs(K.Size), 5) + 3;
  const int side = 2 * st.radius + 1;
  const uint32_t backgrounds[2] = {0x000000, 0xFFFFFF};
  std::vector<uint32_t> drawn[2];
  for (int b = 0; b < 2; ++b) {
    TBitmap scratch(side, side);
    scratch.SetPixelFormat(K.Format);
    TCanvas& c = scratch.Canvas();
    c.Brush().SetColor(PixelToColor(backgrounds[b]));
    c.FillRect(Rect(0, 0, side, side));
    c.SetPenPos(kUnmovedPen);
    DrawLandMarkSymbolOnCanvas(c, st.radius, st.radius, K.Kind, K.FG, K.BG, K.Size, Direction,
                               Length, K.Transparent);
    drawn[b].assign(scratch.Bits(), scratch.Bits() + side * side);
    if (b == 0) {
      st.movesPen = c.PenPos() != kUnmovedPen;
      st.penOffset = TPoint{c.PenPos().X - st.radius, c.PenPos().Y - st.radius};
    }
  }
  // A pixel the symbol wrote has its colour over both backgrounds.
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const size_t i = static_cast<size_t>(y) * side + x;
      if (drawn[0][i] != drawn[1][i]) continue;
      const bool extends = !st.runs.empty() && st.runs.back().Dy == y - st.radius &&
                           st.runs.back().Dx + st.runs.back().Count == x - st.radius;
      if (extends)
        ++st.runs.back().Count;
      else
        st.runs.push_back(
            Run{y - st.radius, x - st.radius, 1, static_cast<int32_t>(st.words.size())});
      st.words.push_back(drawn[0][i]);
    }
  // The filled shapes leave the brush in the background colour.
  st.setsBrush =
      K.Kind == lmSpade || (!K.Transparent && (K.Kind == lmSquare || K.Kind == lmCrossBox));
  return st;
}

const SymbolStamps::Stamp& SymbolStamps::Find(const Key& K, int32_t Direction, int32_t Length) {
  for (const Stamp& s : stamps_)
    if (s.key == K) return s;
  stamps_.push_back(Make(K, Direction, Length));
  return stamps_.back();
}

void SymbolStamps::Draw(TCanvas& Canvas, int32_t X, int32_t Y, TLandMarkElement Kind,
                        TColor FGColor, TColor BGColor, int32_t Size, int32_t Direction,
                        int32_t Length, bool Transparent) {
  TBitmap* surface = Canvas.Surface();
  const TPen& pen = Canvas.Pen();
  const bool plain = surface && pen.Width() <= 1 && pen.Style() == psSolid &&
                     pen.Mode() == pmCopy && DirectFormat(surface->PixelFormat());
  if (!plain || !Stampable(Kind, Size)) {
    DrawLandMarkSymbolOnCanvas(Canvas, X, Y, Kind, FGColor, BGColor, Size, Direction, Length,
                               Transparent);
    return;
  }
  const Key key{Kind, FGColor, BGColor, Size, Transparent, surface->PixelFormat()};
  const Stamp& st = Find(key, Direction, Length);
  const TRect clip = Canvas.ClipRect();
  const int64_t r = st.radius;
  if (X - r < clip.Left || X + r >= clip.Right || Y - r < clip.Top || Y + r >= clip.Bottom) {
    DrawLandMarkSymbolOnCanvas(Canvas, X, Y, Kind, FGColor, BGColor, Size, Direction, Length,
                               Transparent);
    return;
  }
  uint32_t* bits = surface->Bits();
  const int64_t stride = surface->Width();
  for (const Run& run : st.runs) {
    uint32_t* row = bits + (Y + run.Dy) * stride + X + run.Dx;
    const uint32_t* w = st.words.data() + run.First;
    for (int32_t k = 0; k < run.Count; ++k) row[k] = w[k];
  }
  Canvas.Pen().SetColor(FGColor);
  if (st.setsBrush) Canvas.Brush().SetColor(BGColor);
  if (st.movesPen) Canvas.SetPenPos(TPoint{X + st.penOffset.X, Y + st.penOffset.Y});
}

}  // namespace marovia::render
