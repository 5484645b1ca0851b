// The vectorised smoothed copy against the portable loops: the same pixels
// for random images, scales (from far below a quarter to enlargements),
// offsets beyond the source's edges, mirrored axes and quantising formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "marovia/platform/graphics.h"
#include "marovia/platform/stretchblt.h"

namespace marovia {
namespace {

// Restores the process-wide switch whatever a test does.
class VectorSwitch {
 public:
  ~VectorSwitch() { SetStretchBltVectorised(true); }
};

// Random colours as the bitmap stores them (0x00RRGGBB).
void Randomise(TBitmap& B, std::mt19937& Rng) {
  for (int y = 0; y < B.Height(); ++y) {
    uint32_t* row = B.ScanLine(y);
    for (int x = 0; x < B.Width(); ++x) row[x] = static_cast<uint32_t>(Rng()) & 0xFFFFFF;
  }
}

struct Copy {
  int dw, dh, sx, sy, sw, sh;
  TPixelFormat format;
};

std::unique_ptr<TBitmap> Draw(TBitmap& Src, const Copy& C, bool Vectorised) {
  SetStretchBltVectorised(Vectorised);
  auto dst = std::make_unique<TBitmap>(std::abs(C.dw) + 3, std::abs(C.dh) + 3);
  dst->SetPixelFormat(C.format);
  SetStretchBltMode(dst->Canvas(), HALFTONE);
  const int dx = C.dw < 0 ? -C.dw : 1, dy = C.dh < 0 ? -C.dh : 1;
  StretchBlt(dst->Canvas(), dx, dy, C.dw, C.dh, Src.Canvas(), C.sx, C.sy, C.sw, C.sh, SRCCOPY);
  return dst;
}

bool SamePixels(const std::unique_ptr<TBitmap>& PA, const std::unique_ptr<TBitmap>& PB) {
  const TBitmap &A = *PA, &B = *PB;
  for (int y = 0; y < A.Height(); ++y)
    for (int x = 0; x < A.Width(); ++x)
      if (A.ScanLine(y)[x] != B.ScanLine(y)[x]) {
        ADD_FAILURE() << "first difference at (" << x << ", " << y << "): " << std::hex
                      << A.ScanLine(y)[x] << " against " << B.ScanLine(y)[x];
        return false;
      }
  return true;
}

TEST(StretchBltVector, GivesThePortablePixels) {
  VectorSwitch restore;
  std::mt19937 rng(20261208);
  auto pick = [&](int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(rng); };
  for (int round = 0; round < 300; ++round) {
    TBitmap src(pick(1, 300), pick(1, 120));
    Randomise(src, rng);
    // Scales from 1/40 to 5 per axis, drawn independently.
    const double sx = std::exp(std::uniform_real_distribution<double>(-3.7, 1.6)(rng));
    const double sy = std::exp(std::uniform_real_distribution<double>(-3.7, 1.6)(rng));
    Copy c{};
    c.sw = pick(1, src.Width() + 20);
    c.sh = pick(1, src.Height() + 20);
    c.sx = pick(-10, src.Width());
    c.sy = pick(-10, src.Height());
    c.dw = std::clamp(static_cast<int>(c.sw * sx), 1, 400);
    c.dh = std::clamp(static_cast<int>(c.sh * sy), 1, 400);
    if (pick(0, 5) == 0) c.dw = -c.dw;
    if (pick(0, 5) == 0) c.sh = -c.sh;
    c.format = pick(0, 3) == 0 ? pf15bit : pf24bit;
    const auto portable = Draw(src, c, false);
    const auto vector = Draw(src, c, true);
    ASSERT_TRUE(SamePixels(portable, vector))
        << "round " << round << ": " << src.Width() << "x" << src.Height() << " (" << c.sx << ","
        << c.sy << " " << c.sw << "x" << c.sh << ") to " << c.dw << "x" << c.dh;
  }
}

// The view's own case: a wide image shrunk a little, where filters of three
// taps meet the row's last column.
TEST(StretchBltVector, ViewScalesNearOneReachTheRowsEnd) {
  VectorSwitch restore;
  std::mt19937 rng(7);
  TBitmap src(2043, 40);
  Randomise(src, rng);
  for (int dw : {1920, 1805, 2040, 1022, 511})
    for (int sx : {0, 3, -5}) {
      const Copy c{dw, 37, sx, 0, 2043, 40, pf24bit};
      EXPECT_TRUE(SamePixels(Draw(src, c, false), Draw(src, c, true))) << dw << " from " << sx;
    }
}

}  // namespace
}  // namespace marovia
