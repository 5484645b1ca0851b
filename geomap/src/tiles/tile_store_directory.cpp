// Tiles as files of a directory tree, {z}/{x}/{y}.ext, each written to a
// temporary name and renamed so that a tile present is always whole.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <unordered_set>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

// Writes Data to Path whole, or removes what it wrote and raises.
void WriteWhole(const std::string& Path, std::span<const uint8_t> Data) {
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw EInOutError(Path, std::strerror(errno), errno);
  size_t done = 0;
  while (done < Data.size()) {
    const ssize_t n = ::write(fd, Data.data() + done, Data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = n < 0 ? errno : ENOSPC;
      ::close(fd);
      ::unlink(Path.c_str());
      throw EInOutError(Path, std::strerror(e), e);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) {
    const int e = errno;
    ::unlink(Path.c_str());
    throw EInOutError(Path, std::strerror(e), e);
  }
}

std::string FormatNumber(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7f", v);
  return buf;
}

class TDirectoryStore final : public TTileStore {
 public:
  TDirectoryStore(std::string Root, TTileSetInfo Info) : root_(std::move(Root)), info_(Info) {
    std::error_code ec;
    fs::create_directories(root_, ec);
    if (!fs::is_directory(root_))
      throw EInOutError(root_, ec ? ec.message() : "not a directory", ec.value());
  }

  bool Has(const TTileId& Tile) override {
    std::ifstream in(TilePath(Tile), std::ios::binary);
    if (!in) return false;
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    return IsWholeTileImage(data);
  }

  void Put(const TTileId& Tile, std::span<const uint8_t> Data) override {
    CheckStorableTile(root_, Tile);
    const fs::path dir = fs::path(root_) / std::to_string(Tile.Z) / std::to_string(Tile.X);
    MakeColumnDirectory(Tile, dir);
    const std::string name = std::to_string(Tile.Y) + "." + TileExtension(info_.Format);
    const std::string temp = (dir / ("." + name + ".tmp" + std::to_string(::getpid()) + "_" +
                                     std::to_string(counter_.fetch_add(1))))
                                 .string();
    WriteWhole(temp, Data);
    const std::string target = (dir / name).string();
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
      const int e = errno;
      ::unlink(temp.c_str());
      throw EInOutError(target, std::strerror(e), e);
    }
  }

  void Finish() override {
    const TGeoBounds& b = info_.Bounds;
    std::ostringstream json;
    json << "{\n  \"name\": " << JsonString(info_.Name)
         << ",\n  \"description\": " << JsonString(info_.Description) << ",\n  \"format\": \""
         << TileExtension(info_.Format) << "\",\n  \"scheme\": \"xyz\",\n  \"bounds\": ["
         << FormatNumber(b.West) << ", " << FormatNumber(b.South) << ", " << FormatNumber(b.East)
         << ", " << FormatNumber(b.North) << "],\n  \"minzoom\": " << info_.MinZoom
         << ",\n  \"maxzoom\": " << info_.MaxZoom << "\n}\n";
    const std::string text = json.str();
    const std::string path = (fs::path(root_) / "metadata.json").string();
    WriteWhole(path + ".tmp", {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    if (std::rename((path + ".tmp").c_str(), path.c_str()) != 0) {
      const int e = errno;
      ::unlink((path + ".tmp").c_str());
      throw EInOutError(path, std::strerror(e), e);
    }
  }

 private:
  // Each column's directory is made once per run, not looked up per tile.
  void MakeColumnDirectory(const TTileId& Tile, const fs::path& Dir) {
    const uint64_t key = static_cast<uint64_t>(Tile.Z) << 32 | static_cast<uint32_t>(Tile.X);
    {
      std::lock_guard lock(mutex_);
      if (made_.count(key)) return;
    }
    std::error_code ec;
    fs::create_directories(Dir, ec);
    if (ec && !fs::is_directory(Dir)) throw EInOutError(Dir.string(), ec.message(), ec.value());
    std::lock_guard lock(mutex_);
    made_.insert(key);
  }

  std::string TilePath(const TTileId& Tile) const {
    return (fs::path(root_) / std::to_string(Tile.Z) / std::to_string(Tile.X) /
            (std::to_string(Tile.Y) + "." + TileExtension(info_.Format)))
        .string();
  }

  std::string root_;
  TTileSetInfo info_;
  std::atomic<uint64_t> counter_{0};
  std::mutex mutex_;
  std::unordered_set<uint64_t> made_;
};

}  // namespace

TTileStoreKind TileStoreKindOf(const std::string& Output) {
  const std::string ext = LowerCase(fs::path(Output).extension().string());
  if (ext == ".mbtiles") return TTileStoreKind::MBTiles;
  if (ext == ".pmtiles") return TTileStoreKind::PMTiles;
  return TTileStoreKind::Directory;
}

void CheckStorableTile(const std::string& Store, const TTileId& Tile) {
  const bool level = Tile.Z >= 0 && Tile.Z <= kMaxWebZoom;
  if (level && Tile.X >= 0 && Tile.Y >= 0 && Tile.X < (1 << Tile.Z) && Tile.Y < (1 << Tile.Z))
    return;
  throw EZYLGeoMapError(Store + ": tile " + std::to_string(Tile.Z) + "/" + std::to_string(Tile.X) +
                        "/" + std::to_string(Tile.Y) + " is not one of levels 0-" +
                        std::to_string(kMaxWebZoom));
}

std::unique_ptr<TTileStore> OpenDirectoryTileStore(const std::string& Output,
                                                   const TTileSetInfo& Info, bool) {
  return std::make_unique<TDirectoryStore>(Output, Info);
}

std::unique_ptr<TTileStore> OpenTileStore(const std::string& Output, const TTileSetInfo& Info,
                                          bool Resume) {
  switch (TileStoreKindOf(Output)) {
    case TTileStoreKind::MBTiles:
      return OpenMBTilesStore(Output, Info, Resume);
    case TTileStoreKind::PMTiles:
      return OpenPMTilesStore(Output, Info);
    case TTileStoreKind::Directory:
      break;
  }
  return OpenDirectoryTileStore(Output, Info, Resume);
}

}  // namespace marovia
