// Lines and rings of positions in view pixels (see overlay_geometry.h).
#include "render/overlay_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace marovia::render {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Halvings of one segment before it counts as a jump: 2^-30 of a segment
// is far below a millimetre on the ground for any segment on the globe.
constexpr int kMaxDepth = 30;
// Points added to one line at most; past it segments are drawn as chords
// (a guard against a calibration that bends everywhere).
constexpr std::size_t kMaxAdded = std::size_t{1} << 22;
// The error is measured at three points of a piece, not everywhere on it:
// a margin below the promise covers what lies between them (a fifth,
// measured on strongly bending projections at the maps' edges).
constexpr double kCheckTolerance = 0.75 * kDensifyTolerance;

bool IsBreak(const TViewPoint& P) {
  return std::isnan(P.X);
}

// Longitude difference taken the short way round, in (-180, 180].
double LongitudeStep(double From, double To) {
  double d = To - From;
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

double NormalLongitude(double L) {
  if (L > 180) return L - 360;
  if (L < -180) return L + 360;
  return L;
}

struct TGeoPoint {
  double Lat, Long;
  TViewPoint V;
};

class TDensifier {
 public:
  TDensifier(const TMapCalibration& Calib, const TOverlayView& View, double Margin,
             std::vector<TViewPoint>& Out)
      : calib_(Calib), view_(View), margin_(Margin), out_(Out) {}

  // Appends the segment's points after A (A itself is already out).
  void Segment(const TGeoPoint& A, const TGeoPoint& B) {
    if (!NeedsWork(A.V, B.V) || added_ >= kMaxAdded) {
      out_.push_back(B.V);
      return;
    }
    Split(A, B, LongitudeStep(A.Long, B.Long), 0);
  }

 private:
  // Segments shorter than a pixel cannot bend visibly; those whose box,
  // grown by their own length, misses the view cannot reach into it.
  bool NeedsWork(TViewPoint A, TViewPoint B) const {
    const double len = std::hypot(B.X - A.X, B.Y - A.Y);
    if (!(len > 1)) return false;
    const double grow = std::max(margin_, len / 2);
    return std::min(A.X, B.X) - grow <= view_.Width + margin_ &&
           std::max(A.X, B.X) + grow >= -margin_ &&
           std::min(A.Y, B.Y) - grow <= view_.Height + margin_ &&
           std::max(A.Y, B.Y) + grow >= -margin_;
  }

  // The position at T along A-B (B's latitude Lat1) and its view point.
  bool At(const TGeoPoint& A, double Lat1, double DLong, double T, TGeoPoint& P) const {
    P.Lat = A.Lat + T * (Lat1 - A.Lat);
    P.Long = NormalLongitude(A.Long + T * DLong);
    double x = 0, y = 0;
    if (!calib_.GeoToPixelExact(P.Lat, P.Long, x, y)) return false;
    P.V = view_.ToView(x, y);
    return true;
  }

  void Split(const TGeoPoint& A, const TGeoPoint& B, double DLong, int Depth) {
    TGeoPoint q[3];
    bool ok = true;
    double worst = 0;
    // The quarter points must lie near the chord and follow each other
    // along it: a conversion that jumps along the chord's own line (a
    // parallel running off a map that ends at 180 degrees) comes back
    // beyond an end or out of order.
    const double dx = B.V.X - A.V.X, dy = B.V.Y - A.V.Y;
    const double len = std::hypot(dx, dy);
    double along = -kCheckTolerance;
    for (int k = 0; k < 3 && ok; ++k) {
      ok = At(A, B.Lat, DLong, (k + 1) * 0.25, q[k]);
      if (!ok) break;
      worst = std::max(worst, SegmentDistance(q[k].V, A.V, B.V));
      const double s = len > 0 ? ((q[k].V.X - A.V.X) * dx + (q[k].V.Y - A.V.Y) * dy) / len : 0;
      if (s < along - kCheckTolerance || s > len + kCheckTolerance) worst = HUGE_VAL;
      along = std::max(along, s);
    }
    // Nor may one quarter of the piece make nearly all of it: the mark of
    // a jump at a point (a longitude of exactly -180 on a map of the east).
    if (ok && worst <= kCheckTolerance) {
      TViewPoint prev = A.V;
      for (int k = 0; k <= 3; ++k) {
        const TViewPoint next = k < 3 ? q[k].V : B.V;
        if (std::hypot(next.X - prev.X, next.Y - prev.Y) > 0.75 * len + kCheckTolerance)
          worst = HUGE_VAL;
        prev = next;
      }
    }
    if (ok && worst <= kCheckTolerance) {
      out_.push_back(B.V);
      return;
    }
    if (Depth >= kMaxDepth || added_ >= kMaxAdded || !ok) {
      // The conversion jumps (or fails) in between: the line breaks there.
      if (!ok && Depth < kMaxDepth) {
        // A failure at a quarter point may leave the halves drawable.
        TGeoPoint m;
        if (At(A, B.Lat, DLong, 0.5, m)) {
          Split(A, m, DLong / 2, Depth + 1);
          Split(m, B, DLong / 2, Depth + 1);
          return;
        }
      }
      out_.push_back(TViewPoint{kNaN, kNaN});
      out_.push_back(B.V);
      return;
    }
    const TGeoPoint m = q[1];
    ++added_;
    if (NeedsWork(A.V, m.V))
      Split(A, m, DLong / 2, Depth + 1);
    else
      out_.push_back(m.V);
    if (NeedsWork(m.V, B.V))
      Split(m, B, DLong / 2, Depth + 1);
    else
      out_.push_back(B.V);
  }

  const TMapCalibration& calib_;
  const TOverlayView& view_;
  double margin_;
  std::vector<TViewPoint>& out_;
  std::size_t added_ = 0;
};

// Liang-Barsky: the parameter range [T0, T1] of A-B inside the box; false
// when none is.
bool ClipSegment(TViewPoint A, TViewPoint B, double X0, double Y0, double X1, double Y1, double& T0,
                 double& T1) {
  T0 = 0;
  T1 = 1;
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {A.X - X0, X1 - A.X, A.Y - Y0, Y1 - A.Y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      if (t > T1) return false;
      T0 = std::max(T0, t);
    } else {
      if (t < T0) return false;
      T1 = std::min(T1, t);
    }
  }
  return T0 <= T1;
}

