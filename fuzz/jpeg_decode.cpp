// JPEG decoder: header reading, decoding at every scale, grey and fast
// modes, CMYK, and saving an unchanged image.
//
// The decoding options come from the low bits of the input's length, so that
// plain JPEG files serve as seeds and every option is still reached.
//
// Invariants checked: the decoded bitmap has the size the header announced;
// saving an image that was loaded and not changed writes the loaded bytes;
// a refused load keeps the previous image.
#include "fuzz_support.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/streams.h"

using namespace marovia;

namespace {

// Images beyond this many pixels (at full size) are only validated: a small
// file can legitimately describe a blank image of the codec's full 2^28
// pixels, whose decoding needs that much memory.
constexpr int64_t kDecodePixels = int64_t{1} << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);

  TJPEGImage img;
  if (!fuzz::Refusing([&] { img.LoadFromStream(stream); })) {
    fuzz::Check(img.Empty(), "refused load left an image behind");
    return 0;
  }
  fuzz::Check(img.Width() > 0 && img.Height() > 0, "loaded image without a size");
  if (int64_t{img.Width()} * img.Height() > kDecodePixels) return 0;

  TMemoryStream saved;
  img.SaveToStream(saved);
  fuzz::Check(
      saved.Size() == static_cast<int64_t>(Size) && std::memcmp(saved.Memory(), Data, Size) == 0,
      "unchanged image saved with other bytes");

  img.SetScale(static_cast<TJPEGScale>(Size & 3));
  img.SetGrayscale((Size & 4) != 0);
  img.SetPerformance((Size & 8) != 0 ? jpBestSpeed : jpBestQuality);
  const int w = img.Width(), h = img.Height();
  int lastPercent = -1;
  img.OnProgress = [&](TObject*, TProgressStage, uint8_t Percent, bool, const TRect&,
                       const std::string&) {
    fuzz::Check(Percent >= lastPercent && Percent <= 100, "progress out of order");
    lastPercent = Percent;
  };
  fuzz::Refusing([&] {
    const TBitmap& bmp = img.Bitmap();
    fuzz::Check(bmp.Width() == w && bmp.Height() == h, "decoded size differs from the header");
  });
  return 0;
}
