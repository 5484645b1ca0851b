// TDecodedImage: the pixels of PNG and TIFF images and what is done with
// them whatever the format.
#include "marovia/platform/decoded_image.h"

#include <algorithm>
#include <typeinfo>

namespace marovia {

TDecodedImage::TDecodedImage() : bitmap_(std::make_unique<TBitmap>()) {
  bitmap_->SetPixelFormat(pf24bit);
}

TDecodedImage::~TDecodedImage() = default;

void TDecodedImage::SetWidth(int Value) {
  if (Value == bitmap_->Width()) return;
  bitmap_->SetWidth(Value);
  Changed();
}

void TDecodedImage::SetHeight(int Value) {
  if (Value == bitmap_->Height()) return;
  bitmap_->SetHeight(Value);
  Changed();
}

void TDecodedImage::FireProgress(TProgressStage Stage, int Percent) const {
  if (!OnProgress) return;
  const TRect r = Rect(0, 0, Width(), Height());
  OnProgress(const_cast<TDecodedImage*>(this), Stage, static_cast<uint8_t>(Percent), false, r, "");
}

void TDecodedImage::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  const TBitmap* pixels = dynamic_cast<const TBitmap*>(&Source);
  const auto* same = dynamic_cast<const TDecodedImage*>(&Source);
  if (same != nullptr && typeid(*same) == typeid(*this)) pixels = same->bitmap_.get();
  if (pixels == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(*pixels);
  copy->SetPixelFormat(pf24bit);
  if (pixels != &Source) CopySettings(*same);
  bitmap_ = std::move(copy);
  Changed();
}

void TDecodedImage::AssignTo(TPersistent& Dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&Dest)) {
    b->Assign(*bitmap_);
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TDecodedImage::TakePixels(int Width, int Height, const std::vector<uint32_t>& Pixels) {
  // Format first, on the empty bitmap, so that nothing is re-quantised.
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf24bit);
  bmp->SetSize(Width, Height);
  std::copy(Pixels.begin(), Pixels.end(), bmp->Bits());
  bitmap_ = std::move(bmp);
  Changed();
}

void TDecodedImage::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  ACanvas.StretchDraw(Rect, *bitmap_);
}

}  // namespace marovia
