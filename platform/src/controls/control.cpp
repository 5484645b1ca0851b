// TControl: bounds, state, painting on the surface and the mouse entry
// points.
#include <algorithm>

#include "marovia/platform/controls.h"
#include "marovia/platform/forms.h"

namespace marovia {

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  if (TForm* f = ParentForm()) f->ForgetControl(this, true);
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

// --------------------------------------------------------------------- parent

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == parent_) return;
  for (const TControl* p = AParent; p != nullptr; p = p->parent_)
    if (p == this) throw EInvalidOperation("Control '" + Name() + "' cannot be its own parent");
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (AParent != nullptr) AParent->InsertControl(this);
}

TForm* TControl::ParentForm() const {
  const TControl* top = this;
  while (top->parent_ != nullptr) top = top->parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(top));
}

// --------------------------------------------------------------------- bounds

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  const bool moved = ALeft != left_ || ATop != top_;
  const bool resized = AWidth != width_ || AHeight != height_;
  if (!moved && !resized) return;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  if (resized) {
    surface_.SetSize(width_, height_);
    Invalidate();
    if (auto* w = dynamic_cast<TWinControl*>(this)) w->Realign();
    Resize();
  }
  // An aligned control that moves or resizes by itself is put back in place
  // by its parent; the parent's own layout pass must not recurse.
  if (align_ != alNone && parent_ != nullptr && !parent_->aligning_) parent_->Realign();
}

TPoint TControl::OriginInTopLevel() const {
  TPoint p{0, 0};
  for (const TControl* c = this; c->parent_ != nullptr; c = c->parent_) {
    p.X += c->left_;
    p.Y += c->top_;
  }
  return p;
}

TPoint TControl::ClientToScreen(const TPoint& P) const {
  const TControl* top = this;
  while (top->parent_ != nullptr) top = top->parent_;
  const TPoint o = OriginInTopLevel();
  return TPoint{P.X + o.X + top->left_, P.Y + o.Y + top->top_};
}

TPoint TControl::ScreenToClient(const TPoint& P) const {
  const TPoint zero = ClientToScreen(TPoint{0, 0});
  return TPoint{P.X - zero.X, P.Y - zero.Y};
}

void TControl::SetAlign(TAlign Value) {
  if (Value == align_) return;
  align_ = Value;
  if (parent_ != nullptr) parent_->Realign();
}

// ---------------------------------------------------------------------- state

void TControl::SetVisible(bool Value) {
  if (Value == visible_) return;
  visible_ = Value;
  if (visible_) Invalidate();
  if (!visible_) {
    if (TForm* f = ParentForm()) f->ForgetControl(this, false);
  }
  if (parent_ != nullptr && align_ != alNone) parent_->Realign();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  if (!enabled_) {
    if (TForm* f = ParentForm()) f->ForgetControl(this, false);
  }
  Invalidate();
}

void TControl::SetColor(TColor Value) {
  if (Value == color_) return;
  color_ = Value;
  Invalidate();
}

void TControl::SetCaption(const std::string& Value) {
  if (Value == caption_) return;
  caption_ = Value;
  Invalidate();
}

void TControl::SetFont(const TFont& Value) {
  font_.Assign(Value);
  Invalidate();
}

// ------------------------------------------------------------------- painting

void TControl::Invalidate() {
  invalid_ = true;
}

void TControl::Update() {
  if (invalid_ && Showing()) PaintControl();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::PaintControl() {
  invalid_ = false;
  // A window showing this control has something new to copy.
  Application().NoteActivity();
  if (width_ == 0 || height_ == 0) return;
  TCanvas& c = Canvas();
  c.ResetClipRect();
  c.Font().Assign(font_);
  c.Brush().SetColor(color_);
  c.Pen().SetColor(clBlack);
  c.Pen().SetStyle(psSolid);
  c.Pen().SetMode(pmCopy);
  c.Pen().SetWidth(1);
  if (!style_.Contains(csOpaque)) c.FillRect(Rect(0, 0, width_, height_));
  Paint();
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------- mouse

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  return handled;
}

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

bool TControl::MouseCapture() const {
  const TForm* f = ParentForm();
  return f != nullptr && f->CaptureControl() == this;
}

void TControl::SetMouseCapture(bool Value) {
  TForm* f = ParentForm();
  if (f == nullptr) return;
  if (Value)
    f->SetCaptureControl(this);
  else if (f->CaptureControl() == this)
    f->SetCaptureControl(nullptr);
}

// ------------------------------------------------------------ drawing helpers

void Frame3D(TCanvas& Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int Width) {
  for (int i = 0; i < Width; ++i) {
    if (Rect.Right - Rect.Left < 1 || Rect.Bottom - Rect.Top < 1) return;
    const int l = Rect.Left, t = Rect.Top, r = Rect.Right - 1, b = Rect.Bottom - 1;
    // Top and left edges, then bottom and right; LineTo leaves out its end
    // point, so each edge ends one pixel short and the corners join.
    Canvas.Pen().SetColor(TopColor);
    Canvas.MoveTo(l, b);
    Canvas.LineTo(l, t);
    Canvas.LineTo(r, t);
    Canvas.Pen().SetColor(BottomColor);
    Canvas.LineTo(r, b);
    Canvas.LineTo(l - 1, b);
    Rect.Left += 1;
    Rect.Top += 1;
    Rect.Right -= 1;
    Rect.Bottom -= 1;
  }
}

}  // namespace marovia
