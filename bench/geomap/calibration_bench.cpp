// Speed of the calibration: the conic refit (apex search) with the full
// 200 points, and the conversions pixel -> position and position -> pixel
// under every model, one point at a time and in batches, over positions
// spread across the map. One core.
//
// The projected model is measured against PROJ's own proj_trans_generic
// over the same points (the share the model adds is the difference), and
// the thin-plate model with the full 200 points: its fit and its batches.
#include <benchmark/benchmark.h>
#include <proj.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "marovia/geomap/map_calibration.h"

namespace marovia {
namespace {

constexpr int kWidth = 1500, kHeight = 1200;
constexpr size_t kPoints = 4096;

// Latitude and longitude of a pixel on a cone with its apex above the map.
double ConeLat(double x, double y) {
  return -0.002 * std::hypot(x - 750, y + 6000) + 62;
}
double ConeLon(double x, double y) {
  return 45 * std::atan((x - 750) / (y + 6000)) + 10;
}

// n calibration points spread over the map, positions from the cone (UTM:
// a plane of northings and eastings; lines: 5 parallels and 5 meridians).
TMapCalibration Calibrated(TCalibModel model, int n) {
  TCalibData cd;
  cd.UTMZone = 32;
  if (model == cmParabolicIp) {
    for (int l = 0; l < 5; ++l) {
      TCalibLine& parallel = cd.CalLines[2 * l];
      TCalibLine& meridian = cd.CalLines[2 * l + 1];
      parallel = {gtlParallel, 52.0 - l, 6, {}};
      meridian = {gtlMeridian, 6.0 + 2 * l, 6, {}};
      for (int p = 0; p < 6; ++p) {
        parallel.CalPoints[p] = {300 * p, 100 + 250 * l + p * p};
        meridian.CalPoints[p] = {100 + 320 * l + p, 240 * p};
      }
    }
    cd.NumCalLines = 10;
  } else {
    for (int i = 0; i < n; ++i) {
      const int x = (i * 97) % kWidth, y = (i * 61) % kHeight;
      cd.CalQuads[i] = model == cmUTM ? TCalQuad{5700000.0 - 100.0 * y, 400000.0 + 100.0 * x, x, y}
                                      : TCalQuad{ConeLat(x, y), ConeLon(x, y), x, y};
    }
    cd.NumCalQuads = n;
  }
  TMapCalibration cal(model, cd, kWidth, kHeight);
  cal.Fit();
  return cal;
}

// The projected and thin-plate calibrations of the benchmarks.
const char* const kMercator = "EPSG:3395";
const char* const kLcc = "+proj=lcc +lat_1=35 +lat_2=65 +lat_0=50 +lon_0=10 +datum=WGS84";

TMapCalibration CalibratedLater(TCalibModel model, int n, const char* crs = "") {
  TCalibData cd;
  cd.CrsText = crs;
  for (int i = 0; i < n; ++i) {
    const int x = (i * 97) % kWidth, y = (i * 61) % kHeight;
    cd.CalQuads[i] = TCalQuad{ConeLat(x, y), ConeLon(x, y), x, y};
  }
  cd.NumCalQuads = n;
  TMapCalibration cal(model, cd, kWidth, kHeight);
  cal.Fit();
  return cal;
}

struct Spans {
  std::vector<double> x, y, lat, lon, u, v;
  std::vector<int32_t> ix, iy;
  std::vector<uint8_t> ok;
};

Spans Inputs(const TMapCalibration& cal) {
  Spans s;
  for (size_t i = 0; i < kPoints; ++i) {
    const double x = static_cast<double>((i * 37) % kWidth);
    const double y = static_cast<double>((i * 53) % kHeight);
    const TPixelPosition p = cal.PixelToGeo(x, y);
    s.x.push_back(x);
    s.y.push_back(y);
    s.lat.push_back(p.Latit);
    s.lon.push_back(p.Longit);
  }
  s.u.resize(kPoints);
  s.v.resize(kPoints);
  s.ix.resize(kPoints);
  s.iy.resize(kPoints);
  s.ok.resize(kPoints);
  return s;
}

void BM_ConicRefit(benchmark::State& state) {
  TMapCalibration cal = Calibrated(cmConicConformal, static_cast<int>(state.range(0)));
  for (auto _ : state) cal.FitConic();
}
BENCHMARK(BM_ConicRefit)->Arg(200)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_LeaveOneOut(benchmark::State& state) {
  const TMapCalibration cal = Calibrated(static_cast<TCalibModel>(state.range(0)), 200);
  for (auto _ : state) benchmark::DoNotOptimize(cal.LeaveOneOutResiduals());
  state.SetLabel(std::string(CalibModelNames[state.range(0)]) + ", 200 points");
}
BENCHMARK(BM_LeaveOneOut)
    ->Arg(cmEquiRect)
    ->Arg(cmBiquadraticPn)
    ->Arg(cmConicConformal)
    ->Unit(benchmark::kMillisecond);

// ---- one point at a time

void BM_GeoToPixelSingle(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const TMapCalibration cal = Calibrated(model, 16);
  const Spans s = Inputs(cal);
  size_t i = 0;
  for (auto _ : state) {
    int32_t x = 0, y = 0;
    benchmark::DoNotOptimize(cal.GeoToPixel(s.lat[i], s.lon[i], x, y));
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    i = (i + 1) & (kPoints - 1);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(CalibModelNames[model]));
}

void BM_PixelToGeoSingle(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const TMapCalibration cal = Calibrated(model, 16);
  const Spans s = Inputs(cal);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cal.PixelToGeo(s.x[i], s.y[i]));
    i = (i + 1) & (kPoints - 1);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(CalibModelNames[model]));
}

