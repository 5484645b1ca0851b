// Loading and saving a 3-megapixel map image (2000 x 1500) as BMP in the
// depths the map control meets, as JPEG, as PNG and as TIFF; a 32-bit
// floating-point elevation grid of the same size shown through the
// percentile stretch; and reading only the declared size of each.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "marovia/platform/graphics.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"

namespace {

using namespace marovia;

constexpr int kW = 2000, kH = 1500;

// A map-like picture: smooth areas with some structure, so that JPEG has
// realistic work to do.
void FillMap(TBitmap& b) {
  b.SetSize(kW, kH);
  for (int y = 0; y < kH; ++y) {
    uint32_t* row = b.ScanLine(y);
    for (int x = 0; x < kW; ++x) {
      const uint32_t r = (x / 7) & 0xFF, g = (y / 5) & 0xFF, bl = ((x ^ y) >> 3) & 0xFF;
      row[x] = b.Quantize(r << 16 | g << 8 | bl);
    }
  }
}

void BM_BmpLoad(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(static_cast<TPixelFormat>(state.range(0)));
  FillMap(b);
  TMemoryStream s;
  b.SaveToStream(s);
  TBitmap c;
  for (auto _ : state) {
    s.SetPosition(0);
    c.LoadFromStream(s);
    benchmark::DoNotOptimize(c.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_BmpLoad)
    ->Arg(pf4bit)
    ->Arg(pf8bit)
    ->Arg(pf15bit)
    ->Arg(pf24bit)
    ->Unit(benchmark::kMillisecond);

void BM_BmpSave(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(static_cast<TPixelFormat>(state.range(0)));
  FillMap(b);
  for (auto _ : state) {
    TMemoryStream s;
    b.SaveToStream(s);
    benchmark::DoNotOptimize(s.Memory());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_BmpSave)
    ->Arg(pf4bit)
    ->Arg(pf8bit)
    ->Arg(pf15bit)
    ->Arg(pf24bit)
    ->Unit(benchmark::kMillisecond);

void BM_JpegDecode(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillMap(b);
  TJPEGImage j;
  j.Assign(b);
  TMemoryStream s;
  j.SaveToStream(s);
  for (auto _ : state) {
    s.SetPosition(0);
    TJPEGImage k;
    k.SetPerformance(state.range(0) ? jpBestSpeed : jpBestQuality);
    k.LoadFromStream(s);
    TBitmap out;
    out.Assign(k);
    benchmark::DoNotOptimize(out.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_JpegDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_JpegEncode(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillMap(b);
  for (auto _ : state) {
    TJPEGImage j;
    j.Assign(b);
    TMemoryStream s;
    j.SaveToStream(s);
    benchmark::DoNotOptimize(s.Memory());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_JpegEncode)->Unit(benchmark::kMillisecond);

// Argument: the deflate level (the default 6, and the fastest useful, 1).
void BM_PngEncode(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillMap(b);
  TPngImage p;
  p.SetCompressionLevel(int(state.range(0)));
  p.Assign(b);
  int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream s;
    p.SaveToStream(s);
    bytes = s.Size();
    benchmark::DoNotOptimize(s.Memory());
  }
  state.counters["file_KiB"] = double(bytes) / 1024;
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_PngEncode)->Arg(6)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PngDecode(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillMap(b);
  TPngImage p;
  p.Assign(b);
  TMemoryStream s;
  p.SaveToStream(s);
  for (auto _ : state) {
    s.SetPosition(0);
    TPngImage q;
    q.LoadFromStream(s);
    TBitmap out;
    out.Assign(q);
    benchmark::DoNotOptimize(out.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond);

void BM_TiffDecode(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillMap(b);
  TTiffImage t;
  t.Assign(b);
  TMemoryStream s;
  t.SaveToStream(s);
  for (auto _ : state) {
    s.SetPosition(0);
    TTiffImage q;
    q.LoadFromStream(s);
    benchmark::DoNotOptimize(q.Bitmap().Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_TiffDecode)->Unit(benchmark::kMillisecond);

// A smooth surface with noise, as an elevation model, in DEFLATE strips of
// 16 rows with the floating-point predictor, written through libtiff into
// a temporary file.
std::string FloatGrid() {
  static const std::string file = [] {
    const std::string name = "/tmp/marovia_bench_float_" + std::to_string(::getpid()) + ".tif";
    TIFF* t = TIFFOpen(name.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kW);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kH);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_FLOATINGPOINT);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<float> row(kW);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x)
        row[x] = float(800 * std::sin(x * 0.003) * std::cos(y * 0.004) + (x * 7 + y * 3) % 13);
      TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFClose(t);
    std::atexit([] { std::remove(FloatGrid().c_str()); });
    return name;
  }();
  return file;
}

void BM_TiffFloatStretchDecode(benchmark::State& state) {
  const std::string file = FloatGrid();
  for (auto _ : state) {
    TTiffImage q;
    q.LoadFromFile(file);
    benchmark::DoNotOptimize(q.Bitmap().Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_TiffFloatStretchDecode)->Unit(benchmark::kMillisecond);

// The size check before decoding: what it costs per file, in memory.
void BM_ReadImageDimensions(benchmark::State& state) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillMap(b);
  TMemoryStream s;
  if (state.range(0) == 0) b.SaveToStream(s);
  if (state.range(0) == 1) {
    TJPEGImage j;
    j.Assign(b);
    j.SaveToStream(s);
  }
  if (state.range(0) == 2) {
    TPngImage p;
    p.Assign(b);
    p.SaveToStream(s);
  }
  int64_t w = 0, h = 0;
  for (auto _ : state) {
    s.SetPosition(0);
    benchmark::DoNotOptimize(ReadImageDimensions(s, w, h));
  }
}
BENCHMARK(BM_ReadImageDimensions)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
