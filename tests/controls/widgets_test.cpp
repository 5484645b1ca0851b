// Panels, speed buttons and combo boxes: state, mouse interaction, painting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marovia/platform/buttons.h"
#include "marovia/platform/extctrls.h"
#include "marovia/platform/forms.h"
#include "marovia/platform/stdctrls.h"

namespace marovia {
namespace {

TColor PixelAt(const TBitmap& B, int X, int Y) {
  return PixelToColor(B.ScanLine(Y)[X]);
}

TColor Rgb(TColor C) {
  return ColorToRGB(C);
}

// --------------------------------------------------------------------- panel

TEST(PanelTest, PaintsRaisedBevelAndFace) {
  TPanel panel(nullptr);
  panel.SetBounds(0, 0, 40, 20);
  panel.Repaint();
  const TBitmap& c = panel.Surface();
  EXPECT_EQ(PixelAt(c, 0, 0), Rgb(clBtnHighlight));
  EXPECT_EQ(PixelAt(c, 38, 0), Rgb(clBtnHighlight));
  EXPECT_EQ(PixelAt(c, 0, 18), Rgb(clBtnHighlight));
  EXPECT_EQ(PixelAt(c, 39, 0), Rgb(clBtnShadow));
  EXPECT_EQ(PixelAt(c, 39, 19), Rgb(clBtnShadow));
  EXPECT_EQ(PixelAt(c, 0, 19), Rgb(clBtnShadow));
  EXPECT_EQ(PixelAt(c, 5, 5), Rgb(clBtnFace));
  panel.SetBevelOuter(bvLowered);
  panel.Repaint();
  EXPECT_EQ(PixelAt(c, 0, 0), Rgb(clBtnShadow));
  EXPECT_EQ(PixelAt(c, 39, 19), Rgb(clBtnHighlight));
}

TEST(PanelTest, CaptionIsDrawnInTheFontColour) {
  TPanel panel(nullptr);
  panel.SetBounds(0, 0, 120, 30);
  panel.Font().SetColor(clRed);
  panel.SetCaption("MMMM");
  panel.Repaint();
  const TBitmap& s = panel.Surface();
  int reddish = 0;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      const TColor p = PixelAt(s, x, y);
      if (GetRValue(p) > 200 && GetGValue(p) < 100) ++reddish;
    }
  EXPECT_GT(reddish, 10);
}

// -------------------------------------------------------------- speed buttons

class SpeedButtonTest : public ::testing::Test {
 protected:
  SpeedButtonTest() {
    panel.SetBounds(0, 0, 200, 40);
    for (int i = 0; i < 3; ++i) {
      b[i] = new TSpeedButton(&panel);
      b[i]->SetParent(&panel);
      b[i]->SetBounds(i * 30, 0, 26, 26);
      b[i]->SetGroupIndex(7);
      b[i]->OnClick = [this, i](TObject*) { clicks.push_back(i); };
    }
  }
  // Press and release at the button's client point (X, Y) and (RX, RY).
  static void Press(TSpeedButton* B, int X = 5, int Y = 5, int RX = 5, int RY = 5) {
    B->MouseDown(mbLeft, ssLeft, X, Y);
    B->MouseMove(ssLeft, RX, RY);
    B->MouseUp(mbLeft, {}, RX, RY);
  }
  std::vector<bool> DownStates() const { return {b[0]->Down(), b[1]->Down(), b[2]->Down()}; }

