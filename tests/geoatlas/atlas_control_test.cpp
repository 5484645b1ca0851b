// The atlas as a control: how it is built, and its buttons driven through
// the form's input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marovia/geoatlas/geoatlas.h"
#include "marovia/platform/forms.h"

namespace marovia {
namespace {

class AtlasOnForm : public ::testing::Test {
 protected:
  AtlasOnForm() : form(nullptr) {
    form.SetBounds(0, 0, 700, 500);
    atlas = new TGeoAtlas(&form);
    atlas->SetParent(&form);
    Application().ProcessMessages();
  }
  // A left click at a point of the form.
  void Click(int X, int Y) {
    Application().PostMouseDown(form, mbLeft, {}, X, Y);
    Application().PostMouseUp(form, mbLeft, {}, X, Y);
    Application().ProcessMessages();
  }
  // Form coordinates of a point of a control on the atlas.
  TPoint OnForm(const TControl& C, int X, int Y) const {
    const TPoint o = C.OriginInTopLevel();
    return TPoint{o.X + X, o.Y + Y};
  }

  TForm form;
  TGeoAtlas* atlas;
};

TEST_F(AtlasOnForm, IsBuiltAsTheToolBarAboveTheMap) {
  EXPECT_EQ(atlas->BoundsRect(), Rect(100, 50, 580, 370));
  const TControlStyle style = atlas->ControlStyle();
  EXPECT_FALSE(style.Contains(csAcceptsControls));
  EXPECT_FALSE(style.Contains(csSetCaption));
  EXPECT_TRUE(style.Contains(csFramed));
  EXPECT_TRUE(style.Contains(csOpaque));

  EXPECT_EQ(atlas->CmdPanel().Align(), alTop);
  EXPECT_EQ(atlas->CmdPanel().Height(), 33);
  EXPECT_EQ(atlas->CmdPanel().Width(), 480);
  EXPECT_EQ(atlas->PointerButton().BoundsRect(), Rect(3, 3, 29, 29));
  EXPECT_EQ(atlas->ZoomButton().BoundsRect(), Rect(32, 3, 58, 29));
  for (TSpeedButton* b : {&atlas->PointerButton(), &atlas->ZoomButton()}) {
    EXPECT_TRUE(b->Flat());
    EXPECT_EQ(b->GroupIndex(), 999);
    EXPECT_EQ(b->NumGlyphs(), 2);
    EXPECT_EQ(b->Glyph().Width(), 40);
    EXPECT_EQ(b->Glyph().Height(), 20);
  }
  EXPECT_TRUE(atlas->PointerButton().Down());
  EXPECT_FALSE(atlas->ZoomButton().Down());
  EXPECT_EQ(atlas->MapSelector().Left(), 68);
  EXPECT_EQ(atlas->MapSelector().Top(), 5);
  EXPECT_EQ(atlas->MapSelector().Width(), 300);
  EXPECT_EQ(atlas->MapSelector().Style(), csDropDownList);

  // The map fills the rest.
  EXPECT_EQ(atlas->CurrentMap().Align(), alClient);
  EXPECT_EQ(atlas->CurrentMap().BoundsRect(), Rect(0, 33, 480, 320));
  EXPECT_EQ(atlas->CurrentMap().EmptyMsg(), "TGeoAtlas: Empty");  // set once it had a window

  EXPECT_EQ(atlas->NumRegMaps(), 0);
  EXPECT_EQ(atlas->CurrentMapIndex(), 0);
  EXPECT_TRUE(atlas->MapOutlineVisible());
  EXPECT_EQ(atlas->MapOutlineColor(), 0xFF0000);
  EXPECT_EQ(atlas->MinResDiff(), 10.0);
}

TEST_F(AtlasOnForm, InstallsItsTwoCursors) {
  const HCURSOR zoom = Screen().Cursors(crGeoZoom);
  const HCURSOR hand = Screen().Cursors(crGeoHand);
  ASSERT_NE(zoom, nullptr);
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(zoom->Name, "CURGEOZOOM");
  EXPECT_EQ(zoom->HotSpot, (TPoint{6, 6}));
  EXPECT_EQ(hand->Name, "CURGEOHAND");
  EXPECT_EQ(hand->HotSpot, (TPoint{0, 0}));
}

TEST_F(AtlasOnForm, ButtonsSwitchBetweenPanningAndZooming) {
  std::vector<std::string> log;
  atlas->OnClick = [&](TObject* s) { log.push_back(s == atlas ? "click" : "?"); };
  atlas->OnZoomButClick = [&](TObject* s) { log.push_back(s == atlas ? "zoom" : "?"); };
  atlas->OnPointerButClick = [&](TObject* s) { log.push_back(s == atlas ? "pointer" : "?"); };

  const TPoint zoom = OnForm(atlas->ZoomButton(), 13, 13);
  Click(zoom.X, zoom.Y);
  EXPECT_TRUE(atlas->ZoomButton().Down());
  EXPECT_FALSE(atlas->PointerButton().Down());
  EXPECT_EQ(atlas->Cursor(), crGeoZoom);
  EXPECT_FALSE(atlas->CurrentMap().AllowPan());
  // Over the map the form shows the atlas's cursor.
  const TPoint inMap = OnForm(atlas->CurrentMap(), 100, 100);
  Application().PostMouseMove(form, {}, inMap.X, inMap.Y);
  Application().ProcessMessages();
  EXPECT_EQ(form.CurrentCursor(), crGeoZoom);

  const TPoint pointer = OnForm(atlas->PointerButton(), 13, 13);
  Click(pointer.X, pointer.Y);
  EXPECT_TRUE(atlas->PointerButton().Down());
  EXPECT_EQ(atlas->Cursor(), crHandPoint);
  EXPECT_TRUE(atlas->CurrentMap().AllowPan());
  EXPECT_EQ(log, (std::vector<std::string>{"click", "zoom", "click", "pointer"}));
}

TEST_F(AtlasOnForm, ForwardsTheMapsMouseEventsAsItsOwn) {
  std::vector<std::string> log;
  atlas->OnMouseDown = [&](TObject* s, TMouseButton, TShiftState, int X, int Y) {
    log.push_back((s == atlas ? "down " : "? ") + std::to_string(X) + "," + std::to_string(Y));
  };
  atlas->OnMouseUp = [&](TObject* s, TMouseButton, TShiftState, int, int) {
    log.push_back(s == atlas ? "up" : "?");
  };
  atlas->OnClick = [&](TObject* s) { log.push_back(s == atlas ? "click" : "?"); };
  const TPoint p = OnForm(atlas->CurrentMap(), 40, 30);
  Click(p.X, p.Y);
  // Coordinates are the map control's own.
  EXPECT_EQ(log, (std::vector<std::string>{"down 40,30", "click", "up"}));
}

TEST_F(AtlasOnForm, GetMapDefOutsideTheTableIsEmpty) {
  const TMapDefinition none = atlas->GetMapDef(0);
  EXPECT_TRUE(none.MapFName.empty());
  EXPECT_EQ(none.Resolution, 0);
  EXPECT_EQ(atlas->GetMapDef(201).Corners, TCornerArray{});
  EXPECT_FALSE(atlas->SelectMap(1));
  EXPECT_FALSE(atlas->RegisterMap("no such file.xml"));
  atlas->UnregisterMap(1);  // ignored
  EXPECT_EQ(atlas->NumRegMaps(), 0);
}

}  // namespace
}  // namespace marovia
