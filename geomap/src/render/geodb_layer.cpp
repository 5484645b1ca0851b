// TGeoDBLayer: the items of an item database drawn and picked on the map
// (see geodb_layer.h).
#include "marovia/geomap/geodb_layer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/map_calibration.h"
#include "render/geodb_layer_towns.h"
#include "render/marker_stamp.h"
#include "render/overlay_geometry.h"
#include "render/overlay_paint.h"
#include "render/view_area.h"

namespace marovia {

using render::TViewPath;
using render::TViewPoint;

namespace {

// View pixels beyond the view searched, for symbols and lines that reach in.
constexpr double kSearchMargin = 16;

enum class TLook { Line, Filled };

struct TItemLook {
  TLook Kind = TLook::Line;
  TColor Line = clBlack;
  TColor Fill = clBlack;
  const std::vector<double>* Dash = nullptr;
};

TItemLook LookOf(const TgdbData& D, const TGeoDBLayerStyle& S) {
  TItemLook l;
  switch (D.ItemKind) {
    case gitBorder:
      l.Line = S.Border;
      l.Dash = &S.BorderDash;
      break;
    case gitCity:
      l.Line = S.City;
      l.Fill = S.CityFill;
      if (D.Closed) l.Kind = TLook::Filled;
      break;
    case gitLake:
      l.Line = S.Lake;
      l.Fill = S.LakeFill;
      l.Kind = TLook::Filled;
      break;
    case gitRiver:
      l.Line = S.River;
      break;
    case gitRoad:
      l.Line = S.Road;
      break;
    default:
      l.Line = S.Route;
      break;
  }
  return l;
}

render::TOverlayView OverlayViewOf(const TLayerView& V) {
  return render::TOverlayView{V.Left, V.Top, V.Magnify, V.Width, V.Height};
}

double BoxSize(const TgdbData& D) {
  if (D.ItemKind == gitTown) return 0;
  const double mid = (static_cast<double>(D.LatLow) + D.LatHigh) / 2 * std::numbers::pi / 180;
  double dl = static_cast<double>(D.LongHigh) - D.LongLow;
  if (dl < 0) dl += 360;
  return std::max(0.0, static_cast<double>(D.LatHigh) - D.LatLow) * dl * std::cos(mid);
}

std::vector<int> ItemsIn(const TGeoDB& DB, const render::TGeoBox& B) {
  return DB.FindItemsInArea(B.LatLow, B.LatHigh, B.LongLow, B.LongHigh);
}

// Whether P lies inside the ring (crossings of a ray to the right).
bool InsideRing(const std::vector<TViewPoint>& Ring, TViewPoint P) {
  bool in = false;
  for (std::size_t i = 0, j = Ring.size() - 1; i < Ring.size(); j = i++) {
    const TViewPoint a = Ring[i], b = Ring[j];
    if ((a.Y > P.Y) != (b.Y > P.Y) && P.X < (b.X - a.X) * (P.Y - a.Y) / (b.Y - a.Y) + a.X) in = !in;
  }
  return in;
}

bool Closes(const TgdbData& D, const TItemLook& L) {
  return L.Kind == TLook::Filled || D.Closed;
}

TGeoDB& Required(const std::shared_ptr<TGeoDB>& DB) {
  if (!DB) throw EZYLGeoMapError("an item database layer needs a database");
  return *DB;
}

}  // namespace

TGeoDBLayer::TGeoDBLayer(TGeoDB& DB, std::string LayerName)
    : db_(DB), towns_(std::make_unique<render::TTownPixels>()) {
  Name = std::move(LayerName);
}

TGeoDBLayer::TGeoDBLayer(std::shared_ptr<TGeoDB> DB, std::string LayerName)
    : owned_(std::move(DB)),
      db_(Required(owned_)),
      towns_(std::make_unique<render::TTownPixels>()) {
  Name = std::move(LayerName);
}

TGeoDBLayer::~TGeoDBLayer() = default;

void TGeoDBLayer::ForgetPoints() {
  points_.clear();
  towns_ = std::make_unique<render::TTownPixels>();
  found_ = TFound{};
}

std::size_t TGeoDBLayer::TownConversions() const {
  return towns_->Conversions();
}

const std::vector<int>& TGeoDBLayer::EntriesIn(double LatLow, double LatHigh, double LongLow,
                                               double LongHigh) {
  const double box[4] = {LatLow, LatHigh, LongLow, LongHigh};
  if (!found_.Valid || found_.Changes != db_.Changes() || !std::equal(box, box + 4, found_.Box)) {
    found_.Entries = db_.FindItemsInArea(LatLow, LatHigh, LongLow, LongHigh);
    found_.Changes = db_.Changes();
    std::copy(box, box + 4, found_.Box);
    found_.Valid = true;
  }
  return found_.Entries;
}

const TGeoDBLayer::TItemPoints* TGeoDBLayer::PointsOf(int Entry, const TgdbData& Item) {
  auto it = points_.find(Item.ItemId);
  if (it != points_.end() && it->second.BlobOffset == Item.BlobOffset) return &it->second;
  TgdbPolygon poly;
  if (!db_.RetrievePolygon(Entry, poly)) return nullptr;
  TItemPoints p;
  p.BlobOffset = Item.BlobOffset;
  p.Lat.reserve(poly.size());
  p.Lon.reserve(poly.size());
  for (const TSCoords& c : poly) {
    p.Lat.push_back(c.Latit);
    p.Lon.push_back(c.Longit);
  }
  return &(points_[Item.ItemId] = std::move(p));
}

void TGeoDBLayer::Draw(TCanvas& Canvas, const TLayerView& View, TOverlayCaptions* Captions) {
  drawn_ = 0;
  if (!Visible || !View.Calib || !View.Calib->Converts() || View.Width <= 0 || View.Height <= 0 ||
      db_.DBName().empty())
    return;
  const render::TGeoBox box =
      render::ViewArea(View, -kSearchMargin, -kSearchMargin, View.Width + kSearchMargin,
                       View.Height + kSearchMargin);
  const std::vector<int>& entries = EntriesIn(box.LatLow, box.LatHigh, box.LongLow, box.LongHigh);
  towns_->Update(db_, *View.Calib);
  towns_->Resolve(db_, *View.Calib, entries);
  render::TOverlayView ov = OverlayViewOf(View);
  ov.Straight = render::StraightLength(*View.Calib, ov);
  const double scale = View.Scale;
  const int width = std::max(1, static_cast<int>(std::lround(Style.Width * scale)));

  // Areas and lines first, towns over them.
  std::vector<int> towns;
  towns.reserve(entries.size());
  for (int e : entries) {
    const render::TTownPixels::TState state = towns_->State(e);
    if (state == render::TTownPixels::Town) towns.push_back(e);
    if (state != render::TTownPixels::Other) continue;
    const TgdbData d = db_.Data(e);
    if (!IsPolygonKind(d.ItemKind)) continue;
    const TItemPoints* pts = PointsOf(e, d);
    if (!pts || pts->Lat.empty()) continue;
    ++drawn_;
    const TItemLook look = LookOf(d, Style);
    if (look.Kind == TLook::Filled && pts->Lat.size() >= 3) {
      const std::vector<std::vector<TViewPoint>> ring{
          render::ProjectRing(*View.Calib, ov, pts->Lat, pts->Lon, 2)};
      const uint8_t noHole = 0;
      render::FillRings(Canvas, View.Width, View.Height, ring, std::span(&noHole, 1), look.Fill,
                        Style.FillOpacity);
    }
    std::vector<double> lat = pts->Lat, lon = pts->Lon;
    if (Closes(d, look) && lat.size() > 2 &&
        (lat.front() != lat.back() || lon.front() != lon.back())) {
      lat.push_back(lat.front());
      lon.push_back(lon.front());
    }
    std::vector<TViewPath> paths;
    render::ProjectLine(*View.Calib, ov, lat, lon, width / 2.0 + 2, paths);
    render::TStroke stroke;
    stroke.Color = look.Line;
    stroke.Width = width;
    if (look.Dash)
      for (double g : *look.Dash) stroke.Dash.push_back(g * width);
    render::StrokePaths(Canvas, View.Width, View.Height, paths, stroke);
  }

  // Towns: their pixels kept, one stamp for all.
  const std::size_t n = towns.size();
  const render::TMarkerStamp stamp(
      std::max(1, static_cast<int>(std::lround(Style.TownRadius * scale))), Style.Town);
  struct TShown {
    std::size_t Index;
    TPoint P;
  };
  std::vector<TShown> shown;
  std::vector<TPoint> at;
  shown.reserve(n);
  at.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const TViewPoint v = ov.ToView(towns_->X(towns[i]), towns_->Y(towns[i]));
    if (v.X < -kSearchMargin || v.Y < -kSearchMargin || v.X > View.Width + kSearchMargin ||
        v.Y > View.Height + kSearchMargin)
      continue;
    const TPoint p = render::CanvasPoint(v);
    at.push_back(p);
    shown.push_back(TShown{i, p});
    ++drawn_;
  }
  stamp.DrawAll(Canvas, View.Width, View.Height, at);
  if (!Style.Captions || shown.empty()) return;

