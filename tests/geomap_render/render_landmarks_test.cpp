// Landmarks in the view: the host's drawing event, the strict inside test,
// class visibility, random sampling, caption placement and the highlight.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "marovia/geomap/symbol_drawing.h"
#include "marovia/zylmath/math1.h"
#include "render_fixture.h"

namespace marovia::test {
namespace {

// Position of image pixel (X, Y) of the generated blank map.
double LatOf(double Y) {
  return 40 + (200 - Y) / 20;
}
double LongOf(double X) {
  return 10 + X / 30;
}

// The bounding box of the pixels of the view that are not white.
TRect InkBox(const MapView& V) {
  TRect r{V.map.Width(), V.map.Height(), -1, -1};
  for (int y = 0; y < V.map.Height(); ++y)
    for (int x = 0; x < V.map.Width(); ++x)
      if (V.At(x, y) != clWhite) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

// A 320 x 220 view of the generated map at magnification 1.
class RenderLandmarks : public ::testing::Test {
 protected:
  RenderLandmarks() : v(320, 220) {
    GenerateBlankMap(v.map);
    v.map.SetColorBackGnd(clWhite);  // beyond the map too, for InkBox
    v.map.SetSuppressPaint(true);
  }
  // Adds a landmark at image pixel (X, Y) with the default symbol.
  void Add(double X, double Y) { v.map.AddLandMark(LatOf(Y), LongOf(X), 0); }
  void Show() { v.map.SetSuppressPaint(false); }  // which paints once
  MapView v;
};

TEST_F(RenderLandmarks, EventRunsForEveryLandmarkButSymbolsOnlyStrictlyInside) {
  // On the first column, the first row, one past the last column and row,
  // and in the middle.
  const std::vector<TPoint> at = {{0, 100}, {150, 0}, {320, 100}, {150, 220}, {150, 100}};
  for (TPoint p : at) Add(p.X, p.Y);
  std::vector<TPoint> seen;
  v.map.OnDrawLandmark = [&](TObject* sender, bool& handled, TCanvas& canvas, TPoint p,
                             const TLandMark& lm) {
    EXPECT_EQ(sender, &v.map);
    EXPECT_FALSE(handled);
    EXPECT_EQ(&canvas, &const_cast<TBitmap&>(v.map.ComposedView()).Canvas());
    EXPECT_EQ(lm.SymbolProps.Kind, lmCross);
    seen.push_back(p);
  };
  Show();
  EXPECT_EQ(seen, at);
  // Only the middle one has its symbol: a diagonal cross of size 7 in blue
  // with a white halo; the others leave no trace on the white map.
  EXPECT_EQ(v.At(150, 100), clBlue);
  EXPECT_EQ(v.At(157, 107), clBlue);
  const TRect ink = InkBox(v);
  EXPECT_GE(ink.Left, 150 - 9);
  EXPECT_LE(ink.Right, 150 + 10);
  EXPECT_GE(ink.Top, 100 - 9);
  EXPECT_LE(ink.Bottom, 100 + 10);
}

TEST_F(RenderLandmarks, HandledSuppressesSymbolAndCaption) {
  v.map.AddLandMark(LatOf(100), LongOf(150), 0, "Caption", 10, clBlack);
  int calls = 0;
  v.map.OnDrawLandmark = [&](TObject*, bool& handled, TCanvas&, TPoint, const TLandMark&) {
    ++calls;
    handled = true;
  };
  Show();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(InkBox(v).Right, -1);  // nothing drawn
}

TEST_F(RenderLandmarks, HiddenClassesAreNeitherDrawnNorReported) {
  Add(100, 100);
  TLandMark lm = v.map.LandMarkData(1);
  lm.ClassFlag = 7;
  v.map.SetLandMarkData(1, lm);
  Add(200, 100);
  v.map.SetClassVisibility(7, false);
  int calls = 0;
  v.map.OnDrawLandmark = [&](TObject*, bool&, TCanvas&, TPoint p, const TLandMark&) {
    ++calls;
    EXPECT_EQ(p, (TPoint{200, 100}));
  };
  Show();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(v.At(100, 100), clWhite);
  EXPECT_EQ(v.At(200, 100), clBlue);
}

// Counts of the event inside and outside the view.
struct SampleCount {
  int inView = 0, outside = 0;
};

SampleCount CountDrawn(MapView& V) {
  SampleCount n;
  V.map.OnDrawLandmark = [&](TObject*, bool& handled, TCanvas&, TPoint p, const TLandMark&) {
    handled = true;  // the count is what matters, not 30 000 symbols
    if (p.X >= 0 && p.X <= 320 && p.Y >= 0 && p.Y <= 220)
      ++n.inView;
    else
      ++n.outside;
  };
  V.map.SetSuppressPaint(false);  // paints
  return n;
}

TEST_F(RenderLandmarks, LargeSetsAreSampledToTheLimitInView) {
  // 25 000 landmarks in view and 5 000 beyond its right edge: with the
  // default limit of 20 000 each is drawn with probability 20000 / 25000.
  for (int i = 0; i < 25000; ++i) Add(10 + (i % 250), 10 + (i / 250) * 2);
  for (int i = 0; i < 5000; ++i) Add(400 + (i % 50), 10 + (i / 50) * 2);
  SetBRandomSeed(20240229);
  const SampleCount n = CountDrawn(v);
  // Binomial: mean 20 000 in view, 4 000 beyond; sigma about 63 and 28.
  EXPECT_NEAR(n.inView, 20000, 300);
  EXPECT_NEAR(n.outside, 4000, 150);
}

TEST_F(RenderLandmarks, SetsWithFewEnoughInViewAreDrawnWhole) {
  // 30 000 landmarks, but only 15 000 in view: no sampling.
  for (int i = 0; i < 15000; ++i) Add(10 + (i % 150), 10 + (i / 150) * 2);
  for (int i = 0; i < 15000; ++i) Add(400 + (i % 150), 10 + (i / 150) * 2);
  const SampleCount n = CountDrawn(v);
  EXPECT_EQ(n.inView, 15000);
  EXPECT_EQ(n.outside, 15000);
}

// Symbols are stamped from patterns; the pixels must be those the canvas
// draws, for every shape, size, colour and transparency, on the first and
// last rows and columns and half outside the view too.
TEST_F(RenderLandmarks, SymbolsLookExactlyAsTheCanvasDrawsThem) {
  Show();
  TBitmap ref;
  ref.Assign(v.map.ComposedView());  // the view without landmarks
  v.map.SetSuppressPaint(true);
  struct Mark {
    TPoint at;
    TSymbolProperties s;
  };
  std::vector<Mark> marks;
  const TColor colours[] = {clRed, clBlue, clLime, clBlack, 0x123456};
  int k = 0;
  for (int kind = 0; kind <= 12; ++kind)
    for (int size : {0, 1, 2, 5, 7, 9, 40, 70})
      for (bool transparent : {false, true}) {
        Mark m;
        // A grid of places, every seventh one near an edge of the view.
        m.at = k % 7 == 0 ? TPoint{(k * 37) % 320, k % 2 ? 3 : 216}
                          : TPoint{12 + (k * 29) % 296, 12 + (k * 13) % 196};
        m.s.Kind = static_cast<TLandMarkElement>(kind);
        m.s.Size = size;
        m.s.FGColor = colours[k % 5];
        m.s.BGColor = colours[(k + 2) % 5];
        m.s.Transparent = transparent;
        m.s.Direction = (k * 45) % 360;
        m.s.Length = 12;
        marks.push_back(m);
        ++k;
      }
  for (const Mark& m : marks) {
    Add(m.at.X, m.at.Y);
    TLandMark lm = v.map.LandMarkData(v.map.NumLandMarks());
    lm.SymbolProps = m.s;
    v.map.SetLandMarkData(v.map.NumLandMarks(), lm);
  }
  Show();
  for (const Mark& m : marks) {
    if (m.at.X <= 0 || m.at.Y <= 0 || m.at.X >= 320 || m.at.Y >= 220) continue;
    DrawLandMarkSymbolOnCanvas(ref.Canvas(), m.at.X, m.at.Y, m.s.Kind, m.s.FGColor, m.s.BGColor,
                               m.s.Size, m.s.Direction, m.s.Length, m.s.Transparent);
  }
  int differing = 0;
  for (int y = 0; y < 220; ++y)
    for (int x = 0; x < 320; ++x) differing += v.At(x, y) != ref.Canvas().Pixels(x, y);
  EXPECT_EQ(differing, 0);
}

// ------------------------------------------------------------ captions

// A caption on a solid yellow background, so its cell shows as a box, on a
// landmark without symbol at image (150, 100).
class RenderCaptions : public RenderLandmarks {
 protected:
  void AddCaption(TAlignment H, TVerticalAlignment V, int Direction, int dx = 3, int dy = 5) {
    v.map.AddLandMark(LatOf(100), LongOf(150), 0, "Caption Wg", 12, clBlack);
    TLandMark lm = v.map.LandMarkData(v.map.NumLandMarks());
    lm.SymbolProps.Kind = lmUserDef;
    lm.Caption.Transparent = false;
    lm.Caption.BGColor = clYellow;
    lm.Caption.HAlignment = H;
    lm.Caption.VAlignment = V;
    lm.Caption.Direction = Direction;
    lm.Caption.dx = dx;
    lm.Caption.dy = dy;
    lm.Caption.FontName = "DejaVu Sans";
    v.map.SetLandMarkData(v.map.NumLandMarks(), lm);
  }
  // Width and height of the caption's text cell.
  TSize Cell() {
    TBitmap probe(1, 1);
    probe.Canvas().Font().SetSize(12);
    probe.Canvas().Font().SetName("DejaVu Sans");
    return probe.Canvas().TextExtent("Caption Wg");
  }
};

TEST_F(RenderCaptions, AlignmentsPlaceTheCellAroundTheAnchor) {
  const TSize cell = Cell();
  const int hw = cell.cx / 2, hh = cell.cy / 2;
  for (TAlignment h : {taLeftJustify, taCenter, taRightJustify})
    for (TVerticalAlignment va : {vaTop, vaMiddle, vaBottom}) {
      v.map.SetSuppressPaint(true);
      v.map.RemoveAllLandMarks();
      AddCaption(h, va, 0);
      Show();
      const int ax = h == taLeftJustify ? 0 : h == taCenter ? hw : 2 * hw;
      const int ay = va == vaTop ? 0 : va == vaMiddle ? hh : 2 * hh;
      const TRect box = InkBox(v);
      EXPECT_EQ(box, Bounds(150 + 3 - ax, 100 + 5 - ay, cell.cx, cell.cy))
          << int(h) << " " << int(va);
    }
}

TEST_F(RenderCaptions, VerticalCaptionIsCentredOnTheAnchor) {
  // Direction 90, centred, top: the text runs upwards from hw below the
  // anchor (plus dy), its cell to the right of the start.
  const TSize cell = Cell();
  const int hw = cell.cx / 2;
  AddCaption(taCenter, vaTop, 90, 0, 0);
  Show();
  const TRect box = InkBox(v);
  EXPECT_NEAR(box.Left, 150, 1);
  EXPECT_NEAR(box.Right, 150 + cell.cy, 1);
  EXPECT_NEAR(box.Bottom, 100 + hw, 1);
  EXPECT_NEAR(box.Top, 100 + hw - cell.cx, 1);
}

TEST_F(RenderCaptions, UnrotatedCaptionAfterARotatedOneStaysHorizontal) {
  // The font description of a rotated caption must not carry over.
  AddCaption(taLeftJustify, vaTop, 90, 0, 0);
  v.map.AddLandMark(LatOf(150), LongOf(20), 0, "Caption Wg", 12, clBlack);
  TLandMark lm = v.map.LandMarkData(1);
  lm.Latitude = LatOf(150);
  lm.Longitude = LongOf(20);
  lm.Caption.Direction = 0;
  v.map.SetLandMarkData(2, lm);
  Show();
  const TSize cell = Cell();
  // The second caption's box, below and left of the first.
  TRect box{320, 220, -1, -1};
  for (int y = 120; y < 220; ++y)
    for (int x = 0; x < 140; ++x)
      if (v.At(x, y) != clWhite) {
        box.Left = std::min(box.Left, x);
        box.Top = std::min(box.Top, y);
        box.Right = std::max(box.Right, x + 1);
        box.Bottom = std::max(box.Bottom, y + 1);
      }
  EXPECT_EQ(box, Bounds(20, 150, cell.cx, cell.cy));
}

// ------------------------------------------------------------ highlight

TEST_F(RenderLandmarks, HighlightUsesItsColoursAndDrawsNoCaption) {
  v.map.AddLandMark(LatOf(100), LongOf(150), 0, "Caption", 12, clBlack);
  TLandMark lm = v.map.LandMarkData(1);
  lm.SymbolProps.Kind = lmSquare;
  lm.SymbolProps.Size = 5;
  v.map.SetLandMarkData(1, lm);
  v.map.SetHighLightProperties(clRed, clLime, false);
  v.map.SetHighLM(1);
  // The ordinary pass is taken over by the handler, so what remains is the
  // highlight's own drawing.
  int calls = 0;
  v.map.OnDrawLandmark = [&](TObject*, bool& handled, TCanvas&, TPoint p, const TLandMark&) {
    handled = ++calls == 1;
    EXPECT_EQ(p, (TPoint{150, 100}));
  };
  Show();
  EXPECT_EQ(calls, 2);
  // A filled square: red outline at 4 from the centre inside a lime ring at
  // 5, lime inside.
  EXPECT_EQ(v.At(150 - 5, 100), clLime);
  EXPECT_EQ(v.At(150 - 4, 100), clRed);
  EXPECT_EQ(v.At(150, 100), clLime);
  EXPECT_EQ(InkBox(v), Bounds(145, 95, 11, 11));  // no caption
}

TEST_F(RenderLandmarks, HighlightOfAHiddenClassIsNotDrawn) {
  Add(150, 100);
  v.map.SetHighLM(1);
  v.map.SetClassVisibility(0, false);
  int calls = 0;
  v.map.OnDrawLandmark = [&](TObject*, bool&, TCanvas&, TPoint, const TLandMark&) { ++calls; };
  Show();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(v.At(150, 100), clWhite);
}

// ------------------------------------------------------------ mouse trace

// Drags a stroke through the control points under the trace mode.
void Stroke(TGeoMap& Map, const std::vector<TPoint>& Points) {
  Map.MouseDown(mbLeft, TShiftState{ssLeft}, Points[0].X, Points[0].Y);
  for (TPoint p : Points) Map.MouseMove(TShiftState{ssLeft}, p.X, p.Y);
  Map.MouseUp(mbLeft, TShiftState{}, Points.back().X, Points.back().Y);
}

TEST_F(RenderLandmarks, TraceIsRedrawnStrokeByStrokeInItsModes) {
  Show();
  v.map.SetMouseAction(maMouseTrace);
  v.map.SetMouseTraceColor(clRed);
  v.map.SetMouseTraceInvert(false);
  Stroke(v.map, {{10, 10}, {50, 10}});
  v.map.SetMouseTraceInvert(true);
  Stroke(v.map, {{50, 50}, {90, 50}});
  v.map.SetTopLeft({0, 0});  // a full composition
  for (int x = 10; x < 50; ++x) EXPECT_EQ(v.At(x, 10), clRed) << x;
  EXPECT_EQ(v.At(50, 10), clWhite);  // LineTo stops before the end
  // The second stroke is XOR over white: red's complement, aqua.
  for (int x = 50; x < 90; ++x) EXPECT_EQ(v.At(x, 50), clAqua) << x;
  // No segment joins the end of one stroke to the start of the next.
  for (int y = 11; y < 50; ++y) EXPECT_EQ(v.At(50, y), clWhite) << y;
  // The trace is in image coordinates: it moves with the view.
  v.map.SetTopLeft({5, 0});
  EXPECT_EQ(v.At(5, 10), clRed);
  EXPECT_EQ(v.At(45, 10), clWhite);
  v.map.ClearMouseTrace();
  EXPECT_EQ(v.Count(clRed) + v.Count(clAqua), 0);
}

TEST_F(RenderLandmarks, TracePointsReadBackAsPositions) {
  Show();
  v.map.SetMouseAction(maMouseTrace);
  Stroke(v.map, {{30, 20}, {60, 40}});
  ASSERT_EQ(v.map.NumMTracePoints(), 2);
  const TColoredPoint p = v.map.MouseTrace(2);
  EXPECT_NEAR(p.X, LongOf(60), 1e-9);
  EXPECT_NEAR(p.Y, LatOf(40), 1e-9);
  EXPECT_EQ(p.Flags, cpStrokeEnd | cpXorMode);
  EXPECT_EQ(v.map.MouseTrace(3).Flags, cpInvalid);
  EXPECT_EQ(v.map.MouseTrace(0).Flags, cpInvalid);
}

}  // namespace
}  // namespace marovia::test
