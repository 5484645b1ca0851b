// libtiff over our byte sources and streams.
//
// libtiff reports failures through return values, so C++ code may call it
// freely; only the client procedures are called back from its C frames.
// They catch every exception of the source or stream, keep it in the
// TTiffClient and answer failure, and the caller raises it again once
// libtiff has returned (Raise). Error and warning handlers are given to each
// open file through its open options, so that two files handled in two
// threads never share a handler or a message buffer: errors become the
// reason of the EInvalidGraphic raised, warnings are dropped.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "image_decoder.h"

namespace marovia {
class TStream;

namespace tiff {

// What the client procedures and handlers share with the caller. Exactly
// one of Bytes (reading) and Stream (writing) is set.
struct TTiffClient {
  codecs::TByteSource* Bytes = nullptr;
  uint64_t Position = 0;  // of reading, in Bytes
  TStream* Stream = nullptr;
  int64_t Base = 0;  // stream position of the file's first byte
  std::exception_ptr Pending;
  std::string Message;  // libtiff's first error
};

struct TTiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

// Opens the file of Client in Mode ("r" or "w"), libtiff allocating at most
// MaxAlloc bytes at once. Failure raises as Raise does.
TTiffPtr OpenClient(TTiffClient& Client, const char* Mode, const char* Prefix, int64_t MaxAlloc);

// Raises the source's or stream's own exception if it failed, else
// EInvalidGraphic with Prefix and libtiff's message (or Fallback when
// libtiff gave none).
[[noreturn]] void Raise(const TTiffClient& Client, const char* Prefix, const std::string& Fallback);

}  // namespace tiff
}  // namespace marovia
