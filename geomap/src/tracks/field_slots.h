// Setting the further values of points (TPointField columns) while a
// reader appends them. Files give the same values in the same order point
// after point, so the reader numbers the values of one point (slot 0, 1,
// ...) and each slot remembers the column it found last time: one
// comparison instead of a search through every column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geomap/tracks.h"
#include "tracks/track_text.h"

namespace marovia::tracks {

class TFieldSlots {
 public:
  explicit TFieldSlots(TTrackPoints& Points) : points_(Points) {}

  void Number(std::size_t Slot, std::size_t Point, std::string_view Name, std::string_view Path,
              double Value) {
    points_.SetNumber(Index(Slot, Name, Path, TFieldKind::Number), Point, Value);
  }
  void Text(std::size_t Slot, std::size_t Point, std::string_view Name, std::string_view Path,
            std::string Value) {
    points_.SetText(Index(Slot, Name, Path, TFieldKind::Text), Point, std::move(Value));
  }
  // A number when the text reads as one, else a text.
  void Value(std::size_t Slot, std::size_t Point, std::string_view Name, std::string_view Path,
             const std::string& Text) {
    double v;
    if (ParseNumber(Text, v)) {
      Number(Slot, Point, Name, Path, v);
    } else {
      this->Text(Slot, Point, Name, Path, Text);
    }
  }

 private:
  std::size_t Index(std::size_t Slot, std::string_view Name, std::string_view Path,
                    TFieldKind Kind) {
    if (Slot >= slots_.size()) slots_.resize(Slot + 1, SIZE_MAX);
    const std::size_t k = slots_[Slot];
    if (k != SIZE_MAX) {
      const TPointField& f = points_.Fields[k];
      if (f.Name == Name && f.Path == Path && (Kind == TFieldKind::Number || f.Kind == Kind))
        return k;
    }
    return slots_[Slot] = points_.FieldIndex(Name, Path, Kind);
  }

  TTrackPoints& points_;
  std::vector<std::size_t> slots_;
};

}  // namespace marovia::tracks