  TPanel panel{nullptr};
  TSpeedButton* b[3] = {};
  std::vector<int> clicks;
};

TEST_F(SpeedButtonTest, OneButtonDownPerGroup) {
  Press(b[0]);
  EXPECT_EQ(DownStates(), (std::vector<bool>{true, false, false}));
  Press(b[2]);
  EXPECT_EQ(DownStates(), (std::vector<bool>{false, false, true}));
  // Without AllowAllUp the down button stays down, but still clicks.
  Press(b[2]);
  EXPECT_EQ(DownStates(), (std::vector<bool>{false, false, true}));
  b[2]->SetDown(false);
  EXPECT_TRUE(b[2]->Down());
  EXPECT_EQ(clicks, (std::vector<int>{0, 2, 2}));
  // Setting Down from code keeps the group exclusive too.
  b[1]->SetDown(true);
  EXPECT_EQ(DownStates(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(b[2]->State(), bsUp);
  EXPECT_EQ(b[1]->State(), bsExclusive);
}

TEST_F(SpeedButtonTest, AllowAllUpIsSharedByTheGroup) {
  b[0]->SetAllowAllUp(true);
  EXPECT_TRUE(b[2]->AllowAllUp());
  Press(b[1]);
  Press(b[1]);
  EXPECT_EQ(DownStates(), (std::vector<bool>{false, false, false}));
}

TEST_F(SpeedButtonTest, ButtonsOutsideTheGroupAreIndependent) {
  b[2]->SetGroupIndex(8);
  Press(b[0]);
  Press(b[2]);
  EXPECT_EQ(DownStates(), (std::vector<bool>{true, false, true}));
  b[1]->SetGroupIndex(0);
  b[1]->SetDown(true);  // a plain button never stays down
  Press(b[1]);
  EXPECT_FALSE(b[1]->Down());
  EXPECT_TRUE(b[0]->Down());
}

TEST_F(SpeedButtonTest, MouseStateTable) {
  TSpeedButton* x = b[0];
  x->MouseDown(mbLeft, ssLeft, 5, 5);
  EXPECT_EQ(x->State(), bsDown);
  x->MouseMove(ssLeft, 40, 5);  // dragged out
  EXPECT_EQ(x->State(), bsUp);
  x->MouseMove(ssLeft, 25, 25);  // back in (last pixel)
  EXPECT_EQ(x->State(), bsDown);
  x->MouseUp(mbLeft, {}, 26, 5);  // released just outside
  EXPECT_EQ(x->State(), bsUp);
  EXPECT_FALSE(x->Down());
  EXPECT_TRUE(clicks.empty());
  x->MouseDown(mbRight, ssRight, 5, 5);  // other buttons do nothing
  x->MouseUp(mbRight, {}, 5, 5);
  EXPECT_TRUE(clicks.empty());
  x->SetEnabled(false);
  Press(x);
  EXPECT_EQ(x->State(), bsDisabled);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(SpeedButtonTest, ClickThroughTheFormRouting) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 100);
  panel.SetParent(&form);
  panel.SetBounds(10, 10, 200, 40);
  Application().PostMouseDown(form, mbLeft, {}, 45, 15);  // b[1] at panel (30, 0)
  Application().PostMouseMove(form, {}, 300, 300);
  Application().PostMouseMove(form, {}, 46, 16);
  Application().PostMouseUp(form, mbLeft, {}, 46, 16);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, (std::vector<int>{1}));
  EXPECT_TRUE(b[1]->Down());
  panel.SetParent(nullptr);
}

TEST_F(SpeedButtonTest, FlatButtonRaisesWhileHovered) {
  TSpeedButton* x = b[0];
  x->SetFlat(true);
  x->Repaint();
  const TBitmap& c = x->Surface();
  EXPECT_EQ(PixelAt(c, 0, 0), Rgb(clBtnFace));
  x->MouseEnter();
  EXPECT_TRUE(x->MouseInControl());
  x->Repaint();
  EXPECT_EQ(PixelAt(c, 0, 0), Rgb(clBtnHighlight));
  EXPECT_EQ(PixelAt(c, 25, 25), Rgb(clBtnShadow));
  x->MouseLeave();
  x->Repaint();
  EXPECT_EQ(PixelAt(c, 0, 0), Rgb(clBtnFace));
}

TEST_F(SpeedButtonTest, GlyphImageFollowsStateAndSkipsTransparentPixels) {
  // Two 4 x 4 images: the up image red with an olive (transparent) corner,
  // the disabled image blue.
  TBitmap glyph(8, 4);
  glyph.Canvas().Brush().SetColor(clRed);
  glyph.Canvas().FillRect(Rect(0, 0, 4, 4));
  glyph.Canvas().Brush().SetColor(clBlue);
  glyph.Canvas().FillRect(Rect(4, 0, 8, 4));
  glyph.Canvas().SetPixels(0, 3, clOlive);
  glyph.Canvas().SetPixels(4, 3, clOlive);
  TSpeedButton* x = b[0];
  x->SetBounds(0, 0, 24, 24);
  x->SetGlyph(glyph);
  x->SetNumGlyphs(2);
  x->Repaint();
  const TBitmap& c = x->Surface();
  // Centred: (24 - 4) / 2 = 10.
  EXPECT_EQ(PixelAt(c, 11, 10), clRed);
  EXPECT_EQ(PixelAt(c, 10, 13), Rgb(clBtnFace));  // transparent corner
  x->SetEnabled(false);
  x->Repaint();
  EXPECT_EQ(PixelAt(c, 11, 10), clBlue);
  x->SetEnabled(true);
  x->MouseDown(mbLeft, ssLeft, 1, 1);
  x->Repaint();
  EXPECT_EQ(PixelAt(c, 10, 10), Rgb(clBtnFace));
  EXPECT_EQ(PixelAt(c, 12, 11), clRed);  // pressed: shifted by one pixel
  x->MouseUp(mbLeft, {}, 1, 1);
}

// ---------------------------------------------------------------- combo boxes

class ComboBoxTest : public ::testing::Test {
 protected:
  ComboBoxTest() {
    combo.SetBounds(0, 0, 100, 21);
    for (const char* s : {"alpha", "beta", "gamma", "delta"}) combo.Items().Add(s);
    combo.OnChange = [this](TObject*) { changes.push_back(combo.ItemIndex()); };
  }
  // Client y of the middle of list row i (the list starts below the field,
  // after a one-pixel border).
  int RowY(int i) { return combo.Height() + 1 + i * combo.ItemHeight() + combo.ItemHeight() / 2; }

