// The cache file's reader and writer.
#include "file_pyramid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "pixel_packing.h"
#include "tile_pixels.h"

namespace marovia::pyr {
namespace {

constexpr size_t kWriteChunk = size_t{4} << 20;
// Fast over slow: most tiles of a map compress well even so, and the build
// is bound by what it writes.
constexpr int kZstdLevel = 1;

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
    : name_(std::move(Name)),
      fd_(Fd),
      layout_(std::move(Layout)),
      cache_(Budget),
      pool_(TTilePool::Create()) {}

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
  // One buffer per thread: a fresh one per tile would cost a page fault
  // per 4 KiB on every read.
  thread_local std::unique_ptr<uint8_t[]> buffer(new uint8_t[kRawTileBytes]);
  thread_local std::unique_ptr<uint8_t[]> unpacked(new uint8_t[kRawTileBytes]);
  thread_local std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> zstd(ZSTD_createDCtx(),
                                                                       ZSTD_freeDCtx);
  uint8_t* bytes = buffer.get();
  if (!ReadAt(fd_, bytes, e.Length, e.Offset))
    throw EInOutError(name_, "cannot read a tile of the pyramid cache", errno);
  bool good = TileChecksum(bytes, e.Length) == e.Checksum;
  if (good && e.Length != kRawTileBytes && e.Length != kSolidTileBytes) {
    if (!zstd) throw std::bad_alloc();
    const size_t n =
        ZSTD_decompressDCtx(zstd.get(), unpacked.get(), kRawTileBytes, bytes, e.Length);
    good = n == kRawTileBytes;
    bytes = unpacked.get();
  }
  if (!good) {
    // Never shown; the next opening builds the pyramid again.
    ::unlink(name_.c_str());
    throw EInOutError(name_, "a tile of the pyramid cache is damaged; the file is removed");
  }
  auto tile = pool_->Take();
  if (e.Length == kSolidTileBytes) {
    const uint32_t colour = uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 | bytes[0];
    std::fill(tile.get(), tile.get() + kTilePixels, colour);
  } else {
    ExpandBgr(bytes, tile.get(), kTilePixels);
  }
  return tile;
}

// ------------------------------------------------------------------ writer

namespace {

// A build writes its temporary file every few megabytes; one left untouched
// this long belongs to a build that was killed. (Were a live build's file
// removed all the same, its rename would fail and it would build in memory:
// nothing is corrupted.)
constexpr auto kAbandonedAfter = std::chrono::hours(1);

// Removes the abandoned temporary files of CacheName (its name, a dot and
// six characters).
void RemoveAbandoned(const std::filesystem::path& CacheName) {
  std::error_code ec;
  const std::string prefix = CacheName.filename().string() + ".";
  const auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& e : std::filesystem::directory_iterator(CacheName.parent_path(), ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const auto written = e.last_write_time(ec);
    if (!ec && now - written > kAbandonedAfter) std::filesystem::remove(e.path(), ec);
  }
}

}  // namespace

TCacheWriter::TCacheWriter(const std::string& CacheName, const TCacheKey& Key, int Width,
                           int Height)
    : name_(CacheName), zstd_(nullptr, ZSTD_freeCCtx) {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::path(CacheName).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  if (ec) throw ECacheUnwritable(dir.string(), ec.message(), ec.value());
  RemoveAbandoned(CacheName);
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
  raw_.reset(new uint8_t[kRawTileBytes]);
  buffer_.reset(new uint8_t[kWriteChunk + ZSTD_compressBound(kRawTileBytes)]);
  zstd_.reset(ZSTD_createCCtx());
  if (!zstd_) throw std::bad_alloc();
  ZSTD_CCtx_setParameter(zstd_.get(), ZSTD_c_compressionLevel, kZstdLevel);
}

TCacheWriter::~TCacheWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TCacheWriter::Fail(const std::string& What, int Error) {
  throw ECacheUnwritable(name_, What + ": " + std::strerror(Error), Error);
}

void TCacheWriter::Drain() {
  if (!WriteAt(fd_, buffer_.get(), used_, pos_)) Fail("cannot write", errno);
  pos_ += used_;
  used_ = 0;
}

TTileEntry TCacheWriter::StoreRaw() {
  uint8_t* out = buffer_.get() + used_;
  size_t n = ZSTD_compress2(zstd_.get(), out, ZSTD_compressBound(kRawTileBytes), raw_.get(),
                            kRawTileBytes);
  if (ZSTD_isError(n) || n >= kRawTileBytes) {
    std::memcpy(out, raw_.get(), kRawTileBytes);
    n = kRawTileBytes;
  }
  const TTileEntry entry{pos_ + used_, static_cast<uint32_t>(n), TileChecksum(out, n)};
  used_ += n;
  return entry;
}

void TCacheWriter::Put(int Level, int, int, const uint32_t* Pixels) {
  uint32_t colour = 0;
  TTileEntry entry;
  if (IsSolid(Pixels, colour)) {
    const uint8_t bgr[3] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)};
    auto it = solid_.find(colour);
    if (it == solid_.end()) {
      it = solid_.emplace(colour, pos_ + used_).first;
      std::memcpy(buffer_.get() + used_, bgr, sizeof bgr);
      used_ += sizeof bgr;
    }
    entry = {it->second, kSolidTileBytes, TileChecksum(bgr, sizeof bgr)};
  } else {
    PackBgr(Pixels, raw_.get(), kTilePixels);
    entry = StoreRaw();
  }
  if (used_ >= kWriteChunk) Drain();
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
