// Shared by the database benchmarks: a temporary directory, and the towns
// every benchmark inserts, so that the database and its comparisons store
// the same points.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace marovia::bench {

namespace fs = std::filesystem;

// A fresh directory below the system temp dir, removed with the object.
struct TempDir {
  fs::path path;
  TempDir() {
    std::random_device rd;
    path = fs::temp_directory_path() /
           (std::string("marovia_geodb_bench_") + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
};

struct TBenchTown {
  std::string Name;
  float Lat, Lon;
};

// n towns spread uniformly over the globe; the same for the same seed.
inline std::vector<TBenchTown> RandomTowns(int n, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::uniform_real_distribution<float> lat(-90, 90), lon(-180, 180);
  std::vector<TBenchTown> towns;
  towns.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const float la = lat(rng);  // sequenced: the same points on every compiler
    const float lo = lon(rng);
    towns.push_back({"Town " + std::to_string(i), la, lo});
  }
  return towns;
}

}  // namespace marovia::bench
