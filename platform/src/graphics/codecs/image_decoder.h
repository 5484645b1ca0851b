// One decoder per image format (JPEG, PNG, TIFF, BMP), with one small face:
// open (header read and checked, nothing of the image's size allocated yet),
// then the rows top-down, then Finish. The image classes decode whole
// images through DecodeWhole, the image pyramid streams the same rows into
// its levels: both see the same pixels.
//
// Pixels are 0x00RRGGBB words. Transparency is laid over white paper, as a
// transparent map margin looks on a printed sheet.
//
// Errors: EInvalidGraphic ("<format> image is not valid: <reason>", without
// the file's name, which the caller adds); the byte source's own errors
// (EInOutError naming the file, a stream's exceptions) pass unchanged; so
// does an exception of a progress callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/codec_progress.h"
#include "marovia/platform/sample_display.h"

namespace marovia {
class TStream;

namespace codecs {

// Bytes to decode, read at any offset. Reads may come from C callbacks of
// the codec libraries, which catch what a source raises and raise it again
// once the library has returned.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Copies up to N bytes from Offset to Dest; answers the count, less than N
  // only at the end of the data.
  virtual size_t ReadAt(uint64_t Offset, void* Dest, size_t N) = 0;
  virtual uint64_t Size() = 0;
};

// Bytes held by the caller, which keeps them alive.
std::unique_ptr<TByteSource> MemoryBytes(const uint8_t* Data, size_t Size);
// A file, read with pread. EInOutError naming the file when it cannot be
// opened, and for every failed read.
std::unique_ptr<TByteSource> FileBytes(const std::string& FileName);
// The stream from Base (a position) to its end; reading moves the stream's
// position.
std::unique_ptr<TByteSource> StreamBytes(TStream& Stream, int64_t Base);

// Reports a share of work done as a percentage, only when it grows and never
// 100 (the caller reports the end). The callback's exceptions pass through.
class TWorkProgress {
 public:
  explicit TWorkProgress(const TCodecProgress& Callback) : callback_(Callback) {}
  void Report(uint64_t Done, uint64_t Total);
  bool Wanted() const { return static_cast<bool>(callback_); }

 private:
  const TCodecProgress& callback_;
  int last_ = 0;  // 0 is the starting report, made by the caller
};

// What a decoder has read from the header, handed to the caller's check
// before anything of the image's size is allocated.
struct TImageHeader {
  const char* Format = "";  // "JPEG", "PNG", "TIFF", "Bitmap"
  int64_t Width = 0;        // as stored, before any scaling of the output
  int64_t Height = 0;
  int64_t DecoderBytes = 0;  // what the decoder will hold besides the rows it hands out
};

// How a decoder is opened.
struct TDecodeSetup {
  // Refuses an image by raising (EInvalidGraphic); called once, after the
  // header and before any allocation from its sizes. Null: every size up to
  // the format's own limits is accepted.
  std::function<void(const TImageHeader&)> Accept;
  // Largest buffer a codec library or the decoder allocates at once.
  int64_t MaxAlloc = int64_t{1} << 30;
  // Bytes libjpeg may hold for one image (its coefficient buffers); 0: no
  // limit beyond Accept's.
  int64_t CodecMemory = 0;
  // Largest side of a PNG image libpng reads (its own default guards the
  // image classes; the pyramid reads wider images).
  uint32_t MaxPngSide = 1000000;
  // Work done inside the codec library (progressive JPEG passes, interlaced
  // PNG passes) is reported here too; may be null.
  TWorkProgress* Progress = nullptr;
  // How TIFF samples that are not 8-bit colours are shown.
  TSampleDisplay Display;
};

class TImageDecoder {
 public:
  virtual ~TImageDecoder() = default;
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Decodes the next row into Dest (Width words). Exactly Height calls,
  // top-down. Data that end early or are damaged raise EInvalidGraphic.
  virtual void ReadRow(uint32_t* Dest) = 0;
  // After the last row: reads and checks what follows the pixels (PNG: the
  // chunks up to IEND; JPEG: up to the end marker).
  virtual void Finish() {}
  // Bytes of the source up to the end of the image, once finished; 0 when
  // the format does not say (the image fills the rest of the source).
  virtual uint64_t BytesUsed() const { return 0; }
  // Bytes the decoder holds besides the rows it hands out.
  virtual int64_t WorkingBytes() const { return 0; }

 protected:
  int width_ = 0;
  int height_ = 0;
};

struct TJpegOutput {
  int ScaleDenom = 1;      // 1, 2, 4 or 8: the output is 1/ScaleDenom of the size
  bool Grayscale = false;  // grey levels
  bool Fast = false;       // faster, less exact inverse DCT and upsampling
};

std::unique_ptr<TImageDecoder> OpenJpegDecoder(TByteSource& Source, const TDecodeSetup& Setup,
                                               const TJpegOutput& Output = {});
std::unique_ptr<TImageDecoder> OpenPngDecoder(TByteSource& Source, const TDecodeSetup& Setup);
std::unique_ptr<TImageDecoder> OpenTiffDecoder(TByteSource& Source, const TDecodeSetup& Setup);
std::unique_ptr<TImageDecoder> OpenBmpDecoder(TByteSource& Source, const TDecodeSetup& Setup);

// The decoder for the content's format, recognised by its first bytes.
// EInvalidGraphic for content that is none of the four.
std::unique_ptr<TImageDecoder> OpenImageDecoder(TByteSource& Source, const TDecodeSetup& Setup);

// True when the output of a JPEG decoder has R = G = B in every pixel.
bool JpegOutputIsGrey(const TImageDecoder& Decoder);

// The setup of the image classes: images beyond kMaxImagePixels refused
// ("<format> image is not valid: image of W x H pixels is too large").
TDecodeSetup WholeImageSetup(TWorkProgress* Progress);

// Every row of the decoder, then Finish; progress by rows. The pixel
// buffer (Width x Height words, stride Width) is allocated only now, after
// the header was accepted.
std::vector<uint32_t> DecodeWhole(TImageDecoder& Decoder, TWorkProgress* Progress);

}  // namespace codecs
}  // namespace marovia
