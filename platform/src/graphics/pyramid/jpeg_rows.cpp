// JPEG rows through libjpeg, one scanline at a time from the file.
//
// libjpeg's fatal errors longjmp back to the setjmp of the phase function
// that called it; those functions hold no object with a destructor, and the
// decoder's state lives in a TJpegRows that releases it whatever happened.
// A file that ends early is an error, not grey rows.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
// jpeglib.h must come first.
#include <jerror.h>

#include "marovia/platform/sysutils.h"
#include "row_source.h"

namespace marovia::pyr {
namespace {

struct TJpegSession {
  jpeg_error_mgr err;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
};

extern "C" {

static void OnJpegError(j_common_ptr c) {
  auto& s = *static_cast<TJpegSession*>(c->client_data);
  (*c->err->format_message)(c, s.message);
  std::longjmp(s.jump, 1);
}

static void OnJpegMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  if (c->err->msg_code == JWRN_JPEG_EOF) OnJpegError(c);
  ++c->err->num_warnings;
}

static void OnJpegOutput(j_common_ptr) {}

}  // extern "C"

enum class TKind { Bgrx, Cmyk };

// Header and output set-up; nothing large is allocated before the size
// checks of the caller, which come after this phase and before Start.
bool HeaderPhase(jpeg_decompress_struct* c, TJpegSession* s, FILE* f, TKind* kind) {
  if (setjmp(s->jump)) return false;
  jpeg_create_decompress(c);
  jpeg_stdio_src(c, f);
  jpeg_read_header(c, TRUE);
  if (c->jpeg_color_space == JCS_CMYK || c->jpeg_color_space == JCS_YCCK) {
    c->out_color_space = JCS_CMYK;
    *kind = TKind::Cmyk;
  } else {
    c->out_color_space = JCS_EXT_BGRX;  // grey is widened by libjpeg too
    *kind = TKind::Bgrx;
  }
  jpeg_calc_output_dimensions(c);
  return true;
}

bool StartPhase(jpeg_decompress_struct* c, TJpegSession* s) {
  if (setjmp(s->jump)) return false;
  jpeg_start_decompress(c);
  return true;
}

bool RowPhase(jpeg_decompress_struct* c, TJpegSession* s, JSAMPROW row) {
  if (setjmp(s->jump)) return false;
  if (jpeg_read_scanlines(c, &row, 1) != 1) {
    std::snprintf(s->message, sizeof s->message, "no more rows");
    return false;
  }
  return true;
}

// CMYK as stored: files with an Adobe marker hold inverted values.
inline uint32_t CmykToPixel(const uint8_t* p, bool inverted) {
  uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
  if (!inverted) {
    c = 255 - c;
    m = 255 - m;
    y = 255 - y;
    k = 255 - k;
  }
  const uint32_t r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
  return r << 16 | g << 8 | b;
}

// libjpeg's structure and the file, released whatever happened (also when
// the constructor of TJpegRows fails half-way).
struct TJpegState {
  TJpegState() {
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&s.err);
    s.err.error_exit = OnJpegError;
    s.err.emit_message = OnJpegMessage;
    s.err.output_message = OnJpegOutput;
    cinfo.client_data = &s;
  }
  ~TJpegState() {
    jpeg_destroy_decompress(&cinfo);  // safe on a structure never created
    if (file) std::fclose(file);
  }
  TJpegState(const TJpegState&) = delete;
  TJpegState& operator=(const TJpegState&) = delete;
  jpeg_decompress_struct cinfo;
  TJpegSession s;
  FILE* file = nullptr;
};

class TJpegRows : public TRowSource {
 public:
  TJpegRows(const std::string& FileName, int64_t Budget) : name_(FileName) {
    file_ = std::fopen(FileName.c_str(), "rb");
    if (!file_) throw EInOutError(FileName, std::strerror(errno), errno);
    if (!HeaderPhase(&cinfo_, &s_, file_, &kind_)) Fail();
    const int64_t w = cinfo_.image_width, h = cinfo_.image_height;
    // A progressive file is decoded from a buffer of all its coefficients,
    // two bytes per sample of the whole image; the others need a band of
    // up to 16 rows per component.
    const int64_t comps = cinfo_.num_components;
    extra_ = jpeg_has_multiple_scans(&cinfo_) ? w * h * comps * 2 : 16 * w * comps * 2;
    CheckBudget(name_, w, h, extra_, Budget);
    cinfo_.mem->max_memory_to_use = static_cast<long>(Budget);
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    if (kind_ == TKind::Cmyk) cmyk_.resize(static_cast<size_t>(w) * 4);
  }
  void ReadRow(uint32_t* Dest) override {
    if (!started_) {
      if (!StartPhase(&cinfo_, &s_)) Fail();
      started_ = true;
    }
    const size_t w = static_cast<size_t>(width_);
    if (kind_ == TKind::Cmyk) {
      if (!RowPhase(&cinfo_, &s_, cmyk_.data())) Fail();
      for (size_t x = 0; x < w; ++x) Dest[x] = CmykToPixel(&cmyk_[4 * x], cinfo_.saw_Adobe_marker);
      return;
    }
    if (!RowPhase(&cinfo_, &s_, reinterpret_cast<JSAMPROW>(Dest))) Fail();
    for (size_t x = 0; x < w; ++x) Dest[x] &= 0x00FFFFFFu;
  }

  int64_t WorkingBytes() const override { return extra_ + static_cast<int64_t>(cmyk_.size()); }

 private:
  [[noreturn]] void Fail() {
    FailSource(name_, std::string("JPEG image is not valid: ") + s_.message);
  }

  std::string name_;
  TJpegState state_;
  jpeg_decompress_struct& cinfo_ = state_.cinfo;
  TJpegSession& s_ = state_.s;
  FILE*& file_ = state_.file;
  TKind kind_ = TKind::Bgrx;
  bool started_ = false;
  int64_t extra_ = 0;
  std::vector<uint8_t> cmyk_;
};

}  // namespace

std::unique_ptr<TRowSource> OpenJpegRows(const std::string& FileName, int64_t Budget) {
  return std::make_unique<TJpegRows>(FileName, Budget);
}

}  // namespace marovia::pyr
