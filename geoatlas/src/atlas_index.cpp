// The atlas index: its entries' shapes and bounds, the spatial index over
// them, and the queries that choose maps.
#include "marovia/geoatlas/atlas_index.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "atlas_geometry.h"
#include "box_tree.h"
#include "marovia/geomap/map_source.h"
#include "marovia/platform/files.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

using atlasgeo::NearLongitude;
using atlasgeo::WrapLongitude;

// The corners with their longitudes one run from the top-left corner's.
TCornerArray UnwrappedCorners(const TCornerArray& Corners) {
  TCornerArray c = Corners;
  c[0].Longit = WrapLongitude(c[0].Longit);
  for (size_t i = 1; i < c.size(); ++i) c[i].Longit = NearLongitude(c[i].Longit, c[i - 1].Longit);
  return c;
}

// The outline whose box is the map's bounds: the border, else the corners.
std::vector<TCoords> Outline(const TAtlasMap& Map) {
  if (Map.Border.size() >= 3) return Map.Border;
  const TCornerArray c = UnwrappedCorners(Map.Corners);
  return {c.begin(), c.end()};
}

TAtlasBox BoxOf(const std::vector<TCoords>& Outline) {
  double west = Outline[0].Longit, east = west, south = Outline[0].Latit, north = south;
  for (const TCoords& p : Outline) {
    west = std::min(west, p.Longit);
    east = std::max(east, p.Longit);
    south = std::min(south, p.Latit);
    north = std::max(north, p.Latit);
  }
  if (east - west >= 360) return {-180, south, 180, north};
  // West in -180..180, East the same run eastwards; an East past 180 wraps
  // round, leaving West > East.
  const double w = WrapLongitude(west);
  double e = w + (east - west);
  if (e > 180) e -= 360;
  return {w == 180 ? -180 : w, south, e, north};
}

// Maps without a usable resolution sort after every other.
double SortKey(double Resolution) {
  return Resolution > 0 ? Resolution : 1e300;
}

}  // namespace

bool TAtlasBox::Contains(double Lat, double Long) const {
  if (!(Lat >= South && Lat <= North)) return false;
  return CrossesAntimeridian() ? Long >= West || Long <= East : Long >= West && Long <= East;
}

TAtlasIndex::TAtlasIndex(std::vector<TAtlasMap> Maps) : FMaps(std::move(Maps)) {
  Rebuild();
}

namespace {

// One calibration file as an entry, or why not.
struct TFileEntry {
  std::optional<TAtlasMap> Map;
  std::string Problem;
};

TFileEntry ReadFileEntry(const std::string& File) {
  TFileEntry entry;
  try {
    TAtlasMap map;
    if (!ReadAtlasMap(File, "", map))
      entry.Problem =
          File + (FileExists(File) ? ": no calibration data set found" : ": cannot open the file");
    else if (!map.ImageProblem.empty())
      entry.Problem = File + ": " + map.ImageProblem;
    else
      entry.Map = std::move(map);
  } catch (const Exception& e) {
    // The readers' messages name the file already.
    const std::string what = e.what();
    entry.Problem = what.find(File) != std::string::npos ? what : File + ": " + what;
  }
  return entry;
}

}  // namespace

TAtlasIndex TAtlasIndex::FromFiles(const std::vector<std::string>& Files,
                                   std::vector<std::string>& Problems) {
  // The files are read on every core (a large atlas spends its opening
  // there), each into its own slot, so that the maps and the problems keep
  // the files' order.
  std::vector<TFileEntry> entries(Files.size());
  std::atomic<size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureMutex;
  const auto worker = [&] {
    try {
      for (size_t i = next++; i < Files.size(); i = next++) entries[i] = ReadFileEntry(Files[i]);
    } catch (...) {
      // Not a reader's refusal (those are problems): out of memory, say.
      const std::lock_guard lock(failureMutex);
      if (!failure) failure = std::current_exception();
      next = Files.size();
    }
  };
  // A few dozen files are not worth a thread.
  constexpr size_t kFilesPerThread = 32;
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t threads = std::clamp<size_t>(Files.size() / kFilesPerThread, 1, cores);
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);

  std::vector<TAtlasMap> maps;
  maps.reserve(Files.size());
  for (TFileEntry& e : entries) {
    if (e.Map)
      maps.push_back(std::move(*e.Map));
    else
      Problems.push_back(std::move(e.Problem));
  }
  return TAtlasIndex(std::move(maps));
}

void TAtlasIndex::Add(TAtlasMap Map) {
  FMaps.push_back(std::move(Map));
  Rebuild();
}

void TAtlasIndex::Replace(size_t Index, TAtlasMap Map) {
  FMaps.at(Index) = std::move(Map);
  Rebuild();
}

void TAtlasIndex::Remove(size_t Index) {
  if (Index >= FMaps.size()) return;
  FMaps.erase(FMaps.begin() + static_cast<std::ptrdiff_t>(Index));
  Rebuild();
}

