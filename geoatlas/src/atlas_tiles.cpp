// Quilting the maps of an atlas into one set of web tiles.
#include "marovia/geoatlas/atlas_tiles.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/platform/image_pyramid.h"

namespace marovia {

namespace {

// Maps without a usable resolution come last: nothing chooses them while
// another map covers the position.
double SortKey(double Resolution) {
  return Resolution > 0 ? Resolution : 1e300;
}

bool Overlap(const TGeoBounds& A, const TGeoBounds& B) {
  return !A.Empty() && !B.Empty() && A.West < B.East && B.West < A.East && A.South < B.North &&
         B.South < A.North;
}

}  // namespace

TAtlasTiles::TMap::TMap(std::shared_ptr<const TMapSource> Source, std::string Name,
                        double Resolution)
    : FSource(std::move(Source)), FName(std::move(Name)), FResolution(Resolution) {
  FBounds = MapBounds(FSource->Calibration());
  // The outline is sampled; between samples a curved edge may bulge a
  // little beyond them (the warper widens its own bounds alike).
  const double mx = (FBounds.East - FBounds.West) * 0.01;
  const double my = (FBounds.North - FBounds.South) * 0.01;
  if (!FBounds.Empty())
    FBounds = {std::max(FBounds.West - mx, -180.0), std::max(FBounds.South - my, -90.0),
               std::min(FBounds.East + mx, 180.0), std::min(FBounds.North + my, 90.0)};
  FFinestZoom = NearestZoom(FResolution, (FBounds.North + FBounds.South) / 2);
}

const TTileWarper* TAtlasTiles::TMap::TryWarper() const {
  if (const int state = FState.load(std::memory_order_acquire); state != 0)
    return state == 1 ? FWarper.get() : nullptr;
  std::lock_guard lock(FOpening);
  if (FState.load(std::memory_order_relaxed) == 0) {
    try {
      FLevels = FSource->Levels();
      FWarper = std::make_unique<TTileWarper>(FSource->Calibration(), *FLevels);
      FState.store(1, std::memory_order_release);
    } catch (const std::exception& e) {
      FLevels.reset();
      FProblem = e.what();
      FState.store(2, std::memory_order_release);
    }
  }
  return FWarper.get();
}

const TTileWarper& TAtlasTiles::TMap::Warper() const {
  if (const TTileWarper* w = TryWarper()) return *w;
  throw EZYLGeoMapError(FName + ": " + FProblem);
}

TAtlasTiles::TAtlasTiles(const TAtlasIndex& Index, const TMapSourceOptions& Options,
                         std::vector<std::string>& Problems) {
  for (const size_t i : Index.FinestFirst()) {
    const TAtlasMap& entry = Index[i];
    const std::string name = entry.File.empty() ? entry.ImageFile : entry.File;
    try {
      std::shared_ptr<const TMapSource> source =
          entry.Source ? entry.Source : TMapSource::Open(entry.File, entry.DataID, Options);
      if (!source->Converts()) {
        const std::string why =
            source->FitMessage().empty() ? "too few points for its model" : source->FitMessage();
        Problems.push_back(name + ": no usable calibration (" + why + "); the map is left out");
        continue;
      }
      // The index's order and resolutions decide, as they do everywhere.
      Insert(std::make_unique<TMap>(std::move(source), name, entry.Resolution), true);
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Problems.push_back(what.find(name) != std::string::npos ? what : name + ": " + what);
    }
  }
}

void TAtlasTiles::AddMap(std::shared_ptr<const TMapSource> Source, const std::string& Name) {
  if (!Source) throw EZYLGeoMapError("no map source given");
  std::string name = Name;
  if (name.empty())
    name = Source->CalibrationFile().empty() ? Source->ImageFile() : Source->CalibrationFile();
  if (!Source->Converts()) throw EZYLGeoMapError(name + ": the calibration does not convert");
  const double resolution = Source->Calibration().Data().Resolution;
  Insert(std::make_unique<TMap>(std::move(Source), std::move(name), resolution), false);
}

void TAtlasTiles::Insert(std::unique_ptr<TMap> Map, bool Sorted) {
  if (Sorted) {
    FMaps.push_back(std::move(Map));
    return;
  }
  // Stable: among equal resolutions the map added first stays first.
  const auto at = std::upper_bound(
      FMaps.begin(), FMaps.end(), SortKey(Map->Resolution()),
      [](double key, const std::unique_ptr<TMap>& m) { return key < SortKey(m->Resolution()); });
  FMaps.insert(at, std::move(Map));
}

std::vector<std::string> TAtlasTiles::Problems() const {
  std::vector<std::string> problems;
  for (const auto& m : FMaps)
    if (m->FState.load(std::memory_order_acquire) == 2)
      problems.push_back(m->FName + ": " + m->FProblem);
  return problems;
}

TGeoBounds TAtlasTiles::Bounds() const {
  TGeoBounds u;
  bool any = false;
  for (const auto& m : FMaps) {
    const TGeoBounds& b = m->Bounds();
    if (b.Empty()) continue;
    if (!any) {
      u = b;
      any = true;
      continue;
    }
    u.West = std::min(u.West, b.West);
    u.South = std::min(u.South, b.South);
    u.East = std::max(u.East, b.East);
    u.North = std::max(u.North, b.North);
  }
  return u;
}

int TAtlasTiles::DefaultMaxZoom() const {
  int z = 0;
  for (const auto& m : FMaps) z = std::max(z, m->FinestZoom());
  return z;
}

int TAtlasTiles::DefaultMinZoom() const {
  int coarsestFinest = kMaxWebZoom;
  for (const auto& m : FMaps) coarsestFinest = std::min(coarsestFinest, m->FinestZoom());
  return FMaps.empty() ? 0 : OverviewZoom(Bounds(), coarsestFinest);
}

std::vector<TTileBlock> TAtlasTiles::TilesAt(int Z) const {
  const bool pastAll = Z > DefaultMaxZoom();
  std::vector<TTileRange> ranges;
  for (const auto& m : FMaps) {
    if (!pastAll && Z > m->FinestZoom()) continue;
    for (const TTileRange& r : TileRangesCovering(m->Bounds(), Z))
      if (r.Count() > 0) ranges.push_back(r);
  }
  // Bands between the rows where some range starts or ends; within a band
  // the same ranges are present on every row.
  std::set<int> cuts;
  for (const TTileRange& r : ranges) {
    cuts.insert(r.Y0);
    cuts.insert(r.Y1 + 1);
  }
  std::vector<TTileBlock> blocks;
  for (auto it = cuts.begin(); it != cuts.end() && std::next(it) != cuts.end(); ++it) {
    const int y0 = *it, y1 = *std::next(it) - 1;
    std::vector<std::pair<int, int>> intervals;
    for (const TTileRange& r : ranges)
      if (r.Y0 <= y0 && y1 <= r.Y1) intervals.push_back({r.X0, r.X1});
    std::sort(intervals.begin(), intervals.end());
    const size_t bandStart = blocks.size();
    for (const auto& [x0, x1] : intervals) {
      if (blocks.size() > bandStart && x0 <= blocks.back().X1 + 1)
        blocks.back().X1 = std::max(blocks.back().X1, x1);
      else
        blocks.push_back({Z, x0, y0, x1, y1});
    }
  }
  return blocks;
}

bool TAtlasTiles::Render(const TTileId& Tile, TTileRgba& Rgba, bool Exact) const {
  constexpr int kPixels = kWebTileSize * kWebTileSize;
  Rgba.assign(size_t{kPixels} * 4, 0);
  const TGeoBounds tile = TileBounds(Tile);
  int filled = 0;
  for (const auto& m : FMaps) {
    // A map the tile does not touch is not opened.
    if (!Overlap(tile, m->Bounds())) continue;
    const TTileWarper* warper = m->TryWarper();
    if (!warper) continue;
    filled += warper->Warp(Tile, Rgba, Exact);
    if (filled >= kPixels) break;
  }
  return filled > 0;
}

}  // namespace marovia
