// TTiffImage: a decoded bitmap around the TIFF decoder and the libtiff
// encoder.
#include <algorithm>

#include "image_decoder.h"
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

void TTiffImage::SetSampleDisplay(const TSampleDisplay& Value) {
  const std::string problem = SampleDisplayProblem(Value);
  if (!problem.empty()) throw EInvalidGraphic("Cannot show TIFF samples so: " + problem);
  display_ = Value;
}

void TTiffImage::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  FireProgress(psStarting, 0);
  int w = 0, h = 0;
  std::vector<uint32_t> pixels;
  try {
    const TCodecProgress report = [this](int pct) { FireProgress(psRunning, pct); };
    codecs::TWorkProgress progress(report);
    const auto bytes = codecs::StreamBytes(Stream, start);
    codecs::TDecodeSetup setup = codecs::WholeImageSetup(&progress);
    setup.Display = display_;
    const auto decoder = codecs::OpenTiffDecoder(*bytes, setup);
    pixels = codecs::DecodeWhole(*decoder, &progress);
    w = decoder->Width();
    h = decoder->Height();
  } catch (const EInvalidGraphic& e) {
    Stream.SetPosition(start);
    throw EInvalidGraphic(codecs::WithSource(e.what(), codecs::SourceName(Stream)));
  } catch (...) {
    Stream.SetPosition(start);  // a progress handler's or the stream's own exception
    throw;
  }
  Stream.Seek(0, soEnd);
  TakePixels(w, h, pixels);
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
  display_ = tiff.display_;
}

}  // namespace marovia
