// The viewer's live position: fixes from a source on its own thread arrive
// here on the main thread (the SDL loop wakes for them), go into the layer
// the map control draws, and move the view while it follows them.
#include <cmath>

#include "marovia/geomap/position_layer.h"
#include "viewer.h"

namespace marovia::geoview {

namespace {

// The view re-centres when the position leaves this share of its width and
// height around the centre.
constexpr double kFollowInner = 0.5;

}  // namespace

void TViewer::SetPositionSource(std::unique_ptr<TPositionSource> Source) {
  if (position_) position_->Stop();
  position_ = std::move(Source);
  positionLayer_ = std::make_shared<TPositionLayer>();
  gpsState_.reset();
  gpsWhy_.clear();
  Map().SetPositionLayer(position_ ? positionLayer_ : nullptr);
  if (position_) {
    position_->OnFix = [this](const TPositionFix& Fix) { OnFix(Fix); };
    position_->OnState = [this](TSourceState State, const std::string& Why) {
      const bool wasLost = gpsState_ == TSourceState::Lost;
      gpsState_ = State;
      gpsWhy_ = Why;
      positionLayer_->SetLost(State == TSourceState::Lost);
      Map().SetPositionLayer(positionLayer_);
      if (State == TSourceState::Lost)
        Message(position_->Name() + ": lost" + (Why.empty() ? "" : " (" + Why + ")"));
      else if (State == TSourceState::Receiving && wasLost)
        Message(position_->Name() + ": receiving again");
      UpdateStatus();
    };
    position_->Start();
  }
  UpdateStatus();
}

void TViewer::OnFix(const TPositionFix& Fix) {
  positionLayer_->AddFix(Fix);
  positionLayer_->SetLost(false);
  if (follow_) FollowFix(Fix);
  Map().SetPositionLayer(positionLayer_);
  UpdateStatus();
}

int32_t TViewer::AtlasSlotOf(std::size_t Index) const {
  const std::string& file = index_[Index].File;
  for (int32_t i = 1; i <= atlas_->NumRegMaps(); ++i)
    if (atlas_->Maps(i).MapFName == file) return i;
  return 0;
}

void TViewer::FollowFix(const TPositionFix& Fix) {
  TGeoMap& map = Map();
  const bool onMap = !map.MapImgFile().empty() && map.IsPositionWithinMap(Fix.Lat, Fix.Lon);
  if (!onMap) {
    // The map for a view here at the scale shown now.
    const double r = map.CalibData().Resolution;
    const double metres = r > 0 && map.Magnification() > 0 ? r / map.Magnification() : 0;
    std::optional<std::size_t> best;
    const std::vector<std::size_t> covering = index_.Covering(Fix.Lat, Fix.Lon);
    for (std::size_t i : covering)
      if (metres > 0 && index_[i].Resolution > 0 && index_[i].Resolution <= metres * 1.0001)
        best = i;
    if (!best && !covering.empty()) best = covering.front();
    const int32_t slot = best ? AtlasSlotOf(*best) : 0;
    if (slot == 0 || slot == atlas_->CurrentMapIndex() || !atlas_->SelectMap(slot)) return;
    AfterMapChange();
    const double nr = Map().CalibData().Resolution;
    if (!CenterOn(Fix.Lat, Fix.Lon, metres > 0 && nr > 0 ? nr / metres : 0)) Map().ZoomFitPage();
    Push();
    return;
  }
  int32_t x = 0, y = 0;
  if (!map.CalcPixelCoords(Fix.Lat, Fix.Lon, x, y)) return;
  const TPoint c = map.MapImageToControl(TPoint{x, y});
  const double w = map.Width(), h = map.Height();
  const double mx = w * (1 - kFollowInner) / 2, my = h * (1 - kFollowInner) / 2;
  if (c.X >= mx && c.X <= w - mx && c.Y >= my && c.Y <= h - my) return;
  CenterOn(Fix.Lat, Fix.Lon, 0);
}

}  // namespace marovia::geoview
