// Joining tile sets: fragments copied, overlapping tiles stacked pixel by
// pixel.
#include "marovia/geomap/tile_merge.h"

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "marovia/geomap/geomap_error.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

struct TInput {
  std::unique_ptr<TTileArchive> Archive;
  std::vector<uint64_t> Ids;  // ascending
  uint64_t Lo = 0, Hi = 0;    // the first and last id
  bool Has(uint64_t Id) const {
    return !Ids.empty() && Id >= Lo && Id <= Hi && std::binary_search(Ids.begin(), Ids.end(), Id);
  }
};

TTileSetInfo MergedInfo(const std::vector<TInput>& Inputs) {
  TTileSetInfo info = Inputs.front().Archive->Info();
  info.Deduplicate = true;
  bool any = false;
  for (const TInput& in : Inputs) {
    const TTileSetInfo& i = in.Archive->Info();
    if (i.Format != info.Format)
      throw EZYLGeoMapError(in.Archive->File() + ": its tiles are " + TileExtension(i.Format) +
                            ", those of " + Inputs.front().Archive->File() + " " +
                            TileExtension(info.Format));
    if (i.Center != info.Center) info.Center.reset();  // they differ: the bounds' middle
    // The levels stated, widened to those of the tiles present: a file's
    // own statement may be wrong, and the output must read back.
    info.MinZoom = std::min(info.MinZoom, i.MinZoom);
    info.MaxZoom = std::max(info.MaxZoom, i.MaxZoom);
    if (!in.Ids.empty()) {
      info.MinZoom = std::min(info.MinZoom, PMTilesTileOf(in.Ids.front()).Z);
      info.MaxZoom = std::max(info.MaxZoom, PMTilesTileOf(in.Ids.back()).Z);
    }
    if (i.Bounds.Empty()) continue;
    if (!any) {
      info.Bounds = i.Bounds;
      any = true;
      continue;
    }
    info.Bounds = {
        std::min(info.Bounds.West, i.Bounds.West), std::min(info.Bounds.South, i.Bounds.South),
        std::max(info.Bounds.East, i.Bounds.East), std::max(info.Bounds.North, i.Bounds.North)};
  }
  if (info.MinZoom > info.MaxZoom) std::swap(info.MinZoom, info.MaxZoom);
  return info;
}

// Each pixel from the first layer whose pixel is not transparent.
std::vector<uint8_t> Stack(const std::vector<std::vector<uint8_t>>& Layers, TTileFormat Format,
                           const std::string& Name) {
  if (Format == TTileFormat::Jpeg) return Layers.front();
  TTileRgba out, layer;
  for (size_t l = 0; l < Layers.size(); ++l) {
    if (!DecodePngTile(Layers[l], l == 0 ? out : layer))
      throw EZYLGeoMapError(Name + ": a tile is no PNG of 256 x 256 pixels");
    if (l == 0) continue;
    for (size_t p = 3; p < out.size(); p += 4)
      if (out[p] == 0 && layer[p] != 0) std::copy_n(&layer[p - 3], 4, &out[p - 3]);
  }
  return EncodePngTile(out);
}

}  // namespace

std::vector<size_t> TileStackOrder(const std::vector<TTileSetInfo>& Inputs) {
  std::vector<size_t> order(Inputs.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return Inputs[a].MaxZoom > Inputs[b].MaxZoom; });
  return order;
}

TTileMergeResult MergeTileArchives(const std::vector<std::string>& Inputs,
                                   const std::string& Output) {
  if (Inputs.empty()) throw EZYLGeoMapError("no tile set to merge");
  if (TileStoreKindOf(Output) == TTileStoreKind::Directory)
    throw EZYLGeoMapError(Output + ": merging writes a .pmtiles or an .mbtiles file");
  std::vector<TInput> opened;
  std::vector<TTileSetInfo> infos;
  for (const std::string& file : Inputs) {
    std::error_code ec;
    if (fs::equivalent(file, Output, ec))
      throw EZYLGeoMapError(Output + ": the output is one of the inputs");
    TInput in;
    in.Archive = OpenTileArchive(file);
    infos.push_back(in.Archive->Info());
    opened.push_back(std::move(in));
  }
  // Refused before anything is listed or written.
  uint64_t total = 0;
  for (const TInput& in : opened) {
    CheckListableTiles(in.Archive->File(), in.Archive->TileCount());
    total += in.Archive->TileCount();
  }
  CheckListableTiles("the " + std::to_string(opened.size()) + " inputs together", total);
  std::vector<TInput> stack;
  for (const size_t i : TileStackOrder(infos)) stack.push_back(std::move(opened[i]));
  for (TInput& in : stack) {
    in.Ids = in.Archive->TileIds();
    if (!in.Ids.empty()) {
      in.Lo = in.Ids.front();
      in.Hi = in.Ids.back();
    }
  }
  const TTileSetInfo info = MergedInfo(stack);
  std::unique_ptr<TTileStore> store = OpenTileStore(Output, info, false);
  TTileMergeResult result;
  std::vector<uint8_t> data;
  std::vector<std::vector<uint8_t>> layers;
  for (size_t i = 0; i < stack.size(); ++i) {
    TInput& in = stack[i];
    for (const uint64_t id : in.Ids) {
      bool earlier = false;
      for (size_t j = 0; j < i && !earlier; ++j) earlier = stack[j].Has(id);
      if (earlier) continue;  // stacked with that input already
      if (!in.Archive->Read(id, data))
        throw EZYLGeoMapError(in.Archive->File() + ": tile " + std::to_string(id) + " vanished");
      // No image has no bytes, and a store keeps no empty tile: copied, it
      // would be lost without a word.
      if (data.empty()) {
        const TTileId t = PMTilesTileOf(id);
        throw EZYLGeoMapError(in.Archive->File() + ": tile " + std::to_string(t.Z) + "/" +
                              std::to_string(t.X) + "/" + std::to_string(t.Y) + " has no bytes");
      }
      layers.clear();
      for (size_t j = i + 1; j < stack.size(); ++j) {
        if (!stack[j].Has(id)) continue;
        if (layers.empty()) layers.push_back(data);
        layers.emplace_back();
        stack[j].Archive->Read(id, layers.back());
      }
      if (!layers.empty()) {
        data = Stack(layers, info.Format, in.Archive->File());
        ++result.Stacked;
      }
      store->Put(PMTilesTileOf(id), data);
      ++result.Tiles;
    }
  }
  store->Finish();
  return result;
}

}  // namespace marovia
