// The cache file's reader and writer.
#include "file_pyramid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tile_pixels.h"

namespace marovia::pyr {
namespace {

constexpr size_t kWriteChunk = size_t{4} << 20;

// Reads exactly Size bytes at Offset; false on a short read or an error.
bool ReadAt(int Fd, void* Dest, size_t Size, uint64_t Offset) {
  auto* p = static_cast<uint8_t*>(Dest);
  while (Size > 0) {
    const ssize_t n = ::pread(Fd, p, Size, static_cast<off_t>(Offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    Size -= static_cast<size_t>(n);
    Offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool WriteAt(int Fd, const void* Data, size_t Size, uint64_t Offset) {
  const auto* p = static_cast<const uint8_t*>(Data);
  while (Size > 0) {
    const ssize_t n = ::pwrite(Fd, p, Size, static_cast<off_t>(Offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    Size -= static_cast<size_t>(n);
    Offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool Check(bool Ok, const char* Why, std::string* Out) {
  if (!Ok && Out) *Out = Why;
  return Ok;
}

}  // namespace

// ------------------------------------------------------------------ reader

std::unique_ptr<TFilePyramid> TFilePyramid::Load(const std::string& CacheName, const TCacheKey& Key,
                                                 int64_t Budget, std::string* Why) {
  const int fd = ::open(CacheName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Check(false, "no cache file", Why), nullptr;
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    return Check(false, "not a file", Why), nullptr;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  uint8_t header[kCacheHeaderSize];
  if (size < sizeof header || !ReadAt(fd, header, sizeof header, 0))
    return Check(false, "cut short", Why), nullptr;
  const size_t need = NeedMeta(header, sizeof header);
  if (need == 0 || need > size) return Check(false, "not a pyramid cache file", Why), nullptr;
  std::vector<uint8_t> meta(need);
  if (!ReadAt(fd, meta.data(), need, 0)) return Check(false, "cut short", Why), nullptr;
  TCacheLayout layout;
  std::string why;
  if (!ParseCacheHeader(meta.data(), meta.size(), size, layout, why))
    return Check(false, why.c_str(), Why), nullptr;
  // The header matches the file's size: the index is read from the file,
  // not allocated from a number in it.
  std::vector<uint8_t> index(size - layout.IndexOffset);
  if (!ReadAt(fd, index.data(), index.size(), layout.IndexOffset))
    return Check(false, "cut short", Why), nullptr;
  if (!ParseCacheIndex(meta.data(), meta.size(), index.data(), index.size(), size, layout, why))
    return Check(false, why.c_str(), Why), nullptr;
  if (layout.Key.Path != Key.Path || layout.Key.Size != Key.Size ||
      layout.Key.MTimeNs != Key.MTimeNs)
    return Check(false, "built from another version of the image", Why), nullptr;
  closer.fd = -1;
  return std::make_unique<TFilePyramid>(CacheName, fd, std::move(layout), Budget);
}

TFilePyramid::TFilePyramid(std::string Name, int Fd, TCacheLayout Layout, int64_t Budget)
    : name_(std::move(Name)), fd_(Fd), layout_(std::move(Layout)), cache_(Budget) {}

TFilePyramid::~TFilePyramid() {
  ::close(fd_);
}

int TFilePyramid::LevelWidth(int Level) const {
  if (Level < 0 || Level >= Levels()) throw ERangeError("Pyramid level out of range");
  return layout_.Levels[Level].Width;
}

int TFilePyramid::LevelHeight(int Level) const {
  if (Level < 0 || Level >= Levels()) throw ERangeError("Pyramid level out of range");
  return layout_.Levels[Level].Height;
}

TTilePixels TFilePyramid::Tile(int Level, int TX, int TY) const {
  if (Level < 0 || Level >= Levels()) throw ERangeError("Pyramid level out of range");
  const TLevel& l = layout_.Levels[Level];
  if (TX < 0 || TY < 0 || TX >= l.Across || TY >= l.Down)
    throw ERangeError("Pyramid tile out of range");
  const int64_t number = l.First + int64_t{TY} * l.Across + TX;
  return cache_.Get(number, [&] { return ReadTile(number); });
}

TTilePixels TFilePyramid::ReadTile(int64_t Number) const {
  const TTileEntry& e = layout_.Index[static_cast<size_t>(Number)];
  std::vector<uint8_t> bytes(e.Length);
  if (!ReadAt(fd_, bytes.data(), bytes.size(), e.Offset))
    throw EInOutError(name_, "cannot read a tile of the pyramid cache", errno);
  if (e.Length == kSolidTileBytes)
    return SolidTile(uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 | bytes[0]);
  auto tile = NewTile();
  uint32_t* out = tile.get();
  const uint8_t* in = bytes.data();
  for (int i = 0; i < kTilePixels; ++i, in += 3)
    out[i] = uint32_t{in[2]} << 16 | uint32_t{in[1]} << 8 | in[0];
  return tile;
}

// ------------------------------------------------------------------ writer

TCacheWriter::TCacheWriter(const std::string& CacheName, const TCacheKey& Key, int Width,
                           int Height)
    : name_(CacheName) {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::path(CacheName).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  if (ec) throw ECacheUnwritable(dir.string(), ec.message(), ec.value());
  temp_ = CacheName + ".XXXXXX";
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int err = errno;
    temp_.clear();
    throw ECacheUnwritable(CacheName, std::strerror(err), err);
  }
  layout_.Key = Key;
  layout_.Width = Width;
  layout_.Height = Height;
  layout_.Levels = LevelTable(Width, Height);
  levels_.resize(layout_.Levels.size());
  pos_ = MetaBytes(Key.Path.size(), layout_.Levels.size());
  buffer_.reserve(kWriteChunk + kRawTileBytes);
}

TCacheWriter::~TCacheWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TCacheWriter::Fail(const std::string& What, int Error) {
  throw ECacheUnwritable(name_, What + ": " + std::strerror(Error), Error);
}

void TCacheWriter::Drain() {
  if (!WriteAt(fd_, buffer_.data(), buffer_.size(), pos_)) Fail("cannot write", errno);
  pos_ += buffer_.size();
  buffer_.clear();
}

void TCacheWriter::Append(const uint8_t* Data, size_t Size) {
  buffer_.insert(buffer_.end(), Data, Data + Size);
  if (buffer_.size() >= kWriteChunk) Drain();
}

void TCacheWriter::Put(int Level, int, int, const uint32_t* Pixels) {
  uint32_t colour = 0;
  TTileEntry entry;
  if (IsSolid(Pixels, colour)) {
    auto it = solid_.find(colour);
    if (it == solid_.end()) {
      const uint8_t bgr[3] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)};
      it = solid_.emplace(colour, pos_ + buffer_.size()).first;
      Append(bgr, sizeof bgr);
    }
    entry = {it->second, kSolidTileBytes};
  } else {
    entry = {pos_ + buffer_.size(), kRawTileBytes};
    const size_t at = buffer_.size();
    buffer_.resize(at + kRawTileBytes);
    uint8_t* out = buffer_.data() + at;
    for (int i = 0; i < kTilePixels; ++i, out += 3) {
      const uint32_t p = Pixels[i];
      out[0] = uint8_t(p);
      out[1] = uint8_t(p >> 8);
      out[2] = uint8_t(p >> 16);
    }
    if (buffer_.size() >= kWriteChunk) Drain();
  }
  levels_[static_cast<size_t>(Level)].push_back(entry);
}

std::unique_ptr<TFilePyramid> TCacheWriter::Commit(int64_t Budget) {
  Drain();
  layout_.IndexOffset = pos_;
  for (auto& level : levels_) {
    layout_.Index.insert(layout_.Index.end(), level.begin(), level.end());
    level = {};
  }
  if (static_cast<int64_t>(layout_.Index.size()) != TileCount(layout_.Levels))
    throw ERangeError("Pyramid built with tiles missing");
  const std::vector<uint8_t> index = EncodeIndex(layout_.Index);
  const std::vector<uint8_t> meta = EncodeMeta(layout_);
  if (!WriteAt(fd_, index.data(), index.size(), pos_)) Fail("cannot write", errno);
  // The header last: a file cut short on its way never carries one.
  if (!WriteAt(fd_, meta.data(), meta.size(), 0)) Fail("cannot write", errno);
  if (::rename(temp_.c_str(), name_.c_str()) != 0) Fail("cannot rename the new file", errno);
  temp_.clear();
  const int fd = fd_;
  fd_ = -1;
  return std::make_unique<TFilePyramid>(name_, fd, std::move(layout_), Budget);
}

}  // namespace marovia::pyr
