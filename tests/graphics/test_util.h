// Helpers shared by the graphics tests.
#pragma once

#include <set>
#include <utility>

#include "marovia/platform/graphics.h"

namespace marovia::test {

using PixelSet = std::set<std::pair<int, int>>;

// The pixels of the bitmap that differ from Background.
inline PixelSet PixelsNot(const TBitmap& b, uint32_t Background) {
  PixelSet s;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.ScanLine(y)[x] != Background) s.insert({x, y});
  return s;
}

inline int CountPixels(const TBitmap& b, uint32_t Value) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.ScanLine(y)[x] == Value;
  return n;
}

// A reproducible pattern of many colours.
inline void FillNoise(TBitmap& b, uint32_t Seed) {
  uint32_t s = Seed;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      s = s * 1664525u + 1013904223u;
      b.ScanLine(y)[x] = b.Quantize(s >> 8);
    }
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.ScanLine(y)[x] != b.ScanLine(y)[x]) return false;
  return true;
}

}  // namespace marovia::test
