// libtiff's client procedures over byte sources (reading) and streams
// (writing).
#include "tiff_client.h"

#include <cstdarg>
#include <cstdio>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/streams.h"

namespace marovia::tiff {
namespace {

TTiffClient& ClientOf(thandle_t h) {
  return *static_cast<TTiffClient*>(h);
}

extern "C" {

static tmsize_t OnRead(thandle_t h, void* buf, tmsize_t n) {
  TTiffClient& c = ClientOf(h);
  try {
    if (c.Bytes) {
      const size_t got = c.Bytes->ReadAt(c.Position, buf, static_cast<size_t>(n));
      c.Position += got;
      return static_cast<tmsize_t>(got);
    }
    return static_cast<tmsize_t>(c.Stream->Read(buf, n));
  } catch (...) {
    c.Pending = std::current_exception();
    return -1;
  }
}

static tmsize_t OnWrite(thandle_t h, void* buf, tmsize_t n) {
  TTiffClient& c = ClientOf(h);
  if (!c.Stream) return -1;
  try {
    return static_cast<tmsize_t>(c.Stream->Write(buf, n));
  } catch (...) {
    c.Pending = std::current_exception();
    return -1;
  }
}

static toff_t OnSeek(thandle_t h, toff_t off, int whence) {
  TTiffClient& c = ClientOf(h);
  try {
    // Offsets past what a position can hold are refused, not wrapped.
    if (off > uint64_t(INT64_MAX)) return toff_t(-1);
    const int64_t o = static_cast<int64_t>(off);
    if (c.Bytes) {
      int64_t at = 0;
      switch (whence) {
        case SEEK_SET:
          at = o;
          break;
        case SEEK_CUR:
          if (o > INT64_MAX - int64_t(c.Position)) return toff_t(-1);
          at = int64_t(c.Position) + o;
          break;
        case SEEK_END:
          if (o > INT64_MAX - int64_t(c.Bytes->Size())) return toff_t(-1);
          at = int64_t(c.Bytes->Size()) + o;
          break;
        default:
          return toff_t(-1);
      }
      if (at < 0) return toff_t(-1);
      c.Position = uint64_t(at);
      return toff_t(at);
    }
    switch (whence) {
      case SEEK_SET:
        if (o > INT64_MAX - c.Base) return toff_t(-1);
        return toff_t(c.Stream->Seek(c.Base + o, soBeginning) - c.Base);
      case SEEK_CUR:
        return toff_t(c.Stream->Seek(o, soCurrent) - c.Base);
      case SEEK_END:
        return toff_t(c.Stream->Seek(o, soEnd) - c.Base);
      default:
        return toff_t(-1);
    }
  } catch (...) {
    c.Pending = std::current_exception();
    return toff_t(-1);
  }
}

static int OnClose(thandle_t) {
  return 0;
}

static toff_t OnSize(thandle_t h) {
  TTiffClient& c = ClientOf(h);
  try {
    if (c.Bytes) return toff_t(c.Bytes->Size());
    const int64_t size = c.Stream->Size();
    return size > c.Base ? toff_t(size - c.Base) : 0;
  } catch (...) {
    c.Pending = std::current_exception();
    return 0;
  }
}

static int OnMap(thandle_t, void**, toff_t*) {
  return 0;  // no mapping: libtiff reads through OnRead
}

static void OnUnmap(thandle_t, void*, toff_t) {}

static int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  TTiffClient& c = *static_cast<TTiffClient*>(user);
  if (c.Message.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    c.Message = module && *module ? std::string(module) + ": " + text : text;
  }
  return 1;  // handled: the process-wide handler is not called
}

static int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;  // unknown tags and the like: not the caller's concern
}

}  // extern "C"

struct TOptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

}  // namespace

void Raise(const TTiffClient& Client, const char* Prefix, const std::string& Fallback) {
  if (Client.Pending) std::rethrow_exception(Client.Pending);
  throw EInvalidGraphic(std::string(Prefix) + (Client.Message.empty() ? Fallback : Client.Message));
}

TTiffPtr OpenClient(TTiffClient& Client, const char* Mode, const char* Prefix, int64_t MaxAlloc) {
  std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> opts(TIFFOpenOptionsAlloc());
  if (!opts) throw EInvalidGraphic(std::string(Prefix) + "out of memory");
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), OnError, &Client);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), OnWarning, &Client);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), static_cast<tmsize_t>(MaxAlloc));
  // "m": no memory mapping; reading goes through OnRead.
  const std::string mode = std::string(Mode) + "m";
  TIFF* t = TIFFClientOpenExt("TIFF", mode.c_str(), &Client, OnRead, OnWrite, OnSeek, OnClose,
                              OnSize, OnMap, OnUnmap, opts.get());
  if (!t) Raise(Client, Prefix, "not a TIFF file");
  return TTiffPtr(t);
}

}  // namespace marovia::tiff
