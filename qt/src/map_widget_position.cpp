// The live position in MapWidget: the source's events arrive on the UI
// thread through the library's message loop (QueueOnMainThread, woken by
// Wake); each fix goes into the position layer the map control draws, and
// in follow mode keeps the position in view, switching the atlas's map when
// the position leaves the one shown.
#include <cmath>

#include "map_widget_private.h"
#include "marovia/geomap/position_layer.h"

namespace marovia::qt {

namespace {

// Follow mode re-centres when the position leaves the middle part of the
// view: this share of the width and height around the centre.
constexpr double kFollowInner = 0.5;

}  // namespace

void MapWidget::setPositionSource(std::unique_ptr<TPositionSource> source) {
  Private& d = *d_;
  if (d.position) d.position->Stop();
  d.position = std::move(source);
  d.layer = std::make_shared<TPositionLayer>();
  d.followPending.reset();
  d.map->SetPositionLayer(d.position ? d.layer : nullptr);
  if (d.position) {
    d.position->OnFix = [&d](const TPositionFix& Fix) { d.OnFix(Fix); };
    d.position->OnState = [&d](TSourceState State, const std::string& Why) {
      d.OnState(State, Why);
    };
    d.position->Start();
  }
  d.Touched();
}

TPositionSource* MapWidget::positionSource() const {
  return d_->position.get();
}

const TPositionLayer& MapWidget::positionLayer() const {
  static const TPositionLayer none;
  return d_->layer ? *d_->layer : none;
}

void MapWidget::setFollow(bool follow) {
  follow_ = follow;
  if (follow_ && d_->layer && d_->layer->Current()) d_->Follow(*d_->layer->Current());
}

void MapWidget::Private::OnFix(const TPositionFix& Fix) {
  layer->AddFix(Fix);
  layer->SetLost(false);
  map->SetSuppressPaint(true);
  if (q->follows()) Follow(Fix);
  map->SetSuppressPaint(false);
  map->SetPositionLayer(layer);
  // Shown before it is reported: a listener sees the marker where it is.
  Touched();
  q->repaint();
  emit q->positionUpdated(Fix.Lat, Fix.Lon);
}

void MapWidget::Private::OnState(TSourceState State, const std::string& Why) {
  if (layer) {
    layer->SetLost(State == TSourceState::Lost);
    map->SetPositionLayer(layer);
    Application().NoteActivity();
  }
  emit q->sourceStateChanged(SourceStateName(State), QString::fromStdString(Why));
}

void MapWidget::Private::Follow(const TPositionFix& Fix) {
  const int w = q->width(), h = q->height();
  const bool onMap =
      source && shown >= 0 && atlas.Covers(static_cast<std::size_t>(shown), Fix.Lat, Fix.Lon);
  const bool fills = onMap && atlas.ViewShare(static_cast<std::size_t>(shown), Fix.Lat, Fix.Lon, w,
                                              h, map->Magnification()) >= TAtlasIndex::kFilledView;
  if (!fills && !atlas.Empty()) {
    // The map for a view here at the scale shown now: the coarsest of the
    // maps covering the position that are at least as fine as the view,
    // else the finest there.
    const double r = source ? source->Calibration().Data().Resolution : 0;
    const double metres = r > 0 ? r / map->Magnification() : 0;
    const std::vector<std::size_t> covering = atlas.Covering(Fix.Lat, Fix.Lon);
    std::optional<std::size_t> best;
    for (std::size_t i : covering)
      if (metres > 0 && atlas[i].Resolution > 0 && atlas[i].Resolution <= metres * 1.0001) best = i;
    if (!best && !covering.empty()) best = covering.front();
    if (best && static_cast<int>(*best) != shown) {
      if (!loader.Opening()) {
        std::optional<TKeptView> keep;
        if (metres > 0) keep = TKeptView{Fix.Lat, Fix.Lon, metres, QPoint(w / 2, h / 2)};
        Load(static_cast<int>(*best), keep);
      }
      followPending = Fix;
      return;
    }
  }
  if (!onMap) return;
  int32_t x = 0, y = 0;
  if (!map->CalcPixelCoords(Fix.Lat, Fix.Lon, x, y)) return;
  const TPoint c = map->MapImageToControl(TPoint{x, y});
  const double mx = w * (1 - kFollowInner) / 2, my = h * (1 - kFollowInner) / 2;
  if (c.X >= mx && c.X <= w - mx && c.Y >= my && c.Y <= h - my) return;
  const double m = map->Magnification();
  map->SetTopLeft(TPoint{x - static_cast<int32_t>(std::lround(w / m / 2)),
                         y - static_cast<int32_t>(std::lround(h / m / 2))});
}

void MapWidget::Private::AfterMapShown() {
  if (!followPending || !q->follows()) return;
  const TPositionFix fix = *followPending;
  followPending.reset();
  map->SetSuppressPaint(true);
  Follow(fix);
  map->SetSuppressPaint(false);
  map->Invalidate();
  Pump();
}

void MapWidget::Private::Painted() {}

}  // namespace marovia::qt
