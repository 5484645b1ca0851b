// The clipboard.
#include "marovia/platform/clipbrd.h"

namespace marovia {

TClipboard& Clipboard() {
  static TClipboard* clipboard = new TClipboard();
  return *clipboard;
}

void TClipboard::Request() const {
  if (!OnRequest || requesting_) return;
  requesting_ = true;
  try {
    OnRequest(const_cast<TClipboard&>(*this));
  } catch (...) {
    requesting_ = false;
    throw;
  }
  requesting_ = false;
}

// A write inside Open/Close adds to the content opened; a lone write starts
// a new content.
void TClipboard::BeginWrite() {
  if (openCount_ == 0 || !cleared_) {
    bitmap_.reset();
    text_.clear();
    hasText_ = false;
    cleared_ = openCount_ > 0;
  }
}

void TClipboard::EndWrite() {
  changed_ = true;
  if (openCount_ > 0) return;
  changed_ = false;
  if (OnChange && !requesting_) OnChange(*this);
}

void TClipboard::Open() {
  ++openCount_;
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ > 0) return;
  cleared_ = false;
  if (changed_) {
    changed_ = false;
    if (OnChange && !requesting_) OnChange(*this);
  }
}

void TClipboard::Assign(const TPersistent& Source) {
  const auto* graphic = dynamic_cast<const TGraphic*>(&Source);
  if (graphic == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  // Decode first: a failing source leaves the clipboard as it was.
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(*graphic);
  BeginWrite();
  bitmap_ = std::move(copy);
  EndWrite();
}

void TClipboard::SetAsText(const std::string& Value) {
  BeginWrite();
  text_ = Value;
  hasText_ = true;
  EndWrite();
}

void TClipboard::Clear() {
  BeginWrite();
  EndWrite();
}

bool TClipboard::HasFormat(uint16_t Format) const {
  Request();
  if (Format == CF_BITMAP) return bitmap_ != nullptr;
  if (Format == CF_TEXT) return hasText_;
  return false;
}

void TClipboard::GetAsBitmap(TBitmap& Dest) const {
  Request();
  if (bitmap_ == nullptr) throw EClipboardException("Clipboard does not hold a bitmap");
  Dest.Assign(*bitmap_);
}

std::string TClipboard::AsText() const {
  Request();
  return text_;
}

void TClipboard::AssignTo(TPersistent& Dest) const {
  if (auto* bmp = dynamic_cast<TBitmap*>(&Dest)) {
    GetAsBitmap(*bmp);
    return;
  }
  TPersistent::AssignTo(Dest);
}

}  // namespace marovia
