// The part common to the image formats that hold their pixels decoded, as a
// pf24bit TBitmap (PNG, TIFF): loading decodes the whole file at once, so a
// damaged file fails at the load and not later at a draw; saving encodes the
// pixels again.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "marovia/platform/graphics.h"

namespace marovia {

class TDecodedImage : public TGraphic {
 public:
  ~TDecodedImage() override;
  TDecodedImage(const TDecodedImage&) = delete;
  TDecodedImage& operator=(const TDecodedImage&) = delete;

  int Width() const override { return bitmap_->Width(); }
  int Height() const override { return bitmap_->Height(); }
  // Resizing keeps the top-left pixels; new pixels are white.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  bool Empty() const override { return bitmap_->Empty(); }

  // The pixels (pf24bit). Owned by this object, valid until the image
  // changes.
  const TBitmap& Bitmap() const { return *bitmap_; }

  // From a TBitmap: a copy of its pixels. From an image of the same class:
  // its pixels and settings. Other sources: the source's AssignTo. The copy
  // is made first, so a failure leaves this image as it was.
  void Assign(const TPersistent& Source) override;

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;

 protected:
  TDecodedImage();
  // Into a TBitmap: the pixels, pf24bit.
  void AssignTo(TPersistent& Dest) const override;
  // Takes the settings (not the pixels) of Source, an image of this class.
  virtual void CopySettings(const TDecodedImage& Source) = 0;

  void FireProgress(TProgressStage Stage, int Percent) const;
  // Replaces the pixels by Width x Height decoded words (0x00RRGGBB), stored
  // as they are, and tells the change.
  void TakePixels(int Width, int Height, const std::vector<uint32_t>& Pixels);

 private:
  std::unique_ptr<TBitmap> bitmap_;
};

}  // namespace marovia
