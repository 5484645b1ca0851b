// TIFF rows through libtiff's RGBA interface, one strip or one row of tiles
// at a time, so that any photometric interpretation and compression libtiff
// reads is accepted. Only the first image of the file is read. A strip or a
// row of tiles is held decoded: a file whose single strip covers the whole
// image is refused when that exceeds the budget. Transparent pixels are
// laid over white.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/sysutils.h"
#include "row_source.h"

namespace marovia::pyr {
namespace {

extern "C" {

// libtiff's messages go to the reader's message buffer, never to stderr.
static int OnTiffError(TIFF*, void* User, const char*, const char* Fmt, va_list Ap) {
  auto* message = static_cast<std::string*>(User);
  char text[512];
  std::vsnprintf(text, sizeof text, Fmt, Ap);
  if (message->empty()) *message = text;
  return 1;
}

static int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

}  // extern "C"

// An RGBA word of libtiff (R in the low byte) over white, as 0x00RRGGBB.
inline uint32_t FromRgba(uint32_t p) {
  const uint32_t a = TIFFGetA(p), r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p);
  if (a == 255) return r << 16 | g << 8 | b;
  const uint32_t white = 255 * (255 - a) + 127;
  return (r * a + white) / 255 << 16 | (g * a + white) / 255 << 8 | (b * a + white) / 255;
}

class TTiffRows : public TRowSource {
 public:
  TTiffRows(const std::string& FileName, int64_t Budget) : name_(FileName) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &message_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(Budget));
    tiff_.t = TIFFOpenExt(FileName.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!tiff_.t) Fail();
    uint32_t w = 0, h = 0;
    TIFFGetField(tiff_.t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff_.t, TIFFTAG_IMAGELENGTH, &h);
    char why[1024] = {};
    if (!TIFFRGBAImageOK(tiff_.t, why)) FailSource(name_, std::string("TIFF image: ") + why);
    tiled_ = TIFFIsTiled(tiff_.t) != 0;
    int64_t bandRows = 0, extra = 0;
    if (tiled_) {
      TIFFGetField(tiff_.t, TIFFTAG_TILEWIDTH, &tileW_);
      TIFFGetField(tiff_.t, TIFFTAG_TILELENGTH, &tileH_);
      if (tileW_ == 0 || tileH_ == 0) FailSource(name_, "TIFF image has no tile size");
      bandRows = tileH_;
      extra = 4 * int64_t{tileW_} * tileH_;
    } else {
      uint32_t rps = 0;
      if (!TIFFGetField(tiff_.t, TIFFTAG_ROWSPERSTRIP, &rps) || rps == 0) rps = h;
      rowsPerStrip_ = std::min(rps, h);
      bandRows = rowsPerStrip_;
    }
    extra += 4 * bandRows * w;
    CheckBudget(name_, w, h, extra, Budget);
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    band_.resize(static_cast<size_t>(bandRows) * w);
    if (tiled_) tile_.resize(static_cast<size_t>(tileW_) * tileH_);
  }

  void ReadRow(uint32_t* Dest) override {
    const uint32_t y = next_++;
    if (y == bandEnd_) Load(y);
    const uint32_t* in = band_.data() + static_cast<size_t>(y - bandStart_) * width_;
    for (int x = 0; x < width_; ++x) Dest[x] = FromRgba(in[x]);
  }

  int64_t WorkingBytes() const override {
    return 4 * static_cast<int64_t>(band_.size() + tile_.size());
  }

 private:
  struct THandle {
    TIFF* t = nullptr;
    ~THandle() {
      if (t) TIFFClose(t);
    }
  };

  [[noreturn]] void Fail() {
    FailSource(name_,
               "TIFF image is not valid: " + (message_.empty() ? "unknown error" : message_));
  }

  // The strip or row of tiles from row Y, top-down in band_. libtiff's RGBA
  // reads answer rows bottom-up.
  void Load(uint32_t Y) {
    const uint32_t w = static_cast<uint32_t>(width_);
    bandStart_ = Y;
    if (!tiled_) {
      const uint32_t rows = std::min<uint32_t>(rowsPerStrip_, height_ - Y);
      std::vector<uint32_t>& b = band_;
      if (!TIFFReadRGBAStripExt(tiff_.t, Y, b.data(), 1)) Fail();
      for (uint32_t i = 0; i < rows / 2; ++i)
        std::swap_ranges(b.begin() + size_t(i) * w, b.begin() + size_t(i + 1) * w,
                         b.begin() + size_t(rows - 1 - i) * w);
      bandEnd_ = Y + rows;
      return;
    }
    const uint32_t rows = std::min<uint32_t>(tileH_, height_ - Y);
    for (uint32_t x0 = 0; x0 < w; x0 += tileW_) {
      if (!TIFFReadRGBATileExt(tiff_.t, x0, Y, tile_.data(), 1)) Fail();
      const uint32_t cols = std::min(tileW_, w - x0);
      for (uint32_t i = 0; i < rows; ++i) {
        const uint32_t* in = tile_.data() + size_t(tileH_ - 1 - i) * tileW_;
        std::copy(in, in + cols, band_.begin() + size_t(i) * w + x0);
      }
    }
    bandEnd_ = Y + rows;
  }

  std::string name_;
  std::string message_;
  THandle tiff_;
  bool tiled_ = false;
  uint32_t tileW_ = 0, tileH_ = 0, rowsPerStrip_ = 0;
  std::vector<uint32_t> band_, tile_;
  uint32_t bandStart_ = 0, bandEnd_ = 0, next_ = 0;
};

}  // namespace

std::unique_ptr<TRowSource> OpenTiffRows(const std::string& FileName, int64_t Budget) {
  return std::make_unique<TTiffRows>(FileName, Budget);
}

}  // namespace marovia::pyr
