// JPEG encoding over libjpeg.
//
// libjpeg reports fatal errors through error_exit, which must not return. We
// longjmp from there back to a setjmp in one of the "phase" functions below.
// A longjmp skips destructors, so those functions hold no object with a
// destructor: all state (libjpeg structures, buffers, the callback's pending
// exception) lives in a Session owned by the calling C++ code, which releases
// it in its destructor whatever happened. Exceptions never cross libjpeg's C
// frames: the progress callback's exceptions are caught in the monitor, kept
// in the session and rethrown once libjpeg has been left.
#include "jpeg_codec.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <jpeglib.h>
// jpeglib.h must come first.
#include <jerror.h>

#include "marovia/platform/bmpcodec.h"

namespace marovia::jpg {
namespace {

static_assert(std::endian::native == std::endian::little,
              "pixel words 0x00RRGGBB are handed to libjpeg as bytes B, G, R, X");

// Everything a phase function needs besides libjpeg's own structure.
struct Session {
  jpeg_error_mgr err;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
  const TCodecProgress* callback = nullptr;
  int lastPercent = 0;  // 0 is the starting report, made by the caller
  std::exception_ptr callbackError;
};

Session& SessionOf(j_common_ptr c) {
  return *static_cast<Session*>(c->client_data);
}

extern "C" {

static void OnErrorExit(j_common_ptr c) {
  Session& s = SessionOf(c);
  (*c->err->format_message)(c, s.message);
  std::longjmp(s.jump, 1);
}

// Warnings (level -1) are counted, trace messages dropped; nothing is
// printed. Running out of data is fatal: libjpeg would otherwise fill the
// rest of the image with grey and report success.
static void OnEmitMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  if (c->err->msg_code == JWRN_JPEG_EOF) OnErrorExit(c);
  ++c->err->num_warnings;
}

static void OnOutputMessage(j_common_ptr) {}

static void OnProgressMonitor(j_common_ptr c) {
  Session& s = SessionOf(c);
  const jpeg_progress_mgr* p = c->progress;
  if (!s.callback || !*s.callback || p->pass_limit <= 0 || p->total_passes <= 0) return;
  const long done = p->completed_passes * 100L + p->pass_counter * 100L / p->pass_limit;
  int percent = static_cast<int>(done / p->total_passes);
  if (percent > 99) percent = 99;  // 100 is reported once the work is done
  if (percent <= s.lastPercent) return;
  s.lastPercent = percent;
  try {
    (*s.callback)(percent);
  } catch (...) {
    s.callbackError = std::current_exception();
  }
  if (s.callbackError) {
    std::snprintf(s.message, sizeof s.message, "aborted by the progress handler");
    std::longjmp(s.jump, 1);
  }
}

}  // extern "C"

void InitSession(Session& s, j_common_ptr c, const TCodecProgress* cb) {
  c->err = jpeg_std_error(&s.err);
  s.err.error_exit = OnErrorExit;
  s.err.emit_message = OnEmitMessage;
  s.err.output_message = OnOutputMessage;
  c->client_data = &s;
  s.callback = cb;
  s.progress.progress_monitor = OnProgressMonitor;
}

// Fails with the callback's own exception if it threw, else with libjpeg's
// message.
[[noreturn]] void RaiseFrom(const Session& s, const char* prefix) {
  if (s.callbackError) std::rethrow_exception(s.callbackError);
  throw EInvalidGraphic(std::string(prefix) + s.message);
}

class Compressor {
 public:
  explicit Compressor(const TCodecProgress* cb) {
    std::memset(&cinfo, 0, sizeof cinfo);
    InitSession(s, reinterpret_cast<j_common_ptr>(&cinfo), cb);
  }
  ~Compressor() {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);  // allocated by libjpeg's memory destination
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  jpeg_compress_struct cinfo;
  Session s;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

bool EncodePhase(Compressor* c, const uint32_t* px, int w, int h, int quality, bool gray,
                 bool progressive) {
  if (setjmp(c->s.jump)) return false;
  jpeg_create_compress(&c->cinfo);
  jpeg_mem_dest(&c->cinfo, &c->buffer, &c->size);
  c->cinfo.image_width = static_cast<JDIMENSION>(w);
  c->cinfo.image_height = static_cast<JDIMENSION>(h);
  c->cinfo.input_components = 4;
  c->cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c->cinfo);
  jpeg_set_quality(&c->cinfo, quality, TRUE);
  if (gray) jpeg_set_colorspace(&c->cinfo, JCS_GRAYSCALE);
  if (progressive) jpeg_simple_progression(&c->cinfo);
  c->cinfo.progress = &c->s.progress;
  jpeg_start_compress(&c->cinfo, TRUE);
  while (c->cinfo.next_scanline < c->cinfo.image_height) {
    // libjpeg reads but never writes the rows it is given.
    JSAMPROW row = reinterpret_cast<JSAMPROW>(
        const_cast<uint32_t*>(px + size_t(c->cinfo.next_scanline) * size_t(w)));
    jpeg_write_scanlines(&c->cinfo, &row, 1);
  }
  jpeg_finish_compress(&c->cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Quality,
                            bool Grayscale, bool Progressive, const TCodecProgress& OnProgress) {
  if (Width <= 0 || Height <= 0) {
    throw EInvalidGraphic("Cannot write a JPEG image of " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  }
  Quality = Quality < 1 ? 1 : Quality > 100 ? 100 : Quality;
  Compressor c(&OnProgress);
  if (!EncodePhase(&c, Pixels, Width, Height, Quality, Grayscale, Progressive)) {
    RaiseFrom(c.s, "Cannot write JPEG image: ");
  }
  return std::vector<uint8_t>(c.buffer, c.buffer + c.size);
}

}  // namespace marovia::jpg
