// Declared image sizes from BMP, JPEG, PNG and TIFF headers. Reads go through
// a small window over the source, so a JPEG's segments are skipped by
// seeking and the cost is bounded by the number of segments (a TIFF's by the
// number of directory entries), not by the file's size.
#include <algorithm>
#include <cstring>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/streams.h"

namespace marovia {
namespace {

// Bytes at an offset from the start of the image; fewer than asked at the
// end of the data.
class Source {
 public:
  virtual ~Source() = default;
  virtual size_t ReadAt(uint64_t Offset, uint8_t* Buffer, size_t Count) = 0;
};

class MemorySource : public Source {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t ReadAt(uint64_t off, uint8_t* buf, size_t n) override {
    if (off >= size_) return 0;
    n = std::min<uint64_t>(n, size_ - off);
    std::memcpy(buf, data_ + off, n);
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

class StreamSource : public Source {
 public:
  explicit StreamSource(TStream& s) : stream_(s), base_(s.Position()) {}
  size_t ReadAt(uint64_t off, uint8_t* buf, size_t n) override {
    // Offsets past what a stream position can hold are past any end.
    if (off > uint64_t(INT64_MAX) - uint64_t(base_)) return 0;
    stream_.Seek(base_ + int64_t(off), soBeginning);
    const int64_t got = stream_.Read(buf, int64_t(n));
    return got > 0 ? size_t(got) : 0;
  }

 private:
  TStream& stream_;
  int64_t base_;
};

// Sequential reading with skips.
class Cursor {
 public:
  explicit Cursor(Source& src, uint64_t pos) : src_(src), pos_(pos) {}

  bool Byte(uint8_t& b) {
    if (pos_ < start_ || pos_ >= start_ + len_) {
      start_ = pos_;
      len_ = src_.ReadAt(pos_, buf_, sizeof buf_);
      if (len_ == 0) return false;
    }
    b = buf_[pos_ - start_];
    ++pos_;
    return true;
  }
  bool Word(uint32_t& v) {  // big-endian 16 bits
    uint8_t hi = 0, lo = 0;
    if (!Byte(hi) || !Byte(lo)) return false;
    v = uint32_t{hi} << 8 | lo;
    return true;
  }
  void Skip(uint64_t n) { pos_ += n; }

