#include "cursor_masks.h"

#include <algorithm>

namespace marovia::geoview {

TSdlCursorBits SdlCursorBits(const TCursorImage& Image) {
  TSdlCursorBits bits;
  const size_t maskBytes =
      static_cast<size_t>(std::max(Image.Stride, 0)) * std::max(Image.Height, 0);
  if (Image.Width <= 0 || Image.Height <= 0 || Image.Stride * 8 < Image.Width ||
      Image.AndMask.size() < maskBytes || Image.XorMask.size() < maskBytes) {
    return bits;
  }
  bits.Width = (Image.Width + 7) / 8 * 8;
  bits.Height = Image.Height;
  bits.HotX = std::clamp(Image.HotSpot.X, 0, Image.Width - 1);
  bits.HotY = std::clamp(Image.HotSpot.Y, 0, Image.Height - 1);
  const int stride = bits.Width / 8;
  bits.Data.assign(static_cast<size_t>(stride) * bits.Height, 0);
  bits.Mask.assign(bits.Data.size(), 0);
  for (int y = 0; y < Image.Height; ++y) {
    for (int x = 0; x < Image.Width; ++x) {
      const bool andBit = Image.AndBit(x, y);
      const bool xorBit = Image.XorBit(x, y);
      const size_t byte = static_cast<size_t>(y) * stride + x / 8;
      const auto bit = static_cast<uint8_t>(0x80 >> (x % 8));
      if (andBit == xorBit) bits.Data[byte] |= bit;
      if (!andBit) bits.Mask[byte] |= bit;
    }
  }
  return bits;
}

}  // namespace marovia::geoview
