// Helpers shared by the BMP reader and writer.
#pragma once

#include <cstdint>
#include <string>

namespace marovia::bmp {

// Compression codes of the info header.
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

inline uint32_t Rd16(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}
inline uint32_t Rd32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void Wr16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Wr32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// Bytes of one uncompressed row, padded to a multiple of four.
inline uint64_t Stride(int64_t width, int bpp) {
  return ((uint64_t(width) * uint64_t(bpp) + 31) / 32) * 4;
}

// Raises EInvalidGraphic "Bitmap image is not valid: <why>".
[[noreturn]] void Fail(const std::string& why);

}  // namespace marovia::bmp
