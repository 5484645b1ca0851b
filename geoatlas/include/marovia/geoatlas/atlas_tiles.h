// Web tiles of an atlas: several calibrated maps of different scales
// quilted into one tile set. Every tile pixel comes from the finest map
// that covers it (smallest resolution in metres per pixel; among equal
// resolutions the map added first, as the atlas breaks ties by index),
// and where that map does not cover a pixel the next coarser one that does
// fills it. So two maps that both cover a tile leave no gap between them:
// a pixel is empty only when no map covers it.
//
// Which tiles are made: each map has its own finest level, the one whose
// pixel is nearest the map's resolution. At level z the tiles that a map
// touches are made when z is at most that map's finest level (a coarse
// map adds no tiles at the levels of a fine one, though it fills their
// pixels beyond the fine map's edge); past every map's finest level every
// map adds its tiles.
//
// Threads: after the maps are added, any number of threads may render.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/web_tiles.h"

namespace marovia {

// Tiles X0..X1 x Y0..Y1 of level Z, numbered row by row from the north,
// each row west to east.
struct TTileBlock {
  int Z = 0;
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  int64_t Count() const { return int64_t{X1 - X0 + 1} * (Y1 - Y0 + 1); }
  TTileId At(int64_t Index) const {
    const int64_t w = X1 - X0 + 1;
    return {Z, X0 + static_cast<int>(Index % w), Y0 + static_cast<int>(Index / w)};
  }
};

class TAtlasTiles {
 public:
  struct TMap {
    std::string Name;
    TMapCalibration Calibration;
    std::unique_ptr<TMapRaster> Raster;
    double Resolution = 0;  // metres per pixel
    int FinestZoom = 0;
    std::unique_ptr<TTileWarper> Warper;
  };

  // Adds a map whose calibration converts (EZYLGeoMapError otherwise); Name
  // is for messages.
  void AddMap(const std::string& Name, const TMapCalibration& Calibration,
              std::unique_ptr<TMapRaster> Raster);
  size_t MapCount() const { return FMaps.size(); }
  // In the order the pixels are taken from them: finest first.
  const std::vector<std::unique_ptr<TMap>>& Maps() const { return FMaps; }

  // The union of the maps' bounds.
  TGeoBounds Bounds() const;
  // The finest level of any map, and the level at which the whole set is
  // at most two tiles each way.
  int DefaultMaxZoom() const;
  int DefaultMinZoom() const;

  // The tiles to make at level Z as blocks that do not overlap: bands of
  // rows from the north, within a band its column ranges from the west.
  // Their number grows with the maps, not with the level.
  std::vector<TTileBlock> TilesAt(int Z) const;

  // Renders Tile into Rgba (resized and cleared first). Answers false when
  // no map covers any of its pixels. Exact: see TTileWarper::Warp.
  bool Render(const TTileId& Tile, TTileRgba& Rgba, bool Exact = false) const;

 private:
  std::vector<std::unique_ptr<TMap>> FMaps;
};

}  // namespace marovia
