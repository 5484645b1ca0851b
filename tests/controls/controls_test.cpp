// The control hierarchy: layout, mouse routing, capture, painting, handles,
// cursors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/extctrls.h"
#include "marovia/platform/forms.h"

namespace marovia {
namespace {

TColor PixelAt(const TBitmap& B, int X, int Y) {
  return PixelToColor(B.ScanLine(Y)[X]);
}

// A control that records what reaches it.
class Probe : public TCustomControl {
 public:
  explicit Probe(TComponent* Owner, std::vector<std::string>* Log = nullptr, std::string Tag = "")
      : TCustomControl(Owner), log_(Log), tag_(std::move(Tag)) {}
  void MouseDown(TMouseButton B, TShiftState S, int X, int Y) override {
    Note("down", X, Y);
    lastShift = downShift = S;
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void MouseMove(TShiftState S, int X, int Y) override {
    Note("move", X, Y);
    lastShift = S;
    TCustomControl::MouseMove(S, X, Y);
  }
  void MouseUp(TMouseButton B, TShiftState S, int X, int Y) override {
    Note("up", X, Y);
    lastShift = S;
    TCustomControl::MouseUp(B, S, X, Y);
  }
  void Click() override {
    Note("click");
    TCustomControl::Click();
  }
  void DblClick() override {
    Note("dblclick");
    TCustomControl::DblClick();
  }
  bool DoMouseWheel(TShiftState S, int D, TPoint P) override {
    Note("wheel");
    return TCustomControl::DoMouseWheel(S, D, P);
  }
  void Paint() override {
    ++paints;
    Canvas().Brush().SetColor(fill);
    Canvas().FillRect(ClientRect());
  }
  void CreateWnd() override {
    TCustomControl::CreateWnd();
    ++createWnds;
  }

  int paints = 0;
  int createWnds = 0;
  TColor fill = clRed;
  TShiftState lastShift;
  TShiftState downShift;

 private:
  void Note(const std::string& What, int X = 0, int Y = 0) {
    if (log_ == nullptr) return;
    std::string s = tag_ + ":" + What;
    if (What == "down" || What == "move" || What == "up")
      s += "(" + std::to_string(X) + "," + std::to_string(Y) + ")";
    log_->push_back(s);
  }
  std::vector<std::string>* log_;
  std::string tag_;
};

class ControlsTest : public ::testing::Test {
 protected:
  void Post(TInputKind Kind, int X, int Y, TMouseButton B = mbLeft, TShiftState S = {}) {
    Application().PostInput(form, TInputEvent{Kind, B, S, TPoint{X, Y}, 0});
  }
  void Run() { Application().ProcessMessages(); }