TViewPoint Lerp(TViewPoint A, TViewPoint B, double T) {
  return TViewPoint{A.X + T * (B.X - A.X), A.Y + T * (B.Y - A.Y)};
}

// One edge of Sutherland-Hodgman: keeps the side where Inside holds.
template <class In, class Cut>
std::vector<TViewPoint> ClipRingEdge(const std::vector<TViewPoint>& Ring, In Inside, Cut Crossing) {
  std::vector<TViewPoint> out;
  if (Ring.empty()) return out;
  out.reserve(Ring.size() + 4);
  TViewPoint prev = Ring.back();
  bool prevIn = Inside(prev);
  for (const TViewPoint& p : Ring) {
    const bool in = Inside(p);
    if (in != prevIn) out.push_back(Crossing(prev, p));
    if (in) out.push_back(p);
    prev = p;
    prevIn = in;
  }
  return out;
}

}  // namespace

double SegmentDistance(TViewPoint P, TViewPoint A, TViewPoint B) {
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double len2 = dx * dx + dy * dy;
  double t = 0;
  if (len2 > 0) t = std::clamp(((P.X - A.X) * dx + (P.Y - A.Y) * dy) / len2, 0.0, 1.0);
  return std::hypot(P.X - (A.X + t * dx), P.Y - (A.Y + t * dy));
}

std::vector<TViewPoint> DensifyLine(const TMapCalibration& Calib, const TOverlayView& View,
                                    std::span<const double> Lat, std::span<const double> Long,
                                    double Margin, bool Closed) {
  const std::size_t n = std::min(Lat.size(), Long.size());
  std::vector<double> x(n), y(n);
  std::vector<uint8_t> ok(n);
  Calib.GeoToPixel(Lat.first(n), Long.first(n), x, y, ok);
  std::vector<TViewPoint> out;
  out.reserve(n + n / 8 + 2);
  TDensifier densify(Calib, View, Margin, out);
  bool down = false;
  TGeoPoint last{};
  auto visit = [&](std::size_t i) {
    if (!ok[i]) {
      if (down) out.push_back(TViewPoint{kNaN, kNaN});
      down = false;
      return;
    }
    const TGeoPoint p{Lat[i], Long[i], View.ToView(x[i], y[i])};
    if (!down)
      out.push_back(p.V);
    else
      densify.Segment(last, p);
    down = true;
    last = p;
  };
  for (std::size_t i = 0; i < n; ++i) visit(i);
  if (Closed && n > 2) visit(0);
  return out;
}

void SimplifyPath(std::vector<TViewPoint>& Path, double Tolerance) {
  if (Path.size() <= 2) return;
  const double t2 = Tolerance * Tolerance;
  std::size_t kept = 1;
  for (std::size_t i = 1; i + 1 < Path.size(); ++i) {
    const TViewPoint& a = Path[kept - 1];
    const double dx = Path[i].X - a.X, dy = Path[i].Y - a.Y;
    if (dx * dx + dy * dy >= t2) Path[kept++] = Path[i];
  }
  Path[kept++] = Path.back();
  Path.resize(kept);
}

