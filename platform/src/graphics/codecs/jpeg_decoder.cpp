// The JPEG decoder over libjpeg: the header, then one scanline at a time.
//
// libjpeg reports fatal errors through error_exit, which must not return; we
// longjmp from there back to the setjmp of the "phase" function that called
// libjpeg. A longjmp skips destructors, so those functions hold no object
// with a destructor, and the decoder's state lives in a TJpegState released
// whatever happened. Exceptions never cross libjpeg's C frames: the byte
// source's and the progress callback's exceptions are caught in the
// callbacks, kept in the session and raised again once libjpeg has been
// left. Data that end before the image is complete are an error (libjpeg
// would otherwise fill the rest with grey and report success); its other
// warnings (stray bytes between markers, for example) are ignored.
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <jpeglib.h>
// jpeglib.h must come first.
#include <jerror.h>

#include "image_decoder.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia::codecs {
namespace {

static_assert(std::endian::native == std::endian::little,
              "pixel words 0x00RRGGBB are read from libjpeg as bytes B, G, R, X");

constexpr const char* kBadJpeg = "JPEG image is not valid: ";
constexpr size_t kInputBuffer = 64 * 1024;

struct TJpegSession {
  jpeg_error_mgr err;
  jpeg_progress_mgr progress;
  jpeg_source_mgr source;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
  TByteSource* bytes = nullptr;
  uint64_t next = 0;  // offset of the first byte not yet in the buffer
  uint8_t buffer[kInputBuffer];
  TWorkProgress* work = nullptr;
  std::exception_ptr pending;  // of the byte source or the progress callback
};

TJpegSession& SessionOf(j_common_ptr c) {
  return *static_cast<TJpegSession*>(c->client_data);
}

extern "C" {

static void OnErrorExit(j_common_ptr c) {
  TJpegSession& s = SessionOf(c);
  (*c->err->format_message)(c, s.message);
  std::longjmp(s.jump, 1);
}

// Warnings (level -1) are counted, trace messages dropped; nothing is
// printed. Running out of data is fatal.
static void OnEmitMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  if (c->err->msg_code == JWRN_JPEG_EOF) OnErrorExit(c);
  ++c->err->num_warnings;
}

static void OnOutputMessage(j_common_ptr) {}

static void OnInitSource(j_decompress_ptr) {}

static void OnTermSource(j_decompress_ptr) {}

static boolean OnFillInput(j_decompress_ptr c) {
  TJpegSession& s = SessionOf(reinterpret_cast<j_common_ptr>(c));
  size_t n = 0;
  bool failed = false;
  try {
    n = s.bytes->ReadAt(s.next, s.buffer, sizeof s.buffer);
  } catch (...) {
    s.pending = std::current_exception();
    failed = true;
  }
  if (failed) {
    std::snprintf(s.message, sizeof s.message, "the file cannot be read");
    std::longjmp(s.jump, 1);
  }
  if (n == 0) {
    WARNMS(c, JWRN_JPEG_EOF);  // fatal through OnEmitMessage
    s.buffer[0] = 0xFF;
    s.buffer[1] = JPEG_EOI;
    n = 2;
  } else {
    s.next += n;
  }
  s.source.next_input_byte = s.buffer;
  s.source.bytes_in_buffer = n;
  return TRUE;
}

static void OnSkipInput(j_decompress_ptr c, long count) {
  TJpegSession& s = SessionOf(reinterpret_cast<j_common_ptr>(c));
  if (count <= 0) return;
  const size_t n = static_cast<size_t>(count);
  if (n <= s.source.bytes_in_buffer) {
    s.source.next_input_byte += n;
    s.source.bytes_in_buffer -= n;
    return;
  }
  s.next += n - s.source.bytes_in_buffer;
  s.source.bytes_in_buffer = 0;
}

static void OnProgressMonitor(j_common_ptr c) {
  TJpegSession& s = SessionOf(c);
  const jpeg_progress_mgr* p = c->progress;
  if (!s.work || p->pass_limit <= 0 || p->total_passes <= 0) return;
  const uint64_t done =
      uint64_t(p->completed_passes) * 100 + uint64_t(p->pass_counter) * 100 / p->pass_limit;
  bool failed = false;
  try {
    s.work->Report(done, uint64_t(p->total_passes) * 100);
  } catch (...) {
    s.pending = std::current_exception();
    failed = true;
  }
  if (failed) {
    std::snprintf(s.message, sizeof s.message, "aborted by the progress handler");
    std::longjmp(s.jump, 1);
  }
}

}  // extern "C"

