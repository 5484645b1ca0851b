// Quilting the maps of an atlas into one set of web tiles.
#include "marovia/geoatlas/atlas_tiles.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace marovia {

namespace {

// Maps without a usable resolution come last: nothing chooses them while
// another map covers the position.
double SortKey(double Resolution) {
  return Resolution > 0 ? Resolution : 1e300;
}

}  // namespace

void TAtlasTiles::AddMap(const std::string& Name, const TMapCalibration& Calibration,
                         std::unique_ptr<TMapRaster> Raster) {
  if (!Calibration.Converts()) throw EZYLGeoMapError(Name + ": the calibration does not convert");
  auto map = std::make_unique<TMap>();
  map->Name = Name;
  map->Calibration = Calibration;
  map->Raster = std::move(Raster);
  map->Resolution = Calibration.Data().Resolution;
  map->Warper = std::make_unique<TTileWarper>(map->Calibration, *map->Raster);
  const TGeoBounds b = map->Warper->Bounds();
  map->FinestZoom = NearestZoom(map->Resolution, (b.North + b.South) / 2);
  // Stable: among equal resolutions the map added first stays first.
  const auto at = std::upper_bound(
      FMaps.begin(), FMaps.end(), SortKey(map->Resolution),
      [](double key, const std::unique_ptr<TMap>& m) { return key < SortKey(m->Resolution); });
  FMaps.insert(at, std::move(map));
}

TGeoBounds TAtlasTiles::Bounds() const {
  TGeoBounds u;
  bool any = false;
  for (const auto& m : FMaps) {
    const TGeoBounds& b = m->Warper->Bounds();
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
  for (const auto& m : FMaps) z = std::max(z, m->FinestZoom);
  return z;
}

int TAtlasTiles::DefaultMinZoom() const {
  int coarsestFinest = kMaxWebZoom;
  for (const auto& m : FMaps) coarsestFinest = std::min(coarsestFinest, m->FinestZoom);
  return FMaps.empty() ? 0 : OverviewZoom(Bounds(), coarsestFinest);
}

std::vector<TTileBlock> TAtlasTiles::TilesAt(int Z) const {
  const bool pastAll = Z > DefaultMaxZoom();
  std::vector<TTileRange> ranges;
  for (const auto& m : FMaps) {
    if (!pastAll && Z > m->FinestZoom) continue;
    for (const TTileRange& r : TileRangesCovering(m->Warper->Bounds(), Z))
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
  int filled = 0;
  for (const auto& m : FMaps) {
    filled += m->Warper->Warp(Tile, Rgba, Exact);
    if (filled >= kPixels) break;
  }
  return filled > 0;
}

}  // namespace marovia
