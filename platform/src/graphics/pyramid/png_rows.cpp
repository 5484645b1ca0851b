// PNG rows through libpng, one row at a time from the file.
//
// Interlaced files deliver their rows in seven passes over the whole image,
// so they are decoded whole into memory when that fits the budget and
// refused otherwise. Transparent pixels are laid over white paper as the
// PNG image class does. libpng's errors longjmp back to the phase function
// that called it; all state lives in a TPngState released by its
// destructor.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "marovia/platform/sysutils.h"
#include "row_source.h"

namespace marovia::pyr {
namespace {

struct TPngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  FILE* file = nullptr;
  std::jmp_buf jump;
  char message[200] = {};
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  TPngState() = default;
  TPngState(const TPngState&) = delete;
  TPngState& operator=(const TPngState&) = delete;
  ~TPngState() {
    png_destroy_read_struct(&png, &info, nullptr);
    if (file) std::fclose(file);
  }
};

extern "C" {

static void OnPngError(png_structp p, png_const_charp msg) {
  auto& s = *static_cast<TPngState*>(png_get_error_ptr(p));
  std::snprintf(s.message, sizeof s.message, "%s", msg ? msg : "unknown error");
  std::longjmp(s.jump, 1);
}

static void OnPngWarning(png_structp, png_const_charp) {}

static void OnPngRead(png_structp p, png_bytep dest, size_t length) {
  auto& s = *static_cast<TPngState*>(png_get_io_ptr(p));
  if (std::fread(dest, 1, length, s.file) != length)
    png_error(p, "file ends before the image is complete");
}

}  // extern "C"

bool HeaderPhase(TPngState* s) {
  if (setjmp(s->jump)) return false;
  png_set_read_fn(s->png, s, OnPngRead);
  // Our own budget check replaces libpng's default million-pixel sides.
  png_set_user_limits(s->png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(s->png, s->info);
  png_get_IHDR(s->png, s->info, &s->width, &s->height, &s->bitDepth, &s->colorType, &s->interlace,
               nullptr, nullptr);
  return true;
}

// Transformations; libpng allocates (and clears) its row buffers here, so
// this comes after the budget check.
bool SetupPhase(TPngState* s) {
  if (setjmp(s->jump)) return false;
  png_set_expand(s->png);
  png_set_scale_16(s->png);
  png_set_gray_to_rgb(s->png);
  png_set_bgr(s->png);
  png_set_add_alpha(s->png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  return true;
}

bool RowPhase(TPngState* s, png_bytep row) {
  if (setjmp(s->jump)) return false;
  png_read_row(s->png, row, nullptr);
  return true;
}

bool ImagePhase(TPngState* s, png_bytepp rows) {
  if (setjmp(s->jump)) return false;
  png_read_image(s->png, rows);
  return true;
}

// Over white paper: c' = (c a + 255 (255 - a)) / 255, rounded.
void CompositeOverWhite(uint32_t* px, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = px[i], a = p >> 24;
    if (a == 255) {
      px[i] = p & 0x00FFFFFFu;
      continue;
    }
    const uint32_t white = 255 * (255 - a) + 127;
    px[i] = ((p >> 16 & 0xFF) * a + white) / 255 << 16 | ((p >> 8 & 0xFF) * a + white) / 255 << 8 |
            ((p & 0xFF) * a + white) / 255;
  }
}

class TPngRows : public TRowSource {
 public:
  TPngRows(const std::string& FileName, int64_t Budget) : name_(FileName) {
    s_.file = std::fopen(FileName.c_str(), "rb");
    if (!s_.file) throw EInOutError(FileName, std::strerror(errno), errno);
    s_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s_, OnPngError, OnPngWarning);
    if (s_.png) s_.info = png_create_info_struct(s_.png);
    if (!s_.info) FailSource(name_, "PNG image is not valid: out of memory");
    if (!HeaderPhase(&s_)) Fail();
    // libpng's own row buffers: up to 8 bytes a pixel, twice.
    const int64_t rows = 16 * int64_t{s_.width};
    const bool interlaced = s_.interlace != PNG_INTERLACE_NONE;
    // Interlaced: the whole image, decoded at once.
    const int64_t whole = interlaced ? 4 * int64_t{s_.width} * s_.height : 0;
    CheckBudget(name_, s_.width, s_.height, rows + whole, Budget);
    if (!SetupPhase(&s_)) Fail();
    width_ = static_cast<int>(s_.width);
    height_ = static_cast<int>(s_.height);
    if (interlaced) {
      whole_.resize(static_cast<size_t>(whole / 4));
      std::vector<png_bytep> rows(s_.height);
      for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = reinterpret_cast<png_bytep>(whole_.data() + y * s_.width);
      if (!ImagePhase(&s_, rows.data())) Fail();
    }
  }

  void ReadRow(uint32_t* Dest) override {
    const size_t w = static_cast<size_t>(width_);
    if (!whole_.empty()) {
      std::memcpy(Dest, whole_.data() + static_cast<size_t>(next_++) * w, w * 4);
    } else if (!RowPhase(&s_, reinterpret_cast<png_bytep>(Dest))) {
      Fail();
    }
    CompositeOverWhite(Dest, w);
  }

  int64_t WorkingBytes() const override {
    return static_cast<int64_t>(whole_.size()) * 4 + 16 * int64_t{width_};
  }

 private:
  [[noreturn]] void Fail() {
    FailSource(name_, std::string("PNG image is not valid: ") + s_.message);
  }

  std::string name_;
  TPngState s_;
  std::vector<uint32_t> whole_;  // interlaced images only
  int next_ = 0;
};

}  // namespace

std::unique_ptr<TRowSource> OpenPngRows(const std::string& FileName, int64_t Budget) {
  return std::make_unique<TPngRows>(FileName, Budget);
}

}  // namespace marovia::pyr
