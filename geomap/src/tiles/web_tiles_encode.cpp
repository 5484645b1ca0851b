// PNG and JPEG files of tiles, encoded in memory with libpng and libjpeg.
// Tiles are written by the thousand, so PNG uses the fastest deflate level
// and one filter: a few per cent larger files for several times the speed.
#include <png.h>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstring>

#include "marovia/geomap/web_tiles.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia {

namespace {

constexpr int kN = kWebTileSize;

void PngWrite(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(Png));
  out->insert(out->end(), Data, Data + Length);
}

void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp, png_const_charp Message) {
  throw EInvalidGraphic(std::string("PNG tile: ") + Message);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

std::vector<uint8_t> EncodePngTile(const TTileRgba& Rgba) {
  if (Rgba.size() != size_t{kN} * kN * 4) throw EInvalidGraphic("PNG tile: wrong pixel count");
  bool opaque = true;
  for (size_t i = 3; i < Rgba.size() && opaque; i += 4) opaque = Rgba[i] == 255;
  std::vector<uint8_t> out;
  out.reserve(64 * 1024);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) throw EInvalidGraphic("PNG tile: out of memory");
  png_infop info = png_create_info_struct(png);
  struct Guard {
    png_structp& p;
    png_infop& i;
    ~Guard() { png_destroy_write_struct(&p, &i); }
  } guard{png, info};
  if (!info) throw EInvalidGraphic("PNG tile: out of memory");
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, kN, kN, 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  std::vector<uint8_t> row(kN * 4);
  for (int y = 0; y < kN; ++y) {
    const uint8_t* src = Rgba.data() + static_cast<size_t>(y) * kN * 4;
    if (opaque) {
      for (int x = 0; x < kN; ++x) std::memcpy(&row[x * 3], src + x * 4, 3);
    } else {
      std::memcpy(row.data(), src, kN * 4);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  return out;
}

namespace {

struct JpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void JpegExit(j_common_ptr Info) {
  auto* err = reinterpret_cast<JpegError*>(Info->err);
  (*Info->err->format_message)(Info, err->Message);
  std::longjmp(err->Jump, 1);
}

}  // namespace

std::vector<uint8_t> EncodeJpegTile(const TTileRgba& Rgba, int Quality) {
  if (Rgba.size() != size_t{kN} * kN * 4) throw EInvalidGraphic("JPEG tile: wrong pixel count");
  // Transparent pixels become white: JPEG has no alpha.
  std::vector<uint8_t> rgb(size_t{kN} * kN * 3);
  for (size_t i = 0; i < size_t{kN} * kN; ++i)
    for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = Rgba[i * 4 + 3] ? Rgba[i * 4 + c] : 255;
  return EncodeJpegRgb(rgb.data(), kN, kN, Quality);
}

std::vector<uint8_t> EncodeJpegRgb(const uint8_t* Rgb, int Width, int Height, int Quality) {
  if (Width < 1 || Height < 1 || Width > 65500 || Height > 65500)
    throw EInvalidGraphic("JPEG: the image size is out of range");
  jpeg_compress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = JpegExit;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    throw EInvalidGraphic(std::string("JPEG tile: ") + err.Message);
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(Width);
  cinfo.image_height = static_cast<JDIMENSION>(Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, Quality < 1 ? 1 : Quality > 100 ? 100 : Quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(Rgb) + static_cast<size_t>(cinfo.next_scanline) * Width * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

std::vector<uint8_t> EncodeTile(const TTileRgba& Rgba, TTileFormat Format) {
  return Format == TTileFormat::Png ? EncodePngTile(Rgba) : EncodeJpegTile(Rgba);
}

bool IsWholeTileImage(std::span<const uint8_t> Data) {
  static constexpr uint8_t kPngSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  static constexpr uint8_t kIend[8] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  if (Data.size() >= 20 && std::memcmp(Data.data(), kPngSig, 8) == 0)
    return std::memcmp(Data.data() + Data.size() - 8, kIend, 8) == 0;
  if (Data.size() >= 4 && Data[0] == 0xFF && Data[1] == 0xD8)
    return Data[Data.size() - 2] == 0xFF && Data[Data.size() - 1] == 0xD9;
  return false;
}

const char* TileExtension(TTileFormat Format) {
  return Format == TTileFormat::Png ? "png" : "jpg";
}

}  // namespace marovia

namespace marovia {

bool DecodePngTile(std::span<const uint8_t> Data, TTileRgba& Rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, Data.data(), Data.size())) return false;
  if (image.width != kN || image.height != kN) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  Rgba.assign(size_t{kN} * kN * 4, 0);
  if (!png_image_finish_read(&image, nullptr, Rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

}  // namespace marovia
