// Tiles in a PMTiles (version 3) archive. The layout is described in
// tile_store.h; the archive is put together when the run finishes, from a
// scratch file that holds the tiles in the order they arrived.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "marovia/geomap/tile_store.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

constexpr size_t kHeaderBytes = TPMTilesHeader::kBytes;
// The header and the root directory must lie within the first 16 KiB.
constexpr size_t kRootLimit = 16384;
// Tiles copied from the scratch file into the archive at once, at least.
constexpr uint64_t kCopyPiece = uint64_t{1} << 20;

// The position of (X, Y) along the Hilbert curve that fills a square of
// side N (a power of two).
uint64_t HilbertIndex(uint64_t N, uint64_t X, uint64_t Y) {
  uint64_t d = 0;
  for (uint64_t s = N / 2; s > 0; s /= 2) {
    const uint64_t rx = (X & s) ? 1 : 0;
    const uint64_t ry = (Y & s) ? 1 : 0;
    d += s * s * ((3 * rx) ^ ry);
    if (ry == 0) {
      if (rx == 1) {
        X = N - 1 - X;
        Y = N - 1 - Y;
      }
      std::swap(X, Y);
    }
  }
  return d;
}

uint64_t TilesBefore(int Z) {
  return ((uint64_t{1} << (2 * Z)) - 1) / 3;
}

struct TEntry {
  uint64_t TileId = 0;
  uint64_t Offset = 0;
  uint32_t Length = 0;
  uint32_t RunLength = 1;
};

void PutVarint(std::string& Out, uint64_t V) {
  while (V >= 0x80) {
    Out += static_cast<char>((V & 0x7F) | 0x80);
    V >>= 7;
  }
  Out += static_cast<char>(V);
}

std::string SerializeDirectory(std::span<const TEntry> Entries) {
  std::string out;
  PutVarint(out, Entries.size());
  uint64_t last = 0;
  for (const TEntry& e : Entries) {
    PutVarint(out, e.TileId - last);
    last = e.TileId;
  }
  for (const TEntry& e : Entries) PutVarint(out, e.RunLength);
  for (const TEntry& e : Entries) PutVarint(out, e.Length);
  for (size_t i = 0; i < Entries.size(); ++i) {
    const bool follows =
        i > 0 && Entries[i].Offset == Entries[i - 1].Offset + Entries[i - 1].Length;
    PutVarint(out, follows ? 0 : Entries[i].Offset + 1);
  }
  return out;
}

void PutLe(std::string& Out, size_t At, uint64_t V, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out[At + i] = static_cast<char>((V >> (8 * i)) & 0xFF);
}

uint64_t GetLe(std::span<const uint8_t> In, size_t At, int Bytes) {
  uint64_t v = 0;
  for (int i = Bytes - 1; i >= 0; --i) v = v << 8 | In[At + i];
  return v;
}

int32_t E7(double Degrees) {
  return static_cast<int32_t>(std::lround(Degrees * 1e7));
}

// Finds the candidates for identical content, which the bytes themselves
// then confirm, so it need not be strong, only quick: eight bytes a step
// (a byte at a time was a quarter of a merge's CPU time). Not stored.
uint64_t ContentHash(std::span<const uint8_t> Data) {
  uint64_t h = 14695981039346656037ull ^ Data.size();
  const auto mix = [&h](uint64_t Word) {
    h = (h ^ Word) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  };
  size_t i = 0;
  for (; i + 8 <= Data.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, Data.data() + i, 8);
    mix(w);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, Data.data() + i, Data.size() - i);
  mix(tail);
  return h;
}

class TPMTilesStore final : public TTileStore {
 public:
  TPMTilesStore(std::string File, TTileSetInfo Info)
      : file_(std::move(File)), info_(std::move(Info)), scratch_(file_ + ".tiles.tmp") {
    data_ = std::fopen(scratch_.c_str(), "w+b");
    if (!data_) throw EInOutError(scratch_, std::strerror(errno), errno);
  }

  ~TPMTilesStore() override {
    if (data_) std::fclose(data_);
    ::unlink(scratch_.c_str());
  }

  bool Has(const TTileId&) override { return false; }

