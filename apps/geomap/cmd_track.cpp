// geomap track: what track files hold (waypoints, routes, tracks, shapes)
// and, with --stats, the statistics of every track and route, per segment
// and in all, with the methods named; -o writes everything read to one GPX
// or GeoJSON file.
#include <cmath>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geomap/track_files.h"
#include "marovia/geomap/track_stats.h"
#include "marovia/platform/strutils.h"

namespace marovia::geomaptool {

namespace {

struct TUnits {
  bool Kilometres = true;
  std::string Length(double Metres) const {
    return Kilometres ? apps::Fixed(Metres / 1000, 3) + " km" : apps::Fixed(Metres, 1) + " m";
  }
};

std::string Duration(double Seconds) {
  const int64_t s = static_cast<int64_t>(std::llround(Seconds));
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return buffer;
}

std::string IsoTime(double Seconds) {
  return TrackTimeText(std::round(Seconds));
}

std::string StatsLine(const TTrackStats& S, const TUnits& U) {
  std::string line = std::to_string(S.Points) + " points, " + U.Length(S.Length2D);
  if (S.HasElevation()) {
    line += " (3D " + U.Length(S.Length3D) + "), ascent " + apps::Fixed(S.Ascent, 0) +
            " m, descent " + apps::Fixed(S.Descent, 0) + " m, elevation " +
            apps::Fixed(S.MinEle, 0) + ".." + apps::Fixed(S.MaxEle, 0) + " m";
  }
  if (S.HasTime()) {
    line += ", " + Duration(S.Duration) + " (moving " + Duration(S.MovingTime) + ", " +
            std::to_string(S.Stops) + (S.Stops == 1 ? " stop " : " stops ") + Duration(S.StopTime) +
            ")";
    const double v = S.MovingSpeed();
    if (v == v) line += ", " + apps::Fixed(v * 3.6, 1) + " km/h moving";
  }
  return line;
}

std::string Named(const std::string& Kind, const std::string& Name) {
  return Name.empty() ? Kind : Kind + " \"" + apps::Printable(Name) + "\"";
}

// Prints a file's contents and, with Stats, its statistics; adds them to
// Total.
void PrintFile(std::ostream& Out, const TTrackData& D, bool Stats,
               const TTrackStatsOptions& Options, const TUnits& U, TTrackStats& Total) {
  std::size_t trackPoints = 0, segments = 0;
  for (const TTrack& t : D.Tracks) {
    trackPoints += t.PointCount();
    segments += t.Segments.size();
  }
  std::size_t routePoints = 0;
  for (const TRoute& r : D.Routes) routePoints += r.Points.Size();
  Out << apps::Printable(D.Source) << " (" << D.Format << ")\n";
  Out << "  " << D.Waypoints.size() << " waypoints, " << D.Routes.size() << " routes ("
      << routePoints << " points), " << D.Tracks.size() << " tracks (" << segments << " segments, "
      << trackPoints << " points), " << D.Shapes.size() << " shapes\n";
  const TTrackBounds b = D.Bounds();
  if (b.Valid)
    Out << "  latitude " << apps::Fixed(b.South, 6) << " to " << apps::Fixed(b.North, 6)
        << ", longitude " << apps::Fixed(b.West, 6) << " to " << apps::Fixed(b.East, 6) << "\n";
  if (!Stats) {
    TTrackStats all;
    for (const TTrack& t : D.Tracks) AddStats(all, TrackStats(D.Points, t, Options));
    if (all.HasTime())
      Out << "  time " << IsoTime(all.StartTime) << " to " << IsoTime(all.EndTime) << "\n";
    return;
  }
  for (const TTrack& t : D.Tracks) {
    Out << "  " << Named("track", t.Name) << "\n";
    TTrackStats track;
    for (std::size_t k = 0; k < t.Segments.size(); ++k) {
      const TTrackStats s = SegmentStats(D.Points, t.Segments[k], Options);
      AddStats(track, s);
      if (t.Segments.size() > 1) Out << "    segment " << k + 1 << ": " << StatsLine(s, U) << "\n";
    }
    Out << "    " << (t.Segments.size() > 1 ? "track: " : "") << StatsLine(track, U) << "\n";
    if (track.HasTime())
      Out << "    from " << IsoTime(track.StartTime) << " to " << IsoTime(track.EndTime) << "\n";
    AddStats(Total, track);
  }
  for (const TRoute& r : D.Routes) {
    const TTrackStats s = SegmentStats(D.Points, r.Points, Options);
    Out << "  " << Named("route", r.Name) << "\n    " << StatsLine(s, U) << "\n";
  }
}

}  // namespace

int RunTrack(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"stats", 0, false},      {"output", 'o', true},
                                        {"units", 0, true},       {"hysteresis", 0, true},
                                        {"stop-radius", 0, true}, {"stop-time", 0, true},
                                        {"ele-window", 0, true},  {"jobs", 0, true}};
  const TArguments args(Args, kOptions);
  if (args.Positional().empty()) throw TUsageError("track needs a track file");
  TUnits units;
  if (const auto u = args.Value("units")) {
    if (*u != "m" && *u != "km") throw TUsageError("--units is m or km");
    units.Kilometres = *u == "km";
  }
  TTrackStatsOptions options;
  if (const auto h = args.Number("hysteresis", 0.01, 1000)) options.Hysteresis = *h;
  if (const auto m = args.Number("ele-window", 0, 10000)) options.SmoothingMetres = *m;
  if (const auto r = args.Number("stop-radius", 0.1, 10000)) options.StopRadius = *r;
  if (const auto t = args.Number("stop-time", 1, 86400)) options.StopSeconds = *t;
  const unsigned jobs = static_cast<unsigned>(args.Integer("jobs", 1, 256).value_or(0));
  const std::optional<std::string> output = args.Value("output");
  TTrackFormat outputFormat = TTrackFormat::Unknown;
  if (output) {
    outputFormat = TrackFormatOfName(*output);
    if (outputFormat != TTrackFormat::Gpx && outputFormat != TTrackFormat::GeoJson)
      throw TUsageError("-o writes .gpx or .geojson files");
  }

  int status = kExitOk;
  const bool stats = args.Has("stats");
  TTrackStats total;
  TTrackData merged;
  std::size_t tracks = 0;
  bool first = true;
  for (TTrackFileResult& r : ReadTrackFiles(args.Positional(), jobs)) {
    if (!r.Error.empty()) {
      Report(Err, apps::Printable(r.Error));
      status = kExitBadInput;
      continue;
    }
    if (!first) Out << "\n";
    first = false;
    PrintFile(Out, r.Data, stats, options, units, total);
    for (const std::string& w : r.Data.Warnings)
      Report(Err, apps::Printable(r.FileName) + ": " + apps::Printable(w));
    if (r.Data.Skipped > 0) {
      Report(Err, apps::Printable(r.FileName) + ": " + std::to_string(r.Data.Skipped) +
                      " records left out");
      status = kExitBadInput;
    }
    tracks += r.Data.Tracks.size();
    if (output) merged.Append(r.Data);
  }
  if (stats && tracks > 1) Out << "\nall tracks: " << StatsLine(total, units) << "\n";
  if (stats) Out << "\nmethod:\n" << TrackStatsMethod(options);
  if (output) {
    try {
      if (outputFormat == TTrackFormat::Gpx) {
        if (const std::size_t left = WriteGpx(merged, *output); left > 0) {
          Report(Err, apps::Printable(*output) + ": " + std::to_string(left) +
                          " shapes (polygons) have no GPX form and were left out");
          status = kExitBadInput;
        }
      } else {
        WriteGeoJson(merged, *output);
      }
    } catch (const EInOutError& e) {
      Report(Err, apps::Printable(e.what()));
      return kExitIo;
    }
  }
  return status;
}

}  // namespace marovia::geomaptool
