// The PNG decoder over libpng: the header, then one row at a time.
//
// Every kind of file becomes B, G, R, A bytes: palette, grey and low bit
// depths expanded, 16-bit samples scaled to 8 bits (rounded), a tRNS chunk
// turned into alpha; transparency is then laid over white. Gamma, colour
// profiles, text and every other ancillary chunk are skipped unread, so
// they cost neither memory nor time. Interlaced files deliver their rows in
// seven passes over the whole image, so they are decoded whole when the
// decoder opens (their header tells the caller's check so).
//
// libpng reports fatal errors through an error function that must not
// return; ours longjmps back to the setjmp of the phase function that
// called libpng. Those functions and the callbacks hold no object with a
// destructor; all state lives in a TPngState released by its destructor.
// The byte source's exceptions are caught in the read callback and raised
// again once libpng has been left.
#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "image_decoder.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia::codecs {
namespace {

static_assert(std::endian::native == std::endian::little,
              "pixel words 0x00RRGGBB are read from libpng as bytes B, G, R, A");

constexpr const char* kBadPng = "PNG image is not valid: ";
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kInputBuffer = 64 * 1024;

struct TPngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::jmp_buf jump;
  char message[256] = {};
  // Input: bytes [at, end) of buffer are the next ones; next is the source
  // offset just past the buffer; consumed counts what libpng has taken.
  TByteSource* bytes = nullptr;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kInputBuffer);
  size_t at = 0, end = 0;
  uint64_t next = 0, consumed = 0;
  std::exception_ptr pending;
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  TPngState() = default;
  TPngState(const TPngState&) = delete;
  TPngState& operator=(const TPngState&) = delete;
  ~TPngState() { png_destroy_read_struct(&png, &info, nullptr); }  // safe on null structures
};

extern "C" {

static void OnPngError(png_structp p, png_const_charp msg) {
  auto& s = *static_cast<TPngState*>(png_get_error_ptr(p));
  std::snprintf(s.message, sizeof s.message, "%s", msg ? msg : "unknown error");
  std::longjmp(s.jump, 1);
}

// Warnings (ancillary chunk damage, benign errors) are not printed.
static void OnPngWarning(png_structp, png_const_charp) {}

static void OnPngRead(png_structp p, png_bytep dest, size_t length) {
  auto& s = *static_cast<TPngState*>(png_get_io_ptr(p));
  bool failed = false;
  size_t done = 0;
  try {
    while (done < length) {
      if (s.at == s.end) {
        s.at = 0;
        s.end = s.bytes->ReadAt(s.next, s.buffer.data(), s.buffer.size());
        s.next += s.end;
        if (s.end == 0) break;
      }
      const size_t n = std::min(length - done, s.end - s.at);
      std::memcpy(dest + done, s.buffer.data() + s.at, n);
      s.at += n;
      done += n;
    }
  } catch (...) {
    s.pending = std::current_exception();
    failed = true;
  }
  // png_error is called outside the handler: a longjmp must not leave one.
  if (failed) png_error(p, "the file cannot be read");
  s.consumed += done;
  if (done < length) png_error(p, "file ends before the image is complete");
}

}  // extern "C"

// Signature and header; libpng validates the header fields and the side
// limits here. Nothing large is allocated yet.
bool HeaderPhase(TPngState* s, png_uint_32 maxSide) {
  if (setjmp(s->jump)) return false;
  s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s, OnPngError, OnPngWarning);
  if (!s->png) {
    std::snprintf(s->message, sizeof s->message, "cannot start the PNG reader");
    return false;
  }
  s->info = png_create_info_struct(s->png);
  if (!s->info) png_error(s->png, "out of memory");
  png_set_read_fn(s->png, s, OnPngRead);
  png_set_user_limits(s->png, maxSide, maxSide);
  png_set_keep_unknown_chunks(s->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(s->png, s->info);
  png_get_IHDR(s->png, s->info, &s->width, &s->height, &s->bitDepth, &s->colorType, &s->interlace,
               nullptr, nullptr);
  return true;
}

