// PNG images of the host framework.
//
// A TPngImage holds its pixels decoded, as a pf24bit TBitmap: loading
// decodes the whole file at once (so a damaged file fails at the load, not
// later at a draw), saving encodes them again.
//
// Reading: grey, palette, colour and 16-bit files all become 8-bit RGB
// (16-bit samples rounded to 8 bits); transparency, from an alpha channel or
// a transparent colour, is composited over white, as the picture would look
// on blank paper. Gamma and colour profiles are ignored. Interlaced files
// are read like the others.
//
// Writing: always 8-bit RGB, not interlaced, without ancillary chunks.
//
// Progress: decoding and encoding fire OnProgress with psStarting (0), then
// psRunning with increasing percentages below 100, then psEnding (100).
//
// Errors: data that are not a valid PNG file raise EInvalidGraphic ("PNG
// image is not valid: <reason>", naming the file when the data came from a
// file); so do images beyond kMaxImagePixels, refused from the header before
// any pixel memory is allocated. A failed load keeps the previous image.
#pragma once

#include <memory>
#include <string>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/decoded_image.h"
#include "marovia/platform/graphics.h"

namespace marovia {

class TPngImage : public TDecodedImage {
 public:
  TPngImage();
  ~TPngImage() override;
  TPngImage(const TPngImage&) = delete;
  TPngImage& operator=(const TPngImage&) = delete;

  std::string ClassName() const override { return "TPngImage"; }

  // Deflate level used when saving, 0 (fastest, largest) .. 9 (slowest,
  // smallest); values outside are clamped. Default 6.
  int CompressionLevel() const { return level_; }
  void SetCompressionLevel(int Value);

  // Reads one PNG file from the stream's position; afterwards the position
  // is just past the file's IEND chunk. An empty rest of the stream is an
  // error, like any other data that are not PNG.
  void LoadFromStream(TStream& Stream) override;
  // Writes nothing for an empty image.
  void SaveToStream(TStream& Stream) const override;

 protected:
  void CopySettings(const TDecodedImage& Source) override;

 private:
  int level_ = 6;
};

}  // namespace marovia
