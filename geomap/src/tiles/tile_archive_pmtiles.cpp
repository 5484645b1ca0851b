// Reading a PMTiles (version 3) archive: the header, the root directory and
// every leaf directory into one list of entries, checked against the file;
// tiles are read on demand.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

// Leaves of leaves: writers use one level; a few more are allowed, a cycle
// is not.
constexpr int kMaxLeafDepth = 4;
// The most bytes the compressed directories of an archive inflate to,
// together: entries take at least four bytes, so this is room for 64
// million entries (runs of tiles count once), and a bound on what a small
// hostile stream can make the reader allocate, as a plain directory's
// size is.
constexpr size_t kMaxInflatedDirectories = size_t{256} << 20;
// The ids of levels 0..kMaxWebZoom; the ones beyond name tiles that no
// store writes and no other reader takes.
constexpr uint64_t kIdsWithinLevels = ((uint64_t{1} << (2 * (kMaxWebZoom + 1))) - 1) / 3;

struct TEntry {
  uint64_t TileId = 0;
  uint64_t Offset = 0;  // within the data section
  uint64_t Length = 0;
  uint64_t RunLength = 1;
};

class TPMTilesArchive final : public TTileArchive {
 public:
  explicit TPMTilesArchive(const std::string& File) {
    FFile = File;
    fd_ = ::open(File.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EInOutError(File, std::strerror(errno), errno);
    try {
      struct stat st {};
      if (::fstat(fd_, &st) != 0) throw EInOutError(File, std::strerror(errno), errno);
      size_ = static_cast<uint64_t>(st.st_size);
      Load();
    } catch (...) {
      ::close(fd_);
      throw;
    }
  }

  ~TPMTilesArchive() override { ::close(fd_); }

  uint64_t TileCount() const override { return addressed_; }

  std::vector<uint64_t> TileIds() override {
    CheckListableTiles(FFile, addressed_);
    std::vector<uint64_t> ids;
    ids.reserve(addressed_);
    for (const TEntry& e : entries_)
      for (uint64_t i = 0; i < e.RunLength; ++i) ids.push_back(e.TileId + i);
    return ids;
  }

  bool Read(uint64_t Id, std::vector<uint8_t>& Data) override {
    auto it = std::upper_bound(entries_.begin(), entries_.end(), Id,
                               [](uint64_t id, const TEntry& e) { return id < e.TileId; });
    if (it == entries_.begin()) return false;
    --it;
    if (Id - it->TileId >= it->RunLength) return false;
    Data.resize(it->Length);
    ReadAt(header_.DataOffset + it->Offset, Data.data(), Data.size());
    return true;
  }

 private:
  [[noreturn]] void Fail(uint64_t Offset, const std::string& Why) const {
    throw EZYLGeoMapError(FFile + ": offset " + std::to_string(Offset) + ": " + Why);
  }

  void ReadAt(uint64_t Offset, void* Into, size_t Length) const {
    size_t done = 0;
    while (done < Length) {
      const ssize_t n = ::pread(fd_, static_cast<char*>(Into) + done, Length - done,
                                static_cast<off_t>(Offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw EInOutError(FFile, std::strerror(errno), errno);
      if (n == 0) Fail(Offset + done, "the file ends early");
      done += static_cast<size_t>(n);
    }
  }

  // Whether [Offset, Offset + Length) lies within the file.
  bool InFile(uint64_t Offset, uint64_t Length) const {
    return Offset <= size_ && Length <= size_ - Offset;
  }

  void Load() {
    uint8_t head[TPMTilesHeader::kBytes];
    if (size_ < sizeof head) Fail(0, "too short for a PMTiles header");
    ReadAt(0, head, sizeof head);
    try {
      header_ = TPMTilesHeader::Deserialize(head);
    } catch (const EZYLGeoMapError& e) {
      Fail(0, e.what());
    }
    const TPMTilesHeader& h = header_;
    // 0 (unknown) is taken as none: the directory's own checks catch
    // compressed bytes read as plain.
    if (h.InternalCompression > 2)
      Fail(97, "directories compressed with method " + std::to_string(h.InternalCompression) +
                   ", only plain (1) and gzip (2) ones are read");
    const struct {
      uint64_t Offset, Length;
      const char* Name;
      size_t At;
    } sections[] = {{h.RootOffset, h.RootLength, "root directory", 8},
                    {h.MetadataOffset, h.MetadataLength, "metadata", 24},
                    {h.LeafOffset, h.LeafLength, "leaf directories", 40},
                    {h.DataOffset, h.DataLength, "tile data", 56}};
    for (const auto& s : sections)
      if (!InFile(s.Offset, s.Length))
        Fail(s.At, std::string("the ") + s.Name + " lies beyond the file's " +
                       std::to_string(size_) + " bytes");
    if (h.MinZoom > kMaxWebZoom || h.MaxZoom > kMaxWebZoom || h.MinZoom > h.MaxZoom)
      Fail(100, "levels " + std::to_string(h.MinZoom) + "-" + std::to_string(h.MaxZoom) +
                    " are not within 0-" + std::to_string(kMaxWebZoom));
    if (h.TileType != 2 && h.TileType != 3)
      Fail(99, "tile type " + std::to_string(h.TileType) + " is not PNG (2) or JPEG (3)");
    if (h.TileCompression > 1)
      Fail(98, "tiles compressed (" + std::to_string(h.TileCompression) + ")");
    FInfo.Format = h.TileType == 3 ? TTileFormat::Jpeg : TTileFormat::Png;
    FInfo.CompressDirectories = h.InternalCompression == 2;
    FInfo.MinZoom = h.MinZoom;
    FInfo.MaxZoom = h.MaxZoom;
    FInfo.Bounds = {h.MinLonE7 / 1e7, h.MinLatE7 / 1e7, h.MaxLonE7 / 1e7, h.MaxLatE7 / 1e7};
    FInfo.Center = {h.CenterLonE7 / 1e7, h.CenterLatE7 / 1e7};
    FInfo.Name = NameFromMetadata();
    Directory(ReadDirectory(h.RootOffset, h.RootLength), h.RootOffset, 0, 0, UINT64_MAX);
    for (size_t i = 1; i < entries_.size(); ++i)
      if (entries_[i].TileId < entries_[i - 1].TileId + entries_[i - 1].RunLength)
        Fail(h.RootOffset, "tile " + std::to_string(entries_[i].TileId) +
                               " comes after a tile of a higher id or twice");
  }

  // The bytes [Offset, Offset + Length) of the file, inflated when the
  // archive's directories are compressed (within what is left of
  // kMaxInflatedDirectories; the offsets that errors name within such a
  // directory count its inflated bytes).
  std::vector<uint8_t> ReadDirectory(uint64_t Offset, uint64_t Length) {
    std::vector<uint8_t> bytes(Length);
    ReadAt(Offset, bytes.data(), bytes.size());
    if (header_.InternalCompression != 2 || bytes.empty()) return bytes;
    try {
      bytes = GunzipBytes(bytes, kMaxInflatedDirectories - inflated_);
    } catch (const EZYLGeoMapError& e) {
      Fail(Offset, std::string(e.what()) +
                       (inflated_ > 0 ? " (with the directories inflated before it)" : ""));
    }
    inflated_ += bytes.size();
    return bytes;
  }

  // The "name" of the JSON metadata, when it is a plain string (no
  // escapes); else none.
  std::string NameFromMetadata() const {
    std::string name;
    if (header_.MetadataLength > 0 && header_.MetadataLength <= 65536) {
      std::vector<uint8_t> bytes(header_.MetadataLength);
      ReadAt(header_.MetadataOffset, bytes.data(), bytes.size());
      if (header_.InternalCompression == 2) {
        try {
          bytes = GunzipBytes(bytes, 1 << 20);
        } catch (const EZYLGeoMapError&) {
          return name;  // the name is a nicety: metadata that do not inflate give none
        }
      }
      const std::string meta(bytes.begin(), bytes.end());
      // "name", a colon and the string, with any white space between.
      size_t at = meta.find("\"name\"");
      const auto skipSpace = [&] {
        while (at < meta.size() && std::strchr(" \t\r\n", meta[at]) && meta[at] != '\0') ++at;
      };
      if (at != std::string::npos) {
        at += 6;
        skipSpace();
        if (at < meta.size() && meta[at] == ':') {
          ++at;
          skipSpace();
          const size_t end =
              at < meta.size() && meta[at] == '"' ? meta.find('"', at + 1) : std::string::npos;
          if (end != std::string::npos) name = meta.substr(at + 1, end - at - 1);
          if (name.find('\\') != std::string::npos) name.clear();
        }
      }
    }
    return name;
  }

  // The entries of one directory (Bytes, read from file offset At), leaves
  // followed; its tiles must lie within the ids [Lo, Hi) that the entry
  // pointing at it gives.
  void Directory(const std::vector<uint8_t>& Bytes, uint64_t At, int Depth, uint64_t Lo,
                 uint64_t Hi) {
    if (Depth > kMaxLeafDepth) Fail(At, "leaf directories nested too deep");
    if (Bytes.empty()) return;  // an archive without tiles
    size_t pos = 0;
    const auto varint = [&] {
      uint64_t v = 0;
      for (int shift = 0;; shift += 7) {
        if (pos >= Bytes.size()) Fail(At + pos, "a directory ends inside a number");
        if (shift > 63) Fail(At + pos, "a number of a directory is too long");
        const uint8_t b = Bytes[pos++];
        if (shift == 63 && (b & 0x7E)) Fail(At + pos - 1, "a number beyond 64 bits");
        v |= uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80)) return v;
      }
    };
    const uint64_t count = varint();
    // Each entry takes at least four bytes.
    if (count > (Bytes.size() - pos) / 4)
      Fail(At, std::to_string(count) + " entries cannot fit in a directory of " +
                   std::to_string(Bytes.size()) + " bytes");
    std::vector<TEntry> entries(count);
    uint64_t id = 0;
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t delta = varint();
      if (i > 0 && delta == 0) Fail(At + pos, "a tile id repeats in a directory");
      if (delta > UINT64_MAX - id) Fail(At + pos, "a tile id beyond 64 bits");
      id += delta;
      entries[i].TileId = id;
    }
    for (TEntry& e : entries) e.RunLength = varint();
    for (TEntry& e : entries) e.Length = varint();
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t v = varint();
      if (v == 0 && i == 0) Fail(At + pos, "the first entry has no offset");
      entries[i].Offset = v == 0 ? entries[i - 1].Offset + entries[i - 1].Length : v - 1;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
      const TEntry& e = entries[i];
      const uint64_t next = i + 1 < entries.size() ? entries[i + 1].TileId : Hi;
      if (e.TileId < Lo || e.TileId >= Hi)
        Fail(At, "tile " + std::to_string(e.TileId) + " lies outside the ids of its directory");
      if (e.RunLength == 0) {
        if (e.Offset > header_.LeafLength || e.Length > header_.LeafLength - e.Offset)
          Fail(At, "a leaf directory lies beyond the leaf section");
        // Each leaf is read once: entries that point at one leaf again and
        // again would multiply the work with every level.
        leafBytes_ += e.Length;
        if (leafBytes_ > header_.LeafLength) Fail(At, "leaf directories are read more than once");
        Directory(ReadDirectory(header_.LeafOffset + e.Offset, e.Length),
                  header_.LeafOffset + e.Offset, Depth + 1, e.TileId, next);
        continue;
      }
      if (e.Offset > header_.DataLength || e.Length > header_.DataLength - e.Offset)
        Fail(At, "tile " + std::to_string(e.TileId) + " lies beyond the tile data");
      if (e.RunLength > next - e.TileId || e.RunLength > UINT64_MAX - addressed_)
        Fail(At, "the run of tile " + std::to_string(e.TileId) + " reaches the next entry's ids");
      if (e.TileId + (e.RunLength - 1) >= kIdsWithinLevels)
        Fail(At, "tile " + std::to_string(e.TileId + (e.RunLength - 1)) +
                     " lies beyond the levels 0-" + std::to_string(kMaxWebZoom));
      addressed_ += e.RunLength;
      entries_.push_back(e);
    }
  }

  int fd_ = -1;
  uint64_t size_ = 0;
  TPMTilesHeader header_;
  std::vector<TEntry> entries_;
  uint64_t addressed_ = 0;
  uint64_t leafBytes_ = 0;
  size_t inflated_ = 0;  // bytes of compressed directories inflated so far
};

}  // namespace

std::unique_ptr<TTileArchive> OpenPMTilesArchive(const std::string& File) {
  return std::make_unique<TPMTilesArchive>(File);
}

}  // namespace marovia