// Transformations; libpng allocates (and clears) its row buffers here, so
// this comes after the caller's size check.
bool SetupPhase(TPngState* s, int* passes) {
  if (setjmp(s->jump)) return false;
  png_set_expand(s->png);    // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  png_set_scale_16(s->png);  // 16 to 8 bits, rounded
  png_set_gray_to_rgb(s->png);
  png_set_bgr(s->png);
  png_set_add_alpha(s->png, 0xFF, PNG_FILLER_AFTER);  // opaque where the file has no alpha
  *passes = png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  if (png_get_rowbytes(s->png, s->info) != size_t(s->width) * 4)
    png_error(s->png, "unexpected row layout");
  return true;
}

bool RowPhase(TPngState* s, png_bytep row) {
  if (setjmp(s->jump)) return false;
  png_read_row(s->png, row, nullptr);
  return true;
}

bool EndPhase(TPngState* s) {
  if (setjmp(s->jump)) return false;
  png_read_end(s->png, nullptr);
  return true;
}

// Transparent pixels over white paper: c' = (c a + 255 (255 - a)) / 255,
// rounded. Opaque pixels only lose their alpha byte.
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

class TPngDecoder : public TImageDecoder {
 public:
  TPngDecoder(TByteSource& Source, const TDecodeSetup& Setup) {
    uint8_t signature[8] = {};
    if (Source.ReadAt(0, signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
      throw EInvalidGraphic(std::string(kBadPng) + "no PNG signature");
    s_.bytes = &Source;
    if (!HeaderPhase(&s_, Setup.MaxPngSide)) Fail();
    const int64_t w = s_.width, h = s_.height;
    const bool interlaced = s_.interlace != PNG_INTERLACE_NONE;
    // libpng's own row buffers: up to 8 bytes a pixel, twice; an interlaced
    // image whole besides.
    const int64_t whole = interlaced ? 4 * w * h : 0;
    if (Setup.Accept) Setup.Accept(TImageHeader{"PNG", w, h, 16 * w + whole});
    int passes = 1;
    if (!SetupPhase(&s_, &passes)) Fail();
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    if (interlaced) ReadInterlaced(passes, Setup.Progress);
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

  void Finish() override {
    if (!EndPhase(&s_)) Fail();
  }

  uint64_t BytesUsed() const override { return s_.consumed; }

  int64_t WorkingBytes() const override {
    return static_cast<int64_t>(whole_.size()) * 4 + 16 * int64_t{width_} + kInputBuffer;
  }

 private:
  // The passes row by row into the whole image, reporting progress between
  // rows (outside libpng).
  void ReadInterlaced(int Passes, TWorkProgress* Progress) {
    const size_t w = s_.width, h = s_.height;
    whole_.resize(w * h);
    const uint64_t total = uint64_t(Passes) * h;
    for (int pass = 0; pass < Passes; ++pass) {
      for (size_t y = 0; y < h; ++y) {
        if (!RowPhase(&s_, reinterpret_cast<png_bytep>(whole_.data() + y * w))) Fail();
        if (Progress) Progress->Report(uint64_t(pass) * h + y + 1, total);
      }
    }
  }

  [[noreturn]] void Fail() {
    if (s_.pending) std::rethrow_exception(s_.pending);
    throw EInvalidGraphic(std::string(kBadPng) + s_.message);
  }

  TPngState s_;
  std::vector<uint32_t> whole_;  // interlaced images only
  int next_ = 0;
};

}  // namespace

std::unique_ptr<TImageDecoder> OpenPngDecoder(TByteSource& Source, const TDecodeSetup& Setup) {
  return std::make_unique<TPngDecoder>(Source, Setup);
}

}  // namespace marovia::codecs
