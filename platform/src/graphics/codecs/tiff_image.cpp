// TTiffImage: a decoded bitmap around the libtiff wrapper.
#include <algorithm>

#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"
#include "stream_source.h"
#include "tiff_codec.h"

namespace marovia {

TTiffImage::TTiffImage() = default;

TTiffImage::~TTiffImage() = default;

void TTiffImage::SetCompressionLevel(int Value) {
  level_ = std::clamp(Value, 1, 9);
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
  TakePixels(img.Width, img.Height, img.Pixels);
  FireProgress(psEnding, 100);
}

void TTiffImage::SaveToStream(TStream& Stream) const {
  if (Empty()) return;
  FireProgress(psStarting, 0);
  tiff::Encode(Stream, Bitmap().Bits(), Width(), Height(), level_, extra_,
               [this](int pct) { FireProgress(psRunning, pct); });
  FireProgress(psEnding, 100);
}

void TTiffImage::CopySettings(const TDecodedImage& Source) {
  const auto& tiff = static_cast<const TTiffImage&>(Source);
  level_ = tiff.level_;
  extra_ = tiff.extra_;
}

}  // namespace marovia
