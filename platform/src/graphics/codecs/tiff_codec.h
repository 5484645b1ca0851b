// TIFF encoding over libtiff, written through a TStream. Pixels are
// 0x00RRGGBB words, rows top-down, stride Width. (Decoding is the TIFF
// decoder's, image_decoder.h.)
#pragma once

#include <cstdint>
#include <span>

#include "marovia/platform/codec_progress.h"
#include "marovia/platform/tiffimage.h"

namespace marovia {
class TStream;

namespace tiff {

// Writes Width x Height pixels (stride Width) as 8-bit RGB in 256 x 256
// tiles, DEFLATE-compressed at Level (1 fastest .. 9 smallest, clamped),
// with the extra fields in the image's directory, starting at the stream's
// position.
void Encode(TStream& Stream, const uint32_t* Pixels, int Width, int Height, int Level,
            std::span<const TTiffField> Extra, const TCodecProgress& OnProgress = {});

}  // namespace tiff
}  // namespace marovia
