// Statistics of tracks: length, climb and time in motion, per segment, per
// track and in all. TrackStatsMethod states the methods in words, and every
// front end prints it beside the figures.
//
// Length (2D): the sum over consecutive points of a segment of their
//   geodesic distance on the WGS 84 ellipsoid (GeographicLib's Geodesic,
//   accurate to 15 nanometres), added up with error compensation; segments
//   are not joined to each other. Accuracy: the ellipsoidal distance between
//   the recorded points, which no spherical formula gives (a sphere is off
//   by up to 0.5 %, kilometres over 1 000 km).
// Length (3D): each step's geodesic distance s and elevation change dh
//   combined as sqrt(s^2 + dh^2) where both points have an elevation, s
//   where either has none.
// Ascent and descent: the elevations are first averaged over a window of
//   SmoothingMetres of track centred on each point (default 100 m), then
//   passed through a hysteresis filter of threshold Hysteresis (default
//   10 m): the profile's turning points are confirmed only once the
//   elevation has moved that far away from them, and ascent adds the rises
//   and descent the falls between confirmed turning points (the last extreme
//   counts at the segment's end). The average takes out the noise of GPS
//   altitudes (which would otherwise raise every peak and lower every
//   valley by its amplitude); the hysteresis ignores what wiggles remain.
//   On profiles of hills of 25 to 300 m sampled every 1 to 10 m with 3 m of
//   noise this is within 3 % of the true climb. Points without an elevation
//   are passed over.
// Moving time and stops: a stop is a stay of at least StopSeconds (default
//   60 s) within StopRadius (default 20 m) of the point where it began;
//   moving time is the segment's duration (from its earliest to its latest
//   time, so that a clock jumping back never makes it negative) less its
//   stops. Points without a time are passed over.
#pragma once

#include <cstddef>
#include <string>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/tracks.h"

namespace marovia {

struct TTrackStatsOptions {
  double Hysteresis = 10;        // metres, > 0
  double SmoothingMetres = 100;  // metres of track, >= 0 (0: no averaging)
  double StopRadius = 20;        // metres, > 0
  double StopSeconds = 60;       // seconds, > 0
};

struct TTrackStats {
  std::size_t Points = 0;
  std::size_t Segments = 0;
  double Length2D = 0, Length3D = 0;            // metres
  double Ascent = 0, Descent = 0;               // metres
  double MinEle = kNoValue, MaxEle = kNoValue;  // metres; NaN: no elevations
  // Earliest and latest time, seconds since 1970; NaN: no times.
  double StartTime = kNoValue, EndTime = kNoValue;
  double Duration = 0;    // seconds from each segment's earliest to latest time, summed
  double MovingTime = 0;  // seconds: Duration less the stops
  std::size_t Stops = 0;
  double StopTime = 0;  // seconds
  bool HasElevation() const { return MinEle == MinEle; }
  bool HasTime() const { return StartTime == StartTime; }
  // Length2D / MovingTime in metres per second; NaN without moving time.
  double MovingSpeed() const;
};

// Statistics of the points of one segment (or route, or shape part).
// Raises EZYLGeoMapError for options out of range.
TTrackStats SegmentStats(const TTrackPoints& Points, TPointRange Range,
                         const TTrackStatsOptions& Options = {});
// Of every segment of a track, added up.
TTrackStats TrackStats(const TTrackPoints& Points, const TTrack& Track,
                       const TTrackStatsOptions& Options = {});
// Adds Part to Total: counts, lengths, climbs, durations and stops added,
// elevation and time limits widened.
void AddStats(TTrackStats& Total, const TTrackStats& Part);

// The methods in a few lines of words, with the options' values.
std::string TrackStatsMethod(const TTrackStatsOptions& Options = {});

// The geodesic distance between two points on WGS 84, metres (the step of
// Length2D).
double GeodesicDistance(double Lat1, double Lon1, double Lat2, double Lon2);

}  // namespace marovia
