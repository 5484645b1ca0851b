// Decoding of monochrome cursor files (layout in resources.h).
#include <cstring>

#include "marovia/platform/resources.h"

namespace marovia {

namespace {

[[noreturn]] void Invalid(const std::string& Reason) {
  throw EInvalidCursor("Cursor image is not valid: " + Reason);
}

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr std::size_t kDirSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kInfoSize = 40;
constexpr int kMaxSide = 256;

}  // namespace

bool TCursorImage::AndBit(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height) return true;
  return (AndMask[static_cast<size_t>(Y * Stride + X / 8)] >> (7 - X % 8)) & 1;
}

bool TCursorImage::XorBit(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height) return false;
  return (XorMask[static_cast<size_t>(Y * Stride + X / 8)] >> (7 - X % 8)) & 1;
}

TCursorImage DecodeCursor(const uint8_t* Data, std::size_t Size) {
  if (Data == nullptr || Size < kDirSize + kEntrySize) Invalid("file too short");
  if (U16(Data) != 0 || U16(Data + 2) != 2) Invalid("not a cursor file");
  if (U16(Data + 4) == 0) Invalid("no image");
  const uint8_t* entry = Data + kDirSize;
  const uint32_t hotX = U16(entry + 4);
  const uint32_t hotY = U16(entry + 6);
  const uint32_t bytes = U32(entry + 8);
  const uint32_t offset = U32(entry + 12);
  if (offset > Size || bytes > Size - offset) Invalid("image lies beyond the end of the file");
  if (bytes < kInfoSize) Invalid("image too short");

  const uint8_t* info = Data + offset;
  const uint32_t headerSize = U32(info);
  const int32_t width = static_cast<int32_t>(U32(info + 4));
  const int32_t doubledHeight = static_cast<int32_t>(U32(info + 8));
  const uint16_t planes = U16(info + 12);
  const uint16_t bitCount = U16(info + 14);
  const uint32_t compression = U32(info + 16);
  const uint32_t colorsUsed = U32(info + 32);
  if (headerSize < kInfoSize || headerSize > bytes) Invalid("bad header size");
  if (width < 1 || width > kMaxSide) Invalid("bad width");
  if (doubledHeight < 2 || doubledHeight > 2 * kMaxSide || doubledHeight % 2 != 0)
    Invalid("bad height");
  if (planes != 1 || bitCount != 1 || compression != 0)
    Invalid("only monochrome cursors are supported");
  if (colorsUsed > 2) Invalid("bad palette size");
  const int height = doubledHeight / 2;
  if (hotX >= static_cast<uint32_t>(width) || hotY >= static_cast<uint32_t>(height))
    Invalid("hot spot outside the image");

  const std::size_t paletteBytes = 4 * (colorsUsed == 0 ? 2 : colorsUsed);
  const std::size_t fileStride = (static_cast<std::size_t>(width) + 31) / 32 * 4;
  const std::size_t maskBytes = fileStride * static_cast<std::size_t>(height);
  if (headerSize + paletteBytes + 2 * maskBytes > bytes) Invalid("masks truncated");

  // A palette whose entry 1 is darker than entry 0 stores the XOR mask
  // inverted relative to the usual black/white order.
  const uint8_t* palette = info + headerSize;
  auto brightness = [](const uint8_t* e) { return e[0] + e[1] + e[2]; };
  const bool inverted = paletteBytes >= 8 && brightness(palette + 4) < brightness(palette);

  TCursorImage img;
  img.Width = width;
  img.Height = height;
  img.HotSpot = TPoint{static_cast<int32_t>(hotX), static_cast<int32_t>(hotY)};
  img.Stride = (width + 7) / 8;
  const std::size_t outBytes =
      static_cast<std::size_t>(img.Stride) * static_cast<std::size_t>(height);
  img.XorMask.assign(outBytes, 0);
  img.AndMask.assign(outBytes, 0);
  const uint8_t* xorBits = palette + paletteBytes;
  const uint8_t* andBits = xorBits + maskBytes;
  const uint8_t lastMask =
      static_cast<uint8_t>(width % 8 == 0 ? 0xFF : (0xFF << (8 - width % 8)) & 0xFF);
  for (int y = 0; y < height; ++y) {
    // Rows are stored bottom-up.
    const std::size_t src = static_cast<std::size_t>(height - 1 - y) * fileStride;
    uint8_t* x = &img.XorMask[static_cast<size_t>(y * img.Stride)];
    uint8_t* a = &img.AndMask[static_cast<size_t>(y * img.Stride)];
    std::memcpy(x, xorBits + src, static_cast<size_t>(img.Stride));
    std::memcpy(a, andBits + src, static_cast<size_t>(img.Stride));
    if (inverted)
      for (int i = 0; i < img.Stride; ++i) x[i] = static_cast<uint8_t>(~x[i]);
    x[img.Stride - 1] &= lastMask;
    a[img.Stride - 1] |= static_cast<uint8_t>(~lastMask);
  }
  return img;
}

}  // namespace marovia