void TAtlasIndex::Rebuild() {
  std::vector<TBoxTree::TItem> items;
  items.reserve(FMaps.size());
  for (size_t i = 0; i < FMaps.size(); ++i) {
    TAtlasMap& m = FMaps[i];
    m.Bounds = BoxOf(Outline(m));
    const TAtlasBox& b = m.Bounds;
    const auto id = static_cast<uint32_t>(i);
    // A box across the antimeridian is two boxes of the tree.
    if (b.CrossesAntimeridian()) {
      items.push_back({{b.West, b.South, 180, b.North}, id});
      items.push_back({{-180, b.South, b.East, b.North}, id});
    } else {
      items.push_back({{b.West, b.South, b.East, b.North}, id});
    }
  }
  FTree = std::make_shared<const TBoxTree>(std::move(items));
}

bool TAtlasIndex::Covers(size_t Index, double Lat, double Long) const {
  const TAtlasMap& m = FMaps.at(Index);
  if (!m.Bounds.Contains(Lat, Long)) return false;
  if (m.Border.size() >= 3) {
    // The border's run of longitudes starts at its first vertex.
    const double l = NearLongitude(Long, m.Border[0].Longit);
    return atlasgeo::InsidePolygon(Lat, l, m.Border) ||
           atlasgeo::InsidePolygon(Lat, l + 360, m.Border) ||
           atlasgeo::InsidePolygon(Lat, l - 360, m.Border);
  }
  const TCornerArray c = UnwrappedCorners(m.Corners);
  const double l = NearLongitude(Long, c[0].Longit);
  return PositionInMap(Lat, l, c) || PositionInMap(Lat, l + 360, c) ||
         PositionInMap(Lat, l - 360, c);
}

std::vector<size_t> TAtlasIndex::Covering(double Lat, double Long) const {
  std::vector<size_t> found;
  if (!FTree) return found;
  FTree->Query(Long, Lat, [&](uint32_t Id) {
    // A box split at the antimeridian may report its map twice.
    if (std::find(found.begin(), found.end(), Id) == found.end() && Covers(Id, Lat, Long))
      found.push_back(Id);
  });
  std::sort(found.begin(), found.end(), [&](size_t a, size_t b) {
    const double ka = SortKey(FMaps[a].Resolution), kb = SortKey(FMaps[b].Resolution);
    return ka != kb ? ka < kb : a < b;
  });
  return found;
}

std::optional<size_t> TAtlasIndex::BestAt(double Lat, double Long) const {
  std::optional<size_t> best;
  if (!FTree) return best;
  FTree->Query(Long, Lat, [&](uint32_t Id) {
    if (best) {
      const double kb = SortKey(FMaps[*best].Resolution), k = SortKey(FMaps[Id].Resolution);
      if (k > kb || (k == kb && Id >= *best)) return;
    }
    if (Covers(Id, Lat, Long)) best = Id;
  });
  return best;
}

std::optional<size_t> TAtlasIndex::Finer(double Lat, double Long, double Resolution,
                                         double MinStepPercent) const {
  // The coarsest map more than MinStepPercent finer; strict comparisons
  // leave ties to the first.
  const double minStep = MinStepPercent / 100;
  std::optional<size_t> chosen;
  double best = 0;
  for (const size_t i : Covering(Lat, Long)) {
    const double r = FMaps[i].Resolution;
    if (!((Resolution - r) / Resolution > minStep) || !(r > best)) continue;
    if (chosen && r == best && i > *chosen) continue;
    best = r;
    chosen = i;
  }
  return chosen;
}

std::optional<size_t> TAtlasIndex::Coarser(double Lat, double Long, double Resolution) const {
  std::optional<size_t> chosen;
  double best = 1e10;
  for (const size_t i : Covering(Lat, Long)) {
    const double r = FMaps[i].Resolution;
    if (!(r > Resolution) || !(r < best)) continue;
    best = r;
    chosen = i;
  }
  return chosen;
}

