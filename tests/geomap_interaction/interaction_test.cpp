// Mouse gestures of the map control, driven as a user drives them: input
// goes through the form's routing (capture, buttons held, clicks).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/forms.h"

namespace marovia {
namespace {

class MapOnForm : public ::testing::Test {
 protected:
  MapOnForm() : form(nullptr) {
    form.SetBounds(0, 0, 500, 400);
    map = new TGeoMap(&form);
    map->SetParent(&form);
    map->SetBounds(0, 0, 500, 400);
    TBitmap image(2000, 1500);
    map->SetMapBitmap(image);
    Application().ProcessMessages();
  }
  ~MapOnForm() override { Application().OnMessagePump = nullptr; }

  void Post(TInputKind Kind, int X, int Y, TMouseButton B = mbLeft, TShiftState S = {}) {
    Application().PostInput(form, TInputEvent{Kind, B, S, TPoint{X, Y}, 0});
    Application().ProcessMessages();
  }
  void Down(int X, int Y, TMouseButton B = mbLeft, TShiftState S = {}) {
    Post(ikMouseDown, X, Y, B, S);
  }
  void Move(int X, int Y) { Post(ikMouseMove, X, Y); }
  void Up(int X, int Y, TMouseButton B = mbLeft) { Post(ikMouseUp, X, Y, B); }
  // Press, a few moves, release.
  void Drag(TPoint From, TPoint To) {
    Down(From.X, From.Y);
    Move(From.X, From.Y);
    Move((From.X + To.X) / 2, (From.Y + To.Y) / 2);
    Move(To.X, To.Y);
    Up(To.X, To.Y);
  }
  std::vector<uint32_t> Surface() const {
    const TBitmap& s = map->Surface();
    return std::vector<uint32_t>(s.Bits(), s.Bits() + s.Width() * s.Height());
  }

