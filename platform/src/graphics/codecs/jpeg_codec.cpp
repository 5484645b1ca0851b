// JPEG decoding and encoding over libjpeg.
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

constexpr const char* kBadJpeg = "JPEG image is not valid: ";

class Decompressor {
 public:
  explicit Decompressor(const TCodecProgress* cb) {
    std::memset(&cinfo, 0, sizeof cinfo);
    InitSession(s, reinterpret_cast<j_common_ptr>(&cinfo), cb);
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }  // safe on a failed create
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct cinfo;
  Session s;
};

enum class OutKind { Bgrx, Gray, Cmyk };

// Phase 1: header and output parameters.
bool OpenPhase(Decompressor* d, const uint8_t* data, size_t size, const DecodeOptions* o,
               OutKind* kind) {
  if (setjmp(d->s.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->cinfo, TRUE);
  d->cinfo.scale_num = 1;
  d->cinfo.scale_denom = static_cast<unsigned>(o->ScaleDenom);
  if (o->Fast) {
    d->cinfo.dct_method = JDCT_IFAST;
    d->cinfo.do_fancy_upsampling = FALSE;
  }
  const J_COLOR_SPACE in = d->cinfo.jpeg_color_space;
  if (in == JCS_CMYK || in == JCS_YCCK) {
    // libjpeg converts YCCK to CMYK but not CMYK to RGB: done here.
    d->cinfo.out_color_space = JCS_CMYK;
    *kind = OutKind::Cmyk;
  } else if (in == JCS_GRAYSCALE || o->Grayscale) {
    d->cinfo.out_color_space = JCS_GRAYSCALE;
    *kind = OutKind::Gray;
  } else {
    d->cinfo.out_color_space = JCS_EXT_BGRX;
    *kind = OutKind::Bgrx;
  }
  jpeg_calc_output_dimensions(&d->cinfo);
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

// Phase 2: decompress into out (output_width * output_height words). Grey
// and CMYK rows are read into the start of their row and widened in place,
// from the right so that no byte is overwritten before it is read.
bool PixelPhase(Decompressor* d, uint32_t* out, OutKind kind) {
  if (setjmp(d->s.jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  const size_t w = d->cinfo.output_width;
  const bool inverted = d->cinfo.saw_Adobe_marker;
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    uint32_t* px = out + size_t(d->cinfo.output_scanline) * w;
    JSAMPROW row = reinterpret_cast<JSAMPROW>(px);
    if (jpeg_read_scanlines(&d->cinfo, &row, 1) != 1) break;  // finish reports it
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(px);
    if (kind == OutKind::Gray) {
      for (size_t x = w; x-- > 0;) px[x] = uint32_t{bytes[x]} * 0x010101u;
    } else if (kind == OutKind::Cmyk) {
      for (size_t x = 0; x < w; ++x) px[x] = CmykToPixel(bytes + 4 * x, inverted);
    } else {
      for (size_t x = 0; x < w; ++x) px[x] &= 0x00FFFFFFu;
    }
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

// The limit holds for the image as stored, not only for the scaled output:
// libjpeg keeps a coefficient buffer of the full image for progressive files
// however small the output, so a header of 65500 x 65500 decoded at 1/8 would
// otherwise make it allocate and clear gigabytes.
void CheckSize(uint64_t w, uint64_t h) {
  if (w * h > uint64_t(kMaxImagePixels)) {
    throw EInvalidGraphic(std::string(kBadJpeg) + "image of " + std::to_string(w) + " x " +
                          std::to_string(h) + " pixels is too large");
  }
}

int Denominator(int d) {
  return d >= 8 ? 8 : d >= 4 ? 4 : d >= 2 ? 2 : 1;
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

Header ReadHeader(const uint8_t* Data, size_t Size, const DecodeOptions& Options) {
  Decompressor d(nullptr);
  DecodeOptions o = Options;
  o.ScaleDenom = Denominator(o.ScaleDenom);
  OutKind kind = OutKind::Bgrx;
  if (!OpenPhase(&d, Data, Size, &o, &kind)) RaiseFrom(d.s, kBadJpeg);
  CheckSize(d.cinfo.image_width, d.cinfo.image_height);
  CheckSize(d.cinfo.output_width, d.cinfo.output_height);
  Header h;
  h.Width = static_cast<int>(d.cinfo.output_width);
  h.Height = static_cast<int>(d.cinfo.output_height);
  h.Components = d.cinfo.num_components;
  h.Gray = kind == OutKind::Gray;
  return h;
}

Image Decode(const uint8_t* Data, size_t Size, const DecodeOptions& Options,
             const TCodecProgress& OnProgress) {
  Decompressor d(&OnProgress);
  DecodeOptions o = Options;
  o.ScaleDenom = Denominator(o.ScaleDenom);
  OutKind kind = OutKind::Bgrx;
  if (!OpenPhase(&d, Data, Size, &o, &kind)) RaiseFrom(d.s, kBadJpeg);
  // The size is known before anything is allocated or decoded.
  CheckSize(d.cinfo.image_width, d.cinfo.image_height);
  CheckSize(d.cinfo.output_width, d.cinfo.output_height);
  Image img;
  img.Width = static_cast<int>(d.cinfo.output_width);
  img.Height = static_cast<int>(d.cinfo.output_height);
  img.Pixels.resize(size_t(img.Width) * size_t(img.Height));
  d.cinfo.progress = &d.s.progress;
  if (!PixelPhase(&d, img.Pixels.data(), kind)) RaiseFrom(d.s, kBadJpeg);
  img.Gray = kind == OutKind::Gray;
  if (o.Grayscale && kind == OutKind::Cmyk) {
    for (uint32_t& p : img.Pixels) {
      const uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
      p = ((r * 299 + g * 587 + b * 114 + 500) / 1000) * 0x010101u;
    }
    img.Gray = true;
  }
  return img;
}

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