double TAtlasIndex::ViewShare(size_t Index, double Lat, double Long, int ViewWidth, int ViewHeight,
                              double Magnification) const {
  const TAtlasMap& m = FMaps.at(Index);
  if (m.ImageWidth <= 0 || m.ImageHeight <= 0 || !(Magnification > 0) || ViewWidth <= 0 ||
      ViewHeight <= 0)
    return 0;
  // The position's place in the corner quadrilateral, (u, v) in 0..1 from
  // the top-left corner, by Newton's method on the bilinear map:
  // P(u, v) = TL (1-u)(1-v) + TR u (1-v) + BL (1-u) v + BR u v.
  const TCornerArray c = UnwrappedCorners(m.Corners);
  const TCoords& tl = c[gcoTopLeft];
  const TCoords& bl = c[gcoBottomLeft];
  const TCoords& br = c[gcoBottomRight];
  const TCoords& tr = c[gcoTopRight];
  const double x = NearLongitude(Long, tl.Longit), y = Lat;
  double u = 0.5, v = 0.5;
  bool converged = false;
  for (int k = 0; k < 20 && !converged; ++k) {
    const double px = tl.Longit * (1 - u) * (1 - v) + tr.Longit * u * (1 - v) +
                      bl.Longit * (1 - u) * v + br.Longit * u * v - x;
    const double py = tl.Latit * (1 - u) * (1 - v) + tr.Latit * u * (1 - v) +
                      bl.Latit * (1 - u) * v + br.Latit * u * v - y;
    const double xu = (tr.Longit - tl.Longit) * (1 - v) + (br.Longit - bl.Longit) * v;
    const double xv = (bl.Longit - tl.Longit) * (1 - u) + (br.Longit - tr.Longit) * u;
    const double yu = (tr.Latit - tl.Latit) * (1 - v) + (br.Latit - bl.Latit) * v;
    const double yv = (bl.Latit - tl.Latit) * (1 - u) + (br.Latit - tr.Latit) * u;
    const double det = xu * yv - xv * yu;
    if (!(std::fabs(det) > 0)) return 0;
    const double du = (px * yv - py * xv) / det, dv = (py * xu - px * yu) / det;
    u -= du;
    v -= dv;
    converged = std::fabs(du) < 1e-9 && std::fabs(dv) < 1e-9;
  }
  if (!converged || !std::isfinite(u) || !std::isfinite(v)) return 0;
  const double w = m.ImageWidth, h = m.ImageHeight;
  const double cx = u * w, cy = v * h;
  const double halfW = ViewWidth / Magnification / 2, halfH = ViewHeight / Magnification / 2;
  const double ox = std::max(0.0, std::min(cx + halfW, w) - std::max(cx - halfW, 0.0));
  const double oy = std::max(0.0, std::min(cy + halfH, h) - std::max(cy - halfH, 0.0));
  return ox * oy / (4 * halfW * halfH);
}

std::vector<size_t> TAtlasIndex::ForView(double Lat, double Long, int ViewWidth, int ViewHeight,
                                         double Magnification) const {
  struct TCandidate {
    size_t Index;
    double Share;
    double Resolution;
  };
  std::vector<TCandidate> candidates;
  for (const size_t i : Covering(Lat, Long))
    candidates.push_back(
        {i, ViewShare(i, Lat, Long, ViewWidth, ViewHeight, Magnification), FMaps[i].Resolution});
  const auto finer = [](const TCandidate& A, const TCandidate& B) {
    return A.Resolution > 0 && (B.Resolution <= 0 || A.Resolution < B.Resolution);
  };
  std::vector<size_t> order;
  // Covering is finest first already: the maps that fill the view keep
  // that order.
  for (const TCandidate& c : candidates)
    if (c.Share >= kFilledView) order.push_back(c.Index);
  // Then the others, each time the one filling most (within a thousandth,
  // the finer; then the first).
  std::vector<TCandidate> rest;
  for (const TCandidate& c : candidates)
    if (c.Share < kFilledView) rest.push_back(c);
  while (!rest.empty()) {
    size_t best = 0;
    for (size_t k = 1; k < rest.size(); ++k) {
      const TCandidate& c = rest[k];
      const TCandidate& b = rest[best];
      if (c.Share > b.Share + 1e-3 || (c.Share > b.Share - 1e-3 && finer(c, b))) best = k;
    }
    order.push_back(rest[best].Index);
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(best));
  }
  return order;
}

std::optional<size_t> TAtlasIndex::BestForView(double Lat, double Long, int ViewWidth,
                                               int ViewHeight, double Magnification) const {
  const std::vector<size_t> order = ForView(Lat, Long, ViewWidth, ViewHeight, Magnification);
  if (order.empty()) return std::nullopt;
  return order.front();
}

std::vector<size_t> TAtlasIndex::FinestFirst() const {
  std::vector<size_t> order(FMaps.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return SortKey(FMaps[a].Resolution) < SortKey(FMaps[b].Resolution);
  });
  return order;
}

std::shared_ptr<const TMapSource> OpenForView(const TAtlasIndex& Index, double Lat, double Long,
                                              int ViewWidth, int ViewHeight, double Magnification,
                                              const TMapSourceOptions& Options,
                                              std::vector<std::string>& Problems) {
  for (const size_t i : Index.ForView(Lat, Long, ViewWidth, ViewHeight, Magnification)) {
    const TAtlasMap& m = Index[i];
    const std::string name = m.File.empty() ? m.ImageFile : m.File;
    try {
      std::shared_ptr<const TMapSource> source =
          m.Source ? m.Source : TMapSource::Open(m.File, m.DataID, Options);
      // Decoded now, for the view: a damaged image shows here, not while
      // drawing.
      if (source->Tiled())
        source->Levels();
      else
        source->Bitmap();
      return source;
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Problems.push_back(what.find(name) != std::string::npos ? what : name + ": " + what);
    }
  }
  return nullptr;
}

}  // namespace marovia
