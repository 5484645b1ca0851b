// TIFF decoding and encoding over libtiff, read and written through a
// TStream. Pixels are 0x00RRGGBB words, rows top-down, stride Width.
//
// What decoding makes of each kind of file (the first image of the file):
//   - strips or tiles, chunky or planar, any compression libtiff decodes
//     (none, LZW, DEFLATE, JPEG, PackBits among them);
//   - bilevel, grey, palette, RGB, YCbCr and CMYK at 1..16 bits per sample
//     become 8-bit RGB; 16-bit samples are scaled to 8 bits;
//   - an alpha channel (associated or not) is composited over white, so a
//     transparent map margin looks like blank paper.
// Floating-point and other sample formats libtiff cannot turn into colours
// are refused.
//
// libtiff's errors and warnings go to handlers of the one open file, never
// to the process's standard error: errors become the reason of the
// EInvalidGraphic raised, warnings are dropped.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "marovia/platform/codec_progress.h"
#include "marovia/platform/tiffimage.h"

namespace marovia {
class TStream;

namespace tiff {

// True when the bytes start with a TIFF byte-order mark and version (42 for
// classic TIFF, 43 for BigTIFF), in either byte order.
bool Probe(const uint8_t* Data, size_t Size);

struct Image {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
};

// Decodes the first image of the TIFF file that starts at the stream's
// position. The size is checked against kMaxImagePixels before the pixel
// buffer is allocated. Raises EInvalidGraphic ("TIFF image is not valid:
// <reason>") for data libtiff cannot read as an image.
Image Decode(TStream& Stream, const TCodecProgress& OnProgress = {});

// Writes Width x Height pixels (stride Width) as 8-bit RGB in 256 x 256
// tiles, DEFLATE-compressed at Level (1 fastest .. 9 smallest, clamped),
// with the extra fields in the image's directory, starting at the stream's
// position.
void Encode(TStream& Stream, const uint32_t* Pixels, int Width, int Height, int Level,
            std::span<const TTiffField> Extra, const TCodecProgress& OnProgress = {});

}  // namespace tiff
}  // namespace marovia
