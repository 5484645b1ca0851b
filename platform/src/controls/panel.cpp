// TPanel: bevels, border and caption.
#include <algorithm>

#include "marovia/platform/extctrls.h"

namespace marovia {

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                                csOpaque, csDoubleClicks, csReplicatable});
  SetBounds(0, 0, 185, 41);
}

void TPanel::SetAlignment(TAlignment Value) {
  if (Value == alignment_) return;
  alignment_ = Value;
  Invalidate();
}

void TPanel::SetBevelInner(TBevelCut Value) {
  if (Value == bevelInner_) return;
  bevelInner_ = Value;
  Realign();
  Invalidate();
}

void TPanel::SetBevelOuter(TBevelCut Value) {
  if (Value == bevelOuter_) return;
  bevelOuter_ = Value;
  Realign();
  Invalidate();
}

void TPanel::SetBevelWidth(int Value) {
  Value = std::max(Value, 1);
  if (Value == bevelWidth_) return;
  bevelWidth_ = Value;
  Realign();
  Invalidate();
}

void TPanel::SetBorderWidth(int Value) {
  Value = std::max(Value, 0);
  if (Value == borderWidth_) return;
  borderWidth_ = Value;
  Realign();
  Invalidate();
}

void TPanel::AdjustClientRect(TRect& R) const {
  int inset = borderWidth_;
  if (bevelOuter_ != bvNone) inset += bevelWidth_;
  if (bevelInner_ != bvNone) inset += bevelWidth_;
  R.Left += inset;
  R.Top += inset;
  R.Right = std::max(R.Right - inset, R.Left);
  R.Bottom = std::max(R.Bottom - inset, R.Top);
}

namespace {

void Bevel(TCanvas& C, TRect& R, TBevelCut Cut, int Width, TColor Face) {
  switch (Cut) {
    case bvNone:
      return;
    case bvRaised:
      Frame3D(C, R, clBtnHighlight, clBtnShadow, Width);
      return;
    case bvLowered:
      Frame3D(C, R, clBtnShadow, clBtnHighlight, Width);
      return;
    case bvSpace:
      Frame3D(C, R, Face, Face, Width);
      return;
  }
}

}  // namespace

void TPanel::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  Bevel(c, r, bevelOuter_, bevelWidth_, Color());
  Frame3D(c, r, Color(), Color(), borderWidth_);
  Bevel(c, r, bevelInner_, bevelWidth_, Color());
  c.Brush().SetColor(Color());
  c.FillRect(r);
  if (Caption().empty()) return;
  c.Font().Assign(Font());
  c.Brush().SetStyle(bsClear);
  const TSize ext = c.TextExtent(Caption());
  int x = r.Left;
  switch (alignment_) {
    case taLeftJustify:
      x = r.Left;
      break;
    case taRightJustify:
      x = r.Right - ext.cx;
      break;
    case taCenter:
      x = r.Left + (r.Width() - ext.cx) / 2;
      break;
  }
  const int y = r.Top + (r.Height() - ext.cy) / 2;
  c.TextRect(r, x, y, Caption());
  c.Brush().SetStyle(bsSolid);
}

}  // namespace marovia
