// Tile archives read back for merging and verifying: PMTiles and MBTiles
// files (an input that begins as SQLite files do is the one, else the
// other), and the merge of one.
//
// Invariants checked: every id listed reads back, ids rise, the count
// agrees with the list; an archive merged alone into a PMTiles archive
// holds the same tiles with the same bytes.
#include <algorithm>

#include "fuzz_support.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/geomap/tile_merge.h"

using namespace marovia;

namespace {

// Archives addressing more tiles are only opened: a few bytes can address
// millions of tiles through run lengths, legitimately.
constexpr uint64_t kListedTiles = 20000;
// Nor are tiles merged beyond this many bytes in all: a few bytes can also
// make every listed tile the whole file (25 kB x 20 000 tiles took seconds).
constexpr size_t kMergedBytes = size_t{16} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const bool mbtiles = fuzz::AsText(Data, Size).starts_with("SQLite format 3");
  const std::string file = (fuzz::ScratchDir() / (mbtiles ? "in.mbtiles" : "in.pmtiles")).string();
  fuzz::WriteFile(file, fuzz::AsText(Data, Size));
  std::unique_ptr<TTileArchive> archive;
  std::vector<uint64_t> ids;
  if (!fuzz::Refusing([&] {
        archive = OpenTileArchive(file);
        if (archive->TileCount() <= kListedTiles) ids = archive->TileIds();
      }))
    return 0;
  if (archive->TileCount() > kListedTiles) return 0;
  fuzz::Check(ids.size() == archive->TileCount(), "the count differs from the list");
  fuzz::Check(std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>()) == ids.end(),
              "ids do not rise");
  std::vector<uint8_t> data;
  std::vector<std::vector<uint8_t>> bytes;
  size_t total = 0;
  for (const uint64_t id : ids) {
    if (!fuzz::Refusing([&] { fuzz::Check(archive->Read(id, data), "a listed tile is missing"); }))
      return 0;
    if ((total += data.size()) > kMergedBytes) return 0;
    bytes.push_back(data);
  }
  const std::string out = (fuzz::ScratchDir() / "out.pmtiles").string();
  if (!fuzz::Refusing([&] { MergeTileArchives({file}, out); })) return 0;
  const auto merged = OpenTileArchive(out);
  fuzz::Check(merged->TileIds() == ids, "merging changed the tiles");
  for (size_t i = 0; i < ids.size(); ++i)
    fuzz::Check(merged->Read(ids[i], data) && data == bytes[i], "merging changed a tile's bytes");
  return 0;
}
