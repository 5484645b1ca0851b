// TForm: the top-level window: mouse routing, capture, hover, the drop-down
// layer and the composition of the picture the host shows.
#include <algorithm>
#include <cstring>

#include "marovia/platform/forms.h"

namespace marovia {

namespace {

TRect Intersect(const TRect& A, const TRect& B) {
  TRect r{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

// Copies the pixels of Source starting at (SX, SY) into Dest's rectangle D.
// D lies inside Dest; the part of it that Source does not cover is left.
void Blit(const TBitmap& Source, int SX, int SY, TBitmap& Dest, const TRect& D) {
  const int w = std::min(D.Width(), Source.Width() - SX);
  const int h = std::min(D.Height(), Source.Height() - SY);
  if (w <= 0 || h <= 0 || SX < 0 || SY < 0) return;
  for (int y = 0; y < h; ++y)
    std::memcpy(Dest.ScanLine(D.Top + y) + D.Left, Source.ScanLine(SY + y) + SX,
                static_cast<size_t>(w) * sizeof(uint32_t));
}

bool Contains(const TRect& R, TPoint P) {
  return P.X >= R.Left && P.Y >= R.Top && P.X < R.Right && P.Y < R.Bottom;
}

}  // namespace

TForm::TForm(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(ControlStyle() + csAcceptsControls);
  SetBounds(0, 0, 640, 480);
  Application().AddForm(this);
}

TForm::~TForm() {
  Application().RemoveForm(this);
  capture_ = hover_ = popup_ = receiver_ = clickTarget_ = nullptr;
}

void TForm::Paint() {
  if (OnPaint) OnPaint(this);
}

// ----------------------------------------------------------------- references

void TForm::ForgetControl(const TControl* C, bool Destroying) {
  const auto* w = dynamic_cast<const TWinControl*>(C);
  auto affected = [&](const TControl* x) {
    if (x == nullptr) return false;
    if (x == C) return true;
    // While C is being destroyed it is no longer a TWinControl to
    // dynamic_cast, but its children have been detached by then.
    return w != nullptr && w->ContainsControl(x);
  };
  if (affected(capture_)) capture_ = nullptr;
  if (affected(popup_)) popup_ = nullptr;
  if (affected(receiver_)) receiver_ = nullptr;
  if (affected(clickTarget_)) clickTarget_ = nullptr;
  if (affected(hover_)) {
    TControl* h = hover_;
    hover_ = nullptr;
    if (!Destroying) h->MouseLeave();
  }
}

void TForm::SetCaptureControl(TControl* Control) {
  if (Control != nullptr && Control->ParentForm() != this) return;
  capture_ = Control;
}

void TForm::OpenPopup(TControl* Owner) {
  if (Owner == nullptr || Owner->ParentForm() != this) return;
  popup_ = Owner;
}

void TForm::ClosePopup(TControl* Owner) {
  if (popup_ == Owner) popup_ = nullptr;
}

TCursor TForm::CurrentCursor() const {
  if (Screen().Cursor() != crDefault) return Screen().Cursor();
  for (const TControl* c = capture_ != nullptr ? capture_ : hover_; c != nullptr; c = c->Parent())
    if (c->Cursor() != crDefault) return c->Cursor();
  return crDefault;
}

// -------------------------------------------------------------------- routing

TControl* TForm::TargetAt(TPoint P) {
  if (TControl* c = ControlAtPoint(P)) return c;
  return this;
}

TShiftState TForm::ButtonsShift() const {
  TShiftState s;
  if (leftDown_) s.Include(ssLeft);
  if (rightDown_) s.Include(ssRight);
  if (middleDown_) s.Include(ssMiddle);
  return s;
}

void TForm::SetHover(TControl* C) {
  if (C == hover_) return;
  TControl* old = hover_;
  hover_ = C;
  if (old != nullptr) old->MouseLeave();
  if (C != nullptr && hover_ == C) C->MouseEnter();
}

void TForm::DispatchInput(const TInputEvent& Event) {
  lastPos_ = Event.Pos;
  const TShiftState mods = Event.Shift * TShiftState{ssShift, ssAlt, ssCtrl};
  auto receiver = [&]() -> TControl* {
    if (popup_ != nullptr) return popup_;
    if (capture_ != nullptr) return capture_;
    return TargetAt(Event.Pos);
  };
  auto local = [&](const TControl* c) {
    const TPoint o = c->OriginInTopLevel();
    return TPoint{Event.Pos.X - o.X, Event.Pos.Y - o.Y};
  };
  auto setButton = [&](TMouseButton b, bool down) {
    if (b == mbLeft) leftDown_ = down;
    if (b == mbRight) rightDown_ = down;
    if (b == mbMiddle) middleDown_ = down;
  };

  switch (Event.Kind) {
    case ikMouseLeave:
      if (capture_ == nullptr && popup_ == nullptr) SetHover(nullptr);
      return;

    case ikMouseMove: {
      if (capture_ == nullptr && popup_ == nullptr) SetHover(TargetAt(Event.Pos));
      TControl* t = receiver();
      const TPoint p = local(t);
      receiver_ = t;
      t->MouseMove(mods + ButtonsShift(), p.X, p.Y);
      receiver_ = nullptr;
      return;
    }

    case ikMouseDown:
    case ikMouseDblClick: {
      setButton(Event.Button, true);
      TControl* t = receiver();
      if (capture_ == nullptr && popup_ == nullptr) SetHover(t);
      const TShiftState shift = mods + ButtonsShift();
      const TPoint p = local(t);
      const TControlStyle& st = t->ControlStyle();
      if (popup_ == nullptr && st.Contains(csCaptureMouse)) capture_ = t;
      const bool dbl = Event.Kind == ikMouseDblClick && st.Contains(csDoubleClicks);
      receiver_ = t;
      if (dbl) {
        clickTarget_ = nullptr;
        if (st.Contains(csClickEvents)) t->DblClick();
        if (receiver_ != nullptr) t->MouseDown(Event.Button, shift + ssDouble, p.X, p.Y);
      } else {
        if (Event.Button == mbLeft) clickTarget_ = st.Contains(csClickEvents) ? t : nullptr;
        t->MouseDown(Event.Button, shift, p.X, p.Y);
      }
      receiver_ = nullptr;
      return;
    }

    case ikMouseUp: {
      setButton(Event.Button, false);
      TControl* t = receiver();
      const TShiftState shift = mods + ButtonsShift();
      const TPoint p = local(t);
      if (!leftDown_ && !rightDown_ && !middleDown_ && capture_ == t) capture_ = nullptr;
      receiver_ = t;
      if (Event.Button == mbLeft && clickTarget_ != nullptr) {
        const bool click = clickTarget_ == t && Contains(t->ClientRect(), p);
        clickTarget_ = nullptr;
        if (click) t->Click();
      }
      if (receiver_ != nullptr) t->MouseUp(Event.Button, shift, p.X, p.Y);
      receiver_ = nullptr;
      if (capture_ == nullptr && popup_ == nullptr) SetHover(TargetAt(Event.Pos));
      return;
    }

    case ikMouseWheel: {
      const TPoint screenPos = ClientToScreen(Event.Pos);
      for (TControl* t = receiver(); t != nullptr; t = t->Parent()) {
        receiver_ = t;
        const bool handled = t->DoMouseWheel(mods + ButtonsShift(), Event.WheelDelta, screenPos);
        if (handled || receiver_ == nullptr) break;
      }
      receiver_ = nullptr;
      return;
    }
  }
}

// ---------------------------------------------------------------- composition

void TForm::PaintInvalidated(TWinControl* Parent) {
  if (Parent == this && Invalidated() && Visible()) PaintControl();
  // Copy: a Paint may add or remove controls.
  const std::vector<TControl*> children = Parent->controls_;
  for (TControl* c : children) {
    if (!Parent->ContainsControl(c) || !c->Visible()) continue;
    if (c->Invalidated()) c->PaintControl();
    if (auto* w = dynamic_cast<TWinControl*>(c)) PaintInvalidated(w);
  }
}

void TForm::ComposeChildren(TWinControl* Parent, TPoint Origin, const TRect& Clip) {
  for (TControl* c : Parent->controls_) {
    if (!c->Visible()) continue;
    const TPoint o{Origin.X + c->Left(), Origin.Y + c->Top()};
    const TRect area = Intersect(Clip, Rect(o.X, o.Y, o.X + c->Width(), o.Y + c->Height()));
    if (area.Width() <= 0 || area.Height() <= 0) continue;
    Blit(c->Surface(), area.Left - o.X, area.Top - o.Y, screen_, area);
    if (auto* w = dynamic_cast<TWinControl*>(c)) ComposeChildren(w, o, area);
  }
}

const TBitmap& TForm::ScreenImage() {
  screen_.SetSize(Width(), Height());
  const TRect all = Rect(0, 0, Width(), Height());
  if (all.Width() == 0 || all.Height() == 0) return screen_;
  Blit(Surface(), 0, 0, screen_, all);
  ComposeChildren(this, TPoint{0, 0}, all);
  if (popup_ != nullptr && popup_->Showing()) {
    const TRect r = popup_->PopupRect();
    if (r.Width() > 0 && r.Height() > 0) {
      popupSurface_.SetSize(r.Width(), r.Height());
      popup_->PaintPopup(popupSurface_.Canvas());
      const TPoint o = popup_->OriginInTopLevel();
      const TPoint at{o.X + r.Left, o.Y + r.Top};
      const TRect area = Intersect(all, Rect(at.X, at.Y, at.X + r.Width(), at.Y + r.Height()));
      if (area.Width() > 0 && area.Height() > 0)
        Blit(popupSurface_, area.Left - at.X, area.Top - at.Y, screen_, area);
    }
  }
  return screen_;
}

}  // namespace marovia
