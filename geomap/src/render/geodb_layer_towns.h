// The towns of an item database as image pixels, kept between draws of a
// database layer.
//
// Converting 100 000 positions through a projected calibration costs far
// more than stamping them, and a redraw, a pan or a zoom needs the same
// image pixels again. TTownPixels keeps, by entry number, whether the entry
// is a town, its class, its position and the position's image pixel,
// filled as entries are first asked for (a view sees a part of a large
// database).
//   - The calibration is checked at every draw (TCalibStamp: its model,
//     record, control points and fitted parameters, and the pixels of up
//     to 16 of the database's own positions, where a refit of a projected
//     or thin-plate model shows whatever else stayed); when it changed,
//     everything kept is dropped.
//   - The records are checked when the database changed (TGeoDB::Changes:
//     every addition, replacement or deletion, every reading of the item
//     table): each entry asked for again is compared with its record, and
//     its pixel kept only while the record's position is bit for bit the
//     one converted (a deletion renumbers entries; an entry whose new
//     record lies elsewhere is converted again).
// Memory: 30 bytes an entry of the database, 3 MB for 100 000.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "marovia/geodb/geodb.h"
#include "marovia/geomap/map_calibration.h"
#include "render/overlay_line_cache.h"

namespace marovia::render {

class TTownPixels {
 public:
  enum TState : uint8_t { Unknown, Town, TownOffMap, Other };

  // Makes the cache answer for DB's records as they are, under Calib.
  void Update(const TGeoDB& DB, const TMapCalibration& Calib);
  // Looks up every entry of Entries (1-based, within DB.NumEntries) not
  // seen, or not seen since the database changed, and converts the towns
  // among them whose position is new, in one batch.
  void Resolve(const TGeoDB& DB, const TMapCalibration& Calib, std::span<const int> Entries);

  // What entry E (resolved) is, Unknown beyond the entries; a Town's image
  // pixel and class.
  TState State(int E) const {
    return E >= 1 && Slot(E) < state_.size() ? static_cast<TState>(state_[Slot(E)]) : Unknown;
  }
  double X(int E) const { return x_[Slot(E)]; }
  double Y(int E) const { return y_[Slot(E)]; }
  uint8_t Class(int E) const { return class_[Slot(E)]; }

  // How many positions went through the calibration (for tests).
  std::size_t Conversions() const { return conversions_; }

 private:
  static std::size_t Slot(int E) { return static_cast<std::size_t>(E - 1); }

  std::optional<uint64_t> changes_;  // DB.Changes() at the last Update
  uint32_t round_ = 0;               // raised with every change of the database
  std::optional<TCalibStamp> stamp_;
  std::vector<double> probeLat_, probeLong_;
  // By entry: when it was last compared with its record (a round), what it
  // is, and for a town its class, position and pixel.
  std::vector<uint32_t> checked_;
  std::vector<uint8_t> state_, class_;
  std::vector<float> lat_, long_;
  std::vector<double> x_, y_;
  std::size_t conversions_ = 0;
};

}  // namespace marovia::render
