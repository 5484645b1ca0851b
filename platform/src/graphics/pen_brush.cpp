// Pens and brushes of the canvas.
#include "marovia/platform/graphics.h"

namespace marovia {

void TPen::Assign(const TPersistent& Source) {
  if (auto* p = dynamic_cast<const TPen*>(&Source)) {
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    mode_ = p->mode_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TPen::SetColor(TColor Value) {
  if (color_ == Value) return;
  color_ = Value;
  Changed();
}

void TPen::SetWidth(int Value) {
  if (Value < 1) Value = 1;
  if (width_ == Value) return;
  width_ = Value;
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  if (style_ == Value) return;
  style_ = Value;
  Changed();
}

void TPen::SetMode(TPenMode Value) {
  if (mode_ == Value) return;
  mode_ = Value;
  Changed();
}

void TPen::Changed() {
  if (OnChange) OnChange(this);
}

void TBrush::Assign(const TPersistent& Source) {
  if (auto* b = dynamic_cast<const TBrush*>(&Source)) {
    color_ = b->color_;
    style_ = b->style_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::SetColor(TColor Value) {
  // A colour given to a clear brush means the caller wants it painted.
  if (color_ == Value && style_ != bsClear) return;
  color_ = Value;
  if (style_ == bsClear) style_ = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (style_ == Value) return;
  style_ = Value;
  Changed();
}

void TBrush::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace marovia
