// The map control as an object: construction defaults, the clamping and
// repainting writers, Assign and Clear.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "marovia/geomap/geomap.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

// Counts compositions through the OnDataRendered-independent hook: every
// Paint that composes draws the frame, so a changed surface pixel after a
// colour change is the visible sign; here we count Paint calls directly.
class CountingMap : public TGeoMap {
 public:
  using TGeoMap::TGeoMap;
  void Paint() override {
    ++paints;
    TGeoMap::Paint();
  }
  int paints = 0;
};

TEST(GeoMapCore, ConstructionDefaults) {
  TGeoMap map(nullptr);
  EXPECT_EQ(map.Height(), 400);
  EXPECT_EQ(map.Width(), 500);
  EXPECT_EQ(map.TopLeft(), (TPoint{0, 0}));
  EXPECT_TRUE(map.ConfinePanToMapImage());
  EXPECT_EQ(map.GratLineDist(), 0);
  EXPECT_EQ(map.ShowGraticule(), sgNone);
  EXPECT_FALSE(map.SuppressPaint());
  EXPECT_TRUE(map.AntiAlias());
  EXPECT_EQ(map.Magnification(), 1.0);
  EXPECT_EQ(map.EmptyMsg(), "GeoMap: empty");
  EXPECT_EQ(map.NumLandMarks(), 0);
  EXPECT_EQ(map.LandMarkCapacity(), 1000);
  EXPECT_EQ(map.LMRandomDisplayThreshold(), 20000);
  for (int c = 0; c < 256; ++c) EXPECT_TRUE(map.LMClassVisible(static_cast<uint8_t>(c)));
  EXPECT_EQ(map.ColorGraticule(), 0xFF0000);
  EXPECT_EQ(map.ColorCalibPoints(), 0x0000FF);
  EXPECT_EQ(map.ColorBackGnd(), 0xC0C0C0);
  EXPECT_EQ(map.ColorFrame(), 0x000000);
  EXPECT_EQ(map.FrameStyle(), fsLowered);
  EXPECT_EQ(map.MapImgFile(), "");
  EXPECT_EQ(map.MapImgWidth(), 0);
  EXPECT_EQ(map.MapImgHeight(), 0);
  EXPECT_EQ(map.NumMTracePoints(), 0);
  EXPECT_EQ(map.MouseTraceColor(), clWhite);
  EXPECT_TRUE(map.MouseTraceInvert());
  EXPECT_EQ(map.ZoomState(), zsIdle);
  EXPECT_EQ(map.MouseAction(), maPan);
  EXPECT_TRUE(map.AllowPan());
  EXPECT_EQ(map.HighLightLandMark(), 0);
  EXPECT_EQ(map.CalibModel(), cmUndefined);
  EXPECT_EQ(map.CacheMagLimit(), 2.0 / 3.0);
  // The calibration record starts zeroed; clearing it sets zone -1 later.
  EXPECT_EQ(map.CalibData().UTMZone, 0);
  EXPECT_EQ(map.CalibData().NumCalQuads, 0);
  // The zoom history holds the initial view.
  EXPECT_EQ(map.ZoomStack(0), (TgmZoomStackEntry{0, 0, 1.0}));

  const TLandMark& lm = map.LandMarkDefault();
  EXPECT_EQ(lm.SymbolProps.Kind, lmCross);
  EXPECT_EQ(lm.SymbolProps.Size, 7);
  EXPECT_EQ(lm.SymbolProps.FGColor, clBlue);
  EXPECT_EQ(lm.SymbolProps.BGColor, clWhite);
  EXPECT_EQ(lm.SymbolProps.Length, 10);
  EXPECT_EQ(lm.Caption.Size, 8);
  EXPECT_EQ(lm.Caption.FontName, "MS Sans Serif");
  EXPECT_TRUE(lm.Caption.Transparent);
  EXPECT_EQ(lm.Caption.dy, 8);
  EXPECT_EQ(lm.Caption.HAlignment, taCenter);
  EXPECT_EQ(lm.Caption.VAlignment, vaTop);
}

