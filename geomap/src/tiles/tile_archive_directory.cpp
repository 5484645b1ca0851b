// Reading a directory of tiles, {z}/{x}/{y}.png|jpg with rows from the
// north; other files (the page, metadata, manifests, temporary files of a
// run in progress) are passed over.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

// A whole decimal number of at most 8 digits, else -1.
int Number(std::string_view Text) {
  int v = -1;
  if (Text.empty() || Text.size() > 8) return -1;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
  return ec == std::errc() && end == Text.data() + Text.size() ? v : -1;
}

class TTileDirectory final : public TTileArchive {
 public:
  explicit TTileDirectory(const std::string& Folder) {
    FFile = Folder;
    std::error_code ec;
    if (!fs::is_directory(Folder, ec))
      throw EInOutError(Folder, ec ? ec.message() : "not a directory", ec ? ec.value() : ENOTDIR);
    Scan();
  }

  uint64_t TileCount() const override { return files_.size(); }

  std::vector<uint64_t> TileIds() override {
    CheckListableTiles(FFile, files_.size());
    std::vector<uint64_t> ids;
    ids.reserve(files_.size());
    for (const auto& [id, ext] : files_) ids.push_back(id);
    return ids;
  }

  bool Read(uint64_t Id, std::vector<uint8_t>& Data) override {
    const auto it = files_.find(Id);
    if (it == files_.end()) return false;
    const TTileId t = PMTilesTileOf(Id);
    const fs::path p = fs::path(FFile) / std::to_string(t.Z) / std::to_string(t.X) /
                       (std::to_string(t.Y) + it->second);
    std::ifstream in(p, std::ios::binary);
    if (!in) throw EInOutError(p.string(), "cannot be read");
    Data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }

 private:
  void Scan() {
    std::error_code ec;
    bool anyJpeg = false;
    FInfo.MinZoom = kMaxWebZoom;
    FInfo.MaxZoom = 0;
    for (const auto& level : fs::directory_iterator(FFile, ec)) {
      const int z = Number(level.path().filename().string());
      if (z < 0 || z > kMaxWebZoom || !level.is_directory()) continue;
      for (const auto& column : fs::directory_iterator(level.path(), ec)) {
        const int x = Number(column.path().filename().string());
        if (x < 0 || x >= (1 << z) || !column.is_directory()) continue;
        for (const auto& tile : fs::directory_iterator(column.path(), ec)) {
          const std::string name = tile.path().filename().string();
          const size_t dot = name.find('.');
          if (dot == std::string::npos) continue;
          const std::string ext = LowerCase(name.substr(dot));
          const int y = Number(std::string_view(name).substr(0, dot));
          if (y < 0 || y >= (1 << z) || (ext != ".png" && ext != ".jpg" && ext != ".jpeg"))
            continue;
          anyJpeg = anyJpeg || ext != ".png";
          files_[PMTilesTileId({z, x, y})] = name.substr(dot);
          FInfo.MinZoom = std::min(FInfo.MinZoom, z);
          FInfo.MaxZoom = std::max(FInfo.MaxZoom, z);
        }
      }
    }
    if (ec) throw EInOutError(FFile, ec.message(), ec.value());
    if (files_.empty()) FInfo.MinZoom = 0;
    FInfo.Format = anyJpeg ? TTileFormat::Jpeg : TTileFormat::Png;
    FInfo.Name = fs::path(FFile).lexically_normal().filename().string();
    if (FInfo.Name.empty())
      FInfo.Name = fs::path(FFile).lexically_normal().parent_path().filename();
  }

  std::map<uint64_t, std::string> files_;  // id -> extension with its dot
};

}  // namespace

std::unique_ptr<TTileArchive> OpenTileDirectory(const std::string& Folder) {
  return std::make_unique<TTileDirectory>(Folder);
}

void CheckListableTiles(const std::string& Name, uint64_t Tiles) {
  if (Tiles > kMaxArchiveTiles)
    throw EZYLGeoMapError(Name + ": " + std::to_string(Tiles) +
                          " tiles, more than the 268435456 (2^28) that can be listed, merged or "
                          "verified at once");
}

std::unique_ptr<TTileArchive> OpenTileArchive(const std::string& File) {
  switch (TileStoreKindOf(File)) {
    case TTileStoreKind::MBTiles:
      return OpenMBTilesArchive(File);
    case TTileStoreKind::PMTiles:
      return OpenPMTilesArchive(File);
    case TTileStoreKind::Directory:
      break;
  }
  return OpenTileDirectory(File);
}

}  // namespace marovia
