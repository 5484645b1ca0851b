// PNG decoder (TPngImage) and the header probe ReadImageDimensions, which
// reads BMP, JPEG and PNG headers alike.
//
// Invariants checked: the probe answers the same from memory and from a
// stream (which it reads from the stream's position, not from 0); where the
// probe and a decoder both accept the bytes they agree on the size; a
// decoded PNG has Width x Height opaque pixels, leaves the stream right
// after its IEND chunk and survives saving and loading unchanged; a refused
// load keeps the previous image and the stream's position; progress only
// grows.
#include "fuzz_support.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"

using namespace marovia;

namespace {

// Images beyond this many pixels are only probed: a PNG of a few hundred
// bytes can describe a legitimate blank image of the codec's 2^28 pixels.
constexpr int64_t kDecodePixels = int64_t{1} << 18;

// Bytes put before the image in the stream, so that a probe that reads from
// offset 0 instead of the position shows.
constexpr uint8_t kPrefix[] = {'B', 'M', 0xFF};

bool Probe(const uint8_t* Data, size_t Size, int64_t& W, int64_t& H) {
  const bool fromMemory = ReadImageDimensions(Data, Size, W, H);
  TMemoryStream stream;
  stream.WriteBuffer(kPrefix, sizeof kPrefix);
  stream.WriteBuffer(Data, static_cast<int64_t>(Size));
  stream.SetPosition(sizeof kPrefix);
  int64_t w = -1, h = -1;
  const bool fromStream = ReadImageDimensions(stream, w, h);
  fuzz::Check(fromStream == fromMemory && (!fromStream || (w == W && h == H)),
              "probe answers differently from memory and from a stream");
  fuzz::Check(!fromMemory || (W > 0 && H > 0), "probe answers an empty size");
  return fromMemory;
}

void CheckPng(const uint8_t* Data, size_t Size, bool probed, int64_t pw, int64_t ph) {
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  TPngImage png;
  int last = -1;
  png.OnProgress = [&](TObject*, TProgressStage, uint8_t Percent, bool, const TRect&,
                       const std::string&) {
    fuzz::Check(Percent >= last && Percent <= 100, "progress out of order");
    last = Percent;
  };
  if (!fuzz::Refusing([&] { png.LoadFromStream(stream); })) {
    fuzz::Check(png.Empty() && stream.Position() == 0, "refused load changed something");
    return;
  }
  fuzz::Check(!probed || (png.Width() == pw && png.Height() == ph),
              "decoded size differs from the probe");
  fuzz::Check(stream.Position() > 0 && stream.Position() <= static_cast<int64_t>(Size),
              "stream left outside the image");
  const TBitmap& bmp = png.Bitmap();
  const size_t pixels = static_cast<size_t>(bmp.Width()) * static_cast<size_t>(bmp.Height());
  for (size_t i = 0; i < pixels; ++i)
    fuzz::Check((bmp.Bits()[i] >> 24) == 0, "pixel word with a high byte");

  // Saving and loading again keeps every pixel.
  TMemoryStream saved;
  last = -1;  // encoding reports its own progress
  png.SetCompressionLevel(static_cast<int>(Size % 10));
  png.SaveToStream(saved);
  saved.SetPosition(0);
  TPngImage again;
  again.LoadFromStream(saved);
  fuzz::Check(again.Width() == png.Width() && again.Height() == png.Height() &&
                  std::equal(bmp.Bits(), bmp.Bits() + pixels, again.Bitmap().Bits()),
              "pixels changed by a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  int64_t w = 0, h = 0;
  const bool probed = Probe(Data, Size, w, h);
  if (probed && w * h > kDecodePixels) return 0;

  if (Size >= 8 && std::memcmp(Data, "\x89PNG\r\n\x1A\n", 8) == 0) {
    CheckPng(Data, Size, probed, w, h);
    return 0;
  }

  // The other formats the probe reads: the decoders' headers agree with it.
  if (BmpProbe(Data, Size)) {
    TBmpInfo info;
    if (fuzz::Refusing([&] { info = BmpReadInfo(Data, Size); }) && probed)
      fuzz::Check(info.Width == w && info.Height == h, "BMP header differs from the probe");
    return 0;
  }
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  TJPEGImage jpeg;
  if (fuzz::Refusing([&] { jpeg.LoadFromStream(stream); }) && probed)
    fuzz::Check(jpeg.Width() == w && jpeg.Height() == h, "JPEG header differs from the probe");
  return 0;
}
