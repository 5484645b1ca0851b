// BMP decoder: header validation, every pixel layout and RLE, and the
// TBitmap stream loader on top of it.
//
// Invariants checked: a decoded image has Width x Height pixels and the
// declared layout's palette; the bytes the decoder claims lie within the
// input; progress never falls; a 24- or 32-bit image survives encoding and
// decoding unchanged; the stream loader agrees with the decoder.
#include "fuzz_support.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"

using namespace marovia;

namespace {

// Images beyond this many pixels are only validated, not decoded: the codec
// accepts up to kMaxImagePixels, which a file with an RLE stream can declare
// in a few bytes, and a decoded image of that size is a legitimate 1 GiB.
constexpr int64_t kDecodePixels = int64_t{1} << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  BmpProbe(Data, Size);
  TBmpInfo info;
  if (!fuzz::Refusing([&] { info = BmpReadInfo(Data, Size); })) return 0;
  fuzz::Check(info.Width > 0 && info.Height > 0, "validated header with an empty size");
  fuzz::Check(int64_t{info.Width} * info.Height <= kMaxImagePixels, "size beyond the limit");
  if (int64_t{info.Width} * info.Height > kDecodePixels) return 0;

  TBmpImage img;
  size_t used = 0;
  int lastPercent = -1;
  const bool decoded = fuzz::Refusing([&] {
    img = BmpDecode(
        Data, Size,
        [&](int pct) {
          fuzz::Check(pct >= lastPercent && pct <= 100, "progress out of order");
          lastPercent = pct;
        },
        &used);
  });
  if (decoded) {
    fuzz::Check(img.Width == info.Width && img.Height == info.Height, "size differs from header");
    fuzz::Check(img.Pixels.size() == static_cast<size_t>(img.Width) * img.Height,
                "pixel count differs from the size");
    fuzz::Check(used <= Size, "used bytes beyond the input");
    for (uint32_t p : img.Pixels) fuzz::Check((p >> 24) == 0, "pixel word with a high byte");
    if (img.Layout == TBmpLayout::bl24bit || img.Layout == TBmpLayout::bl32bit) {
      const std::vector<uint8_t> again = BmpEncode(img);
      const TBmpImage back = BmpDecode(again.data(), again.size());
      fuzz::Check(back.Pixels == img.Pixels, "24/32-bit image changed by a round trip");
    }
  }

  // The stream loader: same verdict, same pixels, and the position right
  // after the image (or unchanged on refusal).
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  TBitmap bmp;
  const bool loaded = fuzz::Refusing([&] { bmp.LoadFromStream(stream); });
  fuzz::Check(loaded == decoded, "stream loader and decoder disagree");
  if (loaded) {
    fuzz::Check(stream.Position() == static_cast<int64_t>(used), "stream left at the wrong place");
    fuzz::Check(bmp.Width() == img.Width && bmp.Height() == img.Height, "bitmap size differs");
    fuzz::Check(std::equal(img.Pixels.begin(), img.Pixels.end(), bmp.Bits()),
                "bitmap pixels differ");
  } else {
    fuzz::Check(stream.Position() == 0, "refused load moved the stream");
  }
  return 0;
}
