// Web map tiles of a calibrated map: the Web Mercator tile grid, the map
// pixels at halving resolutions, and the warping of one 256 x 256 tile from
// a map through its calibration.
//
// Tile grid: Web Mercator on the sphere of radius 6378137 m. Level z has
// 2^z x 2^z tiles of kWebTileSize pixels; tile (x, y) counts columns
// eastwards from longitude -180 and rows southwards from latitude
// +85.0511 degrees (the "XYZ" numbering; stores that count rows from the
// south flip them themselves). Levels 0..kMaxWebZoom.
//
// Warping: each tile pixel's centre is taken to a latitude and longitude,
// then to a map pixel by the calibration's batch conversion. The tile is
// cut into cells of kMeshCell x kMeshCell pixels whose corners are
// converted exactly; inside a cell the map position is interpolated
// bilinearly when the interpolation misses the exact position of the
// cell's centre by at most kMeshTolerance pixels of the level sampled
// (the error of a smooth mapping's bilinear interpolation is largest near
// the centre, so the check bounds it for the whole cell well below 0.1 px).
// A cell that fails the check, or whose corners do not all convert, is
// converted pixel by pixel.
//
// Resampling: on the level of the map's image pyramid (TImagePyramid:
// each level a 2 x 2 box average of the one before, read from a cache file
// for a large map or held in memory for a small one) whose pixel is at most
// twice finer than the tile's. Where the map is reduced more than twice, each tile
// pixel is the area-weighted average of the level pixels its footprint
// covers (the footprint's size across and down from the mesh, its sides
// along the image's); else it is interpolated bilinearly on the image.
// Map pixel (i, j) covers [i, i + 1) x [j, j + 1) of the calibration's
// pixel coordinates; a tile pixel whose centre falls outside the image or
// outside the calibration's border polygon stays as it was (transparent
// in a fresh tile).
//
// Threads: a warper only reads its calibration and pyramid; any number of
// threads may warp tiles with one warper at once.
//
// Sources: web_tiles_math.cpp (grid), web_tiles_warp.cpp (warping),
// web_tiles_encode.cpp (PNG, JPEG).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "marovia/geomap/map_calibration.h"

namespace marovia {

class TImagePyramid;

inline constexpr int kWebTileSize = 256;
inline constexpr int kMaxWebZoom = 24;
// The latitude at which the Web Mercator square ends, degrees.
inline constexpr double kWebMercatorMaxLat = 85.05112877980659;
// Earth radius of the Web Mercator sphere, metres.
inline constexpr double kWebMercatorRadius = 6378137.0;

struct TTileId {
  int Z = 0;
  int X = 0;  // column, 0 at longitude -180
  int Y = 0;  // row, 0 at the north edge
  friend bool operator==(const TTileId&, const TTileId&) = default;
};

// A latitude/longitude box, degrees. West lies within -180..180; a box
// across 180 degrees has its East beyond 180 (170..190 is 170 east to 170
// west).
struct TGeoBounds {
  double West = 0, South = 0, East = 0, North = 0;
  bool Empty() const { return !(East > West && North > South); }
};

// Tiles X0..X1 x Y0..Y1 (inclusive) of level Z; empty when X1 < X0.
struct TTileRange {
  int Z = 0;
  int X0 = 0, Y0 = 0, X1 = -1, Y1 = -1;
  int64_t Count() const { return X1 < X0 || Y1 < Y0 ? 0 : int64_t{X1 - X0 + 1} * (Y1 - Y0 + 1); }
};

// ---- Grid (web_tiles_math.cpp) ----------------------------------------------

// Position in tile units of level Z (fractional; tile x covers [x, x + 1)).
// Latitudes are clamped to the Web Mercator square.
double LongitudeToTileX(double Longitude, int Z);
double LatitudeToTileY(double Latitude, int Z);
double TileXToLongitude(double TileX, int Z);
double TileYToLatitude(double TileY, int Z);
TGeoBounds TileBounds(const TTileId& Tile);
// The tiles of level Z that the box touches (clamped to the grid).
TTileRange TilesCovering(const TGeoBounds& Box, int Z);
// The same for a box that may cross 180 degrees: one range, or two (up to
// the grid's east edge, and on from its west edge).
std::vector<TTileRange> TileRangesCovering(const TGeoBounds& Box, int Z);
// Whether a tile's box and a map's box overlap, across 180 degrees too.
bool BoundsOverlap(const TGeoBounds& Tile, const TGeoBounds& Box);
// Size of a tile pixel of level Z at Latitude, metres.
double TilePixelMetres(int Z, double Latitude);
// The level whose pixel at Latitude is nearest MetresPerPixel (compared in
// logarithms), within 0..kMaxWebZoom.
int NearestZoom(double MetresPerPixel, double Latitude);
// The finest level at most MaxZoom on which Box spans at most two tiles
// each way: the coarsest level worth making of a map.
int OverviewZoom(const TGeoBounds& Box, int MaxZoom);
// The bounds of a calibrated map: its image edges taken to positions at
// SamplesPerEdge points per edge (positions that do not convert are left
// out), across 180 degrees as one box whose East lies beyond 180. Empty
// when none converts.
TGeoBounds MapBounds(const TMapCalibration& Calibration, int SamplesPerEdge = 64);
// The outline of the map (its border polygon, or else its image edges) as
// (longitude, latitude) pairs, SamplesPerEdge points per edge.
std::vector<std::array<double, 2>> MapOutline(const TMapCalibration& Calibration,
                                              int SamplesPerEdge = 16);

// ---- Warping (web_tiles_warp.cpp) -------------------------------------------

// A tile as RGBA bytes, row-major, kWebTileSize * kWebTileSize * 4; alpha 0
// is "not covered yet".
using TTileRgba = std::vector<uint8_t>;

inline constexpr int kMeshCell = 16;
inline constexpr double kMeshTolerance = 0.05;

class TTileWarper {
 public:
  // Both must outlive the warper. The calibration must convert; the
  // pyramid's level 0 is the calibrated image.
  TTileWarper(const TMapCalibration& Calibration, const TImagePyramid& Levels);