  TComboBox combo{nullptr};
  std::vector<int> changes;
};

TEST_F(ComboBoxTest, ItemIndexFromCodeFiresNothingAndIsChecked) {
  combo.SetItemIndex(2);
  EXPECT_EQ(combo.Text(), "gamma");
  combo.SetItemIndex(9);
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.SetItemIndex(3);
  combo.Items().Delete(0);  // index 3 no longer exists
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.SetItemIndex(1);
  combo.Items().Clear();
  EXPECT_EQ(combo.ItemIndex(), -1);
  EXPECT_TRUE(changes.empty());
}

TEST_F(ComboBoxTest, PickFromTheListFiresOnChangeOnce) {
  combo.SetStyle(csDropDownList);
  combo.SetItemIndex(0);
  combo.MouseDown(mbLeft, ssLeft, 50, 10);
  EXPECT_TRUE(combo.DroppedDown());
  EXPECT_EQ(combo.HotIndex(), 0);
  combo.MouseUp(mbLeft, {}, 50, 10);  // release on the field: stays open
  EXPECT_TRUE(combo.DroppedDown());
  combo.MouseMove({}, 50, RowY(2));
  EXPECT_EQ(combo.HotIndex(), 2);
  combo.MouseDown(mbLeft, ssLeft, 50, RowY(2));
  combo.MouseUp(mbLeft, {}, 50, RowY(2));
  EXPECT_FALSE(combo.DroppedDown());
  EXPECT_EQ(combo.ItemIndex(), 2);
  EXPECT_EQ(changes, (std::vector<int>{2}));
  // Choosing the selected item again changes nothing.
  combo.MouseDown(mbLeft, ssLeft, 50, 10);
  combo.MouseUp(mbLeft, {}, 50, RowY(2));
  EXPECT_EQ(changes, (std::vector<int>{2}));
}

TEST_F(ComboBoxTest, PressOutsideOrOnFieldClosesWithoutChange) {
  combo.MouseDown(mbLeft, ssLeft, 50, 10);
  combo.MouseUp(mbLeft, {}, 50, 10);
  combo.MouseDown(mbLeft, ssLeft, 300, 300);
  EXPECT_FALSE(combo.DroppedDown());
  combo.MouseDown(mbLeft, ssLeft, 50, 10);
  combo.MouseUp(mbLeft, {}, 50, 10);
  combo.MouseDown(mbLeft, ssLeft, 50, 10);
  EXPECT_FALSE(combo.DroppedDown());
  combo.MouseUp(mbLeft, {}, 50, RowY(5));  // below the last row
  EXPECT_EQ(combo.ItemIndex(), -1);
  EXPECT_TRUE(changes.empty());
}

TEST_F(ComboBoxTest, WheelStepsThroughTheItems) {
  combo.DoMouseWheel({}, -120, TPoint{});  // nothing selected: the first
  combo.DoMouseWheel({}, -240, TPoint{});
  combo.DoMouseWheel({}, -60, TPoint{});  // half a notch: nothing yet
  combo.DoMouseWheel({}, -60, TPoint{});
  combo.DoMouseWheel({}, -120, TPoint{});  // already at the end
  combo.DoMouseWheel({}, 120, TPoint{});
  EXPECT_EQ(changes, (std::vector<int>{0, 2, 3, 2}));
}

TEST_F(ComboBoxTest, LongListScrollsAndKeepsTheSelectionInView) {
  for (int i = 0; i < 20; ++i) combo.Items().Add("item" + std::to_string(i));
  combo.SetDropDownCount(5);
  combo.SetItemIndex(12);
  combo.SetDroppedDown(true);
  EXPECT_EQ(combo.TopIndex(), 8);
  combo.DoMouseWheel({}, -240, TPoint{});
  EXPECT_EQ(combo.TopIndex(), 10);
  combo.DoMouseWheel({}, -12000, TPoint{});
  EXPECT_EQ(combo.TopIndex(), 19);  // 24 items, 5 rows
  combo.MouseDown(mbLeft, ssLeft, 10, RowY(0));
  combo.MouseUp(mbLeft, {}, 10, RowY(0));
  EXPECT_EQ(combo.ItemIndex(), 19);
}

TEST_F(ComboBoxTest, OpenListGetsTheMouseAndIsDrawnOnTopThroughTheForm) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 200);
  TPanel below(nullptr);
  below.SetParent(&form);
  below.SetBounds(0, 30, 200, 170);
  int panelDowns = 0;
  below.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++panelDowns; };
  combo.SetParent(&form);
  combo.SetBounds(10, 10, 100, 21);
  auto& app = Application();
  app.PostMouseDown(form, mbLeft, {}, 20, 15);
  app.PostMouseUp(form, mbLeft, {}, 20, 15);
  app.ProcessMessages();
  ASSERT_TRUE(combo.DroppedDown());
  EXPECT_EQ(form.PopupOwner(), &combo);
  app.ProcessMessages();
  // Row 1 lies over the panel; the list is drawn above it.
  const int y = 10 + RowY(1);
  const TBitmap& img = form.ScreenImage();
  EXPECT_EQ(PixelAt(img, 100, y), Rgb(clWindow));
  app.PostMouseMove(form, {}, 15, y);
  app.ProcessMessages();
  EXPECT_EQ(PixelAt(form.ScreenImage(), 100, y), Rgb(clHighlight));
  app.PostMouseDown(form, mbLeft, {}, 15, y);
  app.PostMouseUp(form, mbLeft, {}, 15, y);
  app.ProcessMessages();
  EXPECT_EQ(panelDowns, 0);
  EXPECT_EQ(changes, (std::vector<int>{1}));
  EXPECT_EQ(form.PopupOwner(), nullptr);
  combo.SetParent(nullptr);
}

}  // namespace
}  // namespace marovia
