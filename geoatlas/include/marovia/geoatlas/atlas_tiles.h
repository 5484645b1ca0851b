// Web tiles of an atlas: several calibrated maps of different scales
// quilted into one tile set. Every tile pixel comes from the first map, in
// the atlas index's finest-first order (smallest resolution in metres per
// pixel; among equal resolutions the map added first), that covers it;
// where that map does not cover a pixel (beyond its image or outside its
// border) the next one that does fills it. So two maps that both cover a
// tile leave no gap between them: a pixel is empty only when no map covers
// it, and a pixel outside every border is transparent.
//
// Which tiles are made: each map has its own finest level, the one whose
// pixel is nearest the map's resolution. At level z the tiles that a map
// touches are made when z is at most that map's finest level (a coarse
// map adds no tiles at the levels of a fine one, though it fills their
// pixels beyond the fine map's edge); past every map's finest level every
// map adds its tiles.
//
// The maps are map sources (map_source.h): adding one reads no pixel. A
// map's pixels are decoded (or its pyramid opened) when the first tile
// that touches it is rendered; a map whose pixels turn out not to decode
// is left out from then on and named in Problems().
//
// Threads: after the maps are added, any number of threads may render.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/map_source.h"
#include "marovia/geomap/web_tiles.h"

namespace marovia {

class TAtlasIndex;

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
  class TMap {
   public:
    TMap(std::shared_ptr<const TMapSource> Source, std::string Name, double Resolution);
    const TMapSource& Source() const { return *FSource; }
    const TMapCalibration& Calibration() const { return FSource->Calibration(); }
    const std::string& Name() const { return FName; }
    double Resolution() const { return FResolution; }  // metres per pixel
    int FinestZoom() const { return FFinestZoom; }
    // The box of the map's image edges (sampled through its calibration).
    const TGeoBounds& Bounds() const { return FBounds; }
    // The warper of the map's pixels, opening them on the first call;
    // EZYLGeoMapError (or the decoder's error) when they cannot be decoded,
    // on every call.
    const TTileWarper& Warper() const;

   private:
    friend class TAtlasTiles;
    // The warper, or null when the pixels could not be decoded.
    const TTileWarper* TryWarper() const;

    std::shared_ptr<const TMapSource> FSource;
    std::string FName;
    double FResolution = 0;
    int FFinestZoom = 0;
    TGeoBounds FBounds;
    // 0 not opened yet, 1 opened, 2 failed (FProblem says why).
    mutable std::atomic<int> FState{0};
    mutable std::mutex FOpening;
    mutable std::shared_ptr<const TImagePyramid> FLevels;
    mutable std::unique_ptr<TTileWarper> FWarper;
    mutable std::string FProblem;
  };

  TAtlasTiles() = default;
  // The maps of an index, opened as sources (calibrations and image
  // headers: no pixel is read yet) with Options. A map whose source cannot
  // be opened or whose calibration does not convert is left out with a
  // line "<file>: <why>" in Problems.
  TAtlasTiles(const TAtlasIndex& Index, const TMapSourceOptions& Options,
              std::vector<std::string>& Problems);

  // Adds a map whose calibration converts (EZYLGeoMapError otherwise), after
  // the maps of the same or a finer resolution; Name is for messages (empty:
  // the calibration file, else the image file).
  void AddMap(std::shared_ptr<const TMapSource> Source, const std::string& Name = "");
  size_t MapCount() const { return FMaps.size(); }
  // In the order the pixels are taken from them: finest first.
  const std::vector<std::unique_ptr<TMap>>& Maps() const { return FMaps; }
  // "<name>: <why>" for each map whose pixels could not be decoded while
  // rendering (it was left out of every tile after).
  std::vector<std::string> Problems() const;

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
  void Insert(std::unique_ptr<TMap> Map, bool Sorted);

  std::vector<std::unique_ptr<TMap>> FMaps;
};

}  // namespace marovia
