// PNG probing, header reading, decoding and encoding over libpng, with every
// libpng error turned into EInvalidGraphic. Pixels are 0x00RRGGBB words,
// rows top-down, stride Width.
//
// What decoding makes of each kind of file:
//   - grey, palette and colour at any bit depth become 8-bit RGB; 16-bit
//     samples are scaled to 8 bits (rounded, not cut);
//   - transparency (an alpha channel or a tRNS chunk) is composited over
//     white, so a transparent map margin looks like blank paper;
//   - gamma, colour profiles, text and every other ancillary chunk are
//     ignored (skipped unread, so they cost neither memory nor time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "marovia/platform/codec_progress.h"

namespace marovia::png {

// True when the bytes start with the 8-byte PNG signature.
bool Probe(const uint8_t* Data, size_t Size);

// What the header (IHDR) declares.
struct Header {
  int Width = 0;
  int Height = 0;
  int BitDepth = 0;   // 1, 2, 4, 8 or 16
  int ColorType = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGB + alpha
  bool Interlaced = false;
};

// Parses the signature and the header only. Raises EInvalidGraphic for data
// that are not PNG and for images beyond kMaxImagePixels.
Header ReadHeader(const uint8_t* Data, size_t Size);

struct Image {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
  size_t UsedBytes = 0;          // bytes of the file up to the end of its IEND chunk
};

// Decodes the whole image. The size is checked against kMaxImagePixels from
// the header, before the pixel buffer is allocated. Data that end before the
// IEND chunk, bad checksums of critical chunks and damaged compressed data
// are errors.
Image Decode(const uint8_t* Data, size_t Size, const TCodecProgress& OnProgress = {});

// Encodes Width x Height pixels (stride Width) as 8-bit RGB, not interlaced.
// Level is the deflate level, 0 (store) .. 9 (smallest); values outside are
// clamped.
std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Level,
                            const TCodecProgress& OnProgress = {});

}  // namespace marovia::png
