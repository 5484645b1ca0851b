// Opening image files as pyramids: agreement with the decoded image, the
// cache file's reuse and its rejection when stale or damaged, and the
// failures (truncated or hostile sources, no writable cache).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;

// A picture with detail in every channel, so that a lost row, column or
// channel shows; large uniform areas give tiles of one colour too.
void Paint(TBitmap& bmp) {
  for (int y = 0; y < bmp.Height(); ++y) {
    uint32_t* row = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x)
      row[x] = y < 300 && x < 300 ? 0x00336699u
                                  : uint32_t((x * 7 + y) & 0xFF) << 16 |
                                        uint32_t((x ^ y) & 0xFF) << 8 | uint32_t((y * 3) & 0xFF);
  }
}

// RGB in strips of 16 rows, or in LZW-compressed tiles of 64 x 48 (edge
// tiles cut by the image).
void WriteTiff(const TBitmap& bmp, const std::string& file, bool tiled) {
  TIFF* t = TIFFOpen(file.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, bmp.Width());
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, bmp.Height());
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  auto rgb = [&](int x, int y) {
    const uint32_t p = bmp.ScanLine(y)[x];
    return std::array<uint8_t, 3>{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
  };
  if (tiled) {
    const int tw = 64, th = 48;
    TIFFSetField(t, TIFFTAG_TILEWIDTH, tw);
    TIFFSetField(t, TIFFTAG_TILELENGTH, th);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    std::vector<uint8_t> tile(tw * th * 3);
    for (int y0 = 0; y0 < bmp.Height(); y0 += th) {
      for (int x0 = 0; x0 < bmp.Width(); x0 += tw) {
        std::fill(tile.begin(), tile.end(), 0);
        for (int y = y0; y < std::min(y0 + th, bmp.Height()); ++y)
          for (int x = x0; x < std::min(x0 + tw, bmp.Width()); ++x) {
            const auto c = rgb(x, y);
            std::copy(c.begin(), c.end(), &tile[((y - y0) * tw + x - x0) * 3]);
          }
        TIFFWriteTile(t, tile.data(), x0, y0, 0, 0);
      }
    }
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<uint8_t> row(bmp.Width() * 3);
    for (int y = 0; y < bmp.Height(); ++y) {
      for (int x = 0; x < bmp.Width(); ++x) {
        const auto c = rgb(x, y);
        std::copy(c.begin(), c.end(), &row[x * 3]);
      }
      TIFFWriteScanline(t, row.data(), y, 0);
    }
  }
  TIFFClose(t);
}

std::string WriteImage(const test::TempDir& dir, const std::string& name, int W, int H) {
  TBitmap bmp(W, H);
  Paint(bmp);
  const std::string file = dir.File(name);
  if (name.ends_with(".tif")) {
    WriteTiff(bmp, file, name.starts_with("tiles"));
  } else if (name.ends_with(".bmp")) {
    bmp.SetPixelFormat(name.starts_with("indexed") ? pf8bit : pf24bit);
    bmp.SaveToFile(file);
  } else if (name.ends_with(".png")) {
    TPngImage png;
    png.Assign(bmp);
    png.SaveToFile(file);
  } else {
    TJPEGImage jpg;
    jpg.Assign(bmp);
    jpg.SaveToFile(file);
  }
  return file;
}

// The pyramid of the image decoded whole by the image classes (the BMP
// and TIFF files hold the painted pixels exactly, after quantisation).
std::unique_ptr<TImagePyramid> Decoded(const std::string& file) {
  TBitmap bmp;
  if (file.ends_with(".tif")) {
    TIFF* t = TIFFOpen(file.c_str(), "r");
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFClose(t);
    bmp.SetSize(int(w), int(h));
    Paint(bmp);
  } else if (file.ends_with(".bmp")) {
    bmp.LoadFromFile(file);
  } else if (file.ends_with(".png")) {
    TPngImage png;
    png.LoadFromFile(file);
    bmp.Assign(png);
  } else {
    TJPEGImage jpg;
    jpg.LoadFromFile(file);
    bmp.Assign(jpg);
  }
  return TImagePyramid::FromBitmap(bmp);
}