 private:
  Source& src_;
  uint64_t pos_;
  uint64_t start_ = 0;
  size_t len_ = 0;
  uint8_t buf_[512];
};

uint32_t Le16(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}
uint32_t Le32(const uint8_t* p) {
  return Le16(p) | Le16(p + 2) << 16;
}
uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Offsets of the BMP headers: 14 header size, 18 width, 20 or 22 height.
bool BmpSize(const uint8_t* h, size_t n, int64_t& w, int64_t& ht) {
  if (n < 26) return false;
  const uint32_t headerSize = Le32(h + kBmpFileHeaderSize);
  if (headerSize == kBmpCoreHeaderSize) {
    w = Le16(h + 18);
    ht = Le16(h + 20);
  } else if (BmpKnownHeaderSize(headerSize)) {
    w = static_cast<int32_t>(Le32(h + 18));
    ht = static_cast<int32_t>(Le32(h + 22));
  } else {
    return false;
  }
  if (w <= 0 || ht == 0) return false;
  if (ht < 0) ht = -ht;  // top-down rows; int64, so INT32_MIN has a magnitude
  return true;
}

// Offsets of the PNG start: 0 signature, 8 chunk length (13), 12 "IHDR",
// 16 width, 20 height, both big-endian and at most 2^31 - 1.
bool PngSize(const uint8_t* h, size_t n, int64_t& w, int64_t& ht) {
  if (n < 24 || Be32(h + 8) != 13 || std::memcmp(h + 12, "IHDR", 4) != 0) return false;
  const uint32_t pw = Be32(h + 16), ph = Be32(h + 20);
  if (pw == 0 || ph == 0 || pw > 0x7FFFFFFFu || ph > 0x7FFFFFFFu) return false;
  w = pw;
  ht = ph;
  return true;
}

// Segments are read until the first frame header. Real files have a few
// dozen segments before it; the limits keep a hostile file from making the
// walk long.
constexpr int kMaxJpegSegments = 1024;
constexpr int kMaxJpegJunk = 4096;  // stray bytes tolerated before one marker

bool IsFrameMarker(uint8_t m) {
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

bool JpegSize(Source& src, int64_t& w, int64_t& ht) {
  Cursor c(src, 2);  // after FF D8
  for (int seg = 0; seg < kMaxJpegSegments; ++seg) {
    uint8_t b = 0;
    // A marker is FF, any number of fill bytes FF, then its code; stray
    // bytes before it are passed over, as decoders do.
    int junk = 0;
    for (;;) {
      if (!c.Byte(b)) return false;
      if (b == 0xFF) break;
      if (++junk > kMaxJpegJunk) return false;
    }
    int fill = 0;
    while (b == 0xFF) {
      if (!c.Byte(b) || ++fill > kMaxJpegJunk) return false;
    }
    const uint8_t m = b;
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // no length
    if (m == 0x00 || m == 0xD8 || m == 0xD9 || m == 0xDA) return false;
    uint32_t len = 0;
    if (!c.Word(len) || len < 2) return false;
    if (IsFrameMarker(m)) {
      uint8_t precision = 0;
      uint32_t fh = 0, fw = 0;
      if (len < 8 || !c.Byte(precision) || !c.Word(fh) || !c.Word(fw)) return false;
      if (fh == 0 || fw == 0) return false;  // a height defined later (DNL) is left to the decoder
      w = fw;
      ht = fh;
      return true;
    }
    c.Skip(len - 2);
  }
  return false;
}

// TIFF, in the file's byte order ("II" little-endian, "MM" big-endian):
//   classic   0 order, 2 version 42, 4 offset of the first directory (32 bits);
//             directory: entry count (16 bits), entries of 12 bytes
//             (tag 2, type 2, count 4, value 4);
//   BigTIFF   0 order, 2 version 43, 4 offset size 8, 6 zero, 8 offset of the
//             first directory (64 bits); directory: entry count (64 bits),
//             entries of 20 bytes (tag 2, type 2, count 8, value 8).
// ImageWidth (256) and ImageLength (257) hold one SHORT (3) or LONG (4),
// in BigTIFF also a LONG8 (16), in the entry's value field itself; when a
// tag appears twice, its first entry counts.
constexpr uint64_t kMaxTiffEntries = 4096;

class TiffReader {
 public:
  TiffReader(Source& src, bool bigEndian) : src_(src), big_(bigEndian) {}
  bool At(uint64_t off, uint8_t* buf, size_t n) { return src_.ReadAt(off, buf, n) == n; }
  uint64_t Get(const uint8_t* p, size_t n) const {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{p[big_ ? n - 1 - i : i]} << (8 * i);
    return v;
  }

 private:
  Source& src_;
  bool big_;
};

bool TiffSize(Source& src, const uint8_t* head, size_t n, int64_t& w, int64_t& ht) {
  if (n < 16) return false;
  TiffReader r(src, head[0] == 'M');
  const uint64_t version = r.Get(head + 2, 2);
  const bool bigTiff = version == 43;
  if (version != 42 && !bigTiff) return false;
  if (bigTiff && (r.Get(head + 4, 2) != 8 || r.Get(head + 6, 2) != 0)) return false;
  const uint64_t ifd = bigTiff ? r.Get(head + 8, 8) : r.Get(head + 4, 4);
  const size_t countSize = bigTiff ? 8 : 2, entrySize = bigTiff ? 20 : 12;
  uint8_t buf[20];
  if (ifd < 8 || ifd > UINT64_MAX - countSize || !r.At(ifd, buf, countSize)) return false;
  const uint64_t entries = std::min(r.Get(buf, countSize), kMaxTiffEntries);
  uint64_t width = 0, height = 0;
  for (uint64_t i = 0; i < entries && (width == 0 || height == 0); ++i) {
    if (!r.At(ifd + countSize + i * entrySize, buf, entrySize)) return false;
    const uint64_t tag = r.Get(buf, 2), type = r.Get(buf + 2, 2);
    // A repeated entry is passed over: the first one counts, as for the
    // decoder.
    if ((tag != 256 || width != 0) && (tag != 257 || height != 0)) continue;
    const uint64_t count = r.Get(buf + 4, bigTiff ? 8 : 4);
    const uint8_t* value = buf + (bigTiff ? 12 : 8);
    uint64_t v = 0;
    if (count != 1) return false;
    if (type == 3) {
      v = r.Get(value, 2);
    } else if (type == 4) {
      v = r.Get(value, 4);
    } else if (type == 16 && bigTiff) {
      v = r.Get(value, 8);
    } else {
      return false;
    }
    if (v == 0 || v > uint64_t(INT64_MAX)) return false;
    (tag == 256 ? width : height) = v;
  }
  if (width == 0 || height == 0) return false;
  w = int64_t(width);
  ht = int64_t(height);
  return true;
}

bool Dimensions(Source& src, int64_t& Width, int64_t& Height) {
  uint8_t head[26] = {};
  const size_t n = src.ReadAt(0, head, sizeof head);
  int64_t w = 0, h = 0;
  bool ok = false;
  if (n >= 2 && head[0] == 'B' && head[1] == 'M') {
    ok = BmpSize(head, n, w, h);
  } else if (n >= 8 && std::memcmp(head, "\x89PNG\r\n\x1A\n", 8) == 0) {
    ok = PngSize(head, n, w, h);
  } else if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
    ok = JpegSize(src, w, h);
  } else if (n >= 4 && ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))) {
    ok = TiffSize(src, head, n, w, h);
  }
  if (ok) {
    Width = w;
    Height = h;
  }
  return ok;
}

}  // namespace

bool ReadImageDimensions(TStream& Stream, int64_t& Width, int64_t& Height) {
  StreamSource src(Stream);
  return Dimensions(src, Width, Height);
}

bool ReadImageDimensions(const std::string& FileName, int64_t& Width, int64_t& Height) {
  TFileStream f(FileName, fmOpenRead);
  return ReadImageDimensions(f, Width, Height);
}

bool ReadImageDimensions(const uint8_t* Data, size_t Size, int64_t& Width, int64_t& Height) {
  MemorySource src(Data, Size);
  return Dimensions(src, Width, Height);
}

}  // namespace marovia
