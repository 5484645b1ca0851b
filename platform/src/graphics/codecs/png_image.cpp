// TPngImage: a decoded bitmap around the libpng wrapper.
#include <algorithm>

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
  TakePixels(img.Width, img.Height, img.Pixels);
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
