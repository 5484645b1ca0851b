// Town markers stamped into the surface (see marker_stamp.h).
#include "render/marker_stamp.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "render/overlay_paint.h"

namespace marovia::render {

namespace {

// Count words from From to To (regions apart). A marker's runs are a few
// words long: each is copied in blocks of a fixed size, the last one
// overlapping the one before, so that the copy is a handful of vector moves,
// not a loop over pixels nor a call.
inline void CopyWords(uint32_t* To, const uint32_t* From, int Count) {
  auto block = [&](int At, auto Size) {
    std::memcpy(To + At, From + At, decltype(Size)::value * sizeof(uint32_t));
  };
  using B1 = std::integral_constant<int, 1>;
  using B2 = std::integral_constant<int, 2>;
  using B4 = std::integral_constant<int, 4>;
  using B8 = std::integral_constant<int, 8>;
  if (Count >= 8) {
    int at = 0;
    for (; at + 8 < Count; at += 8) block(at, B8{});
    block(Count - 8, B8{});
  } else if (Count >= 4) {
    block(0, B4{});
    block(Count - 4, B4{});
  } else if (Count >= 2) {
    block(0, B2{});
    block(Count - 2, B2{});
  } else if (Count == 1) {
    block(0, B1{});
  }
}

}  // namespace

TMarkerStamp::TMarkerStamp(int Radius, TColor Fill) {
  const int r = std::max(1, Radius);
  const int outline = std::max(1, r / 3);
  reach_ = r + outline;
  const double inner = (r + 0.5) * (r + 0.5), outer = (reach_ + 0.5) * (reach_ + 0.5);
  for (int dy = -reach_; dy <= reach_; ++dy) {
    TRun run{dy, 0, 0, words_.size()};
    for (int dx = -reach_; dx <= reach_; ++dx) {
      const double d2 = dx * dx + dy * dy;
      if (d2 > outer) continue;
      if (run.Count++ == 0) run.DX = dx;
      words_.push_back(d2 <= inner ? SurfaceWord(Fill) : 0x00FFFFFF);
    }
    if (run.Count > 0) runs_.push_back(run);
  }
}

void TMarkerStamp::Draw(TCanvas& Canvas, int Width, int Height, TPoint P) const {
  DrawAll(Canvas, Width, Height, std::span(&P, 1));
}

void TMarkerStamp::DrawAll(TCanvas& Canvas, int Width, int Height,
                           std::span<const TPoint> Points) const {
  if (!Canvas.Surface() || Points.empty()) return;
  const TRect area = SurfaceBox(Canvas, Width, Height, Rect(0, 0, Width, Height));
  if (area.Right <= area.Left) return;
  TBitmap& s = *Canvas.Surface();
  std::vector<uint32_t*> rows(static_cast<std::size_t>(area.Bottom - area.Top));
  for (int y = area.Top; y < area.Bottom; ++y)
    rows[static_cast<std::size_t>(y - area.Top)] = s.ScanLine(y);

  const int64_t left = area.Left, top = area.Top, right = area.Right, bottom = area.Bottom;
  const uint32_t* words = words_.data();
  for (const TPoint& p : Points) {
    const int64_t x = p.X, y = p.Y;
    if (x - reach_ >= left && x + reach_ < right && y - reach_ >= top && y + reach_ < bottom) {
      for (const TRun& run : runs_)
        CopyWords(rows[static_cast<std::size_t>(y + run.DY - top)] + x + run.DX, words + run.At,
                  run.Count);
      continue;
    }
    for (const TRun& run : runs_) {
      const int64_t ry = y + run.DY, from = x + run.DX;
      if (ry < top || ry >= bottom) continue;
      const int64_t x0 = std::max(from, left), x1 = std::min(from + run.Count, right);
      if (x0 < x1)
        CopyWords(rows[static_cast<std::size_t>(ry - top)] + x0, words + run.At + (x0 - from),
                  static_cast<int>(x1 - x0));
    }
  }
}

}  // namespace marovia::render
