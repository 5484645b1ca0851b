// Sources of image rows for the pyramid builder: one decoder per file
// format, each reading the file top-down once and holding no more than a
// few rows (BMP and TIFF: one strip or tile row of the file).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace marovia::pyr {

class TRowSource {
 public:
  virtual ~TRowSource() = default;
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Decodes the next row into Dest (Width words, 0x00RRGGBB). A file that
  // ends early or holds bad data raises EInvalidGraphic naming the file.
  virtual void ReadRow(uint32_t* Dest) = 0;
  // Bytes the source holds besides the rows it hands out.
  virtual int64_t WorkingBytes() const { return 0; }

 protected:
  int width_ = 0;
  int height_ = 0;
};

// The decoder for the file's content (JPEG, PNG, TIFF or BMP, recognised by
// its first bytes). Budget bounds what the decoder may hold; a file whose
// decoding would need more is refused. EInOutError when the file cannot be
// opened or read, EInvalidGraphic for content that is none of the formats
// or is refused.
std::unique_ptr<TRowSource> OpenRowSource(const std::string& FileName, int64_t Budget);

std::unique_ptr<TRowSource> OpenJpegRows(const std::string& FileName, int64_t Budget);
std::unique_ptr<TRowSource> OpenPngRows(const std::string& FileName, int64_t Budget);
std::unique_ptr<TRowSource> OpenBmpRows(const std::string& FileName, int64_t Budget);
std::unique_ptr<TRowSource> OpenTiffRows(const std::string& FileName, int64_t Budget);

// Refuses an image whose rows, the builder's bands and Extra bytes of the
// decoder's own would exceed Budget. Every reader calls it as soon as the
// header is read, before its decoder allocates anything from the sizes.
void CheckBudget(const std::string& FileName, int64_t Width, int64_t Height, int64_t Extra,
                 int64_t Budget);

// "<file>: <what>" as EInvalidGraphic.
[[noreturn]] void FailSource(const std::string& FileName, const std::string& What);

}  // namespace marovia::pyr
