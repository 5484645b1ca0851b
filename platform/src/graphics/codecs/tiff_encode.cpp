// TIFF encoding over libtiff: 8-bit RGB in 256 x 256 DEFLATE tiles, with
// the caller's extra fields, written through a TStream.
#include "tiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/streams.h"
#include "tiff_client.h"

namespace marovia::tiff {
namespace {

constexpr const char* kCannotWrite = "Cannot write TIFF image: ";
constexpr uint32_t kTileSize = 256;
constexpr int64_t kMaxSingleAlloc = int64_t{1} << 30;

// Reports a share of the work done; exceptions of the callback pass through
// (no libtiff frame is below this).
class Progress {
 public:
  explicit Progress(const TCodecProgress& cb) : cb_(cb) {}
  void Report(uint64_t done, uint64_t total) {
    if (!cb_ || total == 0) return;
    const int percent = static_cast<int>(std::min<uint64_t>(done * 100 / total, 99));
    if (percent <= last_) return;
    last_ = percent;
    cb_(percent);
  }

 private:
  const TCodecProgress& cb_;
  int last_ = 0;  // 0 is the starting report, made by the caller
};

void CheckField(const TTiffField& f) {
  auto fail = [&](const std::string& why) {
    throw EInvalidGraphic(std::string(kCannotWrite) + "field " + std::to_string(f.Tag) + " " + why);
  };
  if (f.Tag < 32768) fail("is not a private field");
  size_t n = 0;
  switch (f.Kind) {
    case TTiffField::tkShort:
      n = f.Shorts.size();
      break;
    case TTiffField::tkDouble:
      n = f.Doubles.size();
      break;
    case TTiffField::tkAscii:
      if (f.Ascii.find('\0') != std::string::npos) fail("holds a NUL character");
      n = f.Ascii.size() + 1;
      break;
  }
  if (n == 0 || n > 65535) fail("has no values or too many");
}

// libtiff writes only fields it knows; the extra ones are made known to
// this file under one name.
void WriteExtraFields(TIFF* t, std::span<const TTiffField> extra) {
  std::vector<TIFFFieldInfo> infos;
  for (const TTiffField& f : extra) {
    CheckField(f);
    static char kName[] = "ExtraField";
    const bool ascii = f.Kind == TTiffField::tkAscii;
    const TIFFDataType type = ascii                           ? TIFF_ASCII
                              : f.Kind == TTiffField::tkShort ? TIFF_SHORT
                                                              : TIFF_DOUBLE;
    infos.push_back(TIFFFieldInfo{f.Tag, TIFF_VARIABLE, TIFF_VARIABLE, type, FIELD_CUSTOM, 1,
                                  static_cast<unsigned char>(ascii ? 0 : 1), kName});
  }
  if (!infos.empty() && TIFFMergeFieldInfo(t, infos.data(), uint32_t(infos.size())) != 0) {
    throw EInvalidGraphic(std::string(kCannotWrite) + "extra fields not accepted");
  }
  for (const TTiffField& f : extra) {
    int ok = 0;
    switch (f.Kind) {
      case TTiffField::tkShort:
        ok = TIFFSetField(t, f.Tag, int(f.Shorts.size()), f.Shorts.data());
        break;
      case TTiffField::tkDouble:
        ok = TIFFSetField(t, f.Tag, int(f.Doubles.size()), f.Doubles.data());
        break;
      case TTiffField::tkAscii:
        ok = TIFFSetField(t, f.Tag, f.Ascii.c_str());
        break;
    }
    if (!ok) {
      throw EInvalidGraphic(std::string(kCannotWrite) + "field " + std::to_string(f.Tag) +
                            " not accepted");
    }
  }
}

// One tile as R, G, B bytes; the parts beyond the image's right and bottom
// edges are white.
void FillTile(const uint32_t* px, uint32_t w, uint32_t h, uint32_t x0, uint32_t y0, uint8_t* tile) {
  const uint32_t cols = std::min(kTileSize, w - x0);
  const uint32_t rows = std::min(kTileSize, h - y0);
  if (cols < kTileSize || rows < kTileSize) std::memset(tile, 0xFF, kTileSize * kTileSize * 3);
  for (uint32_t y = 0; y < rows; ++y) {
    const uint32_t* src = px + size_t(y0 + y) * w + x0;
    uint8_t* dst = tile + size_t(y) * kTileSize * 3;
    for (uint32_t x = 0; x < cols; ++x) {
      const uint32_t p = src[x];
      dst[3 * x] = uint8_t(p >> 16);
      dst[3 * x + 1] = uint8_t(p >> 8);
      dst[3 * x + 2] = uint8_t(p);
    }
  }
}

}  // namespace

void Encode(TStream& Stream, const uint32_t* Pixels, int Width, int Height, int Level,
            std::span<const TTiffField> Extra, const TCodecProgress& OnProgress) {
  if (Width <= 0 || Height <= 0) {
    throw EInvalidGraphic("Cannot write a TIFF image of " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  }
  TTiffClient s;
  s.Stream = &Stream;
  s.Base = Stream.Position();
  TTiffPtr t = OpenClient(s, "w", kCannotWrite, kMaxSingleAlloc);
  const uint32_t w = uint32_t(Width), h = uint32_t(Height);
  TIFF* tf = t.get();
  const bool ok =
      TIFFSetField(tf, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(tf, TIFFTAG_IMAGELENGTH, h) &&
      TIFFSetField(tf, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tf, TIFFTAG_SAMPLESPERPIXEL, 3) &&
      TIFFSetField(tf, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
      TIFFSetField(tf, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(tf, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
      TIFFSetField(tf, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
      TIFFSetField(tf, TIFFTAG_ZIPQUALITY, std::clamp(Level, 1, 9)) &&
      TIFFSetField(tf, TIFFTAG_TILEWIDTH, kTileSize) &&
      TIFFSetField(tf, TIFFTAG_TILELENGTH, kTileSize);
  if (!ok) Raise(s, kCannotWrite, "image fields not accepted");
  WriteExtraFields(tf, Extra);

  std::vector<uint8_t> tile(kTileSize * kTileSize * 3);
  Progress progress(OnProgress);
  for (uint32_t y = 0; y < h; y += kTileSize) {
    for (uint32_t x = 0; x < w; x += kTileSize) {
      FillTile(Pixels, w, h, x, y, tile.data());
      if (TIFFWriteTile(tf, tile.data(), x, y, 0, 0) < 0) Raise(s, kCannotWrite, "write failed");
    }
    progress.Report(std::min(h, y + kTileSize), h);
  }
  if (!TIFFWriteDirectory(tf) || s.Pending) Raise(s, kCannotWrite, "write failed");
  t.reset();
  if (s.Pending) Raise(s, kCannotWrite, "write failed");
}

}  // namespace marovia::tiff
