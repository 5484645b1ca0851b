// PNG files read with libpng itself, so that what the tools write is checked
// by a reader that shares no code with the platform's codecs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marovia::geomaptool::test {

struct TRgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;    // 3 bytes a pixel, rows top-down
  std::vector<uint8_t> Alpha;  // 1 byte a pixel (ReadPngWithAlpha only)

  struct TPixel {
    int R, G, B;
  };
  TPixel At(int X, int Y) const {
    const size_t i = (static_cast<size_t>(Y) * Width + X) * 3;
    return {Rgb[i], Rgb[i + 1], Rgb[i + 2]};
  }
};

// False when the file is no readable PNG file.
bool ReadPng(const std::string& FileName, TRgbImage& Image);
// The same with the alpha channel (255 where the file has none).
bool ReadPngWithAlpha(const std::string& FileName, TRgbImage& Image);

}  // namespace marovia::geomaptool::test
