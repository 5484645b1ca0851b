// PNG encoding over libpng.
//
// libpng reports fatal errors through an error function that must not
// return. Ours longjmps back to a setjmp in one of the "phase" functions
// below. A longjmp skips destructors, so those functions and the callbacks
// libpng calls hold no object with a destructor: all state (libpng's
// structures, the input position, the output bytes, the callback's pending
// exception) lives in a Session owned by the calling C++ code, which
// releases it in its destructor whatever happened. Exceptions never cross
// libpng's C frames: the progress callback runs between rows, outside libpng,
// and the output callback catches allocation failures and reports them as a
// libpng error.
#include "png_codec.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "marovia/platform/bmpcodec.h"

namespace marovia::png {
namespace {

static_assert(std::endian::native == std::endian::little,
              "pixel words 0x00RRGGBB are exchanged with libpng as bytes B, G, R, X");


// Everything the phase functions and callbacks touch.
struct Session {
  std::jmp_buf jump;
  char message[256] = {};
  png_structp png = nullptr;
  png_infop info = nullptr;

  // Output of the encoder.
  std::vector<uint8_t> out;

  const TCodecProgress* callback = nullptr;
  int lastPercent = 0;  // 0 is the starting report, made by the caller
  std::exception_ptr callbackError;

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() { png_destroy_write_struct(&png, &info); }  // safe on structures never created
};

Session& SessionOf(png_structp p, bool io) {
  return *static_cast<Session*>(io ? png_get_io_ptr(p) : png_get_error_ptr(p));
}

extern "C" {

static void OnError(png_structp p, png_const_charp msg) {
  Session& s = SessionOf(p, false);
  std::snprintf(s.message, sizeof s.message, "%s", msg ? msg : "unknown error");
  std::longjmp(s.jump, 1);
}

// Warnings (ancillary chunk damage, benign errors) are not printed.
static void OnWarning(png_structp, png_const_charp) {}

static void OnWrite(png_structp p, png_bytep bytes, size_t length) {
  Session& s = SessionOf(p, true);
  bool failed = false;
  try {
    s.out.insert(s.out.end(), bytes, bytes + length);
  } catch (...) {
    failed = true;  // png_error is called outside the handler: a longjmp must not leave one
  }
  if (failed) png_error(p, "out of memory");
}

static void OnFlush(png_structp) {}

}  // extern "C"

// Reports a share of the rows done; false when the callback threw (its
// exception is kept for the caller).
bool Report(Session* s, uint64_t done, uint64_t total) {
  if (!s->callback || !*s->callback || total == 0) return true;
  int percent = static_cast<int>(done * 100 / total);
  if (percent > 99) percent = 99;  // 100 is reported once the work is done
  if (percent <= s->lastPercent) return true;
  s->lastPercent = percent;
  try {
    (*s->callback)(percent);
  } catch (...) {
    s->callbackError = std::current_exception();
  }
  if (!s->callbackError) return true;
  std::snprintf(s->message, sizeof s->message, "aborted by the progress handler");
  return false;
}

// Phase 1: signature and header; libpng validates the header fields and
// its own width and height limits here. Nothing large is allocated yet.
bool EncodePhase(Session* s, const uint32_t* px, int w, int h, int level) {
  if (setjmp(s->jump)) return false;
  s->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, s, OnError, OnWarning);
  if (!s->png) {
    std::snprintf(s->message, sizeof s->message, "cannot start the PNG writer");
    return false;
  }
  s->info = png_create_info_struct(s->png);
  if (!s->info) png_error(s->png, "out of memory");
  png_set_write_fn(s->png, s, OnWrite, OnFlush);
  png_set_IHDR(s->png, s->info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(s->png, level);
  png_write_info(s->png, s->info);
  png_set_bgr(s->png);
  png_set_filler(s->png, 0, PNG_FILLER_AFTER);  // the unused top byte of each word
  for (int y = 0; y < h; ++y) {
    png_write_row(s->png, reinterpret_cast<png_const_bytep>(px + size_t(y) * size_t(w)));
    if (!Report(s, uint64_t(y) + 1, uint64_t(h))) return false;
  }
  png_write_end(s->png, nullptr);
  return true;
}

// Fails with the callback's own exception if it threw, else with libpng's
// message.
[[noreturn]] void RaiseFrom(const Session& s, const char* prefix) {
  if (s.callbackError) std::rethrow_exception(s.callbackError);
  throw EInvalidGraphic(std::string(prefix) + s.message);
}

}  // namespace

std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Level,
                            const TCodecProgress& OnProgress) {
  if (Width <= 0 || Height <= 0) {
    throw EInvalidGraphic("Cannot write a PNG image of " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  }
  Session s;
  s.callback = &OnProgress;
  if (!EncodePhase(&s, Pixels, Width, Height, std::clamp(Level, 0, 9))) {
    RaiseFrom(s, "Cannot write PNG image: ");
  }
  return std::move(s.out);
}

}  // namespace marovia::png
