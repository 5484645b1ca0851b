// geomap tiles: web map tiles of a calibrated map or of a whole atlas
// folder, into a directory (with a page that shows them), an MBTiles or a
// PMTiles file.
//
// Work: the tiles to make are numbered level by level, block by block
// (bands of rows from the north), row by row within a block; --part K/N takes the K-th of N equal
// ranges of those numbers, so the parts of one job write disjoint tiles whose union is what one run
// writes. Threads take tiles one at a time from a shared counter; every tile is rendered
// independently, so the bytes of a tile do not depend on the threads, the part or the order.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

#include "arguments.h"
#include "atlas_files.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/platform/sysutils.h"
#include "tile_page.h"
#include "tile_sources.h"

namespace marovia::geomaptool {

namespace {

const TOptionDef kOptions[] = {{"output", 'o', true}, {"zoom", 0, true},  {"format", 0, true},
                               {"jobs", 0, true},     {"part", 0, true},  {"resume", 0, false},
                               {"force", 0, false},   {"exact", 0, false}};

constexpr int64_t kMaxTilesWithoutForce = 10'000'000;

std::optional<std::pair<int, int>> ParseTwoInts(const std::string& Text, char Sep) {
  const size_t at = Text.find(Sep);
  if (at == std::string::npos || at == 0 || at + 1 >= Text.size()) return std::nullopt;
  try {
    size_t n1 = 0, n2 = 0;
    const int a = std::stoi(Text.substr(0, at), &n1);
    const int b = std::stoi(Text.substr(at + 1), &n2);
    if (n1 != at || n2 != Text.size() - at - 1) return std::nullopt;
    return std::pair{a, b};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The numbered tiles of a run: blocks with the number of their first tile.
class TTileList {
 public:
  void Add(const TTileBlock& Block) {
    first_.push_back(total_);
    blocks_.push_back(Block);
    total_ += Block.Count();
  }
  int64_t Total() const { return total_; }
  TTileId At(int64_t Index) const {
    const auto it = std::upper_bound(first_.begin(), first_.end(), Index) - 1;
    return blocks_[static_cast<size_t>(it - first_.begin())].At(Index - *it);
  }

 private:
  std::vector<TTileBlock> blocks_;
  std::vector<int64_t> first_;
  int64_t total_ = 0;
};

struct TRunCounts {
  std::atomic<int64_t> Written{0};
  std::atomic<int64_t> Kept{0};   // already there (--resume)
  std::atomic<int64_t> Empty{0};  // no map covers any pixel
};

// The name of a folder or file without its extension ("atlas" for
// "maps/atlas/").
std::string SetName(const std::string& Path) {
  std::filesystem::path p = std::filesystem::path(Path).lexically_normal();
  if (p.filename().empty()) p = p.parent_path();
  return p.stem().string();
}

}  // namespace

int RunTiles(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1)
    throw TUsageError("tiles needs one calibration file or atlas folder");
  const auto output = args.Value("output");
  if (!output || output->empty()) throw TUsageError("tiles needs -o OUTPUT");
  TTileFormat format = TTileFormat::Png;
  if (const auto f = args.Value("format")) {
    if (*f == "jpg" || *f == "jpeg")
      format = TTileFormat::Jpeg;
    else if (*f != "png")
      throw TUsageError("--format '" + apps::Printable(*f) + "' is not png or jpg");
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int jobs = args.Integer("jobs", 1, 256).value_or(static_cast<int>(cores));
  int part = 1, parts = 1;
  if (const auto p = args.Value("part")) {
    const auto kn = ParseTwoInts(*p, '/');
    if (!kn || kn->second < 1 || kn->first < 1 || kn->first > kn->second)
      throw TUsageError("--part '" + apps::Printable(*p) + "' is not K/N with 1 <= K <= N");
    part = kn->first;
    parts = kn->second;
  }
  const bool resume = args.Has("resume");
  const TTileStoreKind kind = TileStoreKindOf(*output);
  if (resume && kind == TTileStoreKind::PMTiles)
    throw TUsageError("--resume works with a directory or an .mbtiles file, not .pmtiles");

  // The maps.
  int status = kExitOk;
  const apps::TAtlasInputs inputs = apps::ScanAtlasInputs({args.Positional()[0]});
  std::vector<std::string> problems = inputs.Problems;
  TAtlasTiles tiles;
  AddTileMaps(inputs.Calibrations, tiles, problems);
  for (const std::string& p : problems) Report(Err, p);
  if (!problems.empty()) status = kExitBadInput;
  if (tiles.MapCount() == 0) {
    Report(Err, apps::Printable(args.Positional()[0]) + ": no map to make tiles of");
    return kExitBadInput;
  }

  // The levels and the tiles.
  int minZoom = tiles.DefaultMinZoom(), maxZoom = tiles.DefaultMaxZoom();
  if (const auto z = args.Value("zoom")) {
    const auto range = ParseTwoInts(*z, '-');
    int single = -1;
    try {
      size_t n = 0;
      single = std::stoi(*z, &n);
      if (n != z->size()) single = -1;
    } catch (const std::exception&) {
    }
    if (range) {
      minZoom = range->first;
      maxZoom = range->second;
    } else if (single >= 0) {
      minZoom = maxZoom = single;
    } else {
      minZoom = -1;
    }
    if (minZoom < 0 || maxZoom > kMaxWebZoom || minZoom > maxZoom)
      throw TUsageError("--zoom '" + apps::Printable(*z) + "' is not MIN-MAX within 0-" +
                        std::to_string(kMaxWebZoom));
  }
  TTileList list;
  for (int z = minZoom; z <= maxZoom; ++z)
    for (const TTileBlock& b : tiles.TilesAt(z)) list.Add(b);
  if (list.Total() > kMaxTilesWithoutForce && !args.Has("force")) {
    Report(Err, "levels " + std::to_string(minZoom) + "-" + std::to_string(maxZoom) + " make " +
                    std::to_string(list.Total()) +
                    " tiles, more than 10 million: choose fewer levels with --zoom, or pass "
                    "--force");
    return kExitUsage;
  }
  const int64_t first = list.Total() * (part - 1) / parts;
  const int64_t last = list.Total() * part / parts;

  TTileSetInfo info;
  info.Name = tiles.MapCount() == 1 ? tiles.Maps()[0]->Calibration.Data().Caption
                                    : SetName(args.Positional()[0]);
  if (info.Name.empty()) info.Name = "marovia tiles";
  info.Format = format;
  info.Bounds = tiles.Bounds();
  info.MinZoom = minZoom;
  info.MaxZoom = maxZoom;

  std::unique_ptr<TTileStore> store;
  try {
    store = OpenTileStore(*output, info, resume);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }

  // The work.
  const bool exact = args.Has("exact");
  std::atomic<int64_t> next{first};
  std::atomic<bool> stop{false};
  std::mutex errorMutex;
  std::string error;
  bool diskFull = false;
  TRunCounts counts;
  const auto worker = [&] {
    TTileRgba rgba;
    try {
      for (int64_t i = next++; i < last && !stop; i = next++) {
        const TTileId tile = list.At(i);
        if (resume && store->Has(tile)) {
          ++counts.Kept;
          continue;
        }
        if (!tiles.Render(tile, rgba, exact)) {
          ++counts.Empty;
          continue;
        }
        store->Put(tile, EncodeTile(rgba, format));
        ++counts.Written;
      }
    } catch (const std::exception& e) {
      std::lock_guard lock(errorMutex);
      if (error.empty()) {
        error = e.what();
        const auto* io = dynamic_cast<const EInOutError*>(&e);
        diskFull = io && (io->ErrorCode() == ENOSPC || io->ErrorCode() == EDQUOT);
      }
      stop = true;
    }
  };
  const int threads = static_cast<int>(std::min<int64_t>(jobs, std::max<int64_t>(1, last - first)));
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();

  if (!error.empty()) {
    Report(Err, apps::Printable(error));
    Report(Err, std::string(diskFull ? "the disk is full: " : "") + "stopped after " +
                    std::to_string(counts.Written) +
                    " tiles; every tile written is whole (run again with --resume to go on)");
    return kExitIo;
  }
  try {
    store->Finish();
    store.reset();
    if (kind == TTileStoreKind::Directory) {
      std::vector<std::string> pageProblems;
      WriteTilePage(*output, tiles, inputs.LandmarkFiles, info, pageProblems);
      for (const std::string& p : pageProblems) Report(Err, p);
      if (!pageProblems.empty()) status = std::max(status, kExitBadInput);
    }
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  Out << counts.Written << " tiles written";
  if (resume) Out << ", " << counts.Kept << " kept";
  Out << ", levels " << minZoom << "-" << maxZoom;
  if (parts > 1) Out << ", part " << part << "/" << parts;
  Out << " (" << (last - first) << " of " << list.Total() << " tile places, " << counts.Empty
      << " without map)\n";
  return status;
}

}  // namespace marovia::geomaptool
