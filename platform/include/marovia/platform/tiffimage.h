// TIFF images of the host framework.
//
// A TTiffImage holds its pixels decoded, as a pf24bit TBitmap: loading
// decodes the first image of the file at once (so a damaged file fails at
// the load, not later at a draw), saving encodes them again.
//
// Reading: strips and tiles, chunky or planar samples, every compression
// the TIFF library decodes (none, LZW, DEFLATE, JPEG, PackBits, ...);
// bilevel, grey, palette, RGB, YCbCr and CMYK become 8-bit RGB (16-bit
// samples scaled to 8 bits); an alpha channel is composited over white, as
// the picture would look on blank paper. Classic TIFF and BigTIFF. Samples
// of every other kind (signed and 32 or 64-bit integers, floating point,
// more bands than a colour model holds, nodata values, masks) are shown as
// SampleDisplay says (sample_display.h).
//
// Writing: always 8-bit RGB in 256 x 256 tiles, DEFLATE-compressed,
// classic TIFF (BigTIFF past 4 GiB is not needed: images are limited to
// kMaxImagePixels), plus the extra fields the caller set (georeferencing,
// for example).
//
// Progress: decoding and encoding fire OnProgress with psStarting (0), then
// psRunning with increasing percentages below 100, then psEnding (100).
//
// Errors: data that are not a valid TIFF file, or that hold no image the
// reader can turn into colours (complex samples, for instance), raise
// EInvalidGraphic ("TIFF image is not valid: <reason>", naming the
// file when the data came from a file); so do images beyond
// kMaxImagePixels, refused from the header before any pixel memory is
// allocated. A failed load keeps the previous image. The TIFF library's
// messages never reach the standard error stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/decoded_image.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/sample_display.h"

namespace marovia {

// A field written into the image's directory beyond those the pixels need.
// Exactly one of the value lists is used, by the field's type.
struct TTiffField {
  enum TKind { tkShort, tkDouble, tkAscii };
  uint16_t Tag = 0;
  TKind Kind = tkShort;
  std::vector<uint16_t> Shorts;  // tkShort: SHORT values, 1..65535 of them
  std::vector<double> Doubles;   // tkDouble: DOUBLE values, 1..65535 of them
  std::string Ascii;             // tkAscii: text without NUL characters
};

class TTiffImage : public TDecodedImage {
 public:
  TTiffImage();
  ~TTiffImage() override;
  TTiffImage(const TTiffImage&) = delete;
  TTiffImage& operator=(const TTiffImage&) = delete;

  std::string ClassName() const override { return "TTiffImage"; }

  // Deflate level used when saving, 1 (fastest, largest) .. 9 (slowest,
  // smallest); values outside are clamped. Default 6.
  int CompressionLevel() const { return level_; }
  void SetCompressionLevel(int Value);

  // Fields written with the image when saving, in addition to those of the
  // pixels. Tags the pixels use themselves (below 32768) must not be among
  // them; saving raises EInvalidGraphic for such a tag or an empty value.
  const std::vector<TTiffField>& ExtraFields() const { return extra_; }
  void SetExtraFields(std::vector<TTiffField> Value) { extra_ = std::move(Value); }

  // How samples that are not 8-bit colours are shown by the next load: the
  // bands and the stretch. EInvalidGraphic for a display that
  // SampleDisplayProblem refuses; band numbers beyond the image's bands are
  // refused by the load.
  const TSampleDisplay& SampleDisplay() const { return display_; }
  void SetSampleDisplay(const TSampleDisplay& Value);

  // Reads the TIFF file that starts at the stream's position and fills the
  // rest of the stream (the file's offsets count from that position);
  // afterwards the position is at the stream's end.
  void LoadFromStream(TStream& Stream) override;
  // Writes nothing for an empty image.
  void SaveToStream(TStream& Stream) const override;

 protected:
  void CopySettings(const TDecodedImage& Source) override;

 private:
  int level_ = 6;
  std::vector<TTiffField> extra_;
  TSampleDisplay display_;
};

}  // namespace marovia
