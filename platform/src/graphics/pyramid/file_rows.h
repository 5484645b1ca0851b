// The rows of an image file for the pyramid builder: the file's decoder
// (JPEG, PNG, TIFF or BMP, recognised by its first bytes), held to the
// pyramid's memory budget, with the file's name in its errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "codecs/image_decoder.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/sample_display.h"

namespace marovia::pyr {

class TFileRows {
 public:
  // Budget bounds what the builder and the decoder hold together; a file
  // whose decoding would need more is refused before its decoder allocates
  // anything for it. EInOutError when the file cannot be opened or read,
  // EInvalidGraphic ("<file>: <what>") for content that is none of the
  // formats, is damaged or is refused.
  TFileRows(const std::string& FileName, int64_t Budget, const TSampleDisplay& Display);

  int Width() const { return decoder_->Width(); }
  int Height() const { return decoder_->Height(); }
  // The next row, top-down (Width words, 0x00RRGGBB).
  void ReadRow(uint32_t* Dest);
  // After the last row: what follows the pixels is checked too.
  void Finish();
  // Bytes the decoder holds besides the rows it hands out.
  int64_t WorkingBytes() const { return decoder_->WorkingBytes(); }

 private:
  [[noreturn]] void Fail(const EInvalidGraphic& E) const;

  std::string name_;
  std::unique_ptr<codecs::TByteSource> bytes_;
  std::unique_ptr<codecs::TImageDecoder> decoder_;
};

// Refuses an image whose rows, the builder's bands and Extra bytes of the
// decoder's own would exceed Budget (EInvalidGraphic, without the file's
// name).
void CheckBudget(int64_t Width, int64_t Height, int64_t Extra, int64_t Budget);

}  // namespace marovia::pyr