// ---- batches of 4096 points

void BM_GeoToPixelBatch(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const TMapCalibration cal = Calibrated(model, 16);
  Spans s = Inputs(cal);
  for (auto _ : state) {
    cal.GeoToPixel(s.lat, s.lon, s.u, s.v, s.ok);
    benchmark::DoNotOptimize(s.u.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  state.SetLabel(std::string(CalibModelNames[model]) + ", exact");
}

void BM_GeoToPixelBatchRounded(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const TMapCalibration cal = Calibrated(model, 16);
  Spans s = Inputs(cal);
  for (auto _ : state) {
    cal.GeoToPixel(s.lat, s.lon, s.ix, s.iy, s.ok);
    benchmark::DoNotOptimize(s.ix.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  state.SetLabel(std::string(CalibModelNames[model]) + ", whole pixels");
}

void BM_PixelToGeoBatch(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const TMapCalibration cal = Calibrated(model, 16);
  Spans s = Inputs(cal);
  for (auto _ : state) {
    cal.PixelToGeo(s.x, s.y, s.u, s.v, s.ok);
    benchmark::DoNotOptimize(s.u.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  state.SetLabel(std::string(CalibModelNames[model]));
}

// ---- the projected model against PROJ alone

const char* CrsOf(int64_t arg) {
  return arg == 0 ? kMercator : kLcc;
}

void BM_ProjectedBatch(benchmark::State& state) {
  const TMapCalibration cal = CalibratedLater(cmProjected, kMaxCalQuads, CrsOf(state.range(0)));
  Spans s = Inputs(cal);
  for (auto _ : state) {
    if (state.range(1) == 0) {
      cal.GeoToPixel(s.lat, s.lon, s.u, s.v, s.ok);
    } else {
      cal.PixelToGeo(s.x, s.y, s.u, s.v, s.ok);
    }
    benchmark::DoNotOptimize(s.u.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  state.SetLabel(std::string(state.range(0) == 0 ? "Mercator" : "LCC") +
                 (state.range(1) == 0 ? ", position -> pixel" : ", pixel -> position"));
}
BENCHMARK(BM_ProjectedBatch)->ArgsProduct({{0, 1}, {0, 1}});

// proj_trans_generic alone over the same points: WGS 84 to the CRS, the
// positions copied in first as the model must (its inputs are constant).
void BM_ProjTransGeneric(benchmark::State& state) {
  const TMapCalibration cal = CalibratedLater(cmProjected, kMaxCalQuads, CrsOf(state.range(0)));
  Spans s = Inputs(cal);
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* raw = proj_create_crs_to_crs(ctx, "EPSG:4326", CrsOf(state.range(0)), nullptr);
  PJ* pj = proj_normalize_for_visualization(ctx, raw);
  const bool inverse = state.range(1) != 0;
  std::vector<double> a(kPoints), b(kPoints);
  if (inverse) {
    // Projected metres of the positions, to go back from.
    std::copy(s.lon.begin(), s.lon.end(), a.begin());
    std::copy(s.lat.begin(), s.lat.end(), b.begin());
    proj_trans_generic(pj, PJ_FWD, a.data(), sizeof(double), kPoints, b.data(), sizeof(double),
                       kPoints, nullptr, 0, 0, nullptr, 0, 0);
    s.x = a;
    s.y = b;
  }
  for (auto _ : state) {
    std::copy(inverse ? s.x.begin() : s.lon.begin(), inverse ? s.x.end() : s.lon.end(), a.begin());
    std::copy(inverse ? s.y.begin() : s.lat.begin(), inverse ? s.y.end() : s.lat.end(), b.begin());
    proj_trans_generic(pj, inverse ? PJ_INV : PJ_FWD, a.data(), sizeof(double), kPoints, b.data(),
                       sizeof(double), kPoints, nullptr, 0, 0, nullptr, 0, 0);
    benchmark::DoNotOptimize(a.data());
    benchmark::ClobberMemory();
  }
  proj_destroy(pj);
  proj_destroy(raw);
  proj_context_destroy(ctx);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  state.SetLabel(std::string(state.range(0) == 0 ? "Mercator" : "LCC") +
                 (inverse ? ", inverse" : ", forward"));
}
BENCHMARK(BM_ProjTransGeneric)->ArgsProduct({{0, 1}, {0, 1}});

// ---- the thin-plate model with 200 points

void BM_ThinPlateFit(benchmark::State& state) {
  TMapCalibration cal = CalibratedLater(cmThinPlate, kMaxCalQuads);
  for (auto _ : state) cal.FitThinPlate();
  state.SetLabel("200 points, both directions");
}
BENCHMARK(BM_ThinPlateFit)->Unit(benchmark::kMillisecond);

void BM_ThinPlateBatch(benchmark::State& state) {
  const TMapCalibration cal = CalibratedLater(cmThinPlate, kMaxCalQuads);
  Spans s = Inputs(cal);
  for (auto _ : state) {
    if (state.range(0) == 0) {
      cal.GeoToPixel(s.lat, s.lon, s.u, s.v, s.ok);
    } else {
      cal.PixelToGeo(s.x, s.y, s.u, s.v, s.ok);
    }
    benchmark::DoNotOptimize(s.u.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  state.SetLabel(state.range(0) == 0 ? "200 points, position -> pixel"
                                     : "200 points, pixel -> position");
}
BENCHMARK(BM_ThinPlateBatch)->Arg(0)->Arg(1);

void AllModels(benchmark::internal::Benchmark* b) {
  for (int m = cmParabolicIp; m <= cmUTM; ++m) b->Arg(m);
}
BENCHMARK(BM_GeoToPixelSingle)->Apply(AllModels);
BENCHMARK(BM_PixelToGeoSingle)->Apply(AllModels);
BENCHMARK(BM_GeoToPixelBatch)->Apply(AllModels);
BENCHMARK(BM_GeoToPixelBatchRounded)->Apply(AllModels);
BENCHMARK(BM_PixelToGeoBatch)->Apply(AllModels);

}  // namespace
}  // namespace marovia

BENCHMARK_MAIN();
