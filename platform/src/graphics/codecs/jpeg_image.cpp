// TJPEGImage: lazy decoding through the JPEG decoder, encoding through the
// libjpeg encoder.
#include <algorithm>

#include "image_decoder.h"
#include "jpeg_codec.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/streams.h"
#include "stream_source.h"

namespace marovia {
namespace {

int ScaleDenominator(TJPEGScale s) {
  switch (s) {
    case jsHalf:
      return 2;
    case jsQuarter:
      return 4;
    case jsEighth:
      return 8;
    default:
      return 1;
  }
}

codecs::TJpegOutput OutputOf(TJPEGScale Scale, bool Grayscale, TJPEGPerformance Performance) {
  codecs::TJpegOutput o;
  o.ScaleDenom = ScaleDenominator(Scale);
  o.Grayscale = Grayscale;
  o.Fast = Performance == jpBestSpeed;
  return o;
}

std::vector<uint32_t> GreyPalette() {
  std::vector<uint32_t> pal(256);
  for (uint32_t i = 0; i < 256; ++i) pal[i] = i * 0x010101u;
  return pal;
}

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

int TJPEGImage::Width() const {
  return bitmap_ ? bitmap_->Width() : headerWidth_;
}
int TJPEGImage::Height() const {
  return bitmap_ ? bitmap_->Height() : headerHeight_;
}

void TJPEGImage::SetWidth(int) {
  throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}
void TJPEGImage::SetHeight(int) {
  throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

bool TJPEGImage::Empty() const {
  return data_.empty() && !bitmap_;
}

void TJPEGImage::SetCompressionQuality(TJPEGQualityRange Value) {
  Value = std::clamp(Value, 1, 100);
  if (Value == quality_) return;
  quality_ = Value;
  if (bitmapIsSource_) data_.clear();  // compress again with the new quality
}

void TJPEGImage::SetGrayscale(bool Value) {
  if (Value == grayscale_) return;
  grayscale_ = Value;
  if (bitmapIsSource_) {
    data_.clear();
  } else {
    ClearBitmapIfDecoded();
  }
  Changed();
}

void TJPEGImage::SetScale(TJPEGScale Value) {
  if (Value == scale_) return;
  scale_ = Value;
  if (!bitmapIsSource_ && !data_.empty()) {
    ClearBitmapIfDecoded();
    ReadHeader();
  }
  Changed();
}

void TJPEGImage::SetPerformance(TJPEGPerformance Value) {
  if (Value == performance_) return;
  performance_ = Value;
  ClearBitmapIfDecoded();
}

void TJPEGImage::ClearBitmapIfDecoded() {
  if (!bitmapIsSource_) bitmap_.reset();
}

void TJPEGImage::FireProgress(TProgressStage Stage, int Percent) const {
  if (!OnProgress) return;
  const TRect r = Rect(0, 0, Width(), Height());
  OnProgress(const_cast<TJPEGImage*>(this), Stage, static_cast<uint8_t>(Percent), false, r, "");
}

void TJPEGImage::ReadHeader() {
  try {
    const auto bytes = codecs::MemoryBytes(data_.data(), data_.size());
    const auto decoder = codecs::OpenJpegDecoder(*bytes, codecs::WholeImageSetup(nullptr),
                                                 OutputOf(scale_, grayscale_, performance_));
    headerWidth_ = decoder->Width();
    headerHeight_ = decoder->Height();
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(codecs::WithSource(e.what(), source_));
  }
}

void TJPEGImage::DIBNeeded() const {
  if (bitmap_ || data_.empty()) return;
  FireProgress(psStarting, 0);
  int w = 0, h = 0;
  bool grey = false;
  std::vector<uint32_t> pixels;
  try {
    const TCodecProgress report = [this](int pct) { FireProgress(psRunning, pct); };
    codecs::TWorkProgress progress(report);
    const auto bytes = codecs::MemoryBytes(data_.data(), data_.size());
    const auto decoder = codecs::OpenJpegDecoder(*bytes, codecs::WholeImageSetup(&progress),
                                                 OutputOf(scale_, grayscale_, performance_));
    pixels = codecs::DecodeWhole(*decoder, &progress);
    w = decoder->Width();
    h = decoder->Height();
    grey = codecs::JpegOutputIsGrey(*decoder);
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(codecs::WithSource(e.what(), source_));
  }
  auto bmp = std::make_unique<TBitmap>();
  // Format and palette first, on the empty bitmap, so that nothing is
  // re-quantised; the decoded words are stored as they are.
  if (grey) {
    bmp->SetPixelFormat(pf8bit);
    bmp->SetPalette(GreyPalette());
  } else {
    bmp->SetPixelFormat(pf24bit);
  }
  bmp->SetSize(w, h);
  if (!pixels.empty()) std::copy(pixels.begin(), pixels.end(), bmp->Bits());
  bitmap_ = std::move(bmp);
  FireProgress(psEnding, 100);
}

void TJPEGImage::JPEGNeeded() const {
  if (!data_.empty() || !bitmap_ || bitmap_->Empty()) return;
  FireProgress(psStarting, 0);
  data_ = jpg::Encode(bitmap_->Bits(), bitmap_->Width(), bitmap_->Height(), quality_, grayscale_,
                      progressive_, [this](int pct) { FireProgress(psRunning, pct); });
  FireProgress(psEnding, 100);
}

const TBitmap& TJPEGImage::Bitmap() const {
  DIBNeeded();
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  return *bitmap_;
}

void TJPEGImage::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* b = dynamic_cast<const TBitmap*>(&Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*b);
    data_.clear();
    source_.clear();
    headerWidth_ = headerHeight_ = 0;
    bitmap_ = std::move(copy);
    bitmapIsSource_ = true;
    Changed();
    return;
  }
  if (auto* j = dynamic_cast<const TJPEGImage*>(&Source)) {
    data_ = j->data_;
    source_ = j->source_;
    bitmap_.reset();
    if (j->bitmap_) {
      bitmap_ = std::make_unique<TBitmap>();
      bitmap_->Assign(*j->bitmap_);
    }
    bitmapIsSource_ = j->bitmapIsSource_;
    headerWidth_ = j->headerWidth_;
    headerHeight_ = j->headerHeight_;
    quality_ = j->quality_;
    grayscale_ = j->grayscale_;
    scale_ = j->scale_;
    performance_ = j->performance_;
    progressive_ = j->progressive_;
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

void TJPEGImage::AssignTo(TPersistent& Dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&Dest)) {
    b->Assign(Bitmap());
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TJPEGImage::LoadFromStream(TStream& Stream) {
  std::vector<uint8_t> bytes = codecs::ReadRest(Stream);
  std::string source = codecs::SourceName(Stream);
  // Validate before anything of the current image is given up.
  std::swap(data_, bytes);
  std::swap(source_, source);
  try {
    ReadHeader();
  } catch (...) {
    std::swap(data_, bytes);
    std::swap(source_, source);
    throw;
  }
  bitmap_.reset();
  bitmapIsSource_ = false;
  Changed();
}

void TJPEGImage::SaveToStream(TStream& Stream) const {
  JPEGNeeded();
  if (!data_.empty()) Stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

void TJPEGImage::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  ACanvas.StretchDraw(Rect, Bitmap());
}

}  // namespace marovia