void ProjectLine(const TMapCalibration& Calib, const TOverlayView& View,
                 std::span<const double> Lat, std::span<const double> Long, double Margin,
                 std::vector<TViewPath>& Out) {
  const std::vector<TViewPoint> line = DensifyLine(Calib, View, Lat, Long, Margin);
  const double x0 = -Margin, y0 = -Margin, x1 = View.Width + Margin, y1 = View.Height + Margin;
  double along = 0;   // length of the line before the current point
  bool open = false;  // the last piece of Out takes the next visible point
  auto finish = [&] {
    if (open) SimplifyPath(Out.back().Points, kSimplifyTolerance);
    open = false;
  };
  for (std::size_t i = 1; i < line.size(); ++i) {
    const TViewPoint a = line[i - 1], b = line[i];
    if (IsBreak(a) || IsBreak(b)) {
      finish();
      continue;
    }
    const double len = std::hypot(b.X - a.X, b.Y - a.Y);
    double t0 = 0, t1 = 1;
    if (ClipSegment(a, b, x0, y0, x1, y1, t0, t1)) {
      if (!open || t0 > 0) {
        finish();
        Out.push_back(TViewPath{{Lerp(a, b, t0)}, along + t0 * len});
        open = true;
      }
      Out.back().Points.push_back(t1 < 1 ? Lerp(a, b, t1) : b);
      if (t1 < 1) finish();
    } else {
      finish();
    }
    along += len;
  }
  finish();
  // A line of one convertible point is a dot where it lies in the view.
  if (line.size() == 1 && !IsBreak(line[0])) {
    const TViewPoint p = line[0];
    if (p.X >= x0 && p.X <= x1 && p.Y >= y0 && p.Y <= y1) Out.push_back(TViewPath{{p, p}, 0});
  }
}

std::vector<TViewPoint> ProjectRing(const TMapCalibration& Calib, const TOverlayView& View,
                                    std::span<const double> Lat, std::span<const double> Long,
                                    double Margin) {
  std::vector<TViewPoint> ring = DensifyLine(Calib, View, Lat, Long, Margin, true);
  std::erase_if(ring, IsBreak);
  if (ring.size() > 1) ring.pop_back();  // the first point again
  const double x0 = -Margin, y0 = -Margin, x1 = View.Width + Margin, y1 = View.Height + Margin;
  ring = ClipRingEdge(
      ring, [&](TViewPoint p) { return p.X >= x0; },
      [&](TViewPoint a, TViewPoint b) { return Lerp(a, b, (x0 - a.X) / (b.X - a.X)); });
  ring = ClipRingEdge(
      ring, [&](TViewPoint p) { return p.X <= x1; },
      [&](TViewPoint a, TViewPoint b) { return Lerp(a, b, (x1 - a.X) / (b.X - a.X)); });
  ring = ClipRingEdge(
      ring, [&](TViewPoint p) { return p.Y >= y0; },
      [&](TViewPoint a, TViewPoint b) { return Lerp(a, b, (y0 - a.Y) / (b.Y - a.Y)); });
  ring = ClipRingEdge(
      ring, [&](TViewPoint p) { return p.Y <= y1; },
      [&](TViewPoint a, TViewPoint b) { return Lerp(a, b, (y1 - a.Y) / (b.Y - a.Y)); });
  if (ring.size() < 3) return {};
  SimplifyPath(ring, kSimplifyTolerance);
  return ring;
}

std::vector<TViewPath> DashPaths(const std::vector<TViewPath>& Paths,
                                 std::span<const double> Pattern) {
  double period = 0;
  for (double d : Pattern) period += std::max(d, 0.0);
  if (Pattern.empty() || !(period > 0) || !std::isfinite(period)) return Paths;
  std::vector<TViewPath> out;
  for (const TViewPath& path : Paths) {
    // Where in the pattern the piece begins.
    double phase = std::fmod(path.Start, period);
    std::size_t k = 0;
    while (phase >= std::max(Pattern[k], 0.0)) {
      phase -= std::max(Pattern[k], 0.0);
      k = (k + 1) % Pattern.size();
    }
    double left = std::max(Pattern[k], 0.0) - phase;  // of the current dash or gap
    bool on = k % 2 == 0;
    if (on) out.push_back(TViewPath{{path.Points.front()}, path.Start});
    for (std::size_t i = 1; i < path.Points.size(); ++i) {
      TViewPoint a = path.Points[i - 1];
      const TViewPoint b = path.Points[i];
      double len = std::hypot(b.X - a.X, b.Y - a.Y);
      while (len > left) {
        a = Lerp(a, b, left / len);
        len -= left;
        if (on) out.back().Points.push_back(a);
        k = (k + 1) % Pattern.size();
        left = std::max(Pattern[k], 0.0);
        on = k % 2 == 0;
        if (on) out.push_back(TViewPath{{a}, 0});
      }
      left -= len;
      if (on) out.back().Points.push_back(b);
    }
  }
  std::erase_if(out, [](const TViewPath& p) { return p.Points.size() < 2; });
  return out;
}

}  // namespace marovia::render
