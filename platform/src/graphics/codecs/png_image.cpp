// TPngImage: a decoded bitmap around the PNG decoder and the libpng encoder.
#include <algorithm>

#include "image_decoder.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"
#include "png_codec.h"
#include "stream_source.h"

namespace marovia {

TPngImage::TPngImage() = default;

TPngImage::~TPngImage() = default;

void TPngImage::SetCompressionLevel(int Value) {
  level_ = std::clamp(Value, 0, 9);
}

void TPngImage::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  FireProgress(psStarting, 0);
  int w = 0, h = 0;
  uint64_t used = 0;
  std::vector<uint32_t> pixels;
  try {
    const TCodecProgress report = [this](int pct) { FireProgress(psRunning, pct); };
    codecs::TWorkProgress progress(report);
    const auto bytes = codecs::StreamBytes(Stream, start);
    const auto decoder = codecs::OpenPngDecoder(*bytes, codecs::WholeImageSetup(&progress));
    pixels = codecs::DecodeWhole(*decoder, &progress);
    w = decoder->Width();
    h = decoder->Height();
    used = decoder->BytesUsed();
  } catch (const EInvalidGraphic& e) {
    Stream.SetPosition(start);
    throw EInvalidGraphic(codecs::WithSource(e.what(), codecs::SourceName(Stream)));
  } catch (...) {
    Stream.SetPosition(start);  // a progress handler's or the stream's own exception
    throw;
  }
  Stream.SetPosition(start + static_cast<int64_t>(used));
  TakePixels(w, h, pixels);
  FireProgress(psEnding, 100);
}

void TPngImage::SaveToStream(TStream& Stream) const {
  if (Empty()) return;
  FireProgress(psStarting, 0);
  const std::vector<uint8_t> bytes = png::Encode(Bitmap().Bits(), Width(), Height(), level_,
                                                 [this](int pct) { FireProgress(psRunning, pct); });
  Stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  FireProgress(psEnding, 100);
}

void TPngImage::CopySettings(const TDecodedImage& Source) {
  level_ = static_cast<const TPngImage&>(Source).level_;
}

}  // namespace marovia