  // Bounds of the map, for choosing the tiles to make.
  const TGeoBounds& Bounds() const { return FBounds; }
  // Fills the pixels of Tile that this map covers and that are still
  // transparent in Rgba (alpha 0), opaque. Answers the number filled.
  // Exact converts every pixel instead of interpolating in the mesh.
  int Warp(const TTileId& Tile, TTileRgba& Rgba, bool Exact = false) const;

  // The map pixel positions of the tile's pixel centres (level 0 pixels),
  // with Ok 0 where the position does not convert: exactly, or through the
  // mesh as Warp uses it. Each span holds kWebTileSize^2 elements.
  void MapPositions(const TTileId& Tile, bool Exact, std::span<double> X, std::span<double> Y,
                    std::span<uint8_t> Ok) const;

 private:
  const TMapCalibration& FCalib;
  const TImagePyramid& FRaster;
  TGeoBounds FBounds;
};

// ---- Encoding (web_tiles_encode.cpp) ----------------------------------------

enum class TTileFormat { Png, Jpeg };

// A PNG of the tile: RGB when every pixel is opaque, else RGBA; fast
// compression. Raises EInvalidGraphic when libpng fails.
std::vector<uint8_t> EncodePngTile(const TTileRgba& Rgba);
// A JPEG of the tile at Quality 1..100, transparent pixels white.
std::vector<uint8_t> EncodeJpegTile(const TTileRgba& Rgba, int Quality = 85);
// A JPEG of Width x Height RGB pixels (3 bytes each, rows without gaps) at
// Quality 1..100. Raises EInvalidGraphic when libjpeg fails or a side is
// outside 1..65500.
std::vector<uint8_t> EncodeJpegRgb(const uint8_t* Rgb, int Width, int Height, int Quality = 85);
std::vector<uint8_t> EncodeTile(const TTileRgba& Rgba, TTileFormat Format);
// Whether Data is a whole PNG (signature .. IEND) or JPEG (SOI .. EOI): a
// tile cut short by a crash is not.
bool IsWholeTileImage(std::span<const uint8_t> Data);
// The pixels of a PNG tile of kWebTileSize x kWebTileSize as RGBA (alpha
// 255 where the file has none); false for anything else or a damaged file.
bool DecodePngTile(std::span<const uint8_t> Data, TTileRgba& Rgba);
const char* TileExtension(TTileFormat Format);  // "png", "jpg"

}  // namespace marovia
