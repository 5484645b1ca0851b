// PNG encoding over libpng, with every libpng error turned into
// EInvalidGraphic. Pixels are 0x00RRGGBB words, rows top-down, stride Width.
// (Decoding is the PNG decoder's, image_decoder.h.)
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/codec_progress.h"

namespace marovia::png {

// Encodes Width x Height pixels (stride Width) as 8-bit RGB, not interlaced.
// Level is the deflate level, 0 (store) .. 9 (smallest); values outside are
// clamped.
std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Level,
                            const TCodecProgress& OnProgress = {});

}  // namespace marovia::png
