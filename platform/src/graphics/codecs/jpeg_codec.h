// JPEG encoding over libjpeg, with every libjpeg error turned into
// EInvalidGraphic. Pixels are 0x00RRGGBB words, rows top-down. (Decoding is
// the JPEG decoder's, image_decoder.h.)
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/codec_progress.h"

namespace marovia::jpg {

// Encodes Width x Height pixels (stride Width). Quality 1..100 (clamped).
// Grayscale writes a one-component file; Progressive a progressive one.
std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Quality,
                            bool Grayscale, bool Progressive,
                            const TCodecProgress& OnProgress = {});

}  // namespace marovia::jpg