TEST(GeoMapCore, WritersClampOutOfRangeValues) {
  TGeoMap map(nullptr);
  map.SetGratLineDist(-5);
  EXPECT_EQ(map.GratLineDist(), 0);
  map.SetGratLineDist(75);
  EXPECT_EQ(map.GratLineDist(), 60);
  map.SetGratLineDist(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(map.GratLineDist(), 60);

  map.SetUTMGridDist(20000000);
  EXPECT_EQ(map.UTMGridDist(), 10000000);
  map.SetUTMGridDist(-1);
  EXPECT_EQ(map.UTMGridDist(), 0);

  map.SetCacheMagLimit(0.9);
  EXPECT_EQ(map.CacheMagLimit(), 2.0 / 3.0);
  map.SetCacheMagLimit(-1);
  EXPECT_EQ(map.CacheMagLimit(), 0);

  map.SetUTMZone(32);
  map.SetUTMZone(0);
  map.SetUTMZone(61);
  EXPECT_EQ(map.UTMZone(), 32);
  map.SetUTMHemisphere(hemiSouth);
  EXPECT_EQ(map.UTMHemisphere(), hemiSouth);
  EXPECT_TRUE(map.CalibData().UTMSouth);

  map.SetLMRandomDisplayThreshold(1000);
  EXPECT_EQ(map.LMRandomDisplayThreshold(), 20000);
  map.SetLMRandomDisplayThreshold(1001);
  EXPECT_EQ(map.LMRandomDisplayThreshold(), 1001);

  map.SetHighLightLandMark(map.NumLandMarks() + 1);
  EXPECT_EQ(map.HighLightLandMark(), 0);
  map.SetHighLightLandMark(-3);
  EXPECT_EQ(map.HighLightLandMark(), 0);
}

TEST(GeoMapCore, MagnificationStaysWithinItsRange) {
  TGeoMap map(nullptr);
  map.SetMagnification(1e9);
  EXPECT_EQ(map.Magnification(), kMaxMagnification);
  map.SetMagnification(0);
  EXPECT_EQ(map.Magnification(), kMinMagnification);
  map.SetMagnification(-std::numeric_limits<double>::infinity());
  EXPECT_EQ(map.Magnification(), kMinMagnification);
  map.SetMagnification(2.5);
  map.SetMagnification(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(map.Magnification(), 2.5);
}

TEST(GeoMapCore, WritersRepaintOnlyWhereTheyShould) {
  CountingMap map(nullptr);
  auto repaints = [&](auto&& change) {
    const int before = map.paints;
    change();
    return map.paints - before;
  };
  EXPECT_EQ(repaints([&] { map.SetColorBackGnd(clRed); }), 1);
  EXPECT_EQ(repaints([&] { map.SetFrameStyle(fsLowered); }), 0);  // unchanged
  EXPECT_EQ(repaints([&] { map.SetFrameStyle(fsFlat); }), 1);
  EXPECT_EQ(repaints([&] { map.SetShowGraticule(sgNone); }), 0);
  EXPECT_EQ(repaints([&] { map.SetShowGraticule(sgLines); }), 1);
  EXPECT_EQ(repaints([&] { map.SetUTMZone(12); }), 0);
  EXPECT_EQ(repaints([&] { map.SetCaption("Alps"); }), 0);
  EXPECT_EQ(repaints([&] { map.SetAllowPan(false); }), 0);
  EXPECT_EQ(map.MouseAction(), maNone);
  EXPECT_EQ(repaints([&] { map.SetClassVisibility(3, true); }), 1);  // also unchanged
  EXPECT_EQ(repaints([&] { map.SetLMRandomDisplayThreshold(500); }), 0);
  // The cache limit repaints only while the view is zoomed out below 2/3.
  EXPECT_EQ(repaints([&] { map.SetCacheMagLimit(0.5); }), 0);
  map.SetMagnification(0.5);
  EXPECT_EQ(repaints([&] { map.SetCacheMagLimit(0.4); }), 1);
  // Suppressed painting composes nothing; releasing it repaints once.
  map.SetSuppressPaint(true);
  const int before = map.paints;
  map.SetColorGraticule(clLime);
  EXPECT_EQ(map.paints, before + 1);  // Paint is called but returns at once
  EXPECT_EQ(repaints([&] { map.SetSuppressPaint(false); }), 1);
}

TEST(GeoMapCore, SuppressedPaintLeavesTheSurfaceUntouched) {
  TGeoMap map(nullptr);
  map.SetColorBackGnd(clRed);
  EXPECT_EQ(map.Canvas().Pixels(100, 100), clRed);
  map.SetSuppressPaint(true);
  map.SetColorBackGnd(clLime);
  EXPECT_EQ(map.Canvas().Pixels(100, 100), clRed);
  map.SetSuppressPaint(false);
  EXPECT_EQ(map.Canvas().Pixels(100, 100), clLime);
}

TEST(GeoMapCore, MissingCalibrationFileEmptiesTheMapButKeepsTheName) {
  test::TempDir dir;
  TGeoMap map(nullptr);
  TBitmap bmp(20, 10);
  map.SetMapBitmap(bmp);
  map.SetCalibDataFile(dir.File("absent.xml"));
  EXPECT_EQ(map.CalibDataFile(), "");
  EXPECT_EQ(map.MapImgFile(), "");
  EXPECT_EQ(map.MapImgWidth(), 0);
  EXPECT_EQ(map.MapImgHeight(), 0);
}

TEST(GeoMapCore, LastClickPositionOfAnUncalibratedMapIsZero) {
  TGeoMap map(nullptr);
  EXPECT_EQ(map.LastClickLatitude(), 0);
  EXPECT_EQ(map.LastClickLongitude(), 0);
}

TEST(GeoMapCore, LandMarkDataOutsideTheListIsAnError) {
  TGeoMap map(nullptr);
  map.SetName("Map1");
  try {
    (void)map.LandMarkData(1);
    FAIL() << "no error";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Component \"Map1\": ", 0), 0u) << e.what();
  }
}

