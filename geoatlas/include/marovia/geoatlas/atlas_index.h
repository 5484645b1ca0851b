// TAtlasIndex: the maps of an atlas as a value. Each entry lists a map's
// calibration file, caption, model, image file and size, corners, bounds
// and border in degrees, and resolution, read from its calibration and its
// image's header only: building an index decodes no image and fits no
// calibration (except to take a border into degrees, or to compute
// corners and a resolution that the file does not give).
//
// The one rule of "which map covers a place, and which is best":
//   - a map covers a position when the position lies inside its border
//     (when it has one; even-odd rule) or else strictly inside the
//     quadrilateral of its four corners (PositionInMap);
//   - maps are ordered finest first (smallest resolution in metres per
//     pixel), ties by their order in the index; maps without a resolution
//     (0 or less) come last.
// Covering, BestAt, Finer, Coarser and ForView all answer by it; the atlas
// control switches maps by Finer and Coarser, web tiles quilt maps in
// FinestFirst order, the tools and Python choose the map of a view by
// ForView.
//
// The antimeridian: longitudes of a map's corners and border are taken as
// one continuous run around its first corner, so a map from 179 E to 179 W
// spans 2 degrees and covers positions on both sides of 180 (its Bounds
// then have West > East). Positions are asked with longitudes in -180..180.
//
// Queries go through a spatial index (a packed R-tree of the maps' bounds),
// so an atlas of many thousand maps answers a position in microseconds.
// The index is rebuilt by every change: add maps in bulk through the
// constructor or FromFiles.
//
// Threads: a plain value. Const members may be called from any number of
// threads at once; changes must not run concurrently with anything.
//
// Sources: atlas_index.cpp (entries, queries), atlas_map_reader.cpp
// (reading an entry), box_tree.cpp (the spatial index).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "marovia/geomap/calib_types.h"
#include "marovia/geomap/map_source.h"

namespace marovia {

class TBoxTree;

// A latitude/longitude box that may cross the antimeridian: from West
// eastwards to East, so a box crossing 180 has West > East (West 179,
// East -179: two degrees wide). Degrees, longitudes within -180..180.
struct TAtlasBox {
  double West = 0, South = 0, East = 0, North = 0;
  bool CrossesAntimeridian() const { return West > East; }
  // Degrees from West eastwards to East.
  double Width() const { return CrossesAntimeridian() ? East - West + 360 : East - West; }
  bool Contains(double Lat, double Long) const;
};

// One map of an atlas.
struct TAtlasMap {
  std::string File;    // the calibration file, as given; empty for a map added as a source
  std::string DataID;  // its data set ("" for the first)
  std::string Caption;
  TCalibModel Model = cmUndefined;
  // The map image found beside the calibration (MapImageBeside), and its
  // size from the header; 0 x 0 when it cannot be read, with the reason
  // in ImageProblem.
  std::string ImageFile;
  int32_t ImageWidth = 0, ImageHeight = 0;
  std::string ImageProblem;
  // Metres per pixel (smaller is finer) and the four corners, as the
  // calibration file gives them (computed from the fit when it gives none).
  double Resolution = 0;
  TCornerArray Corners{};
  // The border as positions (each pixel edge in short straight pieces), its
  // longitudes one continuous run from the first vertex (so they may pass
  // beyond 180 or -180); empty when the map has none or its calibration
  // cannot convert it.
  std::vector<TCoords> Border;
  // The box of the corners, or of the border when there is one.
  TAtlasBox Bounds;
  // The source the map was added from (TAtlasIndex::MapOf), else null.
  std::shared_ptr<const TMapSource> Source;
};

// Reads data set DataID (the first when empty) of a calibration file and
// its image's header into Map. False, Map unchanged, when the file cannot
// be opened or holds no such set; a damaged set raises EZYLGeoMapError
// naming the file. A missing or unreadable image is no error: ImageProblem
// says what is wrong.
bool ReadAtlasMap(const std::string& CalibrationFile, const std::string& DataID, TAtlasMap& Map);

class TAtlasIndex {
 public:
  TAtlasIndex() = default;
  explicit TAtlasIndex(std::vector<TAtlasMap> Maps);

  // The index of calibration files (their first data sets). A file that
  // cannot be read, or whose image is missing or unreadable, is left out
  // with a line "<file>: <why>" in Problems.
  static TAtlasIndex FromFiles(const std::vector<std::string>& Files,
                               std::vector<std::string>& Problems);
  // The entry of a map source: what its calibration and image give.
  static TAtlasMap MapOf(const std::shared_ptr<const TMapSource>& Source);

  size_t Count() const { return FMaps.size(); }
  bool Empty() const { return FMaps.empty(); }
  const TAtlasMap& operator[](size_t Index) const { return FMaps[Index]; }
  const std::vector<TAtlasMap>& Maps() const { return FMaps; }

  // Changes; each rebuilds the spatial index.
  void Add(TAtlasMap Map);
  void Replace(size_t Index, TAtlasMap Map);
  // Removes map Index; the maps after it move up one place.
  void Remove(size_t Index);

  // Whether map Index covers the position.
  bool Covers(size_t Index, double Lat, double Long) const;
  // Every map that covers the position, finest first.
  std::vector<size_t> Covering(double Lat, double Long) const;
  // The finest map that covers the position.
  std::optional<size_t> BestAt(double Lat, double Long) const;
  // The coarsest map covering the position that is more than MinStepPercent
  // per cent finer than Resolution (maps of resolution 0 or less are never
  // taken); ties to the first in the index.
  std::optional<size_t> Finer(double Lat, double Long, double Resolution,
                              double MinStepPercent = 0) const;
  // The finest map covering the position that is coarser than Resolution
  // (maps of 1e10 metres per pixel or more are never taken); ties to the
  // first in the index.
  std::optional<size_t> Coarser(double Lat, double Long, double Resolution) const;

  // The maps that could show a view of ViewWidth x ViewHeight view pixels
  // centred on the position at Magnification view pixels per map pixel
  // (the same on every map's own pixels), best first: the maps covering
  // the centre whose image fills at least kFilledView of the view, finest
  // first, then the others by the share they fill (among shares within a
  // thousandth the finer first). A map's share is estimated from its
  // corners (bilinearly: exact for a plate carree map) and its image size;
  // maps whose image size is unknown fill nothing.
  static constexpr double kFilledView = 0.9;
  std::vector<size_t> ForView(double Lat, double Long, int ViewWidth, int ViewHeight,
                              double Magnification) const;
  std::optional<size_t> BestForView(double Lat, double Long, int ViewWidth, int ViewHeight,
                                    double Magnification) const;
  // The share (0..1) of such a view that map Index's image fills.
  double ViewShare(size_t Index, double Lat, double Long, int ViewWidth, int ViewHeight,
                   double Magnification) const;

  // All maps, finest first (the order in which web tiles take pixels).
  std::vector<size_t> FinestFirst() const;

 private:
  void Rebuild();

  std::vector<TAtlasMap> FMaps;
  // The spatial index, shared between copies (it is rebuilt, never changed).
  std::shared_ptr<const TBoxTree> FTree;
};

// The map of Index that suits a view best (ForView) opened as a source
// whose pixels decode: the maps are tried in ForView's order, and each that
// cannot be opened or decoded is passed over with a line "<file>: <why>" in
// Problems. Null when no map covers the centre or none decodes.
std::shared_ptr<const TMapSource> OpenForView(const TAtlasIndex& Index, double Lat, double Long,
                                              int ViewWidth, int ViewHeight, double Magnification,
                                              const TMapSourceOptions& Options,
                                              std::vector<std::string>& Problems);

}  // namespace marovia