  void Put(const TTileId& Tile, std::span<const uint8_t> Data) override {
    CheckStorableTile(file_, Tile);
    std::lock_guard lock(mutex_);
    if (Data.empty()) return;
    const uint64_t id = PMTilesTileId(Tile);
    if (info_.Deduplicate) {
      const uint64_t hash = ContentHash(Data);
      const auto [first, last] = contents_.equal_range(hash);
      for (auto it = first; it != last; ++it) {
        const TEntry& c = it->second;
        if (c.Length == Data.size() && SameBytes(c.Offset, Data)) {
          entries_.push_back({id, c.Offset, c.Length, 1});
          return;
        }
      }
      contents_.insert({hash, {0, size_, static_cast<uint32_t>(Data.size()), 1}});
    }
    // A seek empties the stream's buffer: only after reading back.
    if ((!atEnd_ && ::fseeko(data_, static_cast<off_t>(size_), SEEK_SET) != 0) ||
        std::fwrite(Data.data(), 1, Data.size(), data_) != Data.size())
      throw EInOutError(scratch_, std::strerror(errno), errno);
    atEnd_ = true;
    entries_.push_back({id, size_, static_cast<uint32_t>(Data.size()), 1});
    size_ += Data.size();
  }

  void Finish() override {
    std::lock_guard lock(mutex_);
    if (std::fflush(data_) != 0) throw EInOutError(scratch_, std::strerror(errno), errno);
    atEnd_ = false;
    const std::vector<TEntry> byId = EntriesById();
    // The data in tile id order, each content once where its first tile
    // is; entries then point into it (scratch offset -> archive offset).
    std::unordered_map<uint64_t, uint64_t> placed;
    placed.reserve(byId.size());
    std::vector<std::pair<uint64_t, uint32_t>> copies;  // scratch offset, length
    uint64_t dataBytes = 0;
    std::vector<TEntry> entries;
    for (const TEntry& e : byId) {
      auto [at, added] = placed.insert({e.Offset, dataBytes});
      if (added) {
        copies.push_back({e.Offset, e.Length});
        dataBytes += e.Length;
      }
      // Consecutive ids of one content make one entry with a run length.
      if (!entries.empty() && entries.back().Offset == at->second &&
          entries.back().TileId + entries.back().RunLength == e.TileId) {
        ++entries.back().RunLength;
      } else {
        entries.push_back({e.TileId, at->second, e.Length, 1});
      }
    }

    std::string root, leaves;
    BuildDirectories(entries, info_.CompressDirectories, root, leaves);
    const std::string meta = Packed(MetadataJson(), info_.CompressDirectories);

    TPMTilesHeader h;
    h.RootOffset = TPMTilesHeader::kBytes;
    h.RootLength = root.size();
    h.MetadataOffset = h.RootOffset + root.size();
    h.MetadataLength = meta.size();
    h.LeafOffset = h.MetadataOffset + meta.size();
    h.LeafLength = leaves.size();
    h.DataOffset = h.LeafOffset + leaves.size();
    h.DataLength = dataBytes;
    h.AddressedTiles = byId.size();
    h.TileEntries = entries.size();
    h.TileContents = copies.size();
    h.InternalCompression = info_.CompressDirectories ? 2 : 1;
    h.TileType = info_.Format == TTileFormat::Png ? 2 : 3;
    h.MinZoom = static_cast<uint8_t>(info_.MinZoom);
    h.MaxZoom = static_cast<uint8_t>(info_.MaxZoom);
    const TGeoBounds& b = info_.Bounds;
    h.MinLonE7 = E7(b.West);
    h.MinLatE7 = E7(b.South);
    h.MaxLonE7 = E7(b.East);
    h.MaxLatE7 = E7(b.North);
    h.CenterZoom = static_cast<uint8_t>(info_.MinZoom);
    h.CenterLonE7 = E7(info_.Center ? info_.Center->first : (b.West + b.East) / 2);
    h.CenterLatE7 = E7(info_.Center ? info_.Center->second : (b.South + b.North) / 2);
    WriteArchive(h.Serialize(), root, meta, leaves, copies);
  }

 private:
  // Whether the scratch file holds Data at Offset.
  bool SameBytes(uint64_t Offset, std::span<const uint8_t> Data) {
    atEnd_ = false;
    std::vector<uint8_t> stored(Data.size());
    const bool read = ::fseeko(data_, static_cast<off_t>(Offset), SEEK_SET) == 0 &&
                      std::fread(stored.data(), 1, stored.size(), data_) == stored.size();
    if (!read) throw EInOutError(scratch_, "cannot read back a tile");
    return std::equal(stored.begin(), stored.end(), Data.begin());
  }

