// Speed buttons: tool bar buttons with a glyph that can stay down, alone or
// as one of a group.
#pragma once

#include "marovia/platform/controls.h"

namespace marovia {

// What the button shows: up, greyed, pressed by the mouse, or held down.
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// A speed button.
//
// Groups: buttons with the same non-zero GroupIndex and the same parent form
// a group in which at most one is Down; putting one down puts the others
// up. Unless AllowAllUp (shared by the whole group), the down button of a
// group stays down when clicked again. A button with GroupIndex 0 never
// stays down.
//
// Glyph: a bitmap holding NumGlyphs images side by side, each
// Glyph.Width / NumGlyphs wide: up, disabled, pressed, down. A missing image
// falls back to the up image (greyed when disabled). The colour of the
// glyph's bottom-left pixel is transparent.
//
// Mouse interaction (left button; other buttons only fire the events):
//
//   state          event                      action                      next
//   idle           press                      show pressed                 tracking
//   tracking       move outside               show up (or down if Down)    tracking
//   tracking       move inside                show pressed                 tracking
//   tracking       release inside             toggle Down in a group       idle
//                                             (as allowed), Click
//   tracking       release outside            show up (or down if Down)    idle
//   any            pointer enters / leaves    flat buttons raise / lower   same
//
// A disabled button ignores the mouse.
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  std::string ClassName() const override { return "TSpeedButton"; }

  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool Value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int Value);
  bool Down() const { return down_; }
  void SetDown(bool Value);
  // Flat buttons show a border only while the pointer is over them or
  // while down.
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  TBitmap& Glyph() { return glyph_; }
  const TBitmap& Glyph() const { return glyph_; }
  void SetGlyph(const TBitmap& Value);
  // 1..4; other values are ignored.
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int Value);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout Value);
  // Pixels between glyph and caption.
  int Spacing() const { return spacing_; }
  void SetSpacing(int Value);

  TButtonState State() const { return state_; }
  bool MouseInControl() const { return mouseIn_; }

  void SetEnabled(bool Value) override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  void SetState(TButtonState Value);
  TButtonState RestingState() const;
  // Puts the other buttons of the group up and shares AllowAllUp.
  void UpdateGroup(bool ShareAllowAllUp);
  void DrawGlyphAndCaption(TCanvas& C, const TRect& Area, int Offset);

  bool allowAllUp_ = false;
  int groupIndex_ = 0;
  bool down_ = false;
  bool flat_ = false;
  TBitmap glyph_;
  int numGlyphs_ = 1;
  TButtonLayout layout_ = blGlyphLeft;
  int spacing_ = 4;
  TButtonState state_ = bsUp;
  bool tracking_ = false;
  bool mouseIn_ = false;
};

}  // namespace marovia
