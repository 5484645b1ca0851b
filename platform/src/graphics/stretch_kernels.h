// The inner loops of the smoothed scaled copy, vectorised (internal to the
// graphics component). The instruction set is chosen once per process from
// what the processor offers; every one gives the bits of the portable loops
// in stretchblt.cpp, which remain for wide filters and as the reference.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marovia::stretch {

// Tables and buffers hold a multiple of this many pixels, padded with zero
// weights, so the vector loops need no partial loads or stores.
inline constexpr std::size_t kPixelPad = 64;

// Horizontal pass over one source row. For destination pixel k (0 <= k < n,
// n a multiple of kPixelPad) and tap q < Taps, Index[q * n + k] is a source
// column and Weight[q * n + k] its weight (sum 2^14). Out receives two words
// per pixel: blue | green << 16 and red, each channel (sum + 32) >> 6.
void FilterRowTaps(const uint32_t* Src, const int32_t* Index, const uint32_t* Weight, int Taps,
                   std::size_t n, uint32_t* Out);

// The same for filters of at most four taps (every view from a quarter up)
// without gathers: the four source pixels from First[k] are read at once
// and multiplied pairwise. Weights holds 16 values per pixel: w0 w1 four
// times, then w2 w3 four times (zero beyond a pixel's taps); FourTaps false
// when no pixel has more than two. SrcW: the row's width, which no read
// passes.
void FilterRowQuad(const uint32_t* Src, int64_t SrcW, const int32_t* First, const int16_t* Weights,
                   bool FourTaps, std::size_t n, uint32_t* Out);

// Vertical pass: pixel k of Out is the rows' channels weighted by W (sum
// 2^14), each (sum + 2^21) >> 22, as a 0x00RRGGBB word. Rows hold the
// layout FilterRowTaps writes; n is a multiple of kPixelPad.
void CombineRowWords(const uint32_t* const* Rows, const uint16_t* W, int Count, std::size_t n,
                     uint32_t* Out);

}  // namespace marovia::stretch