  // The entries in tile id order; a tile written twice keeps its last copy.
  std::vector<TEntry> EntriesById() {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const TEntry& a, const TEntry& b) { return a.TileId < b.TileId; });
    std::vector<TEntry> sorted;
    for (const TEntry& e : entries_) {
      if (!sorted.empty() && sorted.back().TileId == e.TileId)
        sorted.back() = e;
      else
        sorted.push_back(e);
    }
    return sorted;
  }

  // The archive under a temporary name, renamed over the output once whole.
  void WriteArchive(const std::string& Header, const std::string& Root, const std::string& Meta,
                    const std::string& Leaves,
                    const std::vector<std::pair<uint64_t, uint32_t>>& Copies) {
    const std::string temp = file_ + ".tmp";
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) throw EInOutError(temp, std::strerror(errno), errno);
    try {
      Write(out, temp, Header);
      Write(out, temp, Root);
      Write(out, temp, Meta);
      Write(out, temp, Leaves);
      // Tiles that lie one after the other in the scratch file (all of
      // them when they arrived in id order, as from a merge) are copied in
      // large pieces rather than a seek and a read each.
      std::vector<char> buf;
      for (size_t i = 0; i < Copies.size();) {
        const uint64_t start = Copies[i].first;
        uint64_t end = start + Copies[i].second;
        for (++i; i < Copies.size() && Copies[i].first == end && end - start < kCopyPiece; ++i)
          end += Copies[i].second;
        buf.resize(end - start);
        if (::fseeko(data_, static_cast<off_t>(start), SEEK_SET) != 0 ||
            std::fread(buf.data(), 1, buf.size(), data_) != buf.size())
          throw EInOutError(scratch_, "cannot read back a tile");
        Write(out, temp, std::string_view(buf.data(), buf.size()));
      }
      if (std::fclose(out) != 0) {
        out = nullptr;
        throw EInOutError(temp, std::strerror(errno), errno);
      }
      out = nullptr;
      // On the disk before it takes the archive's name, so that a power cut
      // leaves the old archive or the new one.
      const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || ::fsync(fd) != 0) {
        const int e = errno;
        if (fd >= 0) ::close(fd);
        throw EInOutError(temp, std::strerror(e), e);
      }
      ::close(fd);
    } catch (...) {
      if (out) std::fclose(out);
      ::unlink(temp.c_str());
      throw;
    }
    if (std::rename(temp.c_str(), file_.c_str()) != 0) {
      const int e = errno;
      ::unlink(temp.c_str());
      throw EInOutError(file_, std::strerror(e), e);
    }
  }

  static void Write(FILE* Out, const std::string& Name, std::string_view Bytes) {
    if (!Bytes.empty() && std::fwrite(Bytes.data(), 1, Bytes.size(), Out) != Bytes.size())
      throw EInOutError(Name, std::strerror(errno ? errno : ENOSPC), errno ? errno : ENOSPC);
  }

  // The root directory alone when it fits beside the header; else leaves of
  // growing size until the root of their first entries fits.
  static void BuildDirectories(const std::vector<TEntry>& Entries, bool Gzip, std::string& Root,
                               std::string& Leaves) {
    Leaves.clear();
    if (Entries.empty()) {
      // A directory holds at least one entry; an archive without tiles has
      // an empty root.
      Root.clear();
      return;
    }
    Root = Packed(SerializeDirectory(Entries), Gzip);
    if (kHeaderBytes + Root.size() <= kRootLimit) return;
    for (size_t leafSize = 4096;; leafSize *= 2) {
      std::vector<TEntry> rootEntries;
      Leaves.clear();
      for (size_t i = 0; i < Entries.size(); i += leafSize) {
        const size_t n = std::min(leafSize, Entries.size() - i);
        const std::string leaf = Packed(SerializeDirectory({Entries.data() + i, n}), Gzip);
        rootEntries.push_back(
            {Entries[i].TileId, Leaves.size(), static_cast<uint32_t>(leaf.size()), 0});
        Leaves += leaf;
      }
      Root = Packed(SerializeDirectory(rootEntries), Gzip);
      if (kHeaderBytes + Root.size() <= kRootLimit) return;
    }
  }

  // A directory or the metadata as stored: as it is, or as a gzip stream
  // of its own.
  static std::string Packed(const std::string& Bytes, bool Gzip) {
    if (!Gzip) return Bytes;
    const std::vector<uint8_t> z =
        GzipBytes({reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size()});
    return {z.begin(), z.end()};
  }

  std::string MetadataJson() const {
    return "{\"name\":" + JsonString(info_.Name) + ",\"format\":\"" + TileExtension(info_.Format) +
           "\",\"type\":\"baselayer\"}";
  }

  std::string file_;
  TTileSetInfo info_;
  std::string scratch_;
  FILE* data_ = nullptr;
  uint64_t size_ = 0;
  bool atEnd_ = false;  // the stream stands at the end of the scratch file
  std::vector<TEntry> entries_;
  // The stored contents by hash (Deduplicate), in the scratch file.
  std::unordered_multimap<uint64_t, TEntry> contents_;
  std::mutex mutex_;
};

}  // namespace

