// BMP header parsing and validation. Nothing here allocates more than the
// palette (at most 256 entries); every offset and count is checked against the
// bytes the caller holds before it is used.
#include <algorithm>
#include <bit>
#include <string>

#include "bmp_internal.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia {
namespace bmp {

[[noreturn]] void Fail(const std::string& why) {
  throw EInvalidGraphic("Bitmap image is not valid: " + why);
}

namespace {

// A mask is usable when it is one run of contiguous bits inside the pixel.
bool ContiguousMask(uint32_t m, int bpp) {
  if (m == 0) return false;
  if (bpp < 32 && (m >> bpp) != 0) return false;
  uint32_t shifted = m >> std::countr_zero(m);
  return (shifted & (shifted + 1)) == 0;
}

void ValidateMasks(const TBmpInfo& info) {
  const uint32_t r = info.RedMask, g = info.GreenMask, b = info.BlueMask;
  if (!ContiguousMask(r, info.BitsPerPixel) || !ContiguousMask(g, info.BitsPerPixel) ||
      !ContiguousMask(b, info.BitsPerPixel) || (r & g) != 0 || (r & b) != 0 || (g & b) != 0) {
    Fail("invalid colour bit masks");
  }
}

std::string Num(uint64_t v) {
  return std::to_string(v);
}

// The fields every header carries: size, bits per pixel, compression and the
// colours used (info headers of 40 bytes and more). Checks the size and
// stores it with the direction of the rows. Answers the colours used.
uint32_t ReadHeaderFields(const uint8_t* d, size_t size, TBmpInfo& info) {
  if (size < 18) Fail("file is too short (" + Num(size) + " bytes)");
  if (!BmpProbe(d, size)) Fail("no BM signature");
  info.PixelOffset = Rd32(d + 10);
  info.HeaderSize = Rd32(d + kBmpFileHeaderSize);
  if (!BmpKnownHeaderSize(info.HeaderSize)) Fail("unknown header size " + Num(info.HeaderSize));
  if (kBmpFileHeaderSize + uint64_t{info.HeaderSize} > size)
    Fail("header runs past the end of the file");

  const uint8_t* h = d + kBmpFileHeaderSize;
  int64_t width = 0, height = 0;
  uint32_t clrUsed = 0;
  if (info.HeaderSize == kBmpCoreHeaderSize) {
    width = Rd16(h + 4);
    height = Rd16(h + 6);
    info.BitsPerPixel = static_cast<int>(Rd16(h + 10));
  } else {
    width = static_cast<int32_t>(Rd32(h + 4));
    height = static_cast<int32_t>(Rd32(h + 8));
    info.BitsPerPixel = static_cast<int>(Rd16(h + 14));
    if (info.HeaderSize >= kBmpInfoHeaderSize) {
      info.Compression = Rd32(h + 16);
      clrUsed = Rd32(h + 32);
    }
  }
  if (width <= 0) Fail("width must be positive (is " + std::to_string(width) + ")");
  if (height == 0) Fail("height is zero");
  info.TopDown = height < 0;
  if (height < 0) height = -height;  // int64: no overflow for INT32_MIN
  if (width * height > kMaxImagePixels) {
    Fail("image of " + Num(width) + " x " + Num(height) + " pixels is too large");
  }
  info.Width = static_cast<int32_t>(width);
  info.Height = static_cast<int32_t>(height);
  return clrUsed;
}

// The bit depth and the compression must fit each other and the header.
void CheckDepthAndCompression(const TBmpInfo& info) {
  const int bpp = info.BitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    Fail("unsupported bit depth " + Num(bpp));
  }
  const uint32_t comp = info.Compression;
  const bool os2v2 = info.HeaderSize == 16 || info.HeaderSize == 64;
  if (os2v2 && comp > kRle4) Fail("unsupported compression " + Num(comp));
  if ((comp == kRle8 && bpp != 8) || (comp == kRle4 && bpp != 4)) {
    Fail("compression " + Num(comp) + " does not fit " + Num(bpp) + " bits per pixel");
  }
  const bool bitFields = comp == kBitFields || comp == kAlphaBitFields;
  if (bitFields && bpp != 16 && bpp != 32) Fail("bit fields with " + Num(bpp) + " bits per pixel");
  if (comp != kRgb && comp != kRle8 && comp != kRle4 && !bitFields)
    Fail("unsupported compression " + Num(comp));
}

// Channel masks: in the header from 52 bytes on, else right after a 40-byte
// header; fixed ones for 16 and 24/32 bits without bit fields. Answers where
// the palette starts.
uint64_t ReadMasks(const uint8_t* d, size_t size, TBmpInfo& info) {
  const uint64_t headerEnd = kBmpFileHeaderSize + uint64_t{info.HeaderSize};
  const uint32_t comp = info.Compression;
  const int bpp = info.BitsPerPixel;
  if (comp == kBitFields || comp == kAlphaBitFields) {
    uint64_t tableStart = headerEnd;
    if (info.HeaderSize >= 52) {
      const uint8_t* h = d + kBmpFileHeaderSize;
      info.RedMask = Rd32(h + 40);
      info.GreenMask = Rd32(h + 44);
      info.BlueMask = Rd32(h + 48);
    } else {
      const uint64_t n = comp == kAlphaBitFields ? 16 : 12;
      if (headerEnd + n > size) Fail("colour masks run past the end of the file");
      info.RedMask = Rd32(d + headerEnd);
      info.GreenMask = Rd32(d + headerEnd + 4);
      info.BlueMask = Rd32(d + headerEnd + 8);
      tableStart += n;
    }
    ValidateMasks(info);
    return tableStart;
  }
  if (bpp == 16) {
    info.RedMask = 0x7C00;
    info.GreenMask = 0x03E0;
    info.BlueMask = 0x001F;
  } else if (bpp >= 24) {
    info.RedMask = 0xFF0000;
    info.GreenMask = 0x00FF00;
    info.BlueMask = 0x0000FF;
  }
  return headerEnd;
}

TBmpLayout LayoutOf(const TBmpInfo& info) {
  switch (info.BitsPerPixel) {
    case 1:
      return TBmpLayout::bl1bit;
    case 4:
      return TBmpLayout::bl4bit;
    case 8:
      return TBmpLayout::bl8bit;
    case 16:
      return std::popcount(info.GreenMask) == 6 ? TBmpLayout::bl565 : TBmpLayout::bl555;
    case 24:
      return TBmpLayout::bl24bit;
    default:
      return TBmpLayout::bl32bit;
  }
}

// Palette of the indexed depths, from TableStart. Without a count the full
// 2^bpp entries are expected, but writers that stored fewer (the pixel data
// starts earlier) are read with what they stored. A declared count is taken
// at its word: one beyond what the depth can index, or one that does not fit
// before the pixel data, means the header lies. Answers where the palette
// ends.
uint64_t ReadPalette(const uint8_t* d, size_t size, uint64_t tableStart, uint32_t clrUsed,
                     TBmpInfo& info) {
  const int bpp = info.BitsPerPixel;
  if (bpp > 8) return tableStart;
  const bool core = info.HeaderSize == kBmpCoreHeaderSize;
  const uint64_t entrySize = core ? 3 : 4;
  const uint64_t full = uint64_t{1} << bpp;
  if (clrUsed > full) {
    Fail("palette of " + Num(clrUsed) + " colours is more than " + Num(bpp) +
         " bits per pixel can index (" + Num(full) + ")");
  }
  uint64_t count = clrUsed == 0 ? full : clrUsed;
  if (info.PixelOffset >= tableStart) {
    const uint64_t room = (info.PixelOffset - tableStart) / entrySize;
    if (count > room) {
      if (clrUsed != 0 && !core)
        Fail("palette of " + Num(count) + " colours overlaps the pixel data");
      count = room;
    }
  }
  if (count == 0) Fail("palette is missing");
  if (tableStart + count * entrySize > size) Fail("palette runs past the end of the file");
  info.Palette.resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* e = d + tableStart + i * entrySize;
    info.Palette[i] = uint32_t{e[0]} | uint32_t{e[1]} << 8 | uint32_t{e[2]} << 16;
  }
  return tableStart + count * entrySize;
}