  auto classOf = [&](const TShown& T) { return towns_->Class(towns[T.Index]); };
  // Captions: the lower classes first, as many as MaxCaptions, in entry
  // order within a class (counted by class: no sort of every town).
  const auto most = static_cast<std::size_t>(std::max(0, Style.MaxCaptions));
  if (shown.size() > most) {
    std::array<std::size_t, 256> perClass{};
    for (const TShown& t : shown) ++perClass[classOf(t)];
    std::size_t taken = 0;
    int last = 0;  // the highest class that gets captions, partly
    while (last < 255 && taken + perClass[static_cast<std::size_t>(last)] < most)
      taken += perClass[static_cast<std::size_t>(last++)];
    std::size_t room = most - taken;  // captions left for class `last`
    std::vector<TShown> chosen;
    chosen.reserve(most);
    for (const TShown& t : shown)
      if (classOf(t) < last || (classOf(t) == last && room > 0 && room--)) chosen.push_back(t);
    std::stable_sort(chosen.begin(), chosen.end(),
                     [&](const TShown& a, const TShown& b) { return classOf(a) < classOf(b); });
    shown = std::move(chosen);
  } else {
    std::stable_sort(shown.begin(), shown.end(),
                     [&](const TShown& a, const TShown& b) { return classOf(a) < classOf(b); });
  }
  std::vector<int32_t> owners;
  for (const TShown& s : shown) {
    owners.push_back(Captions ? Captions->NewOwner() : -1);
    if (Captions) Captions->Placer.AddObstacle(stamp.Box(s.P), owners.back());
  }
  Canvas.Font().SetHeight(std::max(1, static_cast<int>(std::lround(Style.CaptionHeight * scale))));
  Canvas.Font().SetColor(Style.CaptionColor);
  Canvas.Font().SetOrientation(0);
  for (std::size_t k = 0; k < shown.size(); ++k)
    render::DrawCaption(Canvas, Captions, owners[k], stamp.Box(shown[k].P),
                        db_.Data(towns[shown[k].Index]).Name.Text());
}

