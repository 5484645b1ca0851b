// TComboBox: selection, the drop-down list, mouse and wheel.
#include <algorithm>

#include "marovia/platform/forms.h"
#include "marovia/platform/stdctrls.h"

namespace marovia {

namespace {
constexpr int kButtonWidth = 17;
constexpr int kWheelStep = 120;
}  // namespace

TComboBox::TComboBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(TControlStyle{csCaptureMouse, csSetCaption, csDoubleClicks, csFixedHeight});
  SetColor(clWindow);
  SetBounds(0, 0, 145, 21);
  items_.OnChange = [this](TObject*) { ItemsChanged(); };
}

TComboBox::~TComboBox() {
  if (TForm* f = ParentForm()) f->ClosePopup(this);
}

// ----------------------------------------------------------------- properties

void TComboBox::SetItemIndex(int Value) {
  if (Value < 0 || Value >= items_.Count()) Value = -1;
  if (Value == itemIndex_) return;
  itemIndex_ = Value;
  Invalidate();
}

std::string TComboBox::Text() const {
  return itemIndex_ >= 0 ? items_.Strings(itemIndex_) : std::string();
}

void TComboBox::SetStyle(TComboBoxStyle Value) {
  if (Value == style_) return;
  style_ = Value;
  Invalidate();
}

void TComboBox::SetDropDownCount(int Value) {
  dropDownCount_ = std::max(Value, 1);
}

int TComboBox::ItemHeight() {
  Canvas().Font().Assign(Font());
  rowHeight_ = std::max(Canvas().TextHeight("Wg") + 2, 1);
  return rowHeight_;
}

int TComboBox::VisibleRows() const {
  return std::max(std::min(items_.Count(), dropDownCount_), 1);
}

void TComboBox::ScrollTo(int Row) {
  const int maxTop = std::max(items_.Count() - VisibleRows(), 0);
  const int top = std::clamp(Row, 0, maxTop);
  if (top == topIndex_) return;
  topIndex_ = top;
  Invalidate();
}

void TComboBox::SetDroppedDown(bool Value) {
  if (Value == dropped_) return;
  TForm* form = ParentForm();
  if (Value) {
    if (OnDropDown) OnDropDown(this);
    ItemHeight();
    dropped_ = true;
    hotIndex_ = itemIndex_;
    topIndex_ = 0;
    if (itemIndex_ >= VisibleRows()) ScrollTo(itemIndex_ - VisibleRows() + 1);
    if (form != nullptr) form->OpenPopup(this);
  } else {
    dropped_ = false;
    hotIndex_ = -1;
    if (form != nullptr) form->ClosePopup(this);
    if (OnCloseUp) OnCloseUp(this);
  }
  Invalidate();
}

void TComboBox::ItemsChanged() {
  if (itemIndex_ >= items_.Count()) itemIndex_ = -1;
  if (hotIndex_ >= items_.Count()) hotIndex_ = -1;
  topIndex_ = std::clamp(topIndex_, 0, std::max(items_.Count() - VisibleRows(), 0));
  Invalidate();
}

void TComboBox::UserSelect(int Index) {
  const bool changed = Index != itemIndex_;
  SetItemIndex(Index);
  if (OnSelect) OnSelect(this);
  if (changed && OnChange) OnChange(this);
}

// ---------------------------------------------------------------------- mouse

TRect TComboBox::PopupRect() const {
  if (!dropped_) return TRect{};
  return Rect(0, Height(), Width(), Height() + VisibleRows() * rowHeight_ + 2);
}

int TComboBox::RowAt(int X, int Y) const {
  if (!dropped_) return -1;
  const TRect r = PopupRect();
  if (X < r.Left || X >= r.Right || Y < r.Top + 1 || Y >= r.Bottom - 1) return -1;
  const int row = topIndex_ + (Y - r.Top - 1) / rowHeight_;
  return row < items_.Count() ? row : -1;
}

void TComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const bool onField = X >= 0 && Y >= 0 && X < Width() && Y < Height();
  if (!dropped_) {
    if (onField && Enabled()) SetDroppedDown(true);
    return;
  }
  const int row = RowAt(X, Y);
  if (row >= 0) {
    if (row != hotIndex_) {
      hotIndex_ = row;
      Invalidate();
    }
    return;
  }
  // On the field or outside both: the list closes without a choice.
  SetDroppedDown(false);
}

void TComboBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  const int row = RowAt(X, Y);
  if (row >= 0 && row != hotIndex_) {
    hotIndex_ = row;
    Invalidate();
  }
}

void TComboBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !dropped_) return;
  const int row = RowAt(X, Y);
  if (row < 0) return;
  SetDroppedDown(false);
  UserSelect(row);
}

bool TComboBox::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  // Whole notches only; a fine-grained wheel accumulates.
  wheelRest_ += WheelDelta;
  const int steps = wheelRest_ / kWheelStep;
  wheelRest_ -= steps * kWheelStep;
  if (steps == 0 || items_.Count() == 0) return true;
  if (dropped_) {
    ScrollTo(topIndex_ - steps);
    return true;
  }
  // Away from the user (positive) moves up the list.
  const int from = itemIndex_ < 0 ? (steps > 0 ? items_.Count() : -1) : itemIndex_;
  const int to = std::clamp(from - steps, 0, items_.Count() - 1);
  if (to != itemIndex_) UserSelect(to);
  return true;
}

// ------------------------------------------------------------------- painting

void TComboBox::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
  Frame3D(c, r, cl3DDkShadow, cl3DLight, 1);
  c.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(r);

  // The drop button at the right, with a small downward triangle.
  TRect b = r;
  b.Left = std::max(r.Right - kButtonWidth, r.Left);
  c.Brush().SetColor(clBtnFace);
  c.FillRect(b);
  TRect edge = b;
  if (dropped_)
    Frame3D(c, edge, clBtnShadow, clBtnShadow, 1);
  else
    Frame3D(c, edge, clBtnHighlight, cl3DDkShadow, 1);
  const int cx = (b.Left + b.Right) / 2 + (dropped_ ? 1 : 0);
  const int cy = (b.Top + b.Bottom) / 2 + (dropped_ ? 1 : 0);
  c.Pen().SetColor(Enabled() ? clBtnText : clGrayText);
  c.Brush().SetColor(Enabled() ? clBtnText : clGrayText);
  c.Polygon({TPoint{cx - 3, cy - 1}, TPoint{cx + 3, cy - 1}, TPoint{cx, cy + 2}});

  if (itemIndex_ < 0) return;
  TRect t = r;
  t.Right = b.Left;
  c.Font().Assign(Font());
  c.Font().SetColor(Enabled() ? clWindowText : clGrayText);
  c.Brush().SetStyle(bsClear);
  const int th = c.TextHeight(Text());
  c.TextRect(t, t.Left + 2, t.Top + (t.Height() - th) / 2, Text());
  c.Brush().SetStyle(bsSolid);
}

void TComboBox::PaintPopup(TCanvas& ACanvas) {
  const TRect pr = PopupRect();
  const TRect all = Rect(0, 0, pr.Width(), pr.Height());
  ACanvas.Brush().SetColor(clWindow);
  ACanvas.FillRect(all);
  ACanvas.Brush().SetColor(clWindowFrame);
  ACanvas.FrameRect(all);
  ACanvas.Font().Assign(Font());
  for (int i = 0; i < VisibleRows(); ++i) {
    const int item = topIndex_ + i;
    if (item >= items_.Count()) break;
    const TRect row = Rect(1, 1 + i * rowHeight_, all.Right - 1, 1 + (i + 1) * rowHeight_);
    const bool hot = item == hotIndex_;
    ACanvas.Brush().SetColor(hot ? clHighlight : clWindow);
    ACanvas.FillRect(row);
    ACanvas.Font().SetColor(hot ? clHighlightText : clWindowText);
    ACanvas.Brush().SetStyle(bsClear);
    ACanvas.TextRect(row, row.Left + 2, row.Top + 1, items_.Strings(item));
    ACanvas.Brush().SetStyle(bsSolid);
  }
}

}  // namespace marovia
