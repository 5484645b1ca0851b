// TPngImage: a decoded bitmap around the libpng wrapper.
#include <algorithm>

#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"
#include "png_codec.h"
#include "stream_source.h"

namespace marovia {

TPngImage::TPngImage() : bitmap_(std::make_unique<TBitmap>()) {
  bitmap_->SetPixelFormat(pf24bit);
}

TPngImage::~TPngImage() = default;

void TPngImage::SetWidth(int Value) {
  if (Value == bitmap_->Width()) return;
  bitmap_->SetWidth(Value);
  Changed();
}

void TPngImage::SetHeight(int Value) {
  if (Value == bitmap_->Height()) return;
  bitmap_->SetHeight(Value);
  Changed();
}

void TPngImage::SetCompressionLevel(int Value) {
  level_ = std::clamp(Value, 0, 9);
}

void TPngImage::FireProgress(TProgressStage Stage, int Percent) const {
  if (!OnProgress) return;
  const TRect r = Rect(0, 0, Width(), Height());
  OnProgress(const_cast<TPngImage*>(this), Stage, static_cast<uint8_t>(Percent), false, r, "");
}

void TPngImage::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* b = dynamic_cast<const TBitmap*>(&Source)) {
    // The copy is made first: a failure leaves this image as it was.
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*b);
    copy->SetPixelFormat(pf24bit);
    bitmap_ = std::move(copy);
    Changed();
    return;
  }
  if (auto* p = dynamic_cast<const TPngImage*>(&Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*p->bitmap_);
    bitmap_ = std::move(copy);
    level_ = p->level_;
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

void TPngImage::AssignTo(TPersistent& Dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&Dest)) {
    b->Assign(*bitmap_);
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TPngImage::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  const std::vector<uint8_t> bytes = codecs::ReadRest(Stream);
  FireProgress(psStarting, 0);
  png::Image img;
  try {
    img =
        png::Decode(bytes.data(), bytes.size(), [this](int pct) { FireProgress(psRunning, pct); });
  } catch (const EInvalidGraphic& e) {
    Stream.SetPosition(start);
    throw EInvalidGraphic(codecs::WithSource(e.what(), codecs::SourceName(Stream)));
  } catch (...) {
    Stream.SetPosition(start);  // a progress handler's own exception
    throw;
  }
  Stream.SetPosition(start + static_cast<int64_t>(img.UsedBytes));
  // Format first, on the empty bitmap, so that nothing is re-quantised; the
  // decoded words are stored as they are.
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf24bit);
  bmp->SetSize(img.Width, img.Height);
  std::copy(img.Pixels.begin(), img.Pixels.end(), bmp->Bits());
  bitmap_ = std::move(bmp);
  FireProgress(psEnding, 100);
  Changed();
}

void TPngImage::SaveToStream(TStream& Stream) const {
  if (Empty()) return;
  FireProgress(psStarting, 0);
  const std::vector<uint8_t> bytes = png::Encode(bitmap_->Bits(), Width(), Height(), level_,
                                                 [this](int pct) { FireProgress(psRunning, pct); });
  Stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  FireProgress(psEnding, 100);
}

void TPngImage::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  ACanvas.StretchDraw(Rect, *bitmap_);
}

}  // namespace marovia
