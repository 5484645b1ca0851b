// JPEG decoding and encoding over libjpeg, with every libjpeg error turned
// into EInvalidGraphic. Pixels are 0x00RRGGBB words, rows top-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "marovia/platform/codec_progress.h"

namespace marovia::jpg {

struct DecodeOptions {
  int ScaleDenom = 1;      // 1, 2, 4 or 8: output is 1/ScaleDenom of the size
  bool Grayscale = false;  // decode to grey levels
  bool Fast = false;       // faster, less exact inverse DCT and upsampling
};

// What the header says, with the output size for the given options.
struct Header {
  int Width = 0;   // output width after scaling
  int Height = 0;  // output height after scaling
  int Components = 0;
  bool Gray = false;  // the output will be grey levels
};

// Parses the header only. Raises EInvalidGraphic for a stream that is not
// JPEG or whose output would exceed kMaxImagePixels.
Header ReadHeader(const uint8_t* Data, size_t Size, const DecodeOptions& Options);

struct Image {
  int Width = 0;
  int Height = 0;
  bool Gray = false;             // every pixel has R = G = B
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
};

// Decodes the whole image. Data that end before the image is complete are an
// error (the missing rows would otherwise show as flat grey), as is every
// error libjpeg reports; its other warnings (for example stray bytes between
// markers) are ignored.
Image Decode(const uint8_t* Data, size_t Size, const DecodeOptions& Options,
             const TCodecProgress& OnProgress = {});

// Encodes Width x Height pixels (stride Width). Quality 1..100 (clamped).
// Grayscale writes a one-component file; Progressive a progressive one.
std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Quality,
                            bool Grayscale, bool Progressive,
                            const TCodecProgress& OnProgress = {});

}  // namespace marovia::jpg