TEST(GeoMapCore, AssignCopiesTheMapButNotTheTraceOrHandlers) {
  TGeoMap src(nullptr);
  src.SetColorBackGnd(clRed);
  src.SetGratLineDist(2.5);
  src.SetUTMZone(33);
  src.SetCaption("Source map");
  src.SetMagnification(2);
  src.SetClassVisibility(5, false);
  src.SetHighLightProperties(clRed, clGreen, true);
  TBitmap bmp(30, 20);
  bmp.Canvas().SetPixels(3, 4, clBlue);
  src.SetMapBitmap(bmp);  // a new image resets the view
  src.SetTopLeft(TPoint{7, 9});
  src.OnZoomPan = [](TObject*) {};

  TGeoMap dst(nullptr);
  dst.SetMouseTraceColor(clYellow);
  dst.Assign(src);
  EXPECT_EQ(dst.ColorBackGnd(), clRed);
  EXPECT_EQ(dst.GratLineDist(), 2.5);
  EXPECT_EQ(dst.UTMZone(), 33);
  EXPECT_EQ(dst.Caption(), "Source map");
  EXPECT_EQ(dst.Magnification(), 2);
  EXPECT_EQ(dst.TopLeft(), (TPoint{7, 9}));
  EXPECT_FALSE(dst.LMClassVisible(5));
  EXPECT_EQ(dst.MapBitmap().Width(), 30);
  EXPECT_EQ(dst.MapBitmap().ScanLine(4)[3], ColorToPixel(clBlue));
  EXPECT_EQ(dst.MapImgFile(), src.MapImgFile());
  EXPECT_EQ(dst.CalibData(), src.CalibData());
  // Not copied: the trace settings and the event handlers.
  EXPECT_EQ(dst.MouseTraceColor(), clYellow);
  EXPECT_FALSE(dst.OnZoomPan);

  // Through AssignTo, and a foreign source is refused.
  TGeoMap third(nullptr);
  src.SetCaption("Via AssignTo");
  third.Assign(static_cast<const TPersistent&>(src));
  EXPECT_EQ(third.Caption(), "Via AssignTo");
  TPen pen;
  EXPECT_THROW(third.Assign(pen), EConvertError);
}

TEST(GeoMapCore, ClearKeepsLandmarksBitmapAndView) {
  TGeoMap map(nullptr);
  TBitmap bmp(40, 30);
  map.SetMapBitmap(bmp);
  map.SetCaption("x");
  map.SetTopLeft(TPoint{3, 4});
  map.Clear();
  EXPECT_EQ(map.CalibModel(), cmUndefined);
  EXPECT_EQ(map.Caption(), "");
  EXPECT_EQ(map.MapImgFile(), "");
  EXPECT_EQ(map.MapImgWidth(), 0);
  EXPECT_EQ(map.CalibData().UTMZone, -1);
  EXPECT_EQ(map.MapBitmap().Width(), 40);
  EXPECT_EQ(map.TopLeft(), (TPoint{3, 4}));
}

}  // namespace
}  // namespace marovia