std::string TPMTilesHeader::Serialize() const {
  std::string h(kBytes, '\0');
  std::memcpy(h.data(), "PMTiles", 7);
  h[7] = 3;
  PutLe(h, 8, RootOffset, 8);
  PutLe(h, 16, RootLength, 8);
  PutLe(h, 24, MetadataOffset, 8);
  PutLe(h, 32, MetadataLength, 8);
  PutLe(h, 40, LeafOffset, 8);
  PutLe(h, 48, LeafLength, 8);
  PutLe(h, 56, DataOffset, 8);
  PutLe(h, 64, DataLength, 8);
  PutLe(h, 72, AddressedTiles, 8);
  PutLe(h, 80, TileEntries, 8);
  PutLe(h, 88, TileContents, 8);
  h[96] = Clustered ? 1 : 0;
  h[97] = static_cast<char>(InternalCompression);
  h[98] = static_cast<char>(TileCompression);
  h[99] = static_cast<char>(TileType);
  h[100] = static_cast<char>(MinZoom);
  h[101] = static_cast<char>(MaxZoom);
  PutLe(h, 102, static_cast<uint32_t>(MinLonE7), 4);
  PutLe(h, 106, static_cast<uint32_t>(MinLatE7), 4);
  PutLe(h, 110, static_cast<uint32_t>(MaxLonE7), 4);
  PutLe(h, 114, static_cast<uint32_t>(MaxLatE7), 4);
  h[118] = static_cast<char>(CenterZoom);
  PutLe(h, 119, static_cast<uint32_t>(CenterLonE7), 4);
  PutLe(h, 123, static_cast<uint32_t>(CenterLatE7), 4);
  return h;
}

TPMTilesHeader TPMTilesHeader::Deserialize(std::span<const uint8_t> Bytes) {
  if (Bytes.size() < kBytes || std::memcmp(Bytes.data(), "PMTiles", 7) != 0 || Bytes[7] != 3)
    throw EZYLGeoMapError("not a PMTiles version 3 header");
  TPMTilesHeader h;
  h.RootOffset = GetLe(Bytes, 8, 8);
  h.RootLength = GetLe(Bytes, 16, 8);
  h.MetadataOffset = GetLe(Bytes, 24, 8);
  h.MetadataLength = GetLe(Bytes, 32, 8);
  h.LeafOffset = GetLe(Bytes, 40, 8);
  h.LeafLength = GetLe(Bytes, 48, 8);
  h.DataOffset = GetLe(Bytes, 56, 8);
  h.DataLength = GetLe(Bytes, 64, 8);
  h.AddressedTiles = GetLe(Bytes, 72, 8);
  h.TileEntries = GetLe(Bytes, 80, 8);
  h.TileContents = GetLe(Bytes, 88, 8);
  h.Clustered = Bytes[96] != 0;
  h.InternalCompression = Bytes[97];
  h.TileCompression = Bytes[98];
  h.TileType = Bytes[99];
  h.MinZoom = Bytes[100];
  h.MaxZoom = Bytes[101];
  h.MinLonE7 = static_cast<int32_t>(GetLe(Bytes, 102, 4));
  h.MinLatE7 = static_cast<int32_t>(GetLe(Bytes, 106, 4));
  h.MaxLonE7 = static_cast<int32_t>(GetLe(Bytes, 110, 4));
  h.MaxLatE7 = static_cast<int32_t>(GetLe(Bytes, 114, 4));
  h.CenterZoom = Bytes[118];
  h.CenterLonE7 = static_cast<int32_t>(GetLe(Bytes, 119, 4));
  h.CenterLatE7 = static_cast<int32_t>(GetLe(Bytes, 123, 4));
  return h;
}

uint64_t PMTilesTileId(const TTileId& Tile) {
  return TilesBefore(Tile.Z) + HilbertIndex(uint64_t{1} << Tile.Z, static_cast<uint64_t>(Tile.X),
                                            static_cast<uint64_t>(Tile.Y));
}

TTileId PMTilesTileOf(uint64_t TileId) {
  int z = 0;
  while (z < 31 && TilesBefore(z + 1) <= TileId) ++z;
  uint64_t t = TileId - TilesBefore(z);
  const uint64_t n = uint64_t{1} << z;
  // The inverse walk of the curve, from the finest quadrant up.
  uint64_t x = 0, y = 0;
  for (uint64_t s = 1; s < n; s *= 2) {
    const uint64_t rx = 1 & (t / 2);
    const uint64_t ry = 1 & (t ^ rx);
    if (ry == 0) {
      if (rx == 1) {
        x = s - 1 - x;
        y = s - 1 - y;
      }
      std::swap(x, y);
    }
    x += s * rx;
    y += s * ry;
    t /= 4;
  }
  return {z, static_cast<int>(x), static_cast<int>(y)};
}

std::unique_ptr<TTileStore> OpenPMTilesStore(const std::string& Output, const TTileSetInfo& Info) {
  return std::make_unique<TPMTilesStore>(Output, Info);
}

}  // namespace marovia
