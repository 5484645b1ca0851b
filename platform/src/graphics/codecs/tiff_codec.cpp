// TIFF decoding and encoding over libtiff.
//
// libtiff reports failures through return values, so C++ code may call it
// freely; only the client procedures below are called back from its C
// frames. They catch every exception of the stream, keep it in the Session
// and answer failure, and the caller raises it again once libtiff has
// returned. Error and warning handlers are given to each open file through
// its open options, so that two files decoded in two threads never share a
// handler or a message buffer.
#include "tiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/streams.h"

namespace marovia::tiff {
namespace {

static_assert(std::endian::native == std::endian::little,
              "libtiff's RGBA words are read as bytes R, G, B, A");

constexpr const char* kBadTiff = "TIFF image is not valid: ";
constexpr const char* kCannotWrite = "Cannot write TIFF image: ";
constexpr uint32_t kTileSize = 256;
// Largest single buffer libtiff may allocate for one file: a strip or tile
// of a hostile file declaring absurd sample counts fails here instead of
// exhausting memory. A whole 16-bit RGBA strip of an image at the pixel
// limit stays below it only when it is cut into strips, as writers do.
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{1} << 30;

// What the client procedures and handlers share with the caller.
struct Session {
  TStream* stream = nullptr;
  int64_t base = 0;  // stream position of the file's first byte
  std::exception_ptr streamError;
  std::string message;  // libtiff's first error
};

Session& SessionOf(thandle_t h) {
  return *static_cast<Session*>(h);
}

extern "C" {

static tmsize_t OnRead(thandle_t h, void* buf, tmsize_t n) {
  Session& s = SessionOf(h);
  try {
    return static_cast<tmsize_t>(s.stream->Read(buf, n));
  } catch (...) {
    s.streamError = std::current_exception();
    return -1;
  }
}

static tmsize_t OnWrite(thandle_t h, void* buf, tmsize_t n) {
  Session& s = SessionOf(h);
  try {
    return static_cast<tmsize_t>(s.stream->Write(buf, n));
  } catch (...) {
    s.streamError = std::current_exception();
    return -1;
  }
}

static toff_t OnSeek(thandle_t h, toff_t off, int whence) {
  Session& s = SessionOf(h);
  try {
    // Offsets past what a stream position can hold are refused, not wrapped.
    if (off > uint64_t(INT64_MAX)) return toff_t(-1);
    const int64_t o = static_cast<int64_t>(off);
    switch (whence) {
      case SEEK_SET:
        if (o > INT64_MAX - s.base) return toff_t(-1);
        return toff_t(s.stream->Seek(s.base + o, soBeginning) - s.base);
      case SEEK_CUR:
        return toff_t(s.stream->Seek(o, soCurrent) - s.base);
      case SEEK_END:
        return toff_t(s.stream->Seek(o, soEnd) - s.base);
      default:
        return toff_t(-1);
    }
  } catch (...) {
    s.streamError = std::current_exception();
    return toff_t(-1);
  }
}

static int OnClose(thandle_t) {
  return 0;
}

static toff_t OnSize(thandle_t h) {
  Session& s = SessionOf(h);
  try {
    const int64_t size = s.stream->Size();
    return size > s.base ? toff_t(size - s.base) : 0;
  } catch (...) {
    s.streamError = std::current_exception();
    return 0;
  }
}

static int OnMap(thandle_t, void**, toff_t*) {
  return 0;  // no mapping: libtiff reads through OnRead
}

static void OnUnmap(thandle_t, void*, toff_t) {}

static int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  Session& s = *static_cast<Session*>(user);
  if (s.message.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    s.message = module && *module ? std::string(module) + ": " + text : text;
  }
  return 1;  // handled: the process-wide handler is not called
}

static int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;  // unknown tags and the like: not the caller's concern
}

}  // extern "C"

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffDeleter {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffDeleter>;

// Raises the stream's own exception if it failed, else the libtiff message
// (or Fallback when libtiff gave none).
[[noreturn]] void Raise(const Session& s, const char* prefix, const std::string& fallback) {
  if (s.streamError) std::rethrow_exception(s.streamError);
  throw EInvalidGraphic(std::string(prefix) + (s.message.empty() ? fallback : s.message));
}

TiffPtr Open(Session& s, const char* mode, const char* prefix) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> opts(TIFFOpenOptionsAlloc());
  if (!opts) throw EInvalidGraphic(std::string(prefix) + "out of memory");
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), OnError, &s);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), OnWarning, &s);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), kMaxSingleAlloc);
  TIFF* t = TIFFClientOpenExt("TIFF", mode, &s, OnRead, OnWrite, OnSeek, OnClose, OnSize, OnMap,
                              OnUnmap, opts.get());
  if (!t) Raise(s, prefix, "not a TIFF file");
  return TiffPtr(t);
}

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

