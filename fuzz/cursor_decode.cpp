// Cursor decoder: directory, bitmap header, palette and both masks.
//
// Invariants checked: a decoded cursor's masks hold Stride x Height bytes,
// the hot spot lies in the picture, and every pixel can be asked for.
#include "fuzz_support.h"
#include "marovia/platform/resources.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TCursorImage img;
  if (!fuzz::Refusing([&] { img = DecodeCursor(Data, Size); })) return 0;
  fuzz::Check(img.Width > 0 && img.Height > 0 && img.Width <= 256 && img.Height <= 256,
              "cursor size outside 1..256");
  fuzz::Check(img.Stride == (img.Width + 7) / 8, "wrong stride");
  const size_t bytes = static_cast<size_t>(img.Stride) * static_cast<size_t>(img.Height);
  fuzz::Check(img.AndMask.size() == bytes && img.XorMask.size() == bytes, "wrong mask size");
  fuzz::Check(img.HotSpot.X >= 0 && img.HotSpot.X < img.Width && img.HotSpot.Y >= 0 &&
                  img.HotSpot.Y < img.Height,
              "hot spot outside the picture");
  int set = 0;
  for (int y = -1; y <= img.Height; ++y)
    for (int x = -1; x <= img.Width; ++x) set += img.AndBit(x, y) + img.XorBit(x, y);
  return set < 0;
}
