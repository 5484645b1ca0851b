#include "png_reader.h"

#include <png.h>

#include <cstring>

namespace marovia::geomaptool::test {

bool ReadPng(const std::string& FileName, TRgbImage& Image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, FileName.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  Image.Width = static_cast<int>(png.width);
  Image.Height = static_cast<int>(png.height);
  Image.Rgb.assign(PNG_IMAGE_SIZE(png), 0);
  if (!png_image_finish_read(&png, nullptr, Image.Rgb.data(), 0, nullptr)) {
    png_image_free(&png);
    return false;
  }
  return true;
}

bool ReadPngWithAlpha(const std::string& FileName, TRgbImage& Image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, FileName.c_str())) return false;
  png.format = PNG_FORMAT_RGBA;
  Image.Width = static_cast<int>(png.width);
  Image.Height = static_cast<int>(png.height);
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr)) {
    png_image_free(&png);
    return false;
  }
  const size_t n = static_cast<size_t>(Image.Width) * Image.Height;
  Image.Rgb.resize(n * 3);
  Image.Alpha.resize(n);
  for (size_t i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) Image.Rgb[i * 3 + c] = rgba[i * 4 + c];
    Image.Alpha[i] = rgba[i * 4 + 3];
  }
  return true;
}

}  // namespace marovia::geomaptool::test