// The pixel data must start after the headers and the palette, and hold
// what the size needs (uncompressed) or could describe it (RLE). Sets
// PixelBytes.
void CheckPixelData(size_t size, uint64_t pixelStart, TBmpInfo& info) {
  if (info.PixelOffset < pixelStart) {
    Fail("pixel data offset " + Num(info.PixelOffset) + " lies inside the headers");
  }
  if (info.PixelOffset >= size) {
    Fail("pixel data offset " + Num(info.PixelOffset) + " lies beyond the end of the file (" +
         Num(size) + " bytes)");
  }
  const uint64_t width = uint64_t(info.Width), height = uint64_t(info.Height);
  const int bpp = info.BitsPerPixel;
  const uint64_t available = size - info.PixelOffset;
  if (info.Compression == kRle8 || info.Compression == kRle4) {
    // A run of two bytes yields at most 255 pixels; a file claiming more
    // pixels than its bytes could describe is refused before allocation.
    if (width * height > 128 * available) {
      Fail("compressed data of " + Num(available) + " bytes cannot describe " + Num(width) + " x " +
           Num(height) + " pixels");
    }
    info.PixelBytes = available;
    return;
  }
  const uint64_t stride = Stride(info.Width, bpp);
  const uint64_t lastRow = (width * uint64_t(bpp) + 7) / 8;  // tolerate a missing final pad
  const uint64_t needed = stride * (height - 1) + lastRow;
  if (needed > available) {
    Fail("file holds " + Num(available) + " bytes of pixel data, " + Num(width) + " x " +
         Num(height) + " pixels at " + Num(bpp) + " bits need " + Num(needed));
  }
  info.PixelBytes = std::min(available, stride * height);
}

}  // namespace

}  // namespace bmp

bool BmpProbe(const uint8_t* Data, size_t Size) {
  return Size >= 2 && Data[0] == 'B' && Data[1] == 'M';
}

TBmpInfo BmpReadInfo(const uint8_t* d, size_t size) {
  TBmpInfo info;
  const uint32_t clrUsed = bmp::ReadHeaderFields(d, size, info);
  bmp::CheckDepthAndCompression(info);
  const uint64_t tableStart = bmp::ReadMasks(d, size, info);
  info.Layout = bmp::LayoutOf(info);
  const uint64_t pixelStart = bmp::ReadPalette(d, size, tableStart, clrUsed, info);
  bmp::CheckPixelData(size, pixelStart, info);
  return info;
}

}  // namespace marovia
