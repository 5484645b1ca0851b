// The decoders' common parts: byte sources, progress, the choice of a
// decoder by content, and whole-image decoding over rows.
#include "image_decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"

namespace marovia::codecs {
namespace {

class TMemoryBytes : public TByteSource {
 public:
  TMemoryBytes(const uint8_t* Data, size_t Size) : data_(Data), size_(Size) {}
  size_t ReadAt(uint64_t Offset, void* Dest, size_t N) override {
    if (Offset >= size_) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(N, size_ - Offset));
    std::memcpy(Dest, data_ + Offset, n);
    return n;
  }
  uint64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

class TFileBytes : public TByteSource {
 public:
  explicit TFileBytes(const std::string& FileName) : name_(FileName) {
    fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EInOutError(FileName, std::strerror(errno), errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      const int e = errno;
      ::close(fd_);
      throw EInOutError(FileName, std::strerror(e), e);
    }
    size_ = static_cast<uint64_t>(st.st_size);
  }
  ~TFileBytes() override { ::close(fd_); }
  TFileBytes(const TFileBytes&) = delete;
  TFileBytes& operator=(const TFileBytes&) = delete;

  size_t ReadAt(uint64_t Offset, void* Dest, size_t N) override {
    size_t done = 0;
    auto* out = static_cast<uint8_t*>(Dest);
    while (done < N && Offset + done < size_) {
      const ssize_t n = ::pread(fd_, out + done, N - done, static_cast<off_t>(Offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw EInOutError(name_, std::strerror(errno), errno);
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }
  uint64_t Size() override { return size_; }

 private:
  std::string name_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

class TStreamBytes : public TByteSource {
 public:
  TStreamBytes(TStream& Stream, int64_t Base) : stream_(Stream), base_(Base) {}
  size_t ReadAt(uint64_t Offset, void* Dest, size_t N) override {
    if (Offset > uint64_t(INT64_MAX - base_)) return 0;
    stream_.Seek(base_ + static_cast<int64_t>(Offset), soBeginning);
    size_t done = 0;
    auto* out = static_cast<uint8_t*>(Dest);
    while (done < N) {
      const int64_t n = stream_.Read(out + done, static_cast<int64_t>(N - done));
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }
  uint64_t Size() override {
    const int64_t size = stream_.Size();
    return size > base_ ? static_cast<uint64_t>(size - base_) : 0;
  }

 private:
  TStream& stream_;
  int64_t base_;
};

}  // namespace

std::unique_ptr<TByteSource> MemoryBytes(const uint8_t* Data, size_t Size) {
  return std::make_unique<TMemoryBytes>(Data, Size);
}

std::unique_ptr<TByteSource> FileBytes(const std::string& FileName) {
  return std::make_unique<TFileBytes>(FileName);
}

std::unique_ptr<TByteSource> StreamBytes(TStream& Stream, int64_t Base) {
  return std::make_unique<TStreamBytes>(Stream, Base);
}

void TWorkProgress::Report(uint64_t Done, uint64_t Total) {
  if (!callback_ || Total == 0) return;
  const int percent = static_cast<int>(std::min<uint64_t>(Done * 100 / Total, 99));
  if (percent <= last_) return;
  last_ = percent;
  callback_(percent);
}

std::unique_ptr<TImageDecoder> OpenImageDecoder(TByteSource& Source, const TDecodeSetup& Setup) {
  uint8_t magic[8] = {};
  const size_t got = Source.ReadAt(0, magic, sizeof magic);
  if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
    return OpenJpegDecoder(Source, Setup);
  if (got == 8 && std::memcmp(magic, "\x89PNG\r\n\x1A\n", 8) == 0)
    return OpenPngDecoder(Source, Setup);
  if (got >= 4 && (std::memcmp(magic, "II*\0", 4) == 0 || std::memcmp(magic, "MM\0*", 4) == 0 ||
                   std::memcmp(magic, "II+\0", 4) == 0 || std::memcmp(magic, "MM\0+", 4) == 0))
    return OpenTiffDecoder(Source, Setup);
  if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') return OpenBmpDecoder(Source, Setup);
  throw EInvalidGraphic("not a JPEG, PNG, TIFF or BMP image");
}

TDecodeSetup WholeImageSetup(TWorkProgress* Progress) {
  TDecodeSetup setup;
  setup.Progress = Progress;
  setup.Accept = [](const TImageHeader& h) {
    // Each side first, so that no product can wrap around.
    if (h.Width > kMaxImagePixels || h.Height > kMaxImagePixels ||
        h.Width * h.Height > kMaxImagePixels)
      throw EInvalidGraphic(std::string(h.Format) + " image is not valid: image of " +
                            std::to_string(h.Width) + " x " + std::to_string(h.Height) +
                            " pixels is too large");
  };
  return setup;
}

std::vector<uint32_t> DecodeWhole(TImageDecoder& Decoder, TWorkProgress* Progress) {
  const size_t w = static_cast<size_t>(Decoder.Width());
  const int h = Decoder.Height();
  std::vector<uint32_t> pixels(w * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    Decoder.ReadRow(pixels.data() + static_cast<size_t>(y) * w);
    if (Progress) Progress->Report(static_cast<uint64_t>(y) + 1, static_cast<uint64_t>(h));
  }
  Decoder.Finish();
  return pixels;
}

}  // namespace marovia::codecs
