// Warping one Web Mercator tile from a calibrated map: tile pixel centres
// to map pixels (exactly or through the checked mesh), then bilinear
// sampling on the map level that matches the tile's scale.
#include <algorithm>
#include <array>
#include <cmath>

#include "marovia/geomap/web_tiles.h"
#include "marovia/platform/image_pyramid.h"

namespace marovia {

namespace {

constexpr int kN = kWebTileSize;
constexpr int kCells = kN / kMeshCell;
constexpr int kNodes = kCells + 1;
// The largest region of one level read for one tile; a tile that would
// need more samples a coarser level.
constexpr int64_t kMaxRegionPixels = int64_t{2048} * 2048;

// The latitudes and longitudes of tile positions Offset + k * Step (in tile
// pixels from the tile's top left corner), k = 0..Count-1, each way.
void GridPositions(const TTileId& Tile, double Offset, double Step, int Count,
                   std::vector<double>& Lat, std::vector<double>& Lon) {
  std::vector<double> lats(Count), lons(Count);
  for (int k = 0; k < Count; ++k) {
    const double t = (Offset + k * Step) / kN;
    lons[k] = TileXToLongitude(Tile.X + t, Tile.Z);
    lats[k] = TileYToLatitude(Tile.Y + t, Tile.Z);
  }
  Lat.resize(static_cast<size_t>(Count) * Count);
  Lon.resize(Lat.size());
  for (int r = 0; r < Count; ++r)
    for (int c = 0; c < Count; ++c) {
      Lat[static_cast<size_t>(r) * Count + c] = lats[r];
      Lon[static_cast<size_t>(r) * Count + c] = lons[c];
    }
}

struct TPoints {
  std::vector<double> X, Y;
  std::vector<uint8_t> Ok;
  void Convert(const TMapCalibration& Calib, const std::vector<double>& Lat,
               const std::vector<double>& Lon) {
    X.assign(Lat.size(), 0);
    Y.assign(Lat.size(), 0);
    Ok.assign(Lat.size(), 0);
    Calib.GeoToPixel(Lat, Lon, X, Y, Ok);
  }
};

// Map pixels per tile pixel across and down, from the mesh nodes that
// converted (0 when too few did).
struct TScale {
  double Across = 0;
  double Down = 0;
  double Mean() const { return (Across + Down) / 2; }
};

TScale MeshScale(const TPoints& Nodes) {
  double across = 0, down = 0;
  int na = 0, nd = 0;
  for (int r = 0; r < kNodes; ++r)
    for (int c = 0; c < kNodes; ++c) {
      const size_t i = static_cast<size_t>(r) * kNodes + c;
      if (!Nodes.Ok[i]) continue;
      if (c + 1 < kNodes && Nodes.Ok[i + 1]) {
        across += std::hypot(Nodes.X[i + 1] - Nodes.X[i], Nodes.Y[i + 1] - Nodes.Y[i]);
        ++na;
      }
      if (r + 1 < kNodes && Nodes.Ok[i + kNodes]) {
        down += std::hypot(Nodes.X[i + kNodes] - Nodes.X[i], Nodes.Y[i + kNodes] - Nodes.Y[i]);
        ++nd;
      }
    }
  if (na == 0 || nd == 0) return {};
  return {across / na / kMeshCell, down / nd / kMeshCell};
}

int LevelForScale(double Scale, int Levels) {
  if (!(Scale >= 2) || !std::isfinite(Scale)) return 0;
  return std::clamp(static_cast<int>(std::floor(std::log2(Scale))), 0, Levels - 1);
}

// The map positions of the 256 x 256 pixel centres into X, Y, Ok; answers
// the tile's scale (level 0 pixels per tile pixel). The mesh tolerance is
// in pixels of the level that scale samples.
TScale TilePositions(const TMapCalibration& Calib, int Levels, const TTileId& Tile, bool Exact,
                     std::span<double> X, std::span<double> Y, std::span<uint8_t> Ok) {
  std::vector<double> lat, lon;
  TPoints nodes;
  GridPositions(Tile, 0.5, kMeshCell, kNodes, lat, lon);
  nodes.Convert(Calib, lat, lon);
  const TScale scale = MeshScale(nodes);
  const int level = LevelForScale(scale.Mean(), Levels);
  if (Exact) {
    GridPositions(Tile, 0.5, 1, kN, lat, lon);
    Calib.GeoToPixel(lat, lon, X, Y, Ok);
    return scale;
  }
  TPoints centres;
  GridPositions(Tile, 0.5 + kMeshCell / 2.0, kMeshCell, kCells, lat, lon);
  centres.Convert(Calib, lat, lon);
  const double tolerance = kMeshTolerance * std::ldexp(1.0, level);
  std::vector<double> cellLat, cellLon;
  TPoints cell;
  for (int cr = 0; cr < kCells; ++cr)
    for (int cc = 0; cc < kCells; ++cc) {
      const size_t n00 = static_cast<size_t>(cr) * kNodes + cc, n01 = n00 + 1;
      const size_t n10 = n00 + kNodes, n11 = n10 + 1;
      const size_t ci = static_cast<size_t>(cr) * kCells + cc;
      bool smooth =
          nodes.Ok[n00] && nodes.Ok[n01] && nodes.Ok[n10] && nodes.Ok[n11] && centres.Ok[ci];
      if (smooth) {
        const double mx = (nodes.X[n00] + nodes.X[n01] + nodes.X[n10] + nodes.X[n11]) / 4;
        const double my = (nodes.Y[n00] + nodes.Y[n01] + nodes.Y[n10] + nodes.Y[n11]) / 4;
        smooth = std::hypot(mx - centres.X[ci], my - centres.Y[ci]) <= tolerance;
      }
      if (smooth) {
        for (int a = 0; a < kMeshCell; ++a) {
          const double v = static_cast<double>(a) / kMeshCell;
          const double lx = nodes.X[n00] + (nodes.X[n10] - nodes.X[n00]) * v;
          const double ly = nodes.Y[n00] + (nodes.Y[n10] - nodes.Y[n00]) * v;
          const double rx = nodes.X[n01] + (nodes.X[n11] - nodes.X[n01]) * v;
          const double ry = nodes.Y[n01] + (nodes.Y[n11] - nodes.Y[n01]) * v;
          const size_t row = static_cast<size_t>(cr * kMeshCell + a) * kN + cc * kMeshCell;
          for (int b = 0; b < kMeshCell; ++b) {
            const double u = static_cast<double>(b) / kMeshCell;
            X[row + b] = lx + (rx - lx) * u;
            Y[row + b] = ly + (ry - ly) * u;
            Ok[row + b] = 1;
          }
        }
        continue;
      }
      // Converted point by point: the cell's own pixel centres.
      cellLat.resize(kMeshCell * kMeshCell);
      cellLon.resize(kMeshCell * kMeshCell);
      for (int a = 0; a < kMeshCell; ++a)
        for (int b = 0; b < kMeshCell; ++b) {
          const double ty = (cr * kMeshCell + a + 0.5) / kN, tx = (cc * kMeshCell + b + 0.5) / kN;
          cellLat[a * kMeshCell + b] = TileYToLatitude(Tile.Y + ty, Tile.Z);
          cellLon[a * kMeshCell + b] = TileXToLongitude(Tile.X + tx, Tile.Z);
        }
      cell.Convert(Calib, cellLat, cellLon);
      for (int a = 0; a < kMeshCell; ++a) {
        const size_t row = static_cast<size_t>(cr * kMeshCell + a) * kN + cc * kMeshCell;
        for (int b = 0; b < kMeshCell; ++b) {
          X[row + b] = cell.X[a * kMeshCell + b];
          Y[row + b] = cell.Y[a * kMeshCell + b];
          Ok[row + b] = cell.Ok[a * kMeshCell + b];
        }
      }
    }
  return scale;
}

uint32_t Bilinear(const uint32_t* Region, ptrdiff_t Stride, int Wr, int Hr, double U, double V) {
  const int ix = static_cast<int>(U), iy = static_cast<int>(V);
  const int wx = static_cast<int>((U - ix) * 256), wy = static_cast<int>((V - iy) * 256);
  const int ix1 = std::min(ix + 1, Wr - 1), iy1 = std::min(iy + 1, Hr - 1);
  const uint32_t p00 = Region[iy * Stride + ix], p01 = Region[iy * Stride + ix1];
  const uint32_t p10 = Region[iy1 * Stride + ix], p11 = Region[iy1 * Stride + ix1];
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int c00 = (p00 >> shift) & 0xFF, c01 = (p01 >> shift) & 0xFF;
    const int c10 = (p10 >> shift) & 0xFF, c11 = (p11 >> shift) & 0xFF;
    const int top = c00 * (256 - wx) + c01 * wx, bottom = c10 * (256 - wx) + c11 * wx;
    const int v = (top * (256 - wy) + bottom * wy + 32768) >> 16;
    out |= static_cast<uint32_t>(v) << shift;
  }
  return out;
}

// The pixels of the region's row or column that the footprint [C - H,
// C + H] covers (pixel i covers [i - 0.5, i + 0.5]) and the length of each
// overlap in 1/256 pixel; answers their number (H < 2: at most 5).
inline int BoxTaps(float C, float H, int N, int* Index, int* Weight) {
  const float lo = C - H, hi = C + H;
  const int i0 = static_cast<int>(std::floor(lo + 0.5f));
  int k = 0;
  for (int i = i0; i <= i0 + 4; ++i) {
    const float overlap = std::min(hi, i + 0.5f) - std::max(lo, i - 0.5f);
    if (overlap <= 0) break;
    const int w = static_cast<int>(overlap * 256 + 0.5f);
    if (w == 0) continue;
    Index[k] = std::clamp(i, 0, N - 1);
    Weight[k++] = w;
  }
  return k;
}

// The box average of the footprint [U - Hx, U + Hx] x [V - Hy, V + Hy],
// each pixel weighted by the area it shares with the footprint (Hx, Hy <
// 2).
uint32_t BoxAverage(const uint32_t* Region, ptrdiff_t Stride, int Wr, int Hr, float U, float V,
                    float Hx, float Hy) {
  int xs[5], ys[5], wx[5], wy[5];
  const int nx = BoxTaps(U, Hx, Wr, xs, wx), ny = BoxTaps(V, Hy, Hr, ys, wy);
  int64_t r = 0, g = 0, b = 0, total = 0;
  for (int j = 0; j < ny; ++j) {
    const uint32_t* row = Region + ys[j] * Stride;
    int32_t rr = 0, gg = 0, bb = 0, tt = 0;
    for (int i = 0; i < nx; ++i) {
      const uint32_t p = row[xs[i]];
      rr += wx[i] * static_cast<int32_t>((p >> 16) & 0xFF);
      gg += wx[i] * static_cast<int32_t>((p >> 8) & 0xFF);
      bb += wx[i] * static_cast<int32_t>(p & 0xFF);
      tt += wx[i];
    }
    r += int64_t{rr} * wy[j];
    g += int64_t{gg} * wy[j];
    b += int64_t{bb} * wy[j];
    total += int64_t{tt} * wy[j];
  }
  if (total == 0)
    return Region[std::clamp(static_cast<int>(V + 0.5f), 0, Hr - 1) * Stride +
                  std::clamp(static_cast<int>(U + 0.5f), 0, Wr - 1)];
  const float inv = 1.0f / static_cast<float>(total);
  const auto channel = [inv](int64_t sum) {
    return std::min(static_cast<uint32_t>(static_cast<float>(sum) * inv + 0.5f), 255u);
  };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

}  // namespace

TTileWarper::TTileWarper(const TMapCalibration& Calibration, const TImagePyramid& Levels)
    : FCalib(Calibration), FRaster(Levels) {
  FBounds = MapBounds(Calibration);
  // The outline is sampled; between samples a curved edge may bulge a
  // little beyond them.
  const double mx = (FBounds.East - FBounds.West) * 0.01;
  const double my = (FBounds.North - FBounds.South) * 0.01;
  if (!FBounds.Empty())
    FBounds = {std::max(FBounds.West - mx, -180.0), std::max(FBounds.South - my, -90.0),
               std::min(FBounds.East + mx, FBounds.East > 180 ? FBounds.West + 360 : 180.0),
               std::min(FBounds.North + my, 90.0)};
}

void TTileWarper::MapPositions(const TTileId& Tile, bool Exact, std::span<double> X,
                               std::span<double> Y, std::span<uint8_t> Ok) const {
  if (X.size() != size_t{kN} * kN || Y.size() != X.size() || Ok.size() != X.size())
    throw EZYLGeoMapError("MapPositions needs spans of 256 x 256 elements");
  TilePositions(FCalib, FRaster.Levels(), Tile, Exact, X, Y, Ok);
}

int TTileWarper::Warp(const TTileId& Tile, TTileRgba& Rgba, bool Exact) const {
  constexpr size_t kPixels = size_t{kN} * kN;
  if (Rgba.size() != kPixels * 4) Rgba.assign(kPixels * 4, 0);
  const TGeoBounds tb = TileBounds(Tile);
  if (!BoundsOverlap(tb, FBounds)) return 0;
  thread_local std::vector<double> X, Y;
  thread_local std::vector<uint8_t> Ok;
  thread_local std::vector<uint32_t> region;
  X.resize(kPixels);
  Y.resize(kPixels);
  Ok.resize(kPixels);
  const TScale scale = TilePositions(FCalib, FRaster.Levels(), Tile, Exact, X, Y, Ok);
  int level = LevelForScale(scale.Mean(), FRaster.Levels());

  // Which pixels this map fills.
  const double w0 = FCalib.ImageWidth(), h0 = FCalib.ImageHeight();
  const bool border = FCalib.Border().size() >= 3;
  int filled = 0;
  for (size_t i = 0; i < kPixels; ++i) {
    bool in = Ok[i] && Rgba[i * 4 + 3] == 0 && X[i] >= 0 && X[i] < w0 && Y[i] >= 0 && Y[i] < h0;
    if (in && border) in = FCalib.InsideBorder(X[i], Y[i]);
    Ok[i] = in;
    filled += in;
  }
  if (filled == 0) return 0;

  // The region of the level the filled pixels sample, coarser while it is
  // too large to read for one tile.
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0, wl = 0, hl = 0;
  double f = 1;
  for (;; ++level) {
    wl = FRaster.LevelWidth(level);
    hl = FRaster.LevelHeight(level);
    f = std::ldexp(1.0, -level);
    double umin = 1e300, umax = -1e300, vmin = 1e300, vmax = -1e300;
    for (size_t i = 0; i < kPixels; ++i) {
      if (!Ok[i]) continue;
      const double u = std::clamp(X[i] * f - 0.5, 0.0, wl - 1.0);
      const double v = std::clamp(Y[i] * f - 0.5, 0.0, hl - 1.0);
      umin = std::min(umin, u), umax = std::max(umax, u);
      vmin = std::min(vmin, v), vmax = std::max(vmax, v);
    }
    // Two pixels of margin for the widest footprint.
    x0 = std::max(static_cast<int>(umin) - 2, 0), y0 = std::max(static_cast<int>(vmin) - 2, 0);
    x1 = std::min(static_cast<int>(umax) + 3, wl - 1);
    y1 = std::min(static_cast<int>(vmax) + 3, hl - 1);
    if (int64_t{x1 - x0 + 1} * (y1 - y0 + 1) <= kMaxRegionPixels || level + 1 >= FRaster.Levels())
      break;
  }
  const int wr = x1 - x0 + 1, hr = y1 - y0 + 1;
  region.resize(static_cast<size_t>(wr) * hr);
  FRaster.ReadRegion(level, x0, y0, wr, hr, region.data(), wr);

  // The footprint of a tile pixel on the level: where the map is reduced
  // more than twice each tile pixel is the average of what it covers on a
  // halved level, else it is interpolated on the full image.
  const double hx = std::min(scale.Across * f, 3.0) / 2, hy = std::min(scale.Down * f, 3.0) / 2;
  const bool average = level > 0 && hx >= 0.5 && hy >= 0.5;
  for (size_t i = 0; i < kPixels; ++i) {
    if (!Ok[i]) continue;
    const double u = std::clamp(X[i] * f - 0.5, 0.0, wl - 1.0) - x0;
    const double v = std::clamp(Y[i] * f - 0.5, 0.0, hl - 1.0) - y0;
    const uint32_t p =
        average ? BoxAverage(region.data(), wr, wr, hr, static_cast<float>(u),
                             static_cast<float>(v), static_cast<float>(hx), static_cast<float>(hy))
                : Bilinear(region.data(), wr, wr, hr, u, v);
    uint8_t* out = &Rgba[i * 4];
    out[0] = static_cast<uint8_t>(p >> 16);
    out[1] = static_cast<uint8_t>(p >> 8);
    out[2] = static_cast<uint8_t>(p);
    out[3] = 255;
  }
  return filled;
}

}  // namespace marovia