  TForm form{nullptr};
  std::vector<std::string> log;
};

// ------------------------------------------------------------------ alignment

TEST_F(ControlsTest, AlignLaysOutTopBottomLeftRightThenClient) {
  form.SetBounds(0, 0, 200, 100);
  Probe top(&form), bottom(&form), left(&form), right(&form), client(&form);
  for (Probe* p : {&client, &right, &left, &bottom, &top}) p->SetParent(&form);
  top.SetHeight(20);
  top.SetAlign(alTop);
  bottom.SetHeight(10);
  bottom.SetAlign(alBottom);
  left.SetWidth(30);
  left.SetAlign(alLeft);
  right.SetWidth(40);
  right.SetAlign(alRight);
  client.SetAlign(alClient);

  EXPECT_EQ(top.BoundsRect(), Rect(0, 0, 200, 20));
  EXPECT_EQ(bottom.BoundsRect(), Rect(0, 90, 200, 100));
  EXPECT_EQ(left.BoundsRect(), Rect(0, 20, 30, 90));
  EXPECT_EQ(right.BoundsRect(), Rect(160, 20, 200, 90));
  EXPECT_EQ(client.BoundsRect(), Rect(30, 20, 160, 90));

  // Resizing the parent lays the children out again.
  int resized = 0;
  client.OnResize = [&](TObject*) { ++resized; };
  form.SetBounds(0, 0, 300, 150);
  EXPECT_EQ(bottom.BoundsRect(), Rect(0, 140, 300, 150));
  EXPECT_EQ(right.BoundsRect(), Rect(260, 20, 300, 140));
  EXPECT_EQ(client.BoundsRect(), Rect(30, 20, 260, 140));
  EXPECT_EQ(resized, 1);

  // An aligned control cannot move away; a hidden one gives its space up.
  top.SetTop(50);
  EXPECT_EQ(top.Top(), 0);
  top.Hide();
  EXPECT_EQ(client.BoundsRect(), Rect(30, 0, 260, 140));
  top.Show();
  EXPECT_EQ(client.Top(), 20);
}

TEST_F(ControlsTest, AlignedTopControlsStackInOrderOfPosition) {
  form.SetBounds(0, 0, 100, 100);
  Probe a(&form), b(&form);
  a.SetParent(&form);
  b.SetParent(&form);
  a.SetBounds(0, 50, 10, 10);
  b.SetBounds(0, 5, 10, 15);
  form.DisableAlign();
  a.SetAlign(alTop);
  b.SetAlign(alTop);
  EXPECT_EQ(a.Top(), 50);  // layout waits for EnableAlign
  form.EnableAlign();
  EXPECT_EQ(b.BoundsRect(), Rect(0, 0, 100, 15));
  EXPECT_EQ(a.BoundsRect(), Rect(0, 15, 100, 25));
}

TEST_F(ControlsTest, PanelAlignsChildrenInsideBevelsAndBorder) {
  TPanel panel(nullptr);
  panel.SetBounds(0, 0, 100, 60);
  panel.SetBevelWidth(2);
  panel.SetBorderWidth(3);
  panel.SetBevelInner(bvLowered);
  Probe child(nullptr);
  child.SetParent(&panel);
  child.SetAlign(alClient);
  EXPECT_EQ(child.BoundsRect(), Rect(7, 7, 93, 53));
}

TEST_F(ControlsTest, SetParentRejectsCyclesAndParentsDetachChildren) {
  auto outer = std::make_unique<Probe>(nullptr);
  Probe inner(nullptr);
  inner.SetParent(outer.get());
  EXPECT_THROW(outer->SetParent(&inner), EInvalidOperation);
  EXPECT_THROW(outer->SetParent(outer.get()), EInvalidOperation);
  outer.reset();
  EXPECT_EQ(inner.Parent(), nullptr);
}

// -------------------------------------------------------------------- routing

TEST_F(ControlsTest, MouseGoesToTopmostEnabledVisibleChildInClientCoordinates) {
  form.SetBounds(0, 0, 200, 200);
  Probe panel(&form, &log, "panel"), lower(&form, &log, "lower"), upper(&form, &log, "upper");
  panel.SetParent(&form);
  panel.SetBounds(10, 20, 150, 150);
  lower.SetParent(&panel);
  lower.SetBounds(5, 5, 50, 50);
  upper.SetParent(&panel);
  upper.SetBounds(30, 30, 50, 50);

  Post(ikMouseMove, 50, 60);    // inside both children: upper wins
  Post(ikMouseMove, 20, 30);    // only lower
  Post(ikMouseMove, 150, 150);  // panel only
  Run();
  upper.SetEnabled(false);
  Run();
  Post(ikMouseMove, 50, 60);  // upper disabled: lower under it
  Run();
  lower.Hide();
  Post(ikMouseMove, 50, 60);
  Run();
  EXPECT_EQ(log,
            (std::vector<std::string>{"upper:move(10,10)", "lower:move(5,5)", "panel:move(140,130)",
                                      "lower:move(35,35)", "panel:move(40,40)"}));
}

TEST_F(ControlsTest, PressCapturesTheControlUntilRelease) {
  form.SetBounds(0, 0, 200, 200);
  Probe a(&form, &log, "a"), b(&form, &log, "b");
  a.SetParent(&form);
  a.SetBounds(0, 0, 50, 50);
  b.SetParent(&form);
  b.SetBounds(100, 100, 50, 50);

  Post(ikMouseDown, 10, 10);
  Post(ikMouseMove, 120, 130);  // over b, but a holds the capture
  Post(ikMouseMove, 300, -20);  // outside the window
  Post(ikMouseUp, 120, 130);    // release outside a: no click
  Post(ikMouseMove, 121, 131);  // capture gone: b
  Run();
  EXPECT_EQ(log, (std::vector<std::string>{"a:down(10,10)", "a:move(120,130)", "a:move(300,-20)",
                                           "a:up(120,130)", "b:move(21,31)"}));
  EXPECT_EQ(form.CaptureControl(), nullptr);
}

TEST_F(ControlsTest, ClickNeedsPressAndReleaseOnTheSameControl) {
  form.SetBounds(0, 0, 200, 200);
  Probe a(&form, &log, "a"), b(&form, &log, "b");
  a.SetParent(&form);
  a.SetBounds(0, 0, 50, 50);
  b.SetParent(&form);
  b.SetBounds(100, 100, 50, 50);
  // Without capture the release lands on b: neither is clicked.
  a.SetControlStyle(a.ControlStyle() - csCaptureMouse);
  Post(ikMouseDown, 10, 10);
  Post(ikMouseUp, 110, 110);
  // A stale press on a must not click a at a later lone release.
  Post(ikMouseUp, 10, 10);
  // A real click: Click comes before MouseUp.
  Post(ikMouseDown, 105, 105);
  Post(ikMouseUp, 106, 106);
  Run();
  EXPECT_EQ(log, (std::vector<std::string>{"a:down(10,10)", "b:up(10,10)", "a:up(10,10)",
                                           "b:down(5,5)", "b:click", "b:up(6,6)"}));
}

TEST_F(ControlsTest, ShiftStateCarriesModifiersAndHeldButtons) {
  form.SetBounds(0, 0, 100, 100);
  Probe a(&form);
  a.SetParent(&form);
  a.SetBounds(0, 0, 100, 100);
  Post(ikMouseDown, 1, 1, mbLeft, TShiftState{ssCtrl, ssLeft});
  Run();
  EXPECT_EQ(a.lastShift, (TShiftState{ssCtrl, ssLeft}));
  Post(ikMouseDown, 1, 1, mbRight);
  Run();
  EXPECT_EQ(a.lastShift, (TShiftState{ssLeft, ssRight}));
  Post(ikMouseUp, 1, 1, mbLeft, ssShift);
  Run();
  EXPECT_EQ(a.lastShift, (TShiftState{ssShift, ssRight}));
  EXPECT_TRUE(a.MouseCapture());  // the right button still holds it
  Post(ikMouseUp, 1, 1, mbRight);
  Run();
  EXPECT_FALSE(a.MouseCapture());
}

TEST_F(ControlsTest, DoubleClickCallsDblClickThenPressWithDoubleFlag) {
  form.SetBounds(0, 0, 100, 100);
  Probe a(&form, &log, "a");
  a.SetParent(&form);
  a.SetBounds(0, 0, 100, 100);
  Post(ikMouseDblClick, 3, 4);
  Post(ikMouseUp, 3, 4);  // no click after a double click
  Run();
  EXPECT_EQ(log, (std::vector<std::string>{"a:dblclick", "a:down(3,4)", "a:up(3,4)"}));
  EXPECT_TRUE(a.downShift.Contains(ssDouble));
  EXPECT_FALSE(a.lastShift.Contains(ssDouble));
  log.clear();
  a.SetControlStyle(a.ControlStyle() - csDoubleClicks);
  Post(ikMouseDblClick, 3, 4);
  Post(ikMouseUp, 3, 4);
  Run();
  EXPECT_EQ(log, (std::vector<std::string>{"a:down(3,4)", "a:click", "a:up(3,4)"}));
}

TEST_F(ControlsTest, WheelBubblesUpUntilHandled) {
  form.SetBounds(0, 0, 100, 100);
  Probe outer(&form, &log, "outer"), inner(&form, &log, "inner");
  outer.SetParent(&form);
  outer.SetBounds(0, 0, 100, 100);
  inner.SetParent(&outer);
  inner.SetBounds(10, 10, 20, 20);
  TPoint seen;
  int delta = 0;
  outer.OnMouseWheel = [&](TObject*, TShiftState, int D, TPoint P, bool& Handled) {
    delta = D;
    seen = P;
    Handled = true;
  };
  form.SetBounds(100, 50, 100, 100);
  Application().PostMouseWheel(form, {}, -120, 15, 15);
  Run();
  EXPECT_EQ(log, (std::vector<std::string>{"inner:wheel", "outer:wheel"}));
  EXPECT_EQ(delta, -120);
  EXPECT_EQ(seen, (TPoint{115, 65}));  // screen coordinates
}

TEST_F(ControlsTest, ControlDestroyedByItsOwnHandlerIsForgotten) {
  form.SetBounds(0, 0, 100, 100);
  auto* a = new Probe(&form, &log, "a");
  a->SetParent(&form);
  a->SetBounds(0, 0, 50, 50);
  a->OnClick = [&](TObject* Sender) { delete Sender; };
  Post(ikMouseMove, 10, 10);
  Post(ikMouseDown, 10, 10);
  Post(ikMouseUp, 10, 10);  // click deletes a; MouseUp must not reach it
  Post(ikMouseMove, 20, 20);
  Run();
  EXPECT_EQ(form.ControlCount(), 0);
  EXPECT_EQ(form.CaptureControl(), nullptr);
  EXPECT_EQ(form.HoverControl(), &form);
  EXPECT_EQ(log, (std::vector<std::string>{"a:move(10,10)", "a:down(10,10)", "a:click"}));
}

TEST_F(ControlsTest, HandlerThatPostsInputDoesNotLoopProcessMessages) {
  form.SetBounds(0, 0, 100, 100);
  Probe a(&form);
  a.SetParent(&form);
  a.SetBounds(0, 0, 100, 100);
  int moves = 0;
  a.OnMouseMove = [&](TObject*, TShiftState, int X, int Y) {
    ++moves;
    Application().PostMouseMove(form, {}, X, Y);
  };
  Application().PostMouseMove(form, {}, 5, 5);
  Run();
  EXPECT_EQ(moves, 1);
  EXPECT_EQ(Application().PendingInput(), 1);
  Run();
  EXPECT_EQ(moves, 2);
  a.OnMouseMove = nullptr;
  Run();
}

// ------------------------------------------------------------------- painting

TEST_F(ControlsTest, InvalidateRepaintsOnceAtProcessMessagesAndComposes) {
  form.SetBounds(0, 0, 60, 40);
  form.SetColor(clWhite);
  Probe panel(&form), child(&form);
  panel.SetParent(&form);
  panel.SetBounds(10, 10, 30, 20);
  panel.fill = clBlue;
  child.SetParent(&panel);
  child.SetBounds(20, 5, 30, 30);  // sticks out of the panel: clipped
  child.fill = clRed;
  Run();
  EXPECT_EQ(panel.paints, 1);
  EXPECT_EQ(child.paints, 1);
  Run();
  EXPECT_EQ(child.paints, 1);  // nothing invalidated
  child.Invalidate();
  child.Invalidate();
  EXPECT_EQ(child.paints, 1);  // only marked
  Run();
  EXPECT_EQ(child.paints, 2);
  panel.Hide();
  child.Invalidate();
  Run();
  EXPECT_EQ(child.paints, 2);  // not showing
  panel.Show();
  Run();

  const TBitmap& img = form.ScreenImage();
  ASSERT_EQ(img.Width(), 60);
  auto at = [&](int x, int y) { return PixelAt(img, x, y); };
  EXPECT_EQ(at(5, 5), clWhite);
  EXPECT_EQ(at(10, 10), clBlue);
  EXPECT_EQ(at(29, 14), clBlue);
  EXPECT_EQ(at(30, 15), clRed);    // child at panel (20, 5)
  EXPECT_EQ(at(39, 29), clRed);    // last pixel inside the panel
  EXPECT_EQ(at(40, 29), clWhite);  // clipped at the panel's right edge
  EXPECT_EQ(at(39, 30), clWhite);  // and bottom edge
}

TEST_F(ControlsTest, DrawingOutsidePaintStaysUntilRepaint) {
  form.SetBounds(0, 0, 20, 20);
  Probe a(&form);
  a.SetParent(&form);
  a.SetBounds(0, 0, 20, 20);
  Run();
  a.Canvas().SetPixels(3, 3, clLime);
  Run();
  EXPECT_EQ(PixelAt(form.ScreenImage(), 3, 3), clLime);
  a.Repaint();
  EXPECT_EQ(PixelAt(form.ScreenImage(), 3, 3), clRed);
}

TEST_F(ControlsTest, CreateWndRunsOnceWhenTheControlReachesAForm) {
  Probe panel(nullptr), child(nullptr);
  child.SetParent(&panel);
  EXPECT_FALSE(panel.HandleAllocated());
  panel.SetParent(&form);
  EXPECT_EQ(panel.createWnds, 0);  // the form gets its handle at processing
  Run();
  EXPECT_EQ(panel.createWnds, 1);
  EXPECT_EQ(child.createWnds, 1);
  EXPECT_TRUE(child.HandleAllocated());
  Probe late(nullptr);
  late.SetParent(&panel);  // parent has a handle: at once
  EXPECT_EQ(late.createWnds, 1);
  Run();
  child.SetParent(nullptr);
  child.SetParent(&panel);
  Run();
  EXPECT_EQ(child.createWnds, 1);
  EXPECT_EQ(panel.createWnds, 1);

  Probe alone(nullptr);
  alone.HandleNeeded();
  EXPECT_EQ(alone.createWnds, 1);
}

// -------------------------------------------------------------------- cursors

TEST_F(ControlsTest, CursorComesFromHoveredControlItsParentsOrTheScreen) {
  form.SetBounds(0, 0, 100, 100);
  Probe outer(&form), inner(&form);
  outer.SetParent(&form);
  outer.SetBounds(0, 0, 50, 50);
  inner.SetParent(&outer);
  inner.SetBounds(0, 0, 10, 10);
  outer.SetCursor(crHandPoint);
  Post(ikMouseMove, 5, 5);
  Run();
  EXPECT_EQ(form.HoverControl(), &inner);
  EXPECT_EQ(form.CurrentCursor(), crHandPoint);  // inner has crDefault
  inner.SetCursor(1000);
  EXPECT_EQ(form.CurrentCursor(), 1000);
  Screen().SetCursor(crHourGlass);
  EXPECT_EQ(form.CurrentCursor(), crHourGlass);
  Screen().SetCursor(crDefault);
  Post(ikMouseMove, 80, 80);
  Run();
  EXPECT_EQ(form.CurrentCursor(), crDefault);
}

TEST_F(ControlsTest, ScreenCursorTable) {
  TScreen& s = Screen();
  ASSERT_NE(s.Cursors(crHandPoint), nullptr);
  EXPECT_EQ(s.Cursors(crHandPoint)->SystemCursor, crHandPoint);
  EXPECT_EQ(s.Cursors(4711), s.Cursors(crArrow));  // no entry: the default
  TCursorImage mine;
  mine.Width = mine.Height = 32;
  s.SetCursors(4711, &mine);
  EXPECT_EQ(s.Cursors(4711), &mine);
  s.SetCursors(4711, nullptr);
  EXPECT_EQ(s.Cursors(4711), s.Cursors(crArrow));
  s.SetCursors(crCross, &mine);
  s.SetCursors(crCross, nullptr);
  EXPECT_EQ(s.Cursors(crCross)->SystemCursor, crCross);
}

TEST_F(ControlsTest, HoverFollowsThePointerWithEnterAndLeave) {
  form.SetBounds(0, 0, 100, 100);
  Probe a(&form);
  a.SetParent(&form);
  a.SetBounds(0, 0, 50, 50);
  std::vector<std::string> events;
  a.OnMouseEnter = [&](TObject*) { events.push_back("enter"); };
  a.OnMouseLeave = [&](TObject*) { events.push_back("leave"); };
  Post(ikMouseMove, 5, 5);
  Post(ikMouseMove, 6, 6);
  Post(ikMouseMove, 70, 70);
  Post(ikMouseMove, 5, 5);
  Post(ikMouseLeave, 0, 0);
  Run();
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "leave", "enter", "leave"}));
}

}  // namespace
}  // namespace marovia