struct RgbaDeleter {
  void operator()(TIFFRGBAImage* img) const { TIFFRGBAImageEnd(img); }
};

// Rows decoded per call: whole strips or rows of tiles, at least 64 rows, so
// that no strip or tile is decoded twice and progress is reported often.
uint32_t RowsPerChunk(TIFF* t, uint32_t height) {
  uint32_t unit = 0;
  if (TIFFIsTiled(t)) {
    TIFFGetField(t, TIFFTAG_TILELENGTH, &unit);
  } else {
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &unit);
  }
  if (unit == 0 || unit >= height) return height;
  const uint64_t chunk = (uint64_t(63) / unit + 1) * unit;
  return static_cast<uint32_t>(std::min<uint64_t>(chunk, height));
}

// libtiff's words are R, G, B, A bytes with the colours premultiplied by
// alpha; over white paper a colour becomes c + (255 - a).
void ToRgbOverWhite(uint32_t* px, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = px[i];
    const uint32_t paper = 255 - (p >> 24);
    const uint32_t r = std::min<uint32_t>((p & 0xFF) + paper, 255);
    const uint32_t g = std::min<uint32_t>((p >> 8 & 0xFF) + paper, 255);
    const uint32_t b = std::min<uint32_t>((p >> 16 & 0xFF) + paper, 255);
    px[i] = r << 16 | g << 8 | b;
  }
}

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

bool Probe(const uint8_t* Data, size_t Size) {
  if (Size < 4) return false;
  if (Data[0] == 'I' && Data[1] == 'I') return Data[3] == 0 && (Data[2] == 42 || Data[2] == 43);
  if (Data[0] == 'M' && Data[1] == 'M') return Data[2] == 0 && (Data[3] == 42 || Data[3] == 43);
  return false;
}

Image Decode(TStream& Stream, const TCodecProgress& OnProgress) {
  Session s;
  s.stream = &Stream;
  s.base = Stream.Position();
  TiffPtr t = Open(s, "rm", kBadTiff);
  uint32_t w = 0, h = 0;
  if (!TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &w) ||
      !TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &h) || w == 0 || h == 0) {
    Raise(s, kBadTiff, "no image size");
  }
  if (uint64_t(w) * h > uint64_t(kMaxImagePixels) || w > uint32_t(INT32_MAX) ||
      h > uint32_t(INT32_MAX)) {
    throw EInvalidGraphic(std::string(kBadTiff) + "image of " + std::to_string(w) + " x " +
                          std::to_string(h) + " pixels is too large");
  }
  char emsg[1024] = {};
  if (!TIFFRGBAImageOK(t.get(), emsg)) Raise(s, kBadTiff, emsg);
  TIFFRGBAImage rgba{};
  if (!TIFFRGBAImageBegin(&rgba, t.get(), 0, emsg)) Raise(s, kBadTiff, emsg);
  std::unique_ptr<TIFFRGBAImage, RgbaDeleter> guard(&rgba);
  rgba.req_orientation = ORIENTATION_TOPLEFT;
  // Complaints the directory survived are not held against the pixels.
  s.message.clear();

  // The size is known and accepted before the pixels are allocated.
  Image img;
  img.Width = static_cast<int>(w);
  img.Height = static_cast<int>(h);
  img.Pixels.resize(size_t(w) * h);
  Progress progress(OnProgress);
  const uint32_t chunk = RowsPerChunk(t.get(), h);
  for (uint32_t y = 0; y < h; y += chunk) {
    const uint32_t rows = std::min(chunk, h - y);
    rgba.row_offset = static_cast<int>(y);
    rgba.col_offset = 0;
    uint32_t* dst = img.Pixels.data() + size_t(y) * w;
    if (!TIFFRGBAImageGet(&rgba, dst, w, rows)) Raise(s, kBadTiff, "damaged image data");
    // libtiff keeps going over some damaged strips and only reports them.
    if (s.streamError || !s.message.empty()) Raise(s, kBadTiff, "damaged image data");
    ToRgbOverWhite(dst, size_t(w) * rows);
    progress.Report(y + rows, h);
  }
  return img;
}

void Encode(TStream& Stream, const uint32_t* Pixels, int Width, int Height, int Level,
            std::span<const TTiffField> Extra, const TCodecProgress& OnProgress) {
  if (Width <= 0 || Height <= 0) {
    throw EInvalidGraphic("Cannot write a TIFF image of " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  }
  Session s;
  s.stream = &Stream;
  s.base = Stream.Position();
  TiffPtr t = Open(s, "w", kCannotWrite);
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
  if (!TIFFWriteDirectory(tf) || s.streamError) Raise(s, kCannotWrite, "write failed");
  t.reset();
  if (s.streamError) Raise(s, kCannotWrite, "write failed");
}

}  // namespace marovia::tiff