enum class TOut { Bgrx, Gray, Cmyk };

// libjpeg's structure, released whatever happened (also when the decoder's
// constructor fails half-way).
struct TJpegState {
  TJpegState() {
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&s.err);
    s.err.error_exit = OnErrorExit;
    s.err.emit_message = OnEmitMessage;
    s.err.output_message = OnOutputMessage;
    s.progress.progress_monitor = OnProgressMonitor;
    s.source.init_source = OnInitSource;
    s.source.fill_input_buffer = OnFillInput;
    s.source.skip_input_data = OnSkipInput;
    s.source.resync_to_restart = jpeg_resync_to_restart;
    s.source.term_source = OnTermSource;
    s.source.next_input_byte = nullptr;
    s.source.bytes_in_buffer = 0;
    cinfo.client_data = &s;
  }
  ~TJpegState() { jpeg_destroy_decompress(&cinfo); }  // safe on a structure never created
  TJpegState(const TJpegState&) = delete;
  TJpegState& operator=(const TJpegState&) = delete;
  jpeg_decompress_struct cinfo;
  TJpegSession s;
};

// Header and output set-up; nothing large is allocated before the caller's
// size check, which comes after this phase and before Start.
bool HeaderPhase(jpeg_decompress_struct* c, TJpegSession* s, const TJpegOutput* o, TOut* kind) {
  if (setjmp(s->jump)) return false;
  jpeg_create_decompress(c);
  c->src = &s->source;
  jpeg_read_header(c, TRUE);
  c->scale_num = 1;
  c->scale_denom = static_cast<unsigned>(o->ScaleDenom);
  if (o->Fast) {
    c->dct_method = JDCT_IFAST;
    c->do_fancy_upsampling = FALSE;
  }
  const J_COLOR_SPACE in = c->jpeg_color_space;
  if (in == JCS_CMYK || in == JCS_YCCK) {
    // libjpeg converts YCCK to CMYK but not CMYK to RGB: done here.
    c->out_color_space = JCS_CMYK;
    *kind = TOut::Cmyk;
  } else if (in == JCS_GRAYSCALE || o->Grayscale) {
    c->out_color_space = JCS_GRAYSCALE;
    *kind = TOut::Gray;
  } else {
    c->out_color_space = JCS_EXT_BGRX;
    *kind = TOut::Bgrx;
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

bool FinishPhase(jpeg_decompress_struct* c, TJpegSession* s) {
  if (setjmp(s->jump)) return false;
  jpeg_finish_decompress(c);
  return true;
}

// CMYK as stored: files with an Adobe marker hold inverted values (0 = full
// ink), the others plain ones.
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

inline uint32_t Luma(uint32_t p) {
  const uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return ((r * 299 + g * 587 + b * 114 + 500) / 1000) * 0x010101u;
}

int Denominator(int d) {
  return d >= 8 ? 8 : d >= 4 ? 4 : d >= 2 ? 2 : 1;
}

class TJpegDecoder : public TImageDecoder {
 public:
  TJpegDecoder(TByteSource& Source, const TDecodeSetup& Setup, TJpegOutput Output)
      : output_(Output) {
    output_.ScaleDenom = Denominator(output_.ScaleDenom);
    s_.bytes = &Source;
    s_.work = Setup.Progress;
    if (!HeaderPhase(&cinfo_, &s_, &output_, &kind_)) Fail();
    const int64_t w = cinfo_.image_width, h = cinfo_.image_height;
    // A progressive file is decoded from a buffer of all its coefficients,
    // two bytes per sample of the whole image; the others need a band of
    // up to 16 rows per component.
    const int64_t comps = cinfo_.num_components;
    extra_ = jpeg_has_multiple_scans(&cinfo_) ? w * h * comps * 2 : 16 * w * comps * 2;
    // The limit holds for the image as stored, not only for the scaled
    // output: libjpeg keeps a coefficient buffer of the full image for
    // progressive files however small the output.
    if (Setup.Accept) Setup.Accept(TImageHeader{"JPEG", w, h, extra_});
    if (Setup.CodecMemory > 0) cinfo_.mem->max_memory_to_use = static_cast<long>(Setup.CodecMemory);
    if (Setup.Progress) cinfo_.progress = &s_.progress;
    width_ = static_cast<int>(cinfo_.output_width);
    height_ = static_cast<int>(cinfo_.output_height);
    if (kind_ == TOut::Cmyk) cmyk_.resize(static_cast<size_t>(width_) * 4);
  }

  void ReadRow(uint32_t* Dest) override {
    if (!started_) {
      if (!StartPhase(&cinfo_, &s_)) Fail();
      started_ = true;
    }
    const size_t w = static_cast<size_t>(width_);
    if (kind_ == TOut::Cmyk) {
      if (!RowPhase(&cinfo_, &s_, cmyk_.data())) Fail();
      const bool inverted = cinfo_.saw_Adobe_marker;
      for (size_t x = 0; x < w; ++x) Dest[x] = CmykToPixel(&cmyk_[4 * x], inverted);
      if (output_.Grayscale)
        for (size_t x = 0; x < w; ++x) Dest[x] = Luma(Dest[x]);
      return;
    }
    if (!RowPhase(&cinfo_, &s_, reinterpret_cast<JSAMPROW>(Dest))) Fail();
    if (kind_ == TOut::Gray) {
      // Widened in place from the right, so no byte is overwritten before
      // it is read.
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(Dest);
      for (size_t x = w; x-- > 0;) Dest[x] = uint32_t{bytes[x]} * 0x010101u;
    } else {
      for (size_t x = 0; x < w; ++x) Dest[x] &= 0x00FFFFFFu;
    }
  }

  void Finish() override {
    if (!started_ && !StartPhase(&cinfo_, &s_)) Fail();
    started_ = true;
    if (!FinishPhase(&cinfo_, &s_)) Fail();
  }

  int64_t WorkingBytes() const override { return extra_ + static_cast<int64_t>(cmyk_.size()); }

  bool Grey() const { return kind_ == TOut::Gray || (kind_ == TOut::Cmyk && output_.Grayscale); }

 private:
  // The byte source's or the callback's own exception if one was raised,
  // else libjpeg's message.
  [[noreturn]] void Fail() {
    if (s_.pending) std::rethrow_exception(s_.pending);
    throw EInvalidGraphic(std::string(kBadJpeg) + s_.message);
  }

  TJpegOutput output_;
  TJpegState state_;
  jpeg_decompress_struct& cinfo_ = state_.cinfo;
  TJpegSession& s_ = state_.s;
  TOut kind_ = TOut::Bgrx;
  bool started_ = false;
  int64_t extra_ = 0;
  std::vector<uint8_t> cmyk_;
};

}  // namespace

std::unique_ptr<TImageDecoder> OpenJpegDecoder(TByteSource& Source, const TDecodeSetup& Setup,
                                               const TJpegOutput& Output) {
  return std::make_unique<TJpegDecoder>(Source, Setup, Output);
}

bool JpegOutputIsGrey(const TImageDecoder& Decoder) {
  const auto* jpeg = dynamic_cast<const TJpegDecoder*>(&Decoder);
  return jpeg != nullptr && jpeg->Grey();
}

}  // namespace marovia::codecs
