#include "marovia/geomap/position_layer.h"

namespace marovia {

void TPositionLayer::AddFix(const TPositionFix& Fix) {
  current_ = Fix;
  if (!lat_.empty() && lat_.back() == Fix.Lat && lon_.back() == Fix.Lon) return;
  if (MaxTrackPoints >= 4 && lat_.size() >= MaxTrackPoints) {
    // Thin the older half: keep its even points, then the newer half whole.
    const std::size_t half = lat_.size() / 2;
    std::size_t out = 0;
    for (std::size_t i = 0; i < lat_.size(); ++i) {
      if (i < half && i % 2 == 1) continue;
      lat_[out] = lat_[i];
      lon_[out] = lon_[i];
      ++out;
    }
    lat_.resize(out);
    lon_.resize(out);
  }
  lat_.push_back(Fix.Lat);
  lon_.push_back(Fix.Lon);
}

void TPositionLayer::ClearTrack() {
  lat_.clear();
  lon_.clear();
}

void TPositionLayer::Clear() {
  ClearTrack();
  current_.reset();
  lost_ = false;
}

}  // namespace marovia