// Every level of two pyramids, pixel for pixel.
void ExpectSamePixels(const TImagePyramid& a, const TImagePyramid& b) {
  ASSERT_EQ(a.Levels(), b.Levels());
  for (int k = 0; k < a.Levels(); ++k) {
    ASSERT_EQ(a.LevelWidth(k), b.LevelWidth(k));
    ASSERT_EQ(a.LevelHeight(k), b.LevelHeight(k));
    for (int ty = 0; ty < a.TilesDown(k); ++ty)
      for (int tx = 0; tx < a.TilesAcross(k); ++tx)
        ASSERT_TRUE(std::equal(
            a.Tile(k, tx, ty).get(),
            a.Tile(k, tx, ty).get() + TImagePyramid::kTileSize * TImagePyramid::kTileSize,
            b.Tile(k, tx, ty).get()))
            << "level " << k << " tile " << tx << "," << ty;
  }
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) out.push_back(e.path());
  return out;
}

class PyramidOpen : public ::testing::Test {
 protected:
  // Opens through the cache of this test, counting the builds.
  std::unique_ptr<TImagePyramid> Open(const std::string& file, int64_t budget = 256 << 20) {
    TPyramidOptions o;
    o.CacheDir = cache_.Path().string();
    o.MemoryBudget = budget;
    int last = -1;
    return TImagePyramid::Open(file, o,
                               [&](TObject* Sender, TProgressStage Stage, uint8_t Percent, bool,
                                   const TRect&, const std::string&) {
                                 EXPECT_EQ(Sender, nullptr);
                                 EXPECT_GE(int(Percent), last);
                                 last = Percent;
                                 if (Stage == psStarting) ++builds_;
                               });
  }
  std::string CacheFile() {
    const auto files = FilesIn(cache_.Path());
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? std::string() : files[0].string();
  }

  test::TempDir src_, cache_;
  int builds_ = 0;
};

TEST_F(PyramidOpen, GivesTheDecodedImageAndReadsTheCacheNextTime) {
  const char* names[] = {"map.jpg", "map.png", "map.bmp", "indexed.bmp", "strips.tif", "tiles.tif"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    builds_ = 0;
    const std::string file = WriteImage(src_, name, 700, 530);
    const auto want = Decoded(file);
    ExpectSamePixels(*Open(file), *want);
    EXPECT_EQ(builds_, 1);
    ExpectSamePixels(*Open(file), *want);
    EXPECT_EQ(builds_, 1) << "the second opening built again";
  }
  EXPECT_EQ(FilesIn(cache_.Path()).size(), std::size(names));
}

TEST_F(PyramidOpen, RebuildsWhenTheSourceChanges) {
  const std::string file = WriteImage(src_, "map.png", 300, 300);
  Open(file);
  timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  Open(file);
  EXPECT_EQ(builds_, 2);
  Open(file);
  EXPECT_EQ(builds_, 2);
}

