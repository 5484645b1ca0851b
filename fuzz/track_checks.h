// Invariants of what every track reader gives, and the round trips through
// the writers, shared by the track fuzz targets.
//
// The model: Lat and Lon of one size; Ele, Time and every number field
// empty or of that size; text fields sorted by point and within it; every
// range within the points; positions within their ranges of degrees; times
// within the years the writers can write. Round trips: the GPX text of the
// data reads back with the same routes and tracks, the same points bit for
// bit in the same order and times within a millisecond; the GeoJSON text
// reads back with every point of the data in the order the writer takes
// them. Statistics of every track and route give a finite length.
#pragma once

#include <algorithm>
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/track_files.h"
#include "marovia/geomap/track_stats.h"

namespace marovia::fuzz {

inline bool InDegrees(double Lat, double Lon) {
  return Lat >= -90 && Lat <= 90 && Lon >= -180 && Lon <= 180;
}

inline void CheckModel(const TTrackData& D) {
  const TTrackPoints& p = D.Points;
  const std::size_t n = p.Size();
  Check(p.Lon.size() == n, "Lat and Lon of different sizes");
  Check(p.Ele.empty() || p.Ele.size() == n, "an elevation column of the wrong size");
  Check(p.Time.empty() || p.Time.size() == n, "a time column of the wrong size");
  for (std::size_t i = 0; i < n; ++i) {
    Check(InDegrees(p.Lat[i], p.Lon[i]), "a point outside the degrees");
    const double t = p.TimeAt(i);
    Check(std::isnan(t) || (t > -62167219201.0 && t < 253402300800.0), "a time no writer writes");
  }
  for (const TPointField& f : p.Fields) {
    if (f.Kind == TFieldKind::Number) {
      Check(f.Numbers.size() == n && f.Texts.empty(), "a number field of the wrong size");
      continue;
    }
    Check(f.Numbers.empty(), "a text field with numbers");
    for (std::size_t k = 0; k < f.Texts.size(); ++k) {
      Check(f.Texts[k].first < n, "a text field entry beyond the points");
      Check(k == 0 || f.Texts[k - 1].first < f.Texts[k].first, "text field entries out of order");
    }
  }
  auto range = [n](TPointRange r) {
    Check(r.Begin <= r.End && r.End <= n, "a range beyond the points");
  };
  for (const TTrack& t : D.Tracks)
    for (const TPointRange& s : t.Segments) range(s);
  for (const TRoute& r : D.Routes) range(r.Points);
  for (const TShape& s : D.Shapes)
    for (const TShapePart& part : s.Parts) range(part.Points);
  for (const TWaypoint& w : D.Waypoints)
    Check(InDegrees(w.Lat, w.Lon), "a waypoint outside the degrees");
}

// The points of routes, then tracks (then shapes), in the order the writers
// write them.
inline std::vector<std::size_t> WrittenOrder(const TTrackData& D, bool Shapes) {
  std::vector<std::size_t> order;
  auto add = [&](TPointRange r) {
    for (std::size_t i = r.Begin; i < r.End; ++i) order.push_back(i);
  };
  for (const TRoute& r : D.Routes) add(r.Points);
  for (const TTrack& t : D.Tracks)
    for (const TPointRange& s : t.Segments) add(s);
  if (Shapes)
    for (const TShape& s : D.Shapes)
      for (const TShapePart& part : s.Parts) add(part.Points);
  return order;
}

// Times are written to the millisecond: half of one, plus the rounding of
// the decimal read back (half a unit in the last place, about 0.24 us beyond
// 2038 or before 1901, where 0.0005001 s was too tight).
inline bool SameTime(double A, double B) {
  if (std::isnan(A) || std::isnan(B)) return std::isnan(A) && std::isnan(B);
  const double m = std::max(std::fabs(A), std::fabs(B));
  return std::fabs(A - B) <= 0.0005 + 2 * (std::nextafter(m, INFINITY) - m);
}

inline void CheckRoundTrips(const TTrackData& D) {
  TTrackData g;
  if (!Refusing([&] { g = ParseGpx(GpxText(D), "round.gpx"); }))
    Finding("the GPX we wrote does not read");
  Check(g.Routes.size() == D.Routes.size() && g.Tracks.size() == D.Tracks.size(),
        "GPX round trip: other routes or tracks");
  Check(g.Waypoints.size() == D.Waypoints.size(), "GPX round trip: other waypoints");
  for (std::size_t k = 0; k < D.Waypoints.size(); ++k)
    Check(g.Waypoints[k].Lat == D.Waypoints[k].Lat && g.Waypoints[k].Lon == D.Waypoints[k].Lon &&
              SameTime(g.Waypoints[k].Time, D.Waypoints[k].Time),
          "GPX round trip: a waypoint moved");
  const std::vector<std::size_t> order = WrittenOrder(D, false);
  Check(g.Points.Size() == order.size(), "GPX round trip: other points");
  for (std::size_t k = 0; k < order.size(); ++k) {
    const std::size_t i = order[k];
    Check(g.Points.Lat[k] == D.Points.Lat[i] && g.Points.Lon[k] == D.Points.Lon[i],
          "GPX round trip: a point moved");
    Check(SameTime(g.Points.TimeAt(k), D.Points.TimeAt(i)), "GPX round trip: a time changed");
    const double a = g.Points.EleAt(k), b = D.Points.EleAt(i);
    Check(a == b || (std::isnan(a) && std::isnan(b)), "GPX round trip: an elevation changed");
  }
  TTrackData j;
  if (!Refusing([&] { j = ParseGeoJson(GeoJsonText(D), "round.geojson"); }))
    Finding("the GeoJSON we wrote does not read");
  const std::vector<std::size_t> all = WrittenOrder(D, true);
  Check(j.Waypoints.size() == D.Waypoints.size(), "GeoJSON round trip: other waypoints");
  Check(j.Points.Size() == all.size(), "GeoJSON round trip: other points");
  for (std::size_t k = 0; k < all.size(); ++k)
    Check(j.Points.Lat[k] == D.Points.Lat[all[k]] && j.Points.Lon[k] == D.Points.Lon[all[k]],
          "GeoJSON round trip: a point moved");
}

inline void CheckStats(const TTrackData& D) {
  for (const TTrack& t : D.Tracks)
    Check(std::isfinite(TrackStats(D.Points, t).Length2D), "a track length that is not finite");
  for (const TRoute& r : D.Routes)
    Check(std::isfinite(SegmentStats(D.Points, r.Points).Length2D),
          "a route length that is not finite");
}

// Reads the bytes with Parse; a refusal must be an ETrackFileError naming
// FileName, a reading must hold every invariant.
template <class F>
void CheckReader(F&& Parse, const std::string& FileName) {
  TTrackData d;
  try {
    d = Parse();
  } catch (const ETrackFileError& e) {
    Check(e.FileName().rfind(FileName, 0) == 0, "an error that does not name the file");
    Check(std::string(e.what()).rfind(FileName, 0) == 0,
          "a message that does not start with the file");
    return;
  }
  CheckModel(d);
  CheckRoundTrips(d);
  CheckStats(d);
}

}  // namespace marovia::fuzz
