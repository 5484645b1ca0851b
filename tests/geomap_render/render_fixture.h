// Shared pieces of the map rendering tests: a control of a fixed size with a
// plain look (no frame), test images, and reference renderings made with the
// platform's own scaled copy.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/stretchblt.h"

namespace marovia::test {

constexpr int kViewW = 120;
constexpr int kViewH = 80;

// An image whose every pixel differs from its neighbours: red = x, green =
// y, blue = 8 * (x + y), all modulo 256.
inline void FillPattern(TBitmap& Bmp) {
  for (int y = 0; y < Bmp.Height(); ++y) {
    uint32_t* row = Bmp.ScanLine(y);
    for (int x = 0; x < Bmp.Width(); ++x)
      row[x] = static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((8 * (x + y)) & 0xFF));
  }
}

inline TBitmap* NewPatternImage(int W, int H) {
  auto* bmp = new TBitmap(W, H);
  bmp->SetPixelFormat(pf24bit);
  FillPattern(*bmp);
  return bmp;
}

// A control without frame, kViewW x kViewH pixels unless given.
class MapView {
 public:
  explicit MapView(int W = kViewW, int H = kViewH) : map(nullptr) {
    map.SetName("Map1");
    map.SetFrameStyle(fsNone);
    map.SetWidth(W);
    map.SetHeight(H);
  }
  // The composed view's pixel as a colour.
  TColor At(int X, int Y) const { return PixelToColor(map.ComposedView().ScanLine(Y)[X]); }
  // What a 15-bit surface stores for a colour.
  static TColor Stored(TColor C) {
    TBitmap probe(1, 1);
    probe.SetPixelFormat(pf15bit);
    return PixelToColor(probe.Quantize(ColorToPixel(C)));
  }
  // Pixels of the view (within Width x Height) that have colour C.
  int Count(TColor C) const {
    int n = 0;
    for (int y = 0; y < map.Height(); ++y)
      for (int x = 0; x < map.Width(); ++x) n += At(x, y) == C;
    return n;
  }
  TGeoMap map;
};

// A generated, calibrated map without grid: 300 x 200 white pixels for
// latitudes LatLow..LatHigh (bottom to top) and longitudes 10..20 (left to
// right), equirectangular: x = (long - 10) * 30, y = 200 - (lat - LatLow) *
// 200 / (LatHigh - LatLow).
inline void GenerateBlankMap(TGeoMap& Map, double LatLow = 40, double LatHigh = 50) {
  Map.CreateEmptyMapInMemory(LatLow, 10, LatHigh, 20, 1, 1, 300, 200, false, nullptr);
}

// The background of a view of W x H with the image window stretched over
// it, as the direct path composes it (the reference of the platform's copy).
inline void ReferenceDirect(TBitmap& Out, TBitmap& Image, int W, int H, TPoint TopLeft, double Mag,
                            bool AntiAlias, TColor Background) {
  Out.SetPixelFormat(pf15bit);
  Out.SetSize(W, H);
  TCanvas& c = Out.Canvas();
  c.Brush().SetColor(Background);
  c.FillRect(Rect(0, 0, W, H));
  SetStretchBltMode(c, AntiAlias ? HALFTONE : COLORONCOLOR);
  const int64_t right = Round(W / Mag + TopLeft.X), bottom = Round(H / Mag + TopLeft.Y);
  StretchBlt(c, 0, 0, W, H, Image.Canvas(), TopLeft.X, TopLeft.Y,
             static_cast<int>(right - TopLeft.X), static_cast<int>(bottom - TopLeft.Y), SRCCOPY);
}

// The same through a cache of the whole image scaled by Mag.
inline void ReferenceCached(TBitmap& Out, TBitmap& Image, int W, int H, TPoint TopLeft, double Mag,
                            bool AntiAlias, TColor Background) {
  TBitmap cache;
  cache.SetPixelFormat(pf15bit);
  const int cw = static_cast<int>(Round(Image.Width() * Mag)),
            ch = static_cast<int>(Round(Image.Height() * Mag));
  cache.SetSize(cw, ch);
  SetStretchBltMode(cache.Canvas(), AntiAlias ? HALFTONE : COLORONCOLOR);
  StretchBlt(cache.Canvas(), 0, 0, cw, ch, Image.Canvas(), 0, 0, Image.Width(), Image.Height(),
             SRCCOPY);
  Out.SetPixelFormat(pf15bit);
  Out.SetSize(W, H);
  TCanvas& c = Out.Canvas();
  c.Brush().SetColor(Background);
  c.FillRect(Rect(0, 0, W, H));
  SetStretchBltMode(c, COLORONCOLOR);
  StretchBlt(c, 0, 0, W, H, cache.Canvas(), static_cast<int>(Round(TopLeft.X * Mag)),
             static_cast<int>(Round(TopLeft.Y * Mag)), W, H, SRCCOPY);
}

// Number of pixels of the view's W x H area that differ from Ref.
inline int CountDifferences(const MapView& View, const TBitmap& Ref) {
  int n = 0;
  for (int y = 0; y < kViewH; ++y)
    for (int x = 0; x < kViewW; ++x)
      if (View.At(x, y) != PixelToColor(Ref.ScanLine(y)[x])) ++n;
  return n;
}

}  // namespace marovia::test
