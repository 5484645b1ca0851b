// The towns of an item database as image pixels (see geodb_layer_towns.h).
#include "render/geodb_layer_towns.h"

#include <algorithm>
#include <bit>

namespace marovia::render {

namespace {

// Positions of the database that probe the calibration.
constexpr int kProbes = 16;

}  // namespace

void TTownPixels::Update(const TGeoDB& DB, const TMapCalibration& Calib) {
  const auto n = static_cast<std::size_t>(std::max(0, DB.NumEntries()));
  if (!changes_ || *changes_ != DB.Changes()) {
    changes_ = DB.Changes();
    ++round_;
    // Entries beyond the end are gone; new ones are unknown.
    for (auto* v : {&state_, &class_}) v->resize(n, Unknown);
    checked_.resize(n, 0);
    lat_.resize(n);
    long_.resize(n);
    x_.resize(n);
    y_.resize(n);
  }
  // The probes stay where they were first taken, so that the stamp of an
  // unchanged calibration stays the same as the records change.
  if (probeLat_.empty() && n > 0) {
    for (std::size_t k = 0; k < kProbes; ++k) {
      const TgdbData d = DB.Data(static_cast<int>(1 + k * (n - 1) / (kProbes - 1)));
      probeLat_.push_back(d.LatLow);
      probeLong_.push_back(d.LongLow);
    }
  }
  TCalibStamp stamp = StampOf(Calib, probeLat_, probeLong_);
  if (stamp_ && stamp == *stamp_) return;
  stamp_ = std::move(stamp);
  std::fill(state_.begin(), state_.end(), Unknown);
}

void TTownPixels::Resolve(const TGeoDB& DB, const TMapCalibration& Calib,
                          std::span<const int> Entries) {
  std::vector<int> towns;
  std::vector<double> lat, lon;
  for (int e : Entries) {
    if (e < 1 || Slot(e) >= state_.size()) continue;
    const std::size_t s = Slot(e);
    if (state_[s] != Unknown && checked_[s] == round_) continue;
    const TgdbData d = DB.Data(e);
    checked_[s] = round_;
    if (d.ItemKind != gitTown) {
      state_[s] = Other;
      continue;
    }
    class_[s] = d.ClassFlag;
    const bool same = (state_[s] == Town || state_[s] == TownOffMap) &&
                      std::bit_cast<uint32_t>(lat_[s]) == std::bit_cast<uint32_t>(d.LatLow) &&
                      std::bit_cast<uint32_t>(long_[s]) == std::bit_cast<uint32_t>(d.LongLow);
    if (same) continue;
    lat_[s] = d.LatLow;
    long_[s] = d.LongLow;
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
