// TSpeedButton: groups, mouse tracking and painting.
#include <algorithm>

#include "marovia/platform/buttons.h"

namespace marovia {

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(TControlStyle{csCaptureMouse, csDoubleClicks});
  SetBounds(0, 0, 23, 22);
  // Loading a picture into Glyph() directly shows at the next repaint.
  glyph_.OnChange = [this](TObject*) { Invalidate(); };
}

// ----------------------------------------------------------------- properties

TButtonState TSpeedButton::RestingState() const {
  if (!Enabled()) return bsDisabled;
  return down_ ? bsExclusive : bsUp;
}

void TSpeedButton::SetState(TButtonState Value) {
  if (Value == state_) return;
  state_ = Value;
  Invalidate();
}

void TSpeedButton::SetAllowAllUp(bool Value) {
  if (Value == allowAllUp_) return;
  allowAllUp_ = Value;
  UpdateGroup(true);
}

void TSpeedButton::SetGroupIndex(int Value) {
  if (Value == groupIndex_) return;
  groupIndex_ = Value;
  if (groupIndex_ == 0 && down_) {
    down_ = false;
    SetState(RestingState());
  }
  UpdateGroup(false);
}

void TSpeedButton::SetDown(bool Value) {
  if (groupIndex_ == 0) Value = false;
  if (Value == down_) return;
  if (down_ && !allowAllUp_) return;  // the down button of a group stays down
  down_ = Value;
  if (!tracking_) SetState(RestingState());
  Invalidate();
  if (down_) UpdateGroup(false);
}

void TSpeedButton::UpdateGroup(bool ShareAllowAllUp) {
  if (groupIndex_ == 0 || Parent() == nullptr) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
    if (b == nullptr || b == this || b->groupIndex_ != groupIndex_) continue;
    if (ShareAllowAllUp) b->allowAllUp_ = allowAllUp_;
    if (down_ && b->down_) {
      b->down_ = false;
      if (!b->tracking_) b->SetState(b->RestingState());
      b->Invalidate();
    }
  }
}

void TSpeedButton::SetFlat(bool Value) {
  if (Value == flat_) return;
  flat_ = Value;
  Invalidate();
}

void TSpeedButton::SetGlyph(const TBitmap& Value) {
  glyph_.Assign(Value);
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(int Value) {
  if (Value < 1 || Value > 4 || Value == numGlyphs_) return;
  numGlyphs_ = Value;
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout Value) {
  if (Value == layout_) return;
  layout_ = Value;
  Invalidate();
}

void TSpeedButton::SetSpacing(int Value) {
  if (Value == spacing_) return;
  spacing_ = Value;
  Invalidate();
}

void TSpeedButton::SetEnabled(bool Value) {
  TGraphicControl::SetEnabled(Value);
  if (!Value) tracking_ = false;
  SetState(RestingState());
}

// ---------------------------------------------------------------------- mouse

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  tracking_ = true;
  SetState(bsDown);
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!tracking_) return;
  const bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
  SetState(inside ? bsDown : RestingState());
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !tracking_) return;
  tracking_ = false;
  const bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
  if (inside && groupIndex_ != 0) SetDown(!down_);
  SetState(RestingState());
  if (inside) Click();
}

void TSpeedButton::MouseEnter() {
  TGraphicControl::MouseEnter();
  mouseIn_ = true;
  if (flat_) Invalidate();
}

void TSpeedButton::MouseLeave() {
  TGraphicControl::MouseLeave();
  mouseIn_ = false;
  if (flat_) Invalidate();
}

// ------------------------------------------------------------------- painting

void TSpeedButton::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  const bool pressed = state_ == bsDown || state_ == bsExclusive;
  c.Brush().SetColor(Color());
  c.FillRect(r);
  if (flat_) {
    // A thin frame, only while hovered or held.
    if (pressed)
      Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    else if (mouseIn_ && Enabled())
      Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  } else if (pressed) {
    Frame3D(c, r, cl3DDkShadow, clBtnHighlight, 1);
    Frame3D(c, r, clBtnShadow, cl3DLight, 1);
  } else {
    Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
    Frame3D(c, r, cl3DLight, clBtnShadow, 1);
  }
  if (state_ == bsExclusive) {
    // A held button shows a lighter face, as on the framework's tool bars.
    c.Brush().SetColor(clBtnHighlight);
    c.FillRect(r);
  }
  DrawGlyphAndCaption(c, ClientRect(), pressed ? 1 : 0);
}

void TSpeedButton::DrawGlyphAndCaption(TCanvas& C, const TRect& Area, int Offset) {
  int gw = 0, gh = 0;
  if (!glyph_.Empty()) {
    gw = glyph_.Width() / numGlyphs_;
    gh = glyph_.Height();
  }
  TSize text{0, 0};
  if (!Caption().empty()) {
    C.Font().Assign(Font());
    text = C.TextExtent(Caption());
  }
  const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  const int gap = (gw > 0 && text.cx > 0) ? spacing_ : 0;
  const int totalW = horizontal ? gw + gap + text.cx : std::max(gw, text.cx);
  const int totalH = horizontal ? std::max(gh, text.cy) : gh + gap + text.cy;
  const int x0 = Area.Left + (Area.Width() - totalW) / 2 + Offset;
  const int y0 = Area.Top + (Area.Height() - totalH) / 2 + Offset;
  int gx = x0, gy = y0, tx = x0, ty = y0;
  switch (layout_) {
    case blGlyphLeft:
      gy = y0 + (totalH - gh) / 2;
      tx = x0 + gw + gap;
      ty = y0 + (totalH - text.cy) / 2;
      break;
    case blGlyphRight:
      gx = x0 + text.cx + gap;
      gy = y0 + (totalH - gh) / 2;
      ty = y0 + (totalH - text.cy) / 2;
      break;
    case blGlyphTop:
      gx = x0 + (totalW - gw) / 2;
      tx = x0 + (totalW - text.cx) / 2;
      ty = y0 + gh + gap;
      break;
    case blGlyphBottom:
      gx = x0 + (totalW - gw) / 2;
      gy = y0 + text.cy + gap;
      tx = x0 + (totalW - text.cx) / 2;
      break;
  }

  if (gw > 0 && gh > 0) {
    // Image index by state, falling back to the up image.
    int index = 0;
    if (state_ == bsDisabled && numGlyphs_ > 1) index = 1;
    if (state_ == bsDown && numGlyphs_ > 2) index = 2;
    if (state_ == bsExclusive && numGlyphs_ > 3) index = 3;
    const bool greyed = state_ == bsDisabled && index == 0;
    const uint32_t transparent = glyph_.ScanLine(gh - 1)[0];
    const uint32_t shadow = ColorToPixel(clBtnShadow);
    for (int y = 0; y < gh; ++y) {
      const uint32_t* row = glyph_.ScanLine(y) + index * gw;
      for (int x = 0; x < gw; ++x) {
        if (row[x] == transparent) continue;
        C.SetPixels(gx + x, gy + y, PixelToColor(greyed ? shadow : row[x]));
      }
    }
  }
  if (text.cx > 0) {
    C.Brush().SetStyle(bsClear);
    C.Font().SetColor(Enabled() ? Font().Color() : clGrayText);
    C.TextOut(tx, ty, Caption());
    C.Brush().SetStyle(bsSolid);
  }
}

}  // namespace marovia