// Every byte before the tiles and every byte of the index flipped, the file
// cut short at a spread of lengths, and a file of other content: each is
// rebuilt, and the result is the image.
TEST_F(PyramidOpen, NeverTrustsADamagedCacheFile) {
  const std::string file = WriteImage(src_, "map.jpg", 520, 260);
  const auto want = Decoded(file);
  Open(file);
  const std::string cache = CacheFile();
  const std::string bytes = [&] {
    std::ifstream in(cache, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  auto put = [&](const std::string& content) {
    std::ofstream(cache, std::ios::binary | std::ios::trunc) << content;
  };
  // Tiles of this image: 3 + 2 (one tile row each) + 1; index 16 bytes each.
  const size_t index = 16 * 6, meta = 64 + fs::canonical(file).string().size() + 16;
  std::vector<size_t> offsets;
  for (size_t i = 0; i < meta; ++i) offsets.push_back(i);
  for (size_t i = bytes.size() - index; i < bytes.size(); ++i) offsets.push_back(i);
  int expected = builds_;
  for (size_t at : offsets) {
    std::string damaged = bytes;
    damaged[at] = char(damaged[at] ^ 0x10);
    put(damaged);
    const auto p = Open(file);
    ASSERT_EQ(builds_, ++expected) << "byte " << at << " flipped was trusted";
  }
  for (size_t cut : {size_t(0), size_t(10), size_t(63), meta, bytes.size() / 2, bytes.size() - 1}) {
    put(bytes.substr(0, cut));
    Open(file);
    ASSERT_EQ(builds_, ++expected) << "cut at " << cut << " was trusted";
  }
  put(std::string(bytes.size(), 'x'));
  ExpectSamePixels(*Open(file), *want);
  EXPECT_EQ(builds_, ++expected);
  ExpectSamePixels(*Open(file), *want);
  EXPECT_EQ(builds_, expected);
}

TEST_F(PyramidOpen, TruncatedSourceFailsNamingItAndLeavesNoCacheFile) {
  for (const char* name : {"cut.jpg", "cut.png", "cut.bmp", "cutstrips.tif", "tiles-cut.tif"}) {
    SCOPED_TRACE(name);
    const std::string file = WriteImage(src_, name, 400, 400);
    const std::string bytes = src_.Read(name);
    src_.Write(name, bytes.substr(0, bytes.size() * 2 / 3));
    try {
      Open(file);
      FAIL() << "a truncated source was accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    EXPECT_TRUE(FilesIn(cache_.Path()).empty());
  }
}

// No cache file can be made (the directory cannot be created, or the disk
// fills up): the pyramid is built in memory, or refused when it does not
// fit the budget.
TEST_F(PyramidOpen, FallsBackToMemoryWithoutAWritableCache) {
  const std::string file = WriteImage(src_, "map.png", 600, 600);
  const auto want = Decoded(file);
  TPyramidOptions o;
  o.CacheDir = src_.Write("plain", "x") + "/cache";
  ExpectSamePixels(*TImagePyramid::Open(file, o), *want);
  o.MemoryBudget = 3 << 20;  // the bands fit, the tiles do not
  try {
    TImagePyramid::Open(file, o);
    FAIL() << "built beyond the budget";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("budget"), std::string::npos) << e.what();
  }
  {
    test::FileSizeLimit full(100000);
    ASSERT_TRUE(full.Active());
    ExpectSamePixels(*Open(file), *want);
  }
  EXPECT_TRUE(FilesIn(cache_.Path()).empty());
}

// Headers claiming sizes whose rows alone exceed the budget are refused
// before anything of that size is allocated.
TEST_F(PyramidOpen, RefusesClaimedSizesBeyondTheBudget) {
  const std::string file = WriteImage(src_, "huge.png", 16, 16);
  std::string bytes = src_.Read("huge.png");
  // IHDR width and height at 16 and 20, then the chunk's CRC (libpng
  // checks it): give the largest sides PNG allows.
  for (int i = 16; i < 24; ++i) bytes[i] = i % 4 == 0 ? '\x7F' : '\xFF';
  uint32_t crc = 0xFFFFFFFFu;
  for (int i = 12; i < 29; ++i) {
    crc ^= uint8_t(bytes[i]);
    for (int b = 0; b < 8; ++b) crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc = ~crc;
  for (int i = 0; i < 4; ++i) bytes[29 + i] = char(crc >> (24 - 8 * i));
  src_.Write("huge.png", bytes);
  EXPECT_THROW(Open(file), EInvalidGraphic);
  EXPECT_TRUE(FilesIn(cache_.Path()).empty());
  EXPECT_THROW(Open(src_.Write("none.png", "not an image")), EInvalidGraphic);
  EXPECT_THROW(Open(src_.File("missing.png")), EInOutError);
}

}  // namespace
}  // namespace marovia
