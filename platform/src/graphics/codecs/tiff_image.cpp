// TTiffImage: a decoded bitmap around the libtiff wrapper.
#include <algorithm>

#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"
#include "stream_source.h"
#include "tiff_codec.h"

namespace marovia {

TTiffImage::TTiffImage() : bitmap_(std::make_unique<TBitmap>()) {
  bitmap_->SetPixelFormat(pf24bit);
}

TTiffImage::~TTiffImage() = default;

void TTiffImage::SetWidth(int Value) {
  if (Value == bitmap_->Width()) return;
  bitmap_->SetWidth(Value);
  Changed();
}

void TTiffImage::SetHeight(int Value) {
  if (Value == bitmap_->Height()) return;
  bitmap_->SetHeight(Value);
  Changed();
}

void TTiffImage::SetCompressionLevel(int Value) {
  level_ = std::clamp(Value, 1, 9);
}

void TTiffImage::FireProgress(TProgressStage Stage, int Percent) const {
  if (!OnProgress) return;
  const TRect r = Rect(0, 0, Width(), Height());
  OnProgress(const_cast<TTiffImage*>(this), Stage, static_cast<uint8_t>(Percent), false, r, "");
}

void TTiffImage::Assign(const TPersistent& Source) {
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
  if (auto* p = dynamic_cast<const TTiffImage*>(&Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*p->bitmap_);
    bitmap_ = std::move(copy);
    level_ = p->level_;
    extra_ = p->extra_;
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

void TTiffImage::AssignTo(TPersistent& Dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&Dest)) {
    b->Assign(*bitmap_);
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TTiffImage::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  FireProgress(psStarting, 0);
  tiff::Image img;
  try {
    img = tiff::Decode(Stream, [this](int pct) { FireProgress(psRunning, pct); });
  } catch (const EInvalidGraphic& e) {
    Stream.SetPosition(start);
    throw EInvalidGraphic(codecs::WithSource(e.what(), codecs::SourceName(Stream)));
  } catch (...) {
    Stream.SetPosition(start);  // a progress handler's or the stream's own exception
    throw;
  }
  Stream.Seek(0, soEnd);
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

void TTiffImage::SaveToStream(TStream& Stream) const {
  if (Empty()) return;
  FireProgress(psStarting, 0);
  tiff::Encode(Stream, bitmap_->Bits(), Width(), Height(), level_, extra_,
               [this](int pct) { FireProgress(psRunning, pct); });
  FireProgress(psEnding, 100);
}

void TTiffImage::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  ACanvas.StretchDraw(Rect, *bitmap_);
}

}  // namespace marovia
