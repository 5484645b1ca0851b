// Track files and statistics.
//
//   ReadGpxFiles/T       166 GPX files of about 300 KB each (50 MB, 166 000
//                        points with elevation, time, heart rate and
//                        cadence, as sports watches export them) read on T
//                        threads through ReadTrackFiles. Goal: < 3 s on 2
//                        cores. Counters: files, MB/s, points/s.
//   GpsbabelReadsGpxFiles  the peer: gpsbabel converting the same files to
//                        GPX (to /dev/null), one process for all of them.
//   StatsOfAMillionPoints  SegmentStats (lengths, climb, stops) of one
//                        segment of 1 000 000 points. Counter: points/s.
//   LengthAgreement      the length of 100 000 steps of 1 m to 100 km by
//                        the library against GeographicLib's exact geodesic
//                        (elliptic integrals) summed in long double. Goal:
//                        within 1 mm per 100 km. Counter: mm_per_100km, the
//                        largest difference found.
//
// The GPX files are generated once into the temporary directory.
#include <benchmark/benchmark.h>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicExact.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "marovia/geomap/track_files.h"
#include "marovia/geomap/track_stats.h"

namespace {

using namespace marovia;
namespace fs = std::filesystem;

constexpr int kFiles = 166;
constexpr int kPointsPerFile = 1000;

// A ride near some town: points every second with elevation, time and the
// usual sensor extensions.
std::string RideGpx(int File) {
  std::mt19937 rng(static_cast<unsigned>(File));
  std::normal_distribution<double> step(0, 4e-5);
  double lat = 45 + File * 0.01, lon = 6 + File * 0.013, ele = 400;
  std::string g =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
      "xmlns:tpx=\"urn:bench:trackpoint\">\n"
      " <metadata><name>Ride " +
      std::to_string(File) +
      "</name></metadata>\n"
      " <trk>\n  <name>Ride</name>\n  <type>cycling</type>\n  <trkseg>\n";
  char b[512];
  for (int i = 0; i < kPointsPerFile; ++i) {
    lat += 5e-5 + step(rng);
    lon += 7e-5 + step(rng);
    ele += std::sin(i * 0.01) * 0.8 + step(rng) * 1e4;
    const int t = 36000 + i;
    std::snprintf(b, sizeof b,
                  "   <trkpt lat=\"%.7f\" lon=\"%.7f\">\n    <ele>%.1f</ele>\n"
                  "    <time>2021-06-%02dT%02d:%02d:%02dZ</time>\n    <extensions>\n"
                  "     <tpx:TrackPointExtension>\n      <tpx:atemp>%d</tpx:atemp>\n"
                  "      <tpx:hr>%d</tpx:hr>\n      <tpx:cad>%d</tpx:cad>\n"
                  "     </tpx:TrackPointExtension>\n    </extensions>\n   </trkpt>\n",
                  lat, lon, ele, 1 + File % 28, t / 3600, t / 60 % 60, t % 60, 18 + i % 5,
                  110 + i % 60, 70 + i % 25);
    g += b;
  }
  return g + "  </trkseg>\n </trk>\n</gpx>\n";
}

const std::vector<std::string>& Files() {
  static const std::vector<std::string> files = [] {
    const fs::path dir = fs::temp_directory_path() / "marovia_tracks_bench";
    fs::create_directories(dir);
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
      const fs::path f = dir / ("ride" + std::to_string(i) + ".gpx");
      if (!fs::exists(f)) std::ofstream(f, std::ios::binary) << RideGpx(i);
      names.push_back(f.string());
    }
    return names;
  }();
  return files;
}

double TotalBytes() {
  double bytes = 0;
  for (const std::string& f : Files()) bytes += static_cast<double>(fs::file_size(f));
  return bytes;
}

void BM_ReadGpxFiles(benchmark::State& state) {
  const std::vector<std::string>& files = Files();
  const double bytes = TotalBytes();
  std::size_t points = 0;
  for (auto _ : state) {
    points = 0;
    for (const TTrackFileResult& r : ReadTrackFiles(files, static_cast<unsigned>(state.range(0)))) {
      if (!r.Error.empty()) return state.SkipWithError(r.Error.c_str());
      points += r.Data.Points.Size();
    }
  }
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["MB"] = bytes / 1e6;
  state.counters["MB/s"] =
      benchmark::Counter(bytes / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["points/s"] = benchmark::Counter(static_cast<double>(points) * state.iterations(),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadGpxFiles)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GpsbabelReadsGpxFiles(benchmark::State& state) {
  if (std::system("command -v gpsbabel > /dev/null 2>&1") != 0)
    return state.SkipWithError("gpsbabel is not installed");
  std::string command = "gpsbabel -i gpx";
  for (const std::string& f : Files()) command += " -f '" + f + "'";
  command += " -o gpx -F /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) return state.SkipWithError("gpsbabel failed");
  state.counters["files"] = static_cast<double>(Files().size());
}
BENCHMARK(BM_GpsbabelReadsGpxFiles)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A walk of N steps of Step metres, turning slowly, with noisy elevations
// and a point a second.
TTrackPoints Walk(std::size_t N, double Step) {
  std::mt19937 rng(9);
  std::normal_distribution<double> noise(0, 3);
  const GeographicLib::Geodesic& g = GeographicLib::Geodesic::WGS84();
  TTrackPoints p;
  p.Reserve(N);
  double lat = 46, lon = 7;
  for (std::size_t i = 0; i < N; ++i) {
    p.Append(lat, lon, 500 + 200 * std::sin(i * 1e-3) + noise(rng), 1.6e9 + i);
    double lat2, lon2;
    g.Direct(lat, lon, std::fmod(i * 0.37, 360.0), Step, lat2, lon2);
    lat = lat2;
    lon = std::remainder(lon2, 360.0);
  }
  return p;
}

void BM_StatsOfAMillionPoints(benchmark::State& state) {
  const TTrackPoints p = Walk(1000000, 5);
  for (auto _ : state) benchmark::DoNotOptimize(SegmentStats(p, {0, p.Size()}));
  state.counters["points/s"] =
      benchmark::Counter(1e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StatsOfAMillionPoints)->Unit(benchmark::kMillisecond);

void BM_LengthAgreement(benchmark::State& state) {
  const GeographicLib::GeodesicExact& exact = GeographicLib::GeodesicExact::WGS84();
  double worst = 0;
  for (auto _ : state) {
    for (const double step : {1.0, 100.0, 10000.0, 100000.0}) {
      const TTrackPoints p = Walk(100000, step);
      const double ours = SegmentStats(p, {0, p.Size()}).Length2D;
      long double sum = 0;
      for (std::size_t i = 1; i < p.Size(); ++i) {
        double s = 0;
        exact.Inverse(p.Lat[i - 1], p.Lon[i - 1], p.Lat[i], p.Lon[i], s);
        sum += s;
      }
      const double mmPer100km =
          std::fabs(ours - static_cast<double>(sum)) * 1000 / (static_cast<double>(sum) / 1e5);
      worst = std::max(worst, mmPer100km);
    }
  }
  state.counters["mm_per_100km"] = worst;
}
BENCHMARK(BM_LengthAgreement)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
