// The BMP decoder for streaming: rows read from the source one at a time
// (bottom-up files from the end backwards), each decoded by the BMP codec
// as a bitmap one row high made of the file's own headers and palette, so
// that the rows are exactly the codec's. RLE-compressed files cannot be
// entered at a row: they are decoded whole (the caller's check is told so).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image_decoder.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia::codecs {
namespace {

// Headers and palette larger than this are not a map's.
constexpr uint32_t kMaxPixelOffset = 1 << 20;

uint32_t Rd32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

class TBmpDecoder : public TImageDecoder {
 public:
  TBmpDecoder(TByteSource& Source, const TDecodeSetup& Setup) : source_(Source) {
    const uint64_t size = Source.Size();
    size_ = size;
    uint8_t head[kBmpFileHeaderSize + kBmpCoreHeaderSize] = {};
    if (size < sizeof head) Bad("file ends inside the headers");
    Read(head, sizeof head, 0);
    const uint32_t offset = Rd32(head + 10);
    if (offset > kMaxPixelOffset || offset > size) Bad("pixel data offset out of range");
    // The headers alone, then the whole file's claims checked against its
    // real size.
    std::vector<uint8_t> headers(offset);
    Read(headers.data(), offset, 0);
    core_ = Rd32(headers.data() + kBmpFileHeaderSize) == kBmpCoreHeaderSize;
    const int64_t w = core_ ? (headers[18] | headers[19] << 8) : int32_t(Rd32(&headers[18]));
    int64_t h = core_ ? (headers[20] | headers[21] << 8) : int32_t(Rd32(&headers[22]));
    topDown_ = h < 0;
    if (h < 0) h = -h;
    const uint32_t compression = core_ ? 0 : Rd32(&headers[30]);
    const bool rle = compression == 1 || compression == 2;
    const int64_t whole = rle ? 4 * w * h + static_cast<int64_t>(size) : 0;
    if (w < 1 || h < 1 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) Bad("image has no usable size");
    if (Setup.Accept) Setup.Accept(TImageHeader{"Bitmap", w, h, whole});
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    if (rle) {
      std::vector<uint8_t> file(size);
      Read(file.data(), file.size(), 0);
      whole_ = Decode(file).Pixels;
      return;
    }
    // One row: the headers with a height of one, then the row's bytes. The
    // codec validates it as a file and decodes it.
    const uint16_t bpp =
        core_ ? uint16_t(headers[24] | headers[25] << 8) : uint16_t(headers[28] | headers[29] << 8);
    stride_ = ((static_cast<uint64_t>(w) * bpp + 31) / 32) * 4;
    // The last row may lack its padding, as the codec allows.
    const uint64_t lastRow = (static_cast<uint64_t>(w) * bpp + 7) / 8;
    if (bpp == 0 || static_cast<uint64_t>(h - 1) * stride_ + lastRow > size - offset)
      Bad("file ends before the image is complete");
    row_ = headers;
    if (core_) {
      row_[20] = 1;
      row_[21] = 0;
    } else {
      const uint8_t one[4] = {1, 0, 0, 0};
      std::memcpy(&row_[22], one, 4);
    }
    offset_ = offset;
    row_.resize(offset + stride_);
    Decode(row_);  // refuses bad headers before the first row
  }

  void ReadRow(uint32_t* Dest) override {
    const int y = next_++;
    const size_t w = static_cast<size_t>(width_);
    if (!whole_.empty()) {
      std::memcpy(Dest, whole_.data() + static_cast<size_t>(y) * w, w * 4);
      return;
    }
    const uint64_t at = offset_ + (topDown_ ? y : height_ - 1 - y) * stride_;
    const uint64_t n = std::min(stride_, size_ - at);
    Read(row_.data() + offset_, n, at);
    std::fill(row_.begin() + offset_ + n, row_.end(), 0);
    const TBmpImage one = Decode(row_);
    std::memcpy(Dest, one.Pixels.data(), w * 4);
  }

  int64_t WorkingBytes() const override {
    return static_cast<int64_t>(whole_.size() * 4 + row_.size()) + 4 * int64_t{width_};
  }

 private:
  [[noreturn]] static void Bad(const std::string& Why) {
    throw EInvalidGraphic("Bitmap image is not valid: " + Why);
  }
  static TBmpImage Decode(const std::vector<uint8_t>& Bytes) {
    return BmpDecode(Bytes.data(), Bytes.size());
  }
  void Read(uint8_t* Dest, size_t Size, uint64_t Offset) {
    if (source_.ReadAt(Offset, Dest, Size) != Size) Bad("file ends before the image is complete");
  }

  TByteSource& source_;
  uint64_t size_ = 0;
  bool core_ = false;
  bool topDown_ = false;
  uint64_t stride_ = 0;
  uint32_t offset_ = 0;
  std::vector<uint8_t> row_;     // headers, palette and one row
  std::vector<uint32_t> whole_;  // RLE files only
  int next_ = 0;
};

}  // namespace

std::unique_ptr<TImageDecoder> OpenBmpDecoder(TByteSource& Source, const TDecodeSetup& Setup) {
  return std::make_unique<TBmpDecoder>(Source, Setup);
}

}  // namespace marovia::codecs
