// PNG decoding and encoding over libpng.
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

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr const char* kBadPng = "PNG image is not valid: ";

// Everything the phase functions and callbacks touch.
struct Session {
  std::jmp_buf jump;
  char message[256] = {};
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool writing = false;

  // Input: the whole file in memory; pos is what libpng has consumed.
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;

  // Output of the encoder.
  std::vector<uint8_t> out;

  // The header, as libpng validated it.
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;

  const TCodecProgress* callback = nullptr;
  int lastPercent = 0;  // 0 is the starting report, made by the caller
  std::exception_ptr callbackError;

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    // Both are safe on structures that were never created.
    if (writing) {
      png_destroy_write_struct(&png, &info);
    } else {
      png_destroy_read_struct(&png, &info, nullptr);
    }
  }
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

static void OnRead(png_structp p, png_bytep dest, size_t length) {
  Session& s = SessionOf(p, true);
  if (length > s.size - s.pos) png_error(p, "file ends before the image is complete");
  std::memcpy(dest, s.data + s.pos, length);
  s.pos += length;
}

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
bool OpenPhase(Session* s) {
  if (setjmp(s->jump)) return false;
  s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s, OnError, OnWarning);
  if (!s->png) {
    std::snprintf(s->message, sizeof s->message, "cannot start the PNG reader");
    return false;
  }
  s->info = png_create_info_struct(s->png);
  if (!s->info) png_error(s->png, "out of memory");
  png_set_read_fn(s->png, s, OnRead);
  // Only the chunks that decide the pixels are read; text, profiles and
  // the like are skipped, so they cannot cost memory.
  png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(s->png, s->info);
  png_get_IHDR(s->png, s->info, &s->width, &s->height, &s->bitDepth, &s->colorType, &s->interlace,
               nullptr, nullptr);
  return true;
}

// Phase 2: every kind of file to B, G, R, A bytes (one pixel word each),
// then the rows, pass by pass for interlaced files, then the rest of the
// file up to IEND.
bool PixelPhase(Session* s, uint32_t* out) {
  if (setjmp(s->jump)) return false;
  png_set_expand(s->png);    // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  png_set_scale_16(s->png);  // 16 to 8 bits, rounded
  png_set_gray_to_rgb(s->png);
  png_set_bgr(s->png);
  png_set_add_alpha(s->png, 0xFF, PNG_FILLER_AFTER);  // opaque where the file has no alpha
  const int passes = png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  const size_t w = s->width, h = s->height;
  if (png_get_rowbytes(s->png, s->info) != w * 4) png_error(s->png, "unexpected row layout");
  const uint64_t total = uint64_t(passes) * h;
  for (int pass = 0; pass < passes; ++pass) {
    for (size_t y = 0; y < h; ++y) {
      png_read_row(s->png, reinterpret_cast<png_bytep>(out + y * w), nullptr);
      if (!Report(s, uint64_t(pass) * h + y + 1, total)) return false;
    }
  }
  png_read_end(s->png, nullptr);
  return true;
}

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

void CheckSize(uint64_t w, uint64_t h) {
  if (w * h > uint64_t(kMaxImagePixels)) {
    throw EInvalidGraphic(std::string(kBadPng) + "image of " + std::to_string(w) + " x " +
                          std::to_string(h) + " pixels is too large");
  }
}

// Opens the file and checks the declared size; the session is then ready
// for the pixels.
void Open(Session& s, const uint8_t* data, size_t size) {
  if (!Probe(data, size)) throw EInvalidGraphic(std::string(kBadPng) + "no PNG signature");
  s.data = data;
  s.size = size;
  if (!OpenPhase(&s)) RaiseFrom(s, kBadPng);
  CheckSize(s.width, s.height);
}

// Transparent pixels over white paper: c' = (c a + 255 (255 - a)) / 255,
// rounded. Opaque pixels only lose their alpha byte.
void CompositeOverWhite(std::vector<uint32_t>& px) {
  for (uint32_t& p : px) {
    const uint32_t a = p >> 24;
    if (a == 255) {
      p &= 0x00FFFFFFu;
      continue;
    }
    const uint32_t white = 255 * (255 - a) + 127;
    const uint32_t r = ((p >> 16 & 0xFF) * a + white) / 255;
    const uint32_t g = ((p >> 8 & 0xFF) * a + white) / 255;
    const uint32_t b = ((p & 0xFF) * a + white) / 255;
    p = r << 16 | g << 8 | b;
  }
}

}  // namespace

bool Probe(const uint8_t* Data, size_t Size) {
  return Size >= sizeof kSignature && std::memcmp(Data, kSignature, sizeof kSignature) == 0;
}

Header ReadHeader(const uint8_t* Data, size_t Size) {
  Session s;
  Open(s, Data, Size);
  Header h;
  h.Width = static_cast<int>(s.width);
  h.Height = static_cast<int>(s.height);
  h.BitDepth = s.bitDepth;
  h.ColorType = s.colorType;
  h.Interlaced = s.interlace != PNG_INTERLACE_NONE;
  return h;
}

Image Decode(const uint8_t* Data, size_t Size, const TCodecProgress& OnProgress) {
  Session s;
  Open(s, Data, Size);
  // The size is known and accepted before anything is allocated or decoded.
  Image img;
  img.Width = static_cast<int>(s.width);
  img.Height = static_cast<int>(s.height);
  img.Pixels.resize(size_t(s.width) * size_t(s.height));
  s.callback = &OnProgress;
  if (!PixelPhase(&s, img.Pixels.data())) RaiseFrom(s, kBadPng);
  CompositeOverWhite(img.Pixels);
  img.UsedBytes = s.pos;
  return img;
}

std::vector<uint8_t> Encode(const uint32_t* Pixels, int Width, int Height, int Level,
                            const TCodecProgress& OnProgress) {
  if (Width <= 0 || Height <= 0) {
    throw EInvalidGraphic("Cannot write a PNG image of " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  }
  Session s;
  s.writing = true;
  s.callback = &OnProgress;
  if (!EncodePhase(&s, Pixels, Width, Height, std::clamp(Level, 0, 9))) {
    RaiseFrom(s, "Cannot write PNG image: ");
  }
  return std::move(s.out);
}

}  // namespace marovia::png
