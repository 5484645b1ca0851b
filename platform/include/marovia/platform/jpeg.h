// JPEG images of the host framework.
//
// A TJPEGImage holds either compressed data (loaded from a stream, or made by
// Compress) or a bitmap to be compressed (assigned), or both. Loading reads
// only the header; the pixels are decoded when they are first needed
// (AssignTo a bitmap, Bitmap, Draw), and compressed when the image is saved.
// Saving an image that was loaded and not changed writes the loaded bytes
// unchanged.
//
// Progress: decoding and encoding fire OnProgress with psStarting (0), then
// psRunning with increasing percentages below 100, then psEnding (100).
//
// Errors: data that are not a valid JPEG stream raise EInvalidGraphic ("JPEG
// image is not valid: <reason>", naming the file when the data came from a
// file); so do images beyond kMaxImagePixels, checked before decoding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"

namespace marovia {

// Attempt to change what a graphic cannot change (the size of a JPEG image).
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
using TJPEGQualityRange = int;  // 1..100

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  TJPEGImage(const TJPEGImage&) = delete;
  TJPEGImage& operator=(const TJPEGImage&) = delete;

  std::string ClassName() const override { return "TJPEGImage"; }

  // Size of the image as it decodes (after Scale); from the header, without
  // decoding. 0 when empty.
  int Width() const override;
  int Height() const override;
  // A JPEG image cannot be resized: EInvalidGraphicOperation.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  bool Empty() const override;

  // Quality used when compressing, 1..100 (values outside are clamped),
  // default 90.
  TJPEGQualityRange CompressionQuality() const { return quality_; }
  void SetCompressionQuality(TJPEGQualityRange Value);
  // Decode to grey levels (and compress a one-component file). Default false.
  bool Grayscale() const { return grayscale_; }
  void SetGrayscale(bool Value);
  // Decode at 1/1, 1/2, 1/4 or 1/8 of the size. Default jsFullSize.
  TJPEGScale Scale() const { return scale_; }
  void SetScale(TJPEGScale Value);
  // Faster decoding at some cost in quality. Default jpBestQuality.
  TJPEGPerformance Performance() const { return performance_; }
  void SetPerformance(TJPEGPerformance Value);
  // Write progressive rather than baseline files. Default false.
  bool ProgressiveEncoding() const { return progressive_; }
  void SetProgressiveEncoding(bool Value) { progressive_ = Value; }

  // The decoded image (decodes on first use; owned by this object, valid
  // until the image or a decoding property changes).
  const TBitmap& Bitmap() const;
  // Decodes now, if not done yet.
  void DIBNeeded() const;
  // Compresses the bitmap now (with the current quality), if there are no
  // compressed data yet.
  void JPEGNeeded() const;
  void Compress() { JPEGNeeded(); }

  // From a TBitmap: takes a copy of its pixels (compressed when saved). From
  // a TJPEGImage: its data, bitmap and settings. Other sources: the source's
  // AssignTo.
  void Assign(const TPersistent& Source) override;

  // Reads the rest of the stream as one JPEG file; only the header is parsed
  // here.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) const override;

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;

 protected:
  // Into a TBitmap: the decoded pixels, pf24bit (pf8bit with a grey palette
  // for grey images).
  void AssignTo(TPersistent& Dest) const override;

 private:
  void ClearBitmapIfDecoded();
  void FireProgress(TProgressStage Stage, int Percent) const;
  void ReadHeader();

  // Compressed data, and where they came from (for error messages).
  mutable std::vector<uint8_t> data_;
  std::string source_;
  // Decoded or assigned pixels; bitmapIsSource_ when they came from Assign
  // (then they are the image and cannot be dropped).
  mutable std::unique_ptr<TBitmap> bitmap_;
  bool bitmapIsSource_ = false;
  int headerWidth_ = 0;
  int headerHeight_ = 0;

  int quality_ = 90;
  bool grayscale_ = false;
  TJPEGScale scale_ = jsFullSize;
  TJPEGPerformance performance_ = jpBestQuality;
  bool progressive_ = false;
};

}  // namespace marovia
