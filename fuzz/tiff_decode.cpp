// TIFF decoder (TTiffImage) and the header probe's TIFF branch, through the
// limits the map control loads images with.
//
// Invariants checked: the probe answers the same from memory and from a
// stream (read from the stream's position, not from 0); an image the probe
// accepts decodes to the size it declared or is refused; a decoded image has
// Width x Height pixels with an empty high byte and survives saving and
// loading unchanged; a refused load keeps the previous image and the
// stream's position; progress only grows; a display of the samples chosen
// from the input's length decodes the same pixels twice.
#include <algorithm>

#include "fuzz_support.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/sample_display.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"

using namespace marovia;

namespace {

// Images beyond this many pixels are only probed: a TIFF of a few hundred
// bytes can describe a legitimate blank image of the codec's 2^28 pixels.
constexpr int64_t kDecodePixels = int64_t{1} << 18;

constexpr uint8_t kPrefix[] = {'I', 'I', 0x2A};

// Band choices and stretches the host may set, the default first.
TSampleDisplay DisplayFor(size_t Size) {
  TSampleDisplay d;
  switch (Size % 6) {
    case 1:
      d.Bands = {3, 2, 1};
      break;
    case 2:
      d.Bands = {2};
      d.Stretch = skMinMax;
      break;
    case 3:
      d.Stretch = skPercentile;
      d.Low = 10;
      d.High = 90;
      break;
    case 4:
      d.Stretch = skRange;
      d.Low = -100;
      d.High = 1e6;
      break;
    case 5:
      d.Stretch = skFullRange;
      break;
    default:
      break;
  }
  return d;
}

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  int64_t w = 0, h = 0;
  // Only what the probe accepts at a small size is decoded: the map control
  // refuses the rest from the header, before the decoder runs.
  if (!Probe(Data, Size, w, h) || w * h > kDecodePixels) return 0;

  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  TTiffImage tiff;
  tiff.SetSampleDisplay(DisplayFor(Size));
  tiff.SetWidth(2);
  tiff.SetHeight(1);
  int last = -1;
  tiff.OnProgress = [&](TObject*, TProgressStage, uint8_t Percent, bool, const TRect&,
                        const std::string&) {
    fuzz::Check(Percent >= last && Percent <= 100, "progress out of order");
    last = Percent;
  };
  if (!fuzz::Refusing([&] { tiff.LoadFromStream(stream); })) {
    fuzz::Check(tiff.Width() == 2 && tiff.Height() == 1 && stream.Position() == 0,
                "refused load changed something");
    return 0;
  }
  fuzz::Check(tiff.Width() == w && tiff.Height() == h, "decoded size differs from the probe");
  const TBitmap& bmp = tiff.Bitmap();
  const size_t pixels = static_cast<size_t>(bmp.Width()) * static_cast<size_t>(bmp.Height());
  for (size_t i = 0; i < pixels; ++i)
    fuzz::Check((bmp.Bits()[i] >> 24) == 0, "pixel word with a high byte");

  // The stretch comes from the file alone: a second decoding is the same.
  TMemoryStream second;
  fuzz::Fill(second, Data, Size);
  TTiffImage twice;
  twice.SetSampleDisplay(DisplayFor(Size));
  twice.LoadFromStream(second);
  fuzz::Check(std::equal(bmp.Bits(), bmp.Bits() + pixels, twice.Bitmap().Bits()),
              "two decodings differ");

  TMemoryStream saved;
  last = -1;
  tiff.SetCompressionLevel(static_cast<int>(Size % 10));
  tiff.SaveToStream(saved);
  saved.SetPosition(0);
  TTiffImage again;
  again.LoadFromStream(saved);
  fuzz::Check(again.Width() == tiff.Width() && again.Height() == tiff.Height() &&
                  std::equal(bmp.Bits(), bmp.Bits() + pixels, again.Bitmap().Bits()),
              "pixels changed by a round trip");
  return 0;
}
