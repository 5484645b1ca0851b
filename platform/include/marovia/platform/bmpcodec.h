// BMP (device-independent bitmap) files: probe, header information, decoding
// and encoding, independent of TBitmap.
//
// File layout (all numbers little-endian):
//
//   offset  size  meaning
//   0       2     "BM"
//   2       4     file size (not trusted: the real size is what the caller has)
//   6       4     reserved
//   10      4     offset of the pixel data from the start of the file
//   14      4     size of the header that follows: 12 (core), 16 or 64
//                 (2nd-generation core), 40 (info), 52, 56 (info with masks),
//                 108 (v4), 124 (v5)
//   18      ...   width, height (negative height: rows stored top-down),
//                 planes, bits per pixel (1, 4, 8, 16, 24, 32), compression
//                 (0 none, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with
//                 alpha), image size, resolution, colours used, colours
//                 important, then the channel masks for headers of 52 bytes
//                 and more
//   ...           12 or 16 bytes of masks after a 40-byte header with bit fields
//   ...           palette: 3-byte (core) or 4-byte entries B, G, R, (0)
//   offBits       pixel rows, bottom-up unless the height is negative, each
//                 padded to a multiple of 4 bytes (uncompressed), or the RLE
//                 stream
//
// Every count and offset of the header is checked against the bytes that are
// really there before anything is allocated; a file that fails a check raises
// EInvalidGraphic "Bitmap image is not valid: <reason>".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marovia/platform/codec_progress.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

// Content of an image file that cannot be decoded (bad header, truncated
// data, unsupported variant).
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// Header sizes, bytes: the file header, then the sizes the header after it
// may have (12 core, 16 and 64 second-generation core, 40 info, 52 and 56
// info with masks, 108 v4, 124 v5). The core header holds 16-bit width and
// height, every other one 32-bit; the writer uses the info header.
constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpCoreHeaderSize = 12;
constexpr uint32_t kBmpInfoHeaderSize = 40;
constexpr std::array<uint32_t, 8> kBmpHeaderSizes = {12, 16, 40, 52, 56, 64, 108, 124};

// True for the sizes of kBmpHeaderSizes.
constexpr bool BmpKnownHeaderSize(uint32_t Size) {
  for (const uint32_t known : kBmpHeaderSizes)
    if (Size == known) return true;
  return false;
}

// Largest pixel count (width x height) a decoder accepts: 2^28 pixels, 1 GiB
// at four bytes per pixel.
constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

// Layout of the pixels in a BMP file, and of the bitmap formats it maps to.
enum class TBmpLayout {
  bl1bit,   // 2-colour palette
  bl4bit,   // 16-colour palette (also RLE4)
  bl8bit,   // 256-colour palette (also RLE8)
  bl555,    // 16 bits: x-5-5-5
  bl565,    // 16 bits: 5-6-5 (bit fields)
  bl24bit,  // B, G, R
  bl32bit,  // B, G, R, unused (or bit fields)
};

// A decoded or to-be-encoded image. Pixels are 0x00RRGGBB words (bytes B, G,
// R, 0 in memory), rows top-down, stride Width. Palette entries are
// 0x00RRGGBB too; the palette is used by the indexed layouts only.
struct TBmpImage {
  int32_t Width = 0;
  int32_t Height = 0;
  TBmpLayout Layout = TBmpLayout::bl24bit;
  std::vector<uint32_t> Palette;
  std::vector<uint32_t> Pixels;
};

// What the headers of a BMP file declare, after validation.
struct TBmpInfo {
  int32_t Width = 0;
  int32_t Height = 0;  // always positive
  bool TopDown = false;
  int BitsPerPixel = 0;
  uint32_t Compression = 0;                           // 0 none, 1 RLE8, 2 RLE4, 3/6 bit fields
  uint32_t HeaderSize = 0;                            // 12, 16, 40, 52, 56, 64, 108 or 124
  uint32_t PixelOffset = 0;                           // of the pixel data, from the file's start
  uint64_t PixelBytes = 0;                            // bytes of pixel data used (uncompressed) or
                                                      // available (RLE)
  uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;  // for 16 and 32 bits
  TBmpLayout Layout = TBmpLayout::bl24bit;
  std::vector<uint32_t> Palette;  // 0x00RRGGBB
};

// True when the bytes start like a BMP file ("BM").
bool BmpProbe(const uint8_t* Data, size_t Size);

// Parses and validates the headers and the palette of a whole file held in
// memory. Raises EInvalidGraphic.
TBmpInfo BmpReadInfo(const uint8_t* Data, size_t Size);

// Decodes a whole file held in memory. Indexed pixels that point past a short
// palette read as black; pixels that an RLE stream leaves unset (delta and
// end-of-line escapes) take palette entry 0. UsedBytes, when given, receives
// the number of bytes of the file that belong to the image (headers, palette
// and pixel data), so that a stream reader can stop right after it. Raises
// EInvalidGraphic; an exception of the progress callback aborts the decoding.
TBmpImage BmpDecode(const uint8_t* Data, size_t Size, const TCodecProgress& Progress = {},
                    size_t* UsedBytes = nullptr);

// Encodes an image as an uncompressed bottom-up BMP file with a 40-byte
// header: 1, 4 and 8 bits with the image's palette (an empty palette means
// black and white, the 16 VGA colours, or a 3-3-2 colour cube); pixels whose
// colour is not in the palette take the nearest entry. bl555 is written as 16
// bits without masks, bl565 with bit fields, bl32bit with a zero fourth byte.
// Raises ERangeError for a negative size or mismatching pixel count.
std::vector<uint8_t> BmpEncode(const TBmpImage& Image);
// The same for pixels held elsewhere (Width * Height words, rows top-down).
std::vector<uint8_t> BmpEncode(const uint32_t* Pixels, int32_t Width, int32_t Height,
                               TBmpLayout Layout, const std::vector<uint32_t>& Palette);

// The 16 colours of the VGA palette in their usual order (black, maroon,
// green, olive, navy, purple, teal, silver, gray, red, lime, yellow, blue,
// fuchsia, aqua, white), as 0x00RRGGBB.
const std::vector<uint32_t>& VgaPalette16();

}  // namespace marovia
