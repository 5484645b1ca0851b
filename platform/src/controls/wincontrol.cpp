// TWinControl: the child list, alignment of children, handles and hit
// testing.
#include <algorithm>

#include "marovia/platform/controls.h"
#include "marovia/platform/forms.h"

namespace marovia {

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  if (TForm* f = ParentForm()) f->ForgetControl(this, true);
  // Children are detached, not deleted: their owners delete them.
  for (TControl* c : controls_) c->parent_ = nullptr;
  controls_.clear();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw ERangeError("Control index out of bounds (" + std::to_string(Index) + ")");
  return controls_[static_cast<size_t>(Index)];
}

bool TWinControl::ContainsControl(const TControl* Control) const {
  for (const TControl* c = Control; c != nullptr; c = c->parent_)
    if (c == this) return true;
  return false;
}

void TWinControl::InsertControl(TControl* C) {
  controls_.push_back(C);
  C->parent_ = this;
  C->Invalidate();
  if (auto* w = dynamic_cast<TWinControl*>(C); w != nullptr && handle_) w->CreateHandleTree();
  if (C->align_ != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* C) {
  if (TForm* f = ParentForm()) f->ForgetControl(C, false);
  auto it = std::find(controls_.begin(), controls_.end(), C);
  if (it == controls_.end()) return;
  controls_.erase(it);
  C->parent_ = nullptr;
  if (C->align_ != alNone) Realign();
}

// ------------------------------------------------------------------ alignment

void TWinControl::Realign() {
  if (alignDisabled_ > 0) {
    alignPending_ = true;
    return;
  }
  if (aligning_) return;
  TRect r = ClientRect();
  AdjustClientRect(r);
  aligning_ = true;
  try {
    AlignControls(r);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::DisableAlign() {
  ++alignDisabled_;
}

void TWinControl::EnableAlign() {
  if (alignDisabled_ == 0) return;
  if (--alignDisabled_ == 0 && alignPending_) {
    alignPending_ = false;
    Realign();
  }
}

void TWinControl::AlignControls(TRect R) {
  // Kinds in layout order; for each the key that orders its controls
  // (outermost first).
  static constexpr TAlign kOrder[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign kind : kOrder) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->align_ == kind && c->visible_) list.push_back(c);
    auto key = [kind](const TControl* c) {
      switch (kind) {
        case alTop:
          return c->top_;
        case alBottom:
          return -(c->top_ + c->height_);
        case alLeft:
          return c->left_;
        case alRight:
          return -(c->left_ + c->width_);
        default:
          return 0;
      }
    };
    std::stable_sort(list.begin(), list.end(),
                     [&](const TControl* a, const TControl* b) { return key(a) < key(b); });
    for (TControl* c : list) {
      const int w = std::max(R.Right - R.Left, 0);
      const int h = std::max(R.Bottom - R.Top, 0);
      switch (kind) {
        case alTop:
          c->SetBounds(R.Left, R.Top, w, c->height_);
          R.Top += c->height_;
          break;
        case alBottom:
          c->SetBounds(R.Left, R.Bottom - c->height_, w, c->height_);
          R.Bottom -= c->height_;
          break;
        case alLeft:
          c->SetBounds(R.Left, R.Top, c->width_, h);
          R.Left += c->width_;
          break;
        case alRight:
          c->SetBounds(R.Right - c->width_, R.Top, c->width_, h);
          R.Right -= c->width_;
          break;
        case alClient:
          c->SetBounds(R.Left, R.Top, w, h);
          break;
        default:
          break;
      }
    }
  }
}

// -------------------------------------------------------------------- handles

void TWinControl::HandleNeeded() {
  if (parent_ != nullptr && !parent_->handle_) {
    parent_->HandleNeeded();  // creates this one too, through the tree
    if (handle_) return;
  }
  CreateHandleTree();
}

void TWinControl::CreateHandleTree() {
  if (!handle_) {
    handle_ = true;
    CreateWnd();
  }
  // Copy: CreateWnd of a child may add further children.
  const std::vector<TControl*> children = controls_;
  for (TControl* c : children)
    if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && ContainsControl(w))
      w->CreateHandleTree();
}

// ---------------------------------------------------------------- hit testing

TControl* TWinControl::ControlAtPoint(TPoint P) {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (!c->visible_ || !c->enabled_) continue;
    if (P.X < c->left_ || P.Y < c->top_ || P.X >= c->left_ + c->width_ ||
        P.Y >= c->top_ + c->height_)
      continue;
    if (TControl* inner = c->ControlAtPoint(TPoint{P.X - c->left_, P.Y - c->top_})) return inner;
    return c;
  }
  return nullptr;
}

}  // namespace marovia
