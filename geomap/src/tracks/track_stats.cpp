// Statistics of tracks (see track_stats.h for the methods).
#include "marovia/geomap/track_stats.h"

#include <GeographicLib/Accumulator.hpp>
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>

#include "marovia/geomap/map_calibration.h"
#include "tracks/track_text.h"

namespace marovia {

namespace {

// Metres per degree of latitude on WGS 84, rounded: the stop test compares
// distances of some tens of metres with a radius, where the difference to
// the geodesic is far below the positions' own noise.
constexpr double kMetresPerDegree = 111195.0;

// Distance in metres for the stop test (equirectangular about the first
// point; longitudes wrapped across the antimeridian).
double NearDistance(double Lat1, double Lon1, double Lat2, double Lon2) {
  double dLon = Lon2 - Lon1;
  if (dLon > 180) dLon -= 360;
  if (dLon < -180) dLon += 360;
  const double x = dLon * std::cos(Lat1 * M_PI / 180), y = Lat2 - Lat1;
  return std::hypot(x, y) * kMetresPerDegree;
}

void CheckOptions(const TTrackStatsOptions& O) {
  if (!(O.Hysteresis > 0 && O.Hysteresis < 1e6))
    throw EZYLGeoMapError("the ascent hysteresis must be above 0 m");
  if (!(O.SmoothingMetres >= 0 && O.SmoothingMetres < 1e7))
    throw EZYLGeoMapError("the elevation smoothing must be 0 m or more");
  if (!(O.StopRadius > 0 && O.StopRadius < 1e7))
    throw EZYLGeoMapError("the stop radius must be above 0 m");
  if (!(O.StopSeconds > 0 && O.StopSeconds < 1e9))
    throw EZYLGeoMapError("the stop time must be above 0 s");
}

// The elevations of a segment averaged over Window metres of track centred
// on each point: Along holds each point's distance from the segment's
// start. Points without an elevation stay NaN and count in no average.
std::vector<double> Smoothed(const std::vector<double>& Ele, const std::vector<double>& Along,
                             double Window) {
  const std::size_t n = Ele.size();
  if (Window <= 0) return Ele;
  std::vector<double> sum(n + 1, 0), count(n + 1, 0), out(n, kNoValue);
  for (std::size_t i = 0; i < n; ++i) {
    const bool has = !std::isnan(Ele[i]);
    sum[i + 1] = sum[i] + (has ? Ele[i] : 0);
    count[i + 1] = count[i] + (has ? 1 : 0);
  }
  std::size_t lo = 0, hi = 0;
  for (std::size_t i = 0; i < n; ++i) {
    while (Along[lo] < Along[i] - Window / 2) ++lo;
    while (hi < n && Along[hi] <= Along[i] + Window / 2) ++hi;
    if (!std::isnan(Ele[i])) out[i] = (sum[hi] - sum[lo]) / (count[hi] - count[lo]);
  }
  return out;
}

// Ascent and descent of a profile (NaN passed over) through the
// hysteresis filter of threshold H.
void Climb(const std::vector<double>& Ele, double H, double& Ascent, double& Descent) {
  int dir = 0;  // 0 not yet known, +1 rising, -1 falling
  double base = 0, peak = 0, hi = 0, lo = 0;
  bool started = false;
  for (const double e : Ele) {
    if (std::isnan(e)) continue;
    if (!started) {
      base = peak = hi = lo = e;
      started = true;
      continue;
    }
    if (dir == 0) {
      hi = std::max(hi, e);
      lo = std::min(lo, e);
      if (e - lo >= H) {
        dir = 1;
        base = lo;
        peak = e;
      } else if (hi - e >= H) {
        dir = -1;
        base = hi;
        peak = e;
      }
    } else if (dir > 0) {
      if (e > peak) {
        peak = e;
      } else if (peak - e >= H) {
        Ascent += peak - base;
        base = peak;
        peak = e;
        dir = -1;
      }
    } else {
      if (e < peak) {
        peak = e;
      } else if (e - peak >= H) {
        Descent += base - peak;
        base = peak;
        peak = e;
        dir = 1;
      }
    }
  }
  if (dir > 0) Ascent += peak - base;
  if (dir < 0) Descent += base - peak;
}

// Stops of the range: anchored stays of StopSeconds within StopRadius. A
// stay that begins right where the last one ended continues it: a stop
// anchored at the edge of where the walker stands ends at the first point
// that jitter puts beyond the radius, and the rest of the same stay is no
// second stop.
void Stops(const TTrackPoints& P, TPointRange R, const TTrackStatsOptions& O, std::size_t& Count,
           double& Seconds) {
  const std::vector<double>& t = P.Time;
  std::size_t i = R.Begin;
  std::size_t lastEnd = R.End;  // the index after the last stop, none yet
  double lastTime = 0;          // the time of that stop's last point
  while (i < R.End) {
    if (std::isnan(t[i])) {
      ++i;
      continue;
    }
    std::size_t j = i + 1, lastInside = i;
    while (j < R.End && NearDistance(P.Lat[i], P.Lon[i], P.Lat[j], P.Lon[j]) <= O.StopRadius) {
      if (!std::isnan(t[j])) lastInside = j;
      ++j;
    }
    const double stay = t[lastInside] - t[i];
    if (stay >= O.StopSeconds) {
      if (i == lastEnd) {
        Seconds += t[lastInside] - lastTime;
      } else {
        ++Count;
        Seconds += stay;
      }
      i = std::max(j, lastInside + 1);
      lastEnd = i;
      lastTime = t[lastInside];
    } else {
      ++i;
    }
  }
}

}  // namespace

double GeodesicDistance(double Lat1, double Lon1, double Lat2, double Lon2) {
  double s12 = 0;
  GeographicLib::Geodesic::WGS84().Inverse(Lat1, Lon1, Lat2, Lon2, s12);
  return s12;
}

double TTrackStats::MovingSpeed() const {
  return MovingTime > 0 ? Length2D / MovingTime : kNoValue;
}

TTrackStats SegmentStats(const TTrackPoints& P, TPointRange R, const TTrackStatsOptions& O) {
  CheckOptions(O);
  TTrackStats s;
  s.Segments = 1;
  s.Points = R.Size();
  const GeographicLib::Geodesic& g = GeographicLib::Geodesic::WGS84();
  GeographicLib::Accumulator<double> length2d, length3d;
  const bool ele = !P.Ele.empty();
  std::vector<double> along;
  if (ele) along.reserve(R.Size());
  if (ele && !R.Empty()) along.push_back(0);
  for (std::size_t i = R.Begin + 1; i < R.End; ++i) {
    double step = 0;
    g.Inverse(P.Lat[i - 1], P.Lon[i - 1], P.Lat[i], P.Lon[i], step);
    length2d += step;
    if (ele) along.push_back(along.back() + step);
    const double dh = ele ? P.Ele[i] - P.Ele[i - 1] : kNoValue;
    length3d += std::isnan(dh) ? step : std::hypot(step, dh);
  }
  s.Length2D = length2d();
  s.Length3D = length3d();
  if (ele) {
    for (std::size_t i = R.Begin; i < R.End; ++i) {
      const double e = P.Ele[i];
      if (std::isnan(e)) continue;
      s.MinEle = std::isnan(s.MinEle) ? e : std::min(s.MinEle, e);
      s.MaxEle = std::isnan(s.MaxEle) ? e : std::max(s.MaxEle, e);
    }
    const std::vector<double> profile(P.Ele.begin() + static_cast<std::ptrdiff_t>(R.Begin),
                                      P.Ele.begin() + static_cast<std::ptrdiff_t>(R.End));
    Climb(Smoothed(profile, along, O.SmoothingMetres), O.Hysteresis, s.Ascent, s.Descent);
  }
  if (!P.Time.empty()) {
    for (std::size_t i = R.Begin; i < R.End; ++i) {
      const double t = P.Time[i];
      if (std::isnan(t)) continue;
      s.StartTime = std::isnan(s.StartTime) ? t : std::min(s.StartTime, t);
      s.EndTime = std::isnan(s.EndTime) ? t : std::max(s.EndTime, t);
    }
    if (s.HasTime()) {
      s.Duration = s.EndTime - s.StartTime;
      Stops(P, R, O, s.Stops, s.StopTime);
      s.MovingTime = std::max(0.0, s.Duration - s.StopTime);
    }
  }
  return s;
}

void AddStats(TTrackStats& Total, const TTrackStats& Part) {
  Total.Points += Part.Points;
  Total.Segments += Part.Segments;
  Total.Length2D += Part.Length2D;
  Total.Length3D += Part.Length3D;
  Total.Ascent += Part.Ascent;
  Total.Descent += Part.Descent;
  auto widen = [](double& Mine, double Theirs, bool Low) {
    if (std::isnan(Theirs)) return;
    Mine = std::isnan(Mine) ? Theirs : Low ? std::min(Mine, Theirs) : std::max(Mine, Theirs);
  };
  widen(Total.MinEle, Part.MinEle, true);
  widen(Total.MaxEle, Part.MaxEle, false);
  widen(Total.StartTime, Part.StartTime, true);
  widen(Total.EndTime, Part.EndTime, false);
  Total.Duration += Part.Duration;
  Total.MovingTime += Part.MovingTime;
  Total.Stops += Part.Stops;
  Total.StopTime += Part.StopTime;
}

TTrackStats TrackStats(const TTrackPoints& Points, const TTrack& Track,
                       const TTrackStatsOptions& Options) {
  TTrackStats total;
  for (const TPointRange& r : Track.Segments) AddStats(total, SegmentStats(Points, r, Options));
  return total;
}

std::string TrackStatsMethod(const TTrackStatsOptions& O) {
  using tracks::FormatShortest;
  return "length: sum of WGS 84 geodesic distances between consecutive points "
         "(GeographicLib Geodesic), per segment; 3D: each step combined with its elevation "
         "change\n"
         "ascent/descent: elevations averaged over " +
         FormatShortest(O.SmoothingMetres) + " m of track, then a hysteresis filter of " +
         FormatShortest(O.Hysteresis) +
         " m between turning points\n"
         "moving time: time from first to last point less stops; a stop is a stay of at least " +
         FormatShortest(O.StopSeconds) + " s within " + FormatShortest(O.StopRadius) +
         " m of where it began\n";
}

}  // namespace marovia
