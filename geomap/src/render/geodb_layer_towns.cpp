// The towns of an item database as image pixels (see geodb_layer_towns.h).
#include "render/geodb_layer_towns.h"

#include <algorithm>

namespace marovia::render {

namespace {

// Positions of the database that probe the calibration.
constexpr int kProbes = 16;

}  // namespace

void TTownPixels::Reset(const TGeoDB& DB) {
  const auto n = static_cast<std::size_t>(std::max(0, DB.NumEntries()));
  state_.assign(n, Unknown);
  class_.assign(n, 0);
  x_.assign(n, 0);
  y_.assign(n, 0);
}

void TTownPixels::Update(const TGeoDB& DB, const TMapCalibration& Calib) {
  const int n = DB.NumEntries();
  if (!changes_ || *changes_ != DB.Changes()) {
    changes_ = DB.Changes();
    probeLat_.clear();
    probeLong_.clear();
    for (int k = 0; k < kProbes && n > 0; ++k) {
      const TgdbData d = DB.Data(1 + k * (n - 1) / (kProbes - 1));
      probeLat_.push_back(d.LatLow);
      probeLong_.push_back(d.LongLow);
    }
    stamp_.reset();
  }
  TCalibStamp stamp = StampOf(Calib, probeLat_, probeLong_);
  if (stamp_ && stamp == *stamp_ && state_.size() == static_cast<std::size_t>(std::max(0, n)))
    return;
  stamp_ = std::move(stamp);
  Reset(DB);
}

void TTownPixels::Resolve(const TGeoDB& DB, const TMapCalibration& Calib,
                          std::span<const int> Entries) {
  std::vector<int> towns;
  std::vector<double> lat, lon;
  for (int e : Entries) {
    if (e < 1 || Slot(e) >= state_.size() || state_[Slot(e)] != Unknown) continue;
    const TgdbData d = DB.Data(e);
    if (d.ItemKind != gitTown) {
      state_[Slot(e)] = Other;
      continue;
    }
    class_[Slot(e)] = d.ClassFlag;
    towns.push_back(e);
    lat.push_back(d.LatLow);
    lon.push_back(d.LongLow);
  }
  if (towns.empty()) return;
  const std::size_t m = towns.size();
  std::vector<double> x(m), y(m);
  std::vector<uint8_t> ok(m);
  Calib.GeoToPixel(lat, lon, x, y, ok);
  conversions_ += m;
  for (std::size_t i = 0; i < m; ++i) {
    const std::size_t s = Slot(towns[i]);
    state_[s] = ok[i] ? Town : TownOffMap;
    x_[s] = x[i];
    y_[s] = y[i];
  }
}

}  // namespace marovia::render