std::vector<TGeoDBPick> TGeoDBLayer::Pick(const TLayerView& View, double X, double Y) {
  std::vector<TGeoDBPick> picks;
  if (!View.Calib || !View.Calib->Converts() || db_.DBName().empty()) return picks;
  const double r = std::max(0.0, PickRadius);
  const render::TGeoBox box = render::ViewArea(View, X - r - 1, Y - r - 1, X + r + 1, Y + r + 1);
  const TViewPoint at{X, Y};
  // Lines are clipped to a small view around the click: their distance
  // there is their distance, and a far part costs nothing.
  TLayerView local = View;
  local.Left = View.Left + (X - r - 4) / View.Magnify;
  local.Top = View.Top + (Y - r - 4) / View.Magnify;
  local.Width = local.Height = static_cast<int>(std::ceil(2 * r + 8));
  const render::TOverlayView ov = OverlayViewOf(local);
  const TViewPoint atLocal{r + 4, r + 4};
  for (int e : ItemsIn(db_, box)) {
    const TgdbData d = db_.Data(e);
    double dist = HUGE_VAL;
    if (d.ItemKind == gitTown) {
      double x = 0, y = 0;
      if (View.Calib->GeoToPixelExact(d.LatLow, d.LongLow, x, y))
        dist =
            std::hypot((x - View.Left) * View.Magnify - at.X, (y - View.Top) * View.Magnify - at.Y);
    } else if (IsPolygonKind(d.ItemKind)) {
      const TItemPoints* pts = PointsOf(e, d);
      if (!pts || pts->Lat.empty()) continue;
      const TItemLook look = LookOf(d, Style);
      std::vector<double> lat = pts->Lat, lon = pts->Lon;
      if (Closes(d, look) && lat.size() > 2) {
        lat.push_back(lat.front());
        lon.push_back(lon.front());
      }
      std::vector<TViewPath> paths;
      render::ProjectLine(*View.Calib, ov, lat, lon, 1, paths);
      for (const TViewPath& p : paths)
        for (std::size_t i = 0; i + 1 < p.Points.size(); ++i)
          dist = std::min(dist, render::SegmentDistance(atLocal, p.Points[i], p.Points[i + 1]));
      if (look.Kind == TLook::Filled && pts->Lat.size() >= 3) {
        const auto ring = render::ProjectRing(*View.Calib, ov, pts->Lat, pts->Lon, 1);
        if (ring.size() >= 3 && InsideRing(ring, atLocal)) dist = 0;
      }
    } else {
      continue;
    }
    if (dist <= r) picks.push_back(TGeoDBPick{e, d, dist, BoxSize(d)});
  }
  std::sort(picks.begin(), picks.end(), [](const TGeoDBPick& a, const TGeoDBPick& b) {
    if (a.Size != b.Size) return a.Size < b.Size;
    if (a.Distance != b.Distance) return a.Distance < b.Distance;
    return a.Entry < b.Entry;
  });
  return picks;
}

void TGeoDBLayer::Click(const TLayerView& View, int X, int Y) {
  if (!OnItemsPicked) return;
  const std::vector<TGeoDBPick> picks = Pick(View, X, Y);
  OnItemsPicked(*this, picks);
}

}  // namespace marovia