  TForm form;
  TGeoMap* map;
};

// ------------------------------------------------------------ panning

TEST_F(MapOnForm, DragPansFromWhereTheDragStarted) {
  int events = 0;
  map->OnZoomPan = [&](TObject*) { ++events; };
  Down(100, 100);
  Move(90, 95);  // the first move with the button held anchors the drag
  Move(50, 65);
  EXPECT_EQ(map->TopLeft(), (TPoint{40, 30}));
  Move(600, 65);  // outside the control: ignored
  EXPECT_EQ(map->TopLeft(), (TPoint{40, 30}));
  Up(50, 65);
  EXPECT_EQ(events, 1);
  EXPECT_EQ(map->ZoomStack(0), (TgmZoomStackEntry{40, 30, 1.0}));
}

TEST_F(MapOnForm, HorizontalPanMovesOnlyX) {
  map->SetMouseAction(maPanHoriz);
  Drag(TPoint{200, 200}, TPoint{100, 120});
  EXPECT_EQ(map->TopLeft(), (TPoint{100, 0}));
  map->SetMouseAction(maPanVert);
  Drag(TPoint{200, 200}, TPoint{100, 120});
  EXPECT_EQ(map->TopLeft(), (TPoint{100, 80}));
}

TEST_F(MapOnForm, ConfinedPanStopsAtTheImageEdges) {
  Drag(TPoint{100, 100}, TPoint{300, 300});  // would show space left of and above the image
  EXPECT_EQ(map->TopLeft(), (TPoint{0, 0}));
  map->SetConfinePanToMapImage(false);
  Drag(TPoint{100, 100}, TPoint{300, 300});
  EXPECT_EQ(map->TopLeft(), (TPoint{-200, -200}));
  map->SetConfinePanToMapImage(true);  // pulls the view back at once
  EXPECT_EQ(map->TopLeft(), (TPoint{0, 0}));
}

// ------------------------------------------------------------ zooming

TEST_F(MapOnForm, ZoomBoxGivesTheSameViewWhicheverWayItIsDragged) {
  map->SetMouseAction(maZoomWind);
  Drag(TPoint{100, 100}, TPoint{300, 200});
  const double mag = map->Magnification();
  const TPoint tl = map->TopLeft();
  EXPECT_EQ(mag, 2.5);               // the wider side fills the width
  EXPECT_EQ(tl, (TPoint{100, 70}));  // and the box is centred
  EXPECT_EQ(map->ZoomState(), zsIdle);

  map->SetMagnification(1);
  map->SetTopLeft(TPoint{0, 0});
  Drag(TPoint{300, 200}, TPoint{100, 100});
  EXPECT_EQ(map->Magnification(), mag);
  EXPECT_EQ(map->TopLeft(), tl);
}

TEST_F(MapOnForm, ZoomBoxWithoutAreaChangesNothing) {
  map->SetMouseAction(maZoomWind);
  int events = 0;
  map->OnZoomPan = [&](TObject*) { ++events; };
  Drag(TPoint{100, 100}, TPoint{300, 100});
  EXPECT_EQ(map->Magnification(), 1.0);
  EXPECT_EQ(map->TopLeft(), (TPoint{0, 0}));
  EXPECT_EQ(map->ZoomState(), zsIdle);
  EXPECT_EQ(events, 0);
}

TEST_F(MapOnForm, RightReleaseCancelsTheZoomBoxAndErasesIt) {
  map->SetMouseAction(maZoomWind);
  const std::vector<uint32_t> before = Surface();
  Down(100, 100);
  Move(250, 180);
  EXPECT_NE(Surface(), before);  // the outline shows
  Post(ikMouseDown, 250, 180, mbRight);
  Up(250, 180, mbRight);
  EXPECT_EQ(map->ZoomState(), zsIdle);
  EXPECT_EQ(Surface(), before);
  Up(250, 180);
  EXPECT_EQ(map->Magnification(), 1.0);
  EXPECT_EQ(Surface(), before);
}

TEST_F(MapOnForm, DragZoomKeepsTheCentrePixel) {
  map->SetMouseAction(maZoomDrag);
  Down(100, 100);
  Move(100, 100);
  Move(100, 60);  // 40 of 400 pixels up: ten per cent more
  EXPECT_DOUBLE_EQ(map->Magnification(), 1.1);
  EXPECT_EQ(map->TopLeft(), (TPoint{23, 18}));
  Up(100, 60);
  EXPECT_DOUBLE_EQ(map->ZoomStack(0).MagF, 1.1);
}

TEST_F(MapOnForm, DragZoomStaysWithinTheMagnificationRange) {
  map->SetMouseAction(maZoomDrag);
  Down(100, 399);
  Move(100, 399);
  Move(100, 0);  // factor 2 on every move
  for (int i = 0; i < 20; ++i) {
    Move(100, 1);
    Move(100, 0);
  }
  Up(100, 0);
  EXPECT_EQ(map->Magnification(), kMaxMagnification);
}

// ------------------------------------------------------------ zoom history

TEST_F(MapOnForm, ZoomHistoryKeepsTheNewestSixteenStates) {
  map->ClearZoomHistory();  // holds (0, 0, 1)
  for (int i = 1; i <= 16; ++i) {
    map->SetTopLeft(TPoint{i, i});
    map->ZoomStateOnStack();
  }
  EXPECT_EQ(map->ZoomStack(0), (TgmZoomStackEntry{16, 16, 1.0}));
  EXPECT_EQ(map->ZoomStack(-15), (TgmZoomStackEntry{1, 1, 1.0}));  // the first is gone
  EXPECT_EQ(map->ZoomStack(1), TgmZoomStackEntry{});
  EXPECT_EQ(map->ZoomStack(-16), TgmZoomStackEntry{});
  map->ZoomHistory(-3);
  EXPECT_EQ(map->TopLeft(), (TPoint{13, 13}));
}

TEST_F(MapOnForm, ZoomHistoryIgnoresEmptySlots) {
  map->ClearZoomHistory();
  map->SetTopLeft(TPoint{5, 6});
  map->ZoomHistory(-1);
  EXPECT_EQ(map->TopLeft(), (TPoint{5, 6}));
  map->ZoomHistory(0);
  EXPECT_EQ(map->TopLeft(), (TPoint{0, 0}));
}

// ------------------------------------------------------------ outlines and traces

TEST_F(MapOnForm, RubberBandBeginsContinuesAndEnds) {
  map->SetMouseAction(maRubberBand);
  std::vector<std::string> log;
  map->OnBeginRubberBand = [&](TObject*, TPoint p) {
    log.push_back("begin " + std::to_string(p.X));
  };
  map->OnContinueRubberBand = [&](TObject*, TPoint p) {
    log.push_back("continue " + std::to_string(p.X));
  };
  map->OnEndRubberBand = [&](TObject*, TPoint p) { log.push_back("end " + std::to_string(p.X)); };
  const std::vector<uint32_t> before = Surface();
  Down(10, 10);
  Up(10, 10);
  Move(100, 10);
  Down(100, 10, mbLeft, TShiftState{ssCtrl});  // a vertex: the first segment stays
  Up(100, 10);
  Move(100, 80);
  Down(100, 80);
  Up(100, 80);
  EXPECT_EQ(log, (std::vector<std::string>{"begin 10", "continue 100", "end 100"}));
  EXPECT_NE(Surface(), before);                                         // the kept segment
  EXPECT_EQ(map->Surface().ScanLine(50)[100], before[50 * 500 + 100]);  // the last one erased
}

TEST_F(MapOnForm, SelectionOfAnUncalibratedMapIsReportedInPixels) {
  map->SetMouseAction(maSelectRect);
  int kind = -1;
  double c[4] = {};
  map->OnSelectRect = [&](TObject*, int32_t k, double x1, double y1, double x2, double y2) {
    kind = k;
    c[0] = x1, c[1] = y1, c[2] = x2, c[3] = y2;
  };
  const std::vector<uint32_t> before = Surface();
  Drag(TPoint{300, 200}, TPoint{100, 50});
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(c[0], 300);  // drag order, not sorted
  EXPECT_EQ(c[1], 200);
  EXPECT_EQ(c[2], 100);
  EXPECT_EQ(c[3], 50);
  EXPECT_EQ(Surface(), before);
}

TEST_F(MapOnForm, TraceStrokesAreNotJoined) {
  map->SetMouseAction(maMouseTrace);
  map->SetMouseTraceInvert(false);
  map->SetMouseTraceColor(clRed);
  Down(10, 10);
  Move(20, 10);
  Move(60, 10);
  Up(60, 10);
  Down(60, 80);
  Move(60, 80);
  Move(90, 80);
  Up(90, 80);
  EXPECT_EQ(map->NumMTracePoints(), 4);
  EXPECT_EQ(map->Canvas().Pixels(40, 10), clRed);
  EXPECT_EQ(map->Canvas().Pixels(75, 80), clRed);
  EXPECT_NE(map->Canvas().Pixels(60, 45), clRed);  // no segment between the strokes
}

TEST_F(MapOnForm, TraceTakesAtMostFiveThousandPoints) {
  map->SetMouseAction(maMouseTrace);
  Down(0, 0);
  for (int i = 0; i < 5001; ++i) map->MouseMove(TShiftState{ssLeft}, i % 500, i / 500);
  Up(0, 0);
  EXPECT_EQ(map->NumMTracePoints(), 5000);
  map->ClearMouseTrace();
  EXPECT_EQ(map->NumMTracePoints(), 0);
}

// ------------------------------------------------------------ the mouse box

TEST_F(MapOnForm, MouseBoxAnswersTheNormalisedBox) {
  int pump = 0;
  Application().OnMessagePump = [&] {
    switch (pump++) {
      case 1:
        Application().PostMouseDown(form, mbLeft, {}, 200, 150);
        break;
      case 2:
        Application().PostMouseMove(form, {}, 120, 90);
        break;
      case 3:
        Application().PostMouseUp(form, mbLeft, {}, 20, 30);
        break;
      default:
        break;
    }
  };
  int32_t xLo = 0, yLo = 0, xHi = 0, yHi = 0;
  ASSERT_TRUE(map->MouseBox(xLo, yLo, xHi, yHi));
  EXPECT_EQ(xLo, 20);
  EXPECT_EQ(yLo, 30);
  EXPECT_EQ(xHi, 200);
  EXPECT_EQ(yHi, 150);
  EXPECT_EQ(map->MouseAction(), maPan);  // restored
}

TEST_F(MapOnForm, MouseBoxIsCancelledByTheRightButton) {
  Application().OnMessagePump = [&] { Application().PostMouseDown(form, mbRight, {}, 20, 30); };
  int32_t a = 0, b = 0, c = 0, d = 0;
  EXPECT_FALSE(map->MouseBox(a, b, c, d));
}

TEST_F(MapOnForm, MouseBoxEndsWhenItsControlGoesAway) {
  int pump = 0;
  Application().OnMessagePump = [&] {
    if (++pump == 3) delete map;
  };
  int32_t a = 0, b = 0, c = 0, d = 0;
  TGeoMap* m = map;
  EXPECT_FALSE(m->MouseBox(a, b, c, d));
  map = nullptr;
}

TEST_F(MapOnForm, MouseBoxEndsWhenItsControlIsHidden) {
  int pump = 0;
  Application().OnMessagePump = [&] {
    if (++pump == 3) map->Hide();
  };
  int32_t a = 0, b = 0, c = 0, d = 0;
  EXPECT_FALSE(map->MouseBox(a, b, c, d));
  TGeoMap alone(nullptr);  // on no form at all
  EXPECT_FALSE(alone.MouseBox(a, b, c, d));
}

// ------------------------------------------------------------ programmatic views

TEST_F(MapOnForm, FittingAndCentringTheView) {
  TBitmap image(1000, 500);
  map->SetMapBitmap(image);
  map->ZoomFitPage();
  EXPECT_EQ(map->Magnification(), 0.5);
  map->SetMagnification(1);
  map->BringMapPixelToCenter(TPoint{600, 300});
  EXPECT_EQ(map->TopLeft(), (TPoint{350, 100}));
  map->BringMapPixelToCenter(TPoint{990, 490});  // kept inside the image
  EXPECT_EQ(map->TopLeft(), (TPoint{500, 100}));

  TBitmap narrow(300, 200);
  map->SetMapBitmap(narrow);
  map->SetTopLeft(TPoint{50, 50});
  map->PanMapToFillWindow();
  EXPECT_EQ(map->TopLeft(), (TPoint{0, 0}));
}

TEST_F(MapOnForm, ResizingRefusesEmptyAndOversizedImages) {
  TBitmap image(1000, 1000);
  map->SetMapBitmap(image);
  EXPECT_THROW(map->ResizeMap(10.0), EZYLGeoMapError);
  EXPECT_THROW(map->ResizeMap(0.0001), EZYLGeoMapError);
  EXPECT_EQ(map->MapImgWidth(), 1000);
  EXPECT_EQ(map->MapBitmap().Width(), 1000);
  map->ResizeMap(0.5);
  EXPECT_EQ(map->MapImgWidth(), 500);
  EXPECT_EQ(map->MapBitmap().Height(), 500);
  map->ResizeMap(int32_t{250});  // the longer edge
  EXPECT_EQ(map->MapImgWidth(), 250);
  TGeoMap empty(nullptr);
  empty.ResizeMap(int32_t{100});  // no image: nothing to do
  empty.ZoomFitPage();
  EXPECT_EQ(empty.Magnification(), 1.0);
}

// Regression: without a map image ResizeMap(double) raised on a new map, and
// after naming a missing image file it resampled the stale hidden bitmap and
// halved the calibration's pixels. Both forms now do nothing.
TEST_F(MapOnForm, ResizingWithoutAMapImageDoesNothing) {
  TBitmap image(1000, 800);
  map->SetMapBitmap(image);
  map->SetCalibModel(cmEquiRect);
  map->AddCalibPoint(48.0, 10.0, 100, 100);
  map->SetMapImgName("no such image.bmp");
  ASSERT_EQ(map->MapImgWidth(), 0);
  TGeoMap fresh(nullptr);
  for (TGeoMap* m : {map, &fresh}) {
    const TCalibData before = m->CalibData();
    const int bitmapWidth = m->MapBitmap().Width();
    m->ResizeMap(2.0);
    m->ResizeMap(0.5);
    m->ResizeMap(int32_t{100});
    EXPECT_EQ(m->MapImgWidth(), 0);
    EXPECT_EQ(m->MapImgHeight(), 0);
    EXPECT_EQ(m->MapBitmap().Width(), bitmapWidth);
    EXPECT_EQ(m->CalibData(), before);
  }
}

TEST_F(MapOnForm, ResizingKeepsTheGeographicPositionOfEveryCalibrationPoint) {
  TBitmap image(1000, 800);
  map->SetMapBitmap(image);
  map->SetCalibModel(cmEquiRect);
  map->AddCalibPoint(48.0, 10.0, 100, 100);
  map->AddCalibPoint(48.0, 12.0, 900, 100);
  map->AddCalibPoint(46.5, 10.0, 100, 700);
  map->AddCalibPoint(46.5, 12.0, 900, 700);
  map->ResizeMap(0.5);
  EXPECT_EQ(map->MapImgWidth(), 500);
  EXPECT_EQ(map->MapImgHeight(), 400);
  const TCalibData& cal = map->CalibData();
  ASSERT_EQ(cal.NumCalQuads, 4);
  for (int i = 0; i < cal.NumCalQuads; ++i) {
    const TCalQuad& q = cal.CalQuads[static_cast<size_t>(i)];
    bool valid = false;
    EXPECT_NEAR(map->CalcLatitude(q.MapX, q.MapY, valid), q.Latitude, 1e-9);
    EXPECT_TRUE(valid);
    EXPECT_NEAR(map->CalcLongitude(q.MapX, q.MapY, valid), q.Longitude, 1e-9);
  }
  EXPECT_EQ(cal.CalQuads[1].MapX, 450);  // the pixels were halved
  EXPECT_EQ(cal.CalQuads[2].MapY, 350);
}

}  // namespace
}  // namespace marovia
