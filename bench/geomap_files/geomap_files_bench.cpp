// Speed of the map files' text routines: numbers scanned per second in the
// forms the calibration and landmark files hold, and writing and reading a
// symbol file of 10 000 entries.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/geomap/xmltext.h"

namespace {

namespace fs = std::filesystem;
using namespace marovia;

// Numbers as the files write them: corners with 5 decimals, resolutions,
// line values in the general form (either separator, exponents).
const std::vector<std::string>& NumberTexts() {
  static const std::vector<std::string> texts = {
      "47.50000", "-16.25000", "12.500", "0.00012", "1.5E-5",     "-123456.789",
      "12,5",     "3",         "1E15",   "-0.5",    "179.99999]", "  48.12345,",
  };
  return texts;
}

void BM_ScanNumber(benchmark::State& state) {
  const auto& texts = NumberTexts();
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const auto& t : texts) {
      int pos = 1;
      benchmark::DoNotOptimize(ScanNumber(t, true, 3, pos));
    }
  }
  for (const auto& t : texts) bytes += static_cast<int64_t>(t.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_ScanNumber);

void BM_ScanInteger(benchmark::State& state) {
  const std::vector<std::string> texts = {"120", "-35", "4096", "7", "  2147483647", "60"};
  for (auto _ : state) {
    for (const auto& t : texts) {
      int pos = 1;
      benchmark::DoNotOptimize(ScanInteger(t, pos));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
}
BENCHMARK(BM_ScanInteger);

void FillRepository(TSymbolRepository& r, int n) {
  r.SetNEntries(n);
  for (int i = 1; i <= n; ++i) {
    TSymbol s = DefaultSymbolRecord();
    s.Name = "Symbol \"" + std::to_string(i) +
             "\" Stra\xC3\x9F"
             "e";
    s.Category = i % 17;
    s.Properties.Kind = static_cast<TLandMarkElement>(i % kNumLandMarkElements);
    s.Properties.Size = i % 30;
    r.SetValues(i, s);
  }
}

void BM_StoreSymbolFile(benchmark::State& state) {
  test::TempDir dir;
  TSymbolRepository r(nullptr);
  FillRepository(r, static_cast<int>(state.range(0)));
  const std::string file = dir.File("symbols.xml");
  for (auto _ : state) r.StoreOnFile(file, "bench");
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_StoreSymbolFile)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LoadSymbolFile(benchmark::State& state) {
  test::TempDir dir;
  const std::string file = dir.File("symbols.xml");
  {
    TSymbolRepository r(nullptr);
    FillRepository(r, static_cast<int>(state.range(0)));
    r.StoreOnFile(file, "bench");
  }
  TSymbolRepository r(nullptr);
  for (auto _ : state) {
    if (!r.LoadFromFile(file, "bench")) state.SkipWithError("set not found");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_LoadSymbolFile)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
