// Maps for the widget's tests: a sample map of the atlas, and a made-up
// JPEG large enough to be read through a tile pyramid, calibrated like it.
#pragma once

#include <jpeglib.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "marovia/geomap/map_source.h"

namespace marovia::test {

inline std::string SampleMap(const std::string& Name) {
  return std::string(MAROVIA_SAMPLES_DIR) + "/atlas/" + Name;
}

// Streams a Width x Height JPEG of soft colour fields crossed by a fine
// grid, row by row (no picture of its size in memory).
inline void WriteTestJpeg(const std::string& File, int Width, int Height) {
  FILE* f = std::fopen(File.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + File);
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = static_cast<JDIMENSION>(Width);
  c.image_height = static_cast<JDIMENSION>(Height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(3 * static_cast<std::size_t>(Width));
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const bool grid = x % 64 == 0 || y % 64 == 0;
      row[3 * x] = grid ? 40 : static_cast<unsigned char>(x * 255 / Width);
      row[3 * x + 1] = grid ? 40 : static_cast<unsigned char>(y * 255 / Height);
      row[3 * x + 2] = grid ? 40 : static_cast<unsigned char>((x ^ y) & 0xFF);
    }
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

// A tiled map: File (made by WriteTestJpeg) with the Zurich sample's
// calibration fitted to its size; its pyramid cached in CacheDir.
inline std::shared_ptr<const TMapSource> TiledTestMap(const std::string& File,
                                                      const std::string& CacheDir) {
  const auto zurich = TMapSource::Open(SampleMap("zurich_utm32.xml"));
  TMapSourceOptions options;
  options.PyramidCacheDir = CacheDir;
  return TMapSource::FromCalibration(zurich->Calibration(), File, options);
}

}  // namespace marovia::test
