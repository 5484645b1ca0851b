// Quilting the maps of an atlas into one set of web tiles.
#include "marovia/geoatlas/atlas_tiles.h"

#include <algorithm>
#include <map>

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

std::vector<TTileRowSpan> TAtlasTiles::TilesAt(int Z) const {
  const bool pastAll = Z > DefaultMaxZoom();
  // Row -> the column intervals of the maps that add tiles there.
  std::map<int, std::vector<std::pair<int, int>>> rows;
  for (const auto& m : FMaps) {
    if (!pastAll && Z > m->FinestZoom) continue;
    const TTileRange r = TilesCovering(m->Warper->Bounds(), Z);
    for (int y = r.Y0; y <= r.Y1 && r.Count() > 0; ++y) rows[y].push_back({r.X0, r.X1});
  }
  std::vector<TTileRowSpan> spans;
  for (auto& [y, intervals] : rows) {
    std::sort(intervals.begin(), intervals.end());
    for (const auto& [x0, x1] : intervals) {
      if (!spans.empty() && spans.back().Y == y && x0 <= spans.back().X1 + 1)
        spans.back().X1 = std::max(spans.back().X1, x1);
      else
        spans.push_back({Z, y, x0, x1});
    }
  }
  return spans;
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
