// The map image in the composed view: the direct and cached paths, the
// background beyond the image, the empty message, design mode, suppressed
// and invisible painting, the frame and the order of the render events.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render_fixture.h"

namespace marovia::test {
namespace {

class RenderImage : public ::testing::Test {
 protected:
  RenderImage() : image(NewPatternImage(300, 200)) {
    v.map.SetMapBitmap(*image);
    v.map.SetColorBackGnd(kBackground);
  }
  static constexpr TColor kBackground = 0x203040;
  MapView v;
  std::unique_ptr<TBitmap> image;
  TBitmap ref;
};

TEST_F(RenderImage, DirectPathCopiesTheWindowAtTopLeft) {
  v.map.SetAntiAlias(false);
  v.map.SetTopLeft({10, 5});
  ReferenceDirect(ref, *image, kViewW, kViewH, {10, 5}, 1.0, false, kBackground);
  EXPECT_EQ(CountDifferences(v, ref), 0);
  // Magnification 1 is a plain copy: view pixel (0, 0) is image pixel (10, 5).
  EXPECT_EQ(v.At(0, 0), MapView::Stored(PixelToColor(image->ScanLine(5)[10])));
}

// Views inside the image, across its top-left corner and across its
// bottom-right corner (background and image both in view).
const TPoint kTopLefts[] = {{7, 3}, {-13, -7}, {283, 187}, {-5, 150}};

TEST_F(RenderImage, DirectPathStretchesWithTheSmoothingSwitch) {
  for (bool aa : {false, true})
    for (double mag : {2.5, 0.8})
      for (TPoint tl : kTopLefts) {
        v.map.SetAntiAlias(aa);
        v.map.SetMagnification(mag);
        v.map.SetTopLeft(tl);
        ReferenceDirect(ref, *image, kViewW, kViewH, tl, mag, aa, kBackground);
        EXPECT_EQ(CountDifferences(v, ref), 0)
            << "AntiAlias " << aa << " mag " << mag << " at " << tl.X << "," << tl.Y;
      }
}

TEST_F(RenderImage, ZoomedOutViewComesFromTheCache) {
  for (bool aa : {false, true})
    for (TPoint tl : kTopLefts) {
      v.map.SetAntiAlias(aa);
      v.map.SetMagnification(0.5);
      v.map.SetTopLeft(tl);
      ReferenceCached(ref, *image, kViewW, kViewH, tl, 0.5, aa, kBackground);
      EXPECT_EQ(CountDifferences(v, ref), 0) << "AntiAlias " << aa << " at " << tl.X;
    }
  // The direct path would show other pixels (the cache is offset by
  // Round(TopLeft * Mag) cache pixels, not by TopLeft image pixels).
  v.map.SetTopLeft({3, 1});
  ReferenceDirect(ref, *image, kViewW, kViewH, {3, 1}, 0.5, true, kBackground);
  EXPECT_GT(CountDifferences(v, ref), 0);
}

TEST_F(RenderImage, MagnificationAtTheLimitTakesTheDirectPath) {
  v.map.SetAntiAlias(false);
  v.map.SetCacheMagLimit(0.5);
  v.map.SetMagnification(0.5);
  v.map.SetTopLeft({3, 1});
  ReferenceDirect(ref, *image, kViewW, kViewH, {3, 1}, 0.5, false, kBackground);
  EXPECT_EQ(CountDifferences(v, ref), 0);
}

TEST_F(RenderImage, SwitchingAntiAliasRebuildsTheCache) {
  v.map.SetMagnification(0.4);
  v.map.SetAntiAlias(true);
  ReferenceCached(ref, *image, kViewW, kViewH, {0, 0}, 0.4, true, kBackground);
  EXPECT_EQ(CountDifferences(v, ref), 0);
  v.map.SetAntiAlias(false);
  ReferenceCached(ref, *image, kViewW, kViewH, {0, 0}, 0.4, false, kBackground);
  EXPECT_EQ(CountDifferences(v, ref), 0);
}

TEST_F(RenderImage, CacheBuiltAtTheCurrentMagnificationOutlivesALowerLimit) {
  v.map.SetAntiAlias(false);
  v.map.SetMagnification(0.5);
  v.map.SetCacheMagLimit(0.25);  // repaints; the cache is still at 0.5
  v.map.SetTopLeft({3, 1});
  ReferenceCached(ref, *image, kViewW, kViewH, {3, 1}, 0.5, false, kBackground);
  EXPECT_EQ(CountDifferences(v, ref), 0);
}

TEST_F(RenderImage, NewImageInvalidatesTheCache) {
  v.map.SetAntiAlias(false);
  v.map.SetMagnification(0.5);
  std::unique_ptr<TBitmap> other(NewPatternImage(300, 200));
  other->Canvas().Brush().SetColor(clRed);
  other->Canvas().FillRect(Rect(0, 0, 300, 200));
  v.map.SetMapBitmap(*other);
  v.map.SetMagnification(0.5);
  EXPECT_EQ(v.At(20, 20), MapView::Stored(clRed));
}

TEST_F(RenderImage, BackgroundShowsBeyondEveryEdgeOfTheImage) {
  v.map.SetAntiAlias(false);
  v.map.SetTopLeft({-20, -10});
  const TColor bg = MapView::Stored(kBackground);
  EXPECT_EQ(v.At(19, 30), bg);  // left of the image
  EXPECT_EQ(v.At(40, 9), bg);   // above it
  EXPECT_EQ(v.At(20, 10), MapView::Stored(PixelToColor(image->ScanLine(0)[0])));
  v.map.SetTopLeft({250, 150});  // the image ends 50 columns and rows in
  EXPECT_EQ(v.At(49, 10), MapView::Stored(PixelToColor(image->ScanLine(160)[299])));
  EXPECT_EQ(v.At(50, 10), bg);
  EXPECT_EQ(v.At(10, 50), bg);
}

TEST_F(RenderImage, ViewsFarBeyondTheImageDrawOnlyBackground) {
  const TColor bg = MapView::Stored(kBackground);
  for (double mag : {kMinMagnification, 1.0, kMaxMagnification}) {
    v.map.SetMagnification(mag);
    for (TPoint tl : {TPoint{2147483647, -2147483647 - 1}, TPoint{-2147483647 - 1, 2147483647}}) {
      ASSERT_NO_THROW(v.map.SetTopLeft(tl)) << mag;
      EXPECT_EQ(v.At(kViewW / 2, kViewH / 2), bg);
    }
  }
}

TEST_F(RenderImage, EmptyMapShowsTheMessageInTheFrameColour) {
  MapView empty;
  empty.map.SetColorBackGnd(kBackground);
  empty.map.SetColorFrame(clYellow);
  const TColor bg = MapView::Stored(kBackground);
  int text = 0;
  for (int y = 0; y < kViewH; ++y)
    for (int x = 0; x < kViewW; ++x) {
      const TColor c = empty.At(x, y);
      if (c == bg) continue;
      ++text;
      // Antialiased text lies in the message's cell, right of and below (10, 10).
      EXPECT_GE(x, 10);
      EXPECT_GE(y, 10);
    }
  EXPECT_GT(text, 20);
}

TEST_F(RenderImage, DesignModeShowsTheEmptyMessageOverALoadedMap) {
  v.map.SetDesigning(true);
  v.map.SetColorBackGnd(clWhite);  // repaints
  EXPECT_EQ(v.At(100, 70), clWhite);
  EXPECT_EQ(v.At(5, 5), clWhite);
}

TEST_F(RenderImage, SuppressedPaintComposesNothing) {
  v.map.SetSuppressPaint(true);
  const TColor before = v.At(60, 40);
  v.map.SetColorBackGnd(clWhite);
  v.map.SetTopLeft({-200, -200});
  EXPECT_EQ(v.At(60, 40), before);
  v.map.SetSuppressPaint(false);
  EXPECT_EQ(v.At(60, 40), clWhite);
}

TEST_F(RenderImage, InvisibleControlKeepsThePictureButDrawsTheFrame) {
  v.map.SetTopLeft({0, 0});
  const TColor before = v.At(60, 40);
  v.map.SetVisible(false);
  v.map.SetFrameStyle(fsFlat);  // one ring in black
  v.map.SetTopLeft({-200, -200});
  EXPECT_EQ(v.At(60, 40), before);
  EXPECT_EQ(v.At(0, 0), clBlack);
  EXPECT_EQ(v.At(kViewW - 1, kViewH - 1), clBlack);
}

TEST_F(RenderImage, FrameUsesTheThreeLineColoursAroundTheView) {
  v.map.SetFrameStyle(fsLowered);
  // Sunken: outer ring gray above and left, white below and right; inner
  // ring black above and left, silver below and right.
  EXPECT_EQ(v.At(0, 10), MapView::Stored(clGray));
  EXPECT_EQ(v.At(kViewW - 1, 10), clWhite);
  EXPECT_EQ(v.At(1, 10), clBlack);
  EXPECT_EQ(v.At(kViewW - 2, 10), MapView::Stored(clSilver));
}

TEST_F(RenderImage, RenderEventsSeeTheImageAndPrecedeTheFrame) {
  std::vector<std::string> order;
  TColor seen = 0;
  v.map.OnBeforeRenderData = [&](TObject* sender, TCanvas& canvas) {
    EXPECT_EQ(sender, &v.map);
    order.push_back("before");
    seen = canvas.Pixels(0, 0);
  };
  v.map.OnDataRendered = [&](TObject*, TCanvas& canvas) {
    order.push_back("rendered");
    canvas.Brush().SetColor(clLime);
    canvas.FillRect(Rect(0, 0, kViewW, kViewH));
  };
  v.map.SetFrameStyle(fsFlat);
  EXPECT_EQ((std::vector<std::string>{"before", "rendered"}), order);
  EXPECT_EQ(seen, MapView::Stored(PixelToColor(image->ScanLine(0)[0])));
  EXPECT_EQ(v.At(0, 0), clBlack);  // the frame comes after
  EXPECT_EQ(v.At(5, 5), clLime);   // what the handler drew stays
}

}  // namespace
}  // namespace marovia::test
