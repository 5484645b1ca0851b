// What a map shows of a live position: the marker (a dot, or an arrow
// along the course while moving), the accuracy circle around it, and the
// track so far. A host keeps one layer per position source, adds each fix
// and hands the layer to the map control (TGeoMap::SetPositionLayer), which
// draws it over the landmarks in every composition of a view.
//
// A plain value, not thread safe: the host changes it on the main thread
// (where its source delivers fixes) and repaints.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "marovia/geomap/position.h"
#include "marovia/platform/graphics.h"

namespace marovia {

struct TPositionStyle {
  TColor Marker = TColor(0x00D0501E);  // the marker's fill (blue), outlined in white
  TColor Accuracy = TColor(0x00D0501E);
  TColor Track = TColor(0x000000D0);  // red
  TColor Lost = clGray;               // the marker's fill while the source is lost
  int MarkerRadius = 7;               // view pixels (times the map's OverlayScale)
  int TrackWidth = 3;
  // Below this speed (m/s) the course is noise: a dot, not an arrow.
  double MinCourseSpeed = 0.5;
};

class TPositionLayer {
 public:
  // Takes the fix as the current position; appends it to the track when it
  // is not where the track's last point is.
  void AddFix(const TPositionFix& Fix);
  // The source is lost (the marker is drawn in Style.Lost) or back.
  void SetLost(bool Value) { lost_ = Value; }
  bool Lost() const { return lost_; }
  // Empties the track; the current position stays.
  void ClearTrack();
  // Forgets everything.
  void Clear();

  const std::optional<TPositionFix>& Current() const { return current_; }
  // The track so far, oldest first (degrees, WGS 84).
  const std::vector<double>& TrackLat() const { return lat_; }
  const std::vector<double>& TrackLon() const { return lon_; }
  std::size_t TrackPoints() const { return lat_.size(); }

  // The track keeps at most this many points: when it is full, every second
  // point of its older half is dropped (its shape stays, its detail thins).
  std::size_t MaxTrackPoints = 200000;
  TPositionStyle Style;

 private:
  std::optional<TPositionFix> current_;
  std::vector<double> lat_, lon_;
  bool lost_ = false;
};

}  // namespace marovia
