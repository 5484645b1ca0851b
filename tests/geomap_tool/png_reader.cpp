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

}  // namespace marovia::geomaptool::test
