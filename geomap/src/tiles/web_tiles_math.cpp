// The Web Mercator tile grid and the extent of a calibrated map on it.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "marovia/geomap/web_tiles.h"

namespace marovia {

namespace {

constexpr double kPi = std::numbers::pi;

double ClampLatitude(double Latitude) {
  return std::clamp(Latitude, -kWebMercatorMaxLat, kWebMercatorMaxLat);
}

}  // namespace

double LongitudeToTileX(double Longitude, int Z) {
  return (Longitude + 180.0) / 360.0 * std::ldexp(1.0, Z);
}

double LatitudeToTileY(double Latitude, int Z) {
  const double phi = ClampLatitude(Latitude) * kPi / 180.0;
  const double merc = std::log(std::tan(kPi / 4 + phi / 2));
  return (1.0 - merc / kPi) / 2.0 * std::ldexp(1.0, Z);
}

double TileXToLongitude(double TileX, int Z) {
  return TileX / std::ldexp(1.0, Z) * 360.0 - 180.0;
}

double TileYToLatitude(double TileY, int Z) {
  const double merc = kPi * (1.0 - 2.0 * TileY / std::ldexp(1.0, Z));
  return std::atan(std::sinh(merc)) * 180.0 / kPi;
}

TGeoBounds TileBounds(const TTileId& Tile) {
  return {TileXToLongitude(Tile.X, Tile.Z), TileYToLatitude(Tile.Y + 1, Tile.Z),
          TileXToLongitude(Tile.X + 1, Tile.Z), TileYToLatitude(Tile.Y, Tile.Z)};
}

TTileRange TilesCovering(const TGeoBounds& Box, int Z) {
  TTileRange r;
  r.Z = Z;
  if (Box.Empty()) return r;
  const int last = (1 << Z) - 1;
  // A box edge exactly on a tile edge does not reach into the next tile.
  const auto lo = [last](double t) { return std::clamp(static_cast<int>(std::floor(t)), 0, last); };
  const auto hi = [last](double t) {
    return std::clamp(static_cast<int>(std::ceil(t)) - 1, 0, last);
  };
  r.X0 = lo(LongitudeToTileX(Box.West, Z));
  r.X1 = hi(LongitudeToTileX(Box.East, Z));
  r.Y0 = lo(LatitudeToTileY(Box.North, Z));
  r.Y1 = hi(LatitudeToTileY(Box.South, Z));
  if (r.X1 < r.X0) r.X1 = r.X0;
  if (r.Y1 < r.Y0) r.Y1 = r.Y0;
  return r;
}

std::vector<TTileRange> TileRangesCovering(const TGeoBounds& Box, int Z) {
  std::vector<TTileRange> ranges;
  if (Box.Empty()) return ranges;
  if (Box.East <= 180) {
    ranges.push_back(TilesCovering(Box, Z));
    return ranges;
  }
  // Across 180 degrees: the part up to 180, and the part past it from -180.
  ranges.push_back(TilesCovering({Box.West, Box.South, 180, Box.North}, Z));
  const double east = std::min(Box.East - 360, Box.West);
  if (east > -180) ranges.push_back(TilesCovering({-180, Box.South, east, Box.North}, Z));
  return ranges;
}

bool BoundsOverlap(const TGeoBounds& Tile, const TGeoBounds& Box) {
  if (Box.Empty() || Tile.North <= Box.South || Tile.South >= Box.North) return false;
  for (const double shift : {0.0, 360.0})
    if (Tile.East + shift > Box.West && Tile.West + shift < Box.East) return true;
  return false;
}

double TilePixelMetres(int Z, double Latitude) {
  return 2 * kPi * kWebMercatorRadius * std::cos(ClampLatitude(Latitude) * kPi / 180.0) /
         (kWebTileSize * std::ldexp(1.0, Z));
}

int NearestZoom(double MetresPerPixel, double Latitude) {
  if (!(MetresPerPixel > 0) || !std::isfinite(MetresPerPixel)) return 0;
  const double z = std::log2(TilePixelMetres(0, Latitude) / MetresPerPixel);
  return std::clamp(static_cast<int>(std::lround(z)), 0, kMaxWebZoom);
}

int OverviewZoom(const TGeoBounds& Box, int MaxZoom) {
  int z = std::clamp(MaxZoom, 0, kMaxWebZoom);
  while (z > 0) {
    const TTileRange r = TilesCovering(Box, z);
    if (r.X1 - r.X0 < 2 && r.Y1 - r.Y0 < 2) break;
    --z;
  }
  return z;
}

namespace {

// Points along the image edges (or the border polygon), clockwise from the
// top left corner, in pixels.
std::vector<TBorderVertex> EdgePoints(const TMapCalibration& Calibration, int SamplesPerEdge) {
  std::vector<TBorderVertex> corners = Calibration.Border();
  if (corners.size() < 3) {
    const double w = Calibration.ImageWidth(), h = Calibration.ImageHeight();
    corners = {{0, 0}, {w, 0}, {w, h}, {0, h}};
  }
  std::vector<TBorderVertex> points;
  const int n = std::max(SamplesPerEdge, 1);
  for (size_t i = 0; i < corners.size(); ++i) {
    const TBorderVertex& a = corners[i];
    const TBorderVertex& b = corners[(i + 1) % corners.size()];
    for (int k = 0; k < n; ++k) {
      const double t = static_cast<double>(k) / n;
      points.push_back({a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t});
    }
  }
  return points;
}

}  // namespace

std::vector<std::array<double, 2>> MapOutline(const TMapCalibration& Calibration,
                                              int SamplesPerEdge) {
  std::vector<std::array<double, 2>> outline;
  for (const TBorderVertex& p : EdgePoints(Calibration, SamplesPerEdge)) {
    const TPixelPosition pos = Calibration.PixelToGeo(p.X, p.Y);
    if (pos.Valid()) outline.push_back({pos.Longit, pos.Latit});
  }
  return outline;
}

TGeoBounds MapBounds(const TMapCalibration& Calibration, int SamplesPerEdge) {
  TGeoBounds b{1e9, 1e9, -1e9, -1e9};
  bool any = false;
  // The outline is followed without jumps: a map across 180 degrees keeps
  // its longitudes on from 180, and its box is moved to start within
  // -180..180 (its east edge then lies beyond 180).
  double previous = 0;
  for (auto [lon, lat] : MapOutline(Calibration, SamplesPerEdge)) {
    if (any) {
      while (lon - previous > 180) lon -= 360;
      while (lon - previous < -180) lon += 360;
    }
    previous = lon;
    b.West = std::min(b.West, lon);
    b.East = std::max(b.East, lon);
    b.South = std::min(b.South, lat);
    b.North = std::max(b.North, lat);
    any = true;
  }
  if (!any) return {};
  b.South = std::max(b.South, -kWebMercatorMaxLat);
  b.North = std::min(b.North, kWebMercatorMaxLat);
  if (b.East - b.West >= 360) return {-180, b.South, 180, b.North};
  while (b.West < -180) b.West += 360, b.East += 360;
  while (b.West >= 180) b.West -= 360, b.East -= 360;
  return b;
}

}  // namespace marovia
