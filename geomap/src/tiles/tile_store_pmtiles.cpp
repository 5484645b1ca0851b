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
#include <sstream>

#include "marovia/geomap/tile_store.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

constexpr size_t kHeaderBytes = 127;
// The header and the root directory must lie within the first 16 KiB.
constexpr size_t kRootLimit = 16384;

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

int32_t E7(double Degrees) {
  return static_cast<int32_t>(std::lround(Degrees * 1e7));
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
    std::lock_guard lock(mutex_);
    if (Data.empty()) return;
    if (std::fwrite(Data.data(), 1, Data.size(), data_) != Data.size())
      throw EInOutError(scratch_, std::strerror(errno), errno);
    entries_.push_back({PMTilesTileId(Tile), size_, static_cast<uint32_t>(Data.size()), 1});
    size_ += Data.size();
  }

  void Finish() override {
    std::lock_guard lock(mutex_);
    if (std::fflush(data_) != 0) throw EInOutError(scratch_, std::strerror(errno), errno);
    // Tile data in tile id order; a tile written twice keeps its last copy.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const TEntry& a, const TEntry& b) { return a.TileId < b.TileId; });
    std::vector<TEntry> sorted;
    for (const TEntry& e : entries_) {
      if (!sorted.empty() && sorted.back().TileId == e.TileId)
        sorted.back() = e;
      else
        sorted.push_back(e);
    }
    std::vector<uint64_t> scratchOffset(sorted.size());
    uint64_t offset = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
      scratchOffset[i] = sorted[i].Offset;
      sorted[i].Offset = offset;
      offset += sorted[i].Length;
    }
    const uint64_t dataBytes = offset;

    std::string root, leaves;
    BuildDirectories(sorted, root, leaves);
    const std::string meta = MetadataJson();

    std::string header(kHeaderBytes, '\0');
    std::memcpy(header.data(), "PMTiles", 7);
    header[7] = 3;
    const uint64_t rootOffset = kHeaderBytes, metaOffset = rootOffset + root.size();
    const uint64_t leafOffset = metaOffset + meta.size(), dataOffset = leafOffset + leaves.size();
    PutLe(header, 8, rootOffset, 8);
    PutLe(header, 16, root.size(), 8);
    PutLe(header, 24, metaOffset, 8);
    PutLe(header, 32, meta.size(), 8);
    PutLe(header, 40, leafOffset, 8);
    PutLe(header, 48, leaves.size(), 8);
    PutLe(header, 56, dataOffset, 8);
    PutLe(header, 64, dataBytes, 8);
    PutLe(header, 72, sorted.size(), 8);
    PutLe(header, 80, sorted.size(), 8);
    PutLe(header, 88, sorted.size(), 8);
    header[96] = 1;  // clustered
    header[97] = 1;  // internal compression: none
    header[98] = 1;  // tile compression: none
    header[99] = info_.Format == TTileFormat::Png ? 2 : 3;
    header[100] = static_cast<char>(info_.MinZoom);
    header[101] = static_cast<char>(info_.MaxZoom);
    const TGeoBounds& b = info_.Bounds;
    PutLe(header, 102, static_cast<uint32_t>(E7(b.West)), 4);
    PutLe(header, 106, static_cast<uint32_t>(E7(b.South)), 4);
    PutLe(header, 110, static_cast<uint32_t>(E7(b.East)), 4);
    PutLe(header, 114, static_cast<uint32_t>(E7(b.North)), 4);
    header[118] = static_cast<char>(info_.MinZoom);
    PutLe(header, 119, static_cast<uint32_t>(E7((b.West + b.East) / 2)), 4);
    PutLe(header, 123, static_cast<uint32_t>(E7((b.South + b.North) / 2)), 4);

    const std::string temp = file_ + ".tmp";
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) throw EInOutError(temp, std::strerror(errno), errno);
    try {
      Write(out, temp, header);
      Write(out, temp, root);
      Write(out, temp, meta);
      Write(out, temp, leaves);
      std::vector<char> buf;
      for (size_t i = 0; i < sorted.size(); ++i) {
        buf.resize(sorted[i].Length);
        if (::fseeko(data_, static_cast<off_t>(scratchOffset[i]), SEEK_SET) != 0 ||
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

 private:
  static void Write(FILE* Out, const std::string& Name, std::string_view Bytes) {
    if (!Bytes.empty() && std::fwrite(Bytes.data(), 1, Bytes.size(), Out) != Bytes.size())
      throw EInOutError(Name, std::strerror(errno ? errno : ENOSPC), errno ? errno : ENOSPC);
  }

  // The root directory alone when it fits beside the header; else leaves of
  // growing size until the root of their first entries fits.
  static void BuildDirectories(const std::vector<TEntry>& Entries, std::string& Root,
                               std::string& Leaves) {
    Leaves.clear();
    if (Entries.empty()) {
      // A directory holds at least one entry; an archive without tiles has
      // an empty root.
      Root.clear();
      return;
    }
    Root = SerializeDirectory(Entries);
    if (kHeaderBytes + Root.size() <= kRootLimit) return;
    for (size_t leafSize = 4096;; leafSize *= 2) {
      std::vector<TEntry> rootEntries;
      Leaves.clear();
      for (size_t i = 0; i < Entries.size(); i += leafSize) {
        const size_t n = std::min(leafSize, Entries.size() - i);
        const std::string leaf = SerializeDirectory({Entries.data() + i, n});
        rootEntries.push_back(
            {Entries[i].TileId, Leaves.size(), static_cast<uint32_t>(leaf.size()), 0});
        Leaves += leaf;
      }
      Root = SerializeDirectory(rootEntries);
      if (kHeaderBytes + Root.size() <= kRootLimit) return;
    }
  }

  std::string MetadataJson() const {
    std::ostringstream json;
    json << "{\"name\":\"";
    for (const char c : info_.Name) {
      if (c == '"' || c == '\\') json << '\\';
      if (static_cast<unsigned char>(c) >= 0x20) json << c;
    }
    json << "\",\"format\":\"" << TileExtension(info_.Format) << "\",\"type\":\"baselayer\"}";
    return json.str();
  }

  std::string file_;
  TTileSetInfo info_;
  std::string scratch_;
  FILE* data_ = nullptr;
  uint64_t size_ = 0;
  std::vector<TEntry> entries_;
  std::mutex mutex_;
};

}  // namespace

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
