// Lines and rings of positions in view pixels (see overlay_geometry.h).
#include "render/overlay_geometry.h"

#include <algorithm>
#include <array>
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

double Length(double Dx, double Dy) {
  return std::sqrt(Dx * Dx + Dy * Dy);
}

// Takes the line's points in order: a view point, or a break.
class TVectorSink {
 public:
  explicit TVectorSink(std::vector<TViewPoint>& Out) : out_(Out) {}
  void Point(TViewPoint P) { out_.push_back(P); }
  void Break() { out_.push_back(TViewPoint{kNaN, kNaN}); }

 private:
  std::vector<TViewPoint>& out_;
};

template <class Sink>
class TDensifier {
 public:
  TDensifier(const TMapCalibration& Calib, const TOverlayView& View, double Margin, Sink& Out)
      : calib_(Calib), view_(View), margin_(Margin), out_(Out) {}

  // Passes on the segment's points after A (A itself is already out).
  void Segment(const TGeoPoint& A, const TGeoPoint& B) {
    if (!NeedsWork(A.V, B.V) || added_ >= kMaxAdded) {
      out_.Point(B.V);
      return;
    }
    Split(A, B, LongitudeStep(A.Long, B.Long), 0);
  }

 private:
  // Segments shorter than the view's straight length cannot bend
  // visibly; those whose box, grown by their own length, misses the view
  // cannot reach into it.
  bool NeedsWork(TViewPoint A, TViewPoint B) const {
    const double len = Length(B.X - A.X, B.Y - A.Y);
    if (!(len > std::max(1.0, view_.Straight))) return false;
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
    const double len = Length(dx, dy);
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
        if (Length(next.X - prev.X, next.Y - prev.Y) > 0.75 * len + kCheckTolerance)
          worst = HUGE_VAL;
        prev = next;
      }
    }
    if (ok && worst <= kCheckTolerance) {
      out_.Point(B.V);
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
      out_.Break();
      out_.Point(B.V);
      return;
    }
    const TGeoPoint m = q[1];
    ++added_;
    if (NeedsWork(A.V, m.V))
      Split(A, m, DLong / 2, Depth + 1);
    else
      out_.Point(m.V);
    if (NeedsWork(m.V, B.V))
      Split(m, B, DLong / 2, Depth + 1);
    else
      out_.Point(B.V);
  }

  const TMapCalibration& calib_;
  const TOverlayView& view_;
  double margin_;
  Sink& out_;
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

// Feeds the line's points to Sink: the positions converted in batches of
// kChunk (the buffers stay in the cache, whatever the line's length), each
// segment densified, unconvertible positions as breaks.
template <class Sink>
void RunLine(const TMapCalibration& Calib, const TOverlayView& View, std::span<const double> Lat,
             std::span<const double> Long, double Margin, bool Closed, Sink& Out) {
  constexpr std::size_t kChunk = 2048;
  const std::size_t n = std::min(Lat.size(), Long.size());
  std::array<double, kChunk> x, y;
  std::array<uint8_t, kChunk> ok;
  TDensifier<Sink> densify(Calib, View, Margin, Out);
  bool down = false;
  TGeoPoint last{}, first{};
  bool firstOk = false;
  auto visit = [&](bool Ok, const TGeoPoint& P) {
    if (!Ok) {
      if (down) Out.Break();
      down = false;
      return;
    }
    if (!down)
      Out.Point(P.V);
    else
      densify.Segment(last, P);
    down = true;
    last = P;
  };
  for (std::size_t at = 0; at < n; at += kChunk) {
    const std::size_t m = std::min(kChunk, n - at);
    Calib.GeoToPixel(Lat.subspan(at, m), Long.subspan(at, m), std::span(x).first(m),
                     std::span(y).first(m), std::span(ok).first(m));
    for (std::size_t i = 0; i < m; ++i) {
      const TGeoPoint p{Lat[at + i], Long[at + i], View.ToView(x[i], y[i])};
      if (at + i == 0) {
        first = p;
        firstOk = ok[i] != 0;
      }
      visit(ok[i] != 0, p);
    }
  }
  if (Closed && n > 2) visit(firstOk, first);
}

// Clips the line to the view grown by Margin and thins each piece as it
// comes (the points kept are those SimplifyPath keeps).
class TPieceSink {
 public:
  TPieceSink(const TOverlayView& View, double Margin, bool Measure, std::vector<TViewPath>& Out,
             double Tolerance = kSimplifyTolerance)
      : x0_(-Margin),
        y0_(-Margin),
        x1_(View.Width + Margin),
        y1_(View.Height + Margin),
        tolerance2_(Tolerance * Tolerance),
        measure_(Measure),
        out_(Out) {}
  ~TPieceSink() { Close(); }
  TPieceSink(const TPieceSink&) = delete;
  TPieceSink& operator=(const TPieceSink&) = delete;

  void Point(TViewPoint B) {
    if (!havePrev_) {
      prev_ = B;
      havePrev_ = true;
      lone_ = true;
      return;
    }
    lone_ = false;
    const TViewPoint a = prev_;
    prev_ = B;
    // Most segments of a line in view lie wholly inside.
    if (open_ && B.X >= x0_ && B.X <= x1_ && B.Y >= y0_ && B.Y <= y1_) {
      Keep(B);
      if (measure_) along_ += Length(B.X - a.X, B.Y - a.Y);
      return;
    }
    const double len = Length(B.X - a.X, B.Y - a.Y);
    double t0 = 0, t1 = 1;
    if (ClipSegment(a, B, x0_, y0_, x1_, y1_, t0, t1)) {
      if (!open_ || t0 > 0) {
        Close();
        out_.push_back(TViewPath{{Lerp(a, B, t0)}, along_ + t0 * len});
        kept_ = out_.back().Points[0];
        open_ = true;
      }
      Keep(t1 < 1 ? Lerp(a, B, t1) : B);
      if (t1 < 1) Close();
    } else {
      Close();
    }
    along_ += len;
  }
  void Break() {
    Lone();
    Close();
    havePrev_ = false;
  }
  void Finish() { Break(); }
  // A stretch of the line that lies wholly beyond the clip box: it ends at
  // Last, after Length view pixels.
  void Skip(TViewPoint Last, double Length) {
    Close();
    prev_ = Last;
    havePrev_ = true;
    lone_ = false;
    along_ += Length;
  }

 private:
  // A line of one point is a dot where it lies in the view.
  void Lone() {
    if (lone_ && havePrev_ && prev_.X >= x0_ && prev_.X <= x1_ && prev_.Y >= y0_ && prev_.Y <= y1_)
      out_.push_back(TViewPath{{prev_, prev_}, along_});
    lone_ = false;
  }
  void Keep(TViewPoint P) {
    const double dx = P.X - kept_.X, dy = P.Y - kept_.Y;
    if (dx * dx + dy * dy >= tolerance2_) {
      out_.back().Points.push_back(P);
      kept_ = P;
      pending_ = false;
    } else {
      held_ = P;
      pending_ = true;
    }
  }
  void Close() {
    if (open_ && pending_) out_.back().Points.push_back(held_);
    if (open_ && out_.back().Points.size() < 2) out_.back().Points.push_back(out_.back().Points[0]);
    open_ = pending_ = false;
  }

  double x0_, y0_, x1_, y1_;
  double tolerance2_;
  bool measure_;
  std::vector<TViewPath>& out_;
  TViewPoint prev_{}, held_{}, kept_{};
  bool havePrev_ = false, open_ = false, pending_ = false, lone_ = false;
  double along_ = 0;
};

}  // namespace

std::vector<TViewPoint> DensifyLine(const TMapCalibration& Calib, const TOverlayView& View,
                                    std::span<const double> Lat, std::span<const double> Long,
                                    double Margin, bool Closed) {
  std::vector<TViewPoint> out;
  out.reserve(std::min(Lat.size(), Long.size()) + 2);
  TVectorSink sink(out);
  RunLine(Calib, View, Lat, Long, Margin, Closed, sink);
  return out;
}

double SegmentDistance(TViewPoint P, TViewPoint A, TViewPoint B) {
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double len2 = dx * dx + dy * dy;
  double t = 0;
  if (len2 > 0) t = std::clamp(((P.X - A.X) * dx + (P.Y - A.Y) * dy) / len2, 0.0, 1.0);
  return std::hypot(P.X - (A.X + t * dx), P.Y - (A.Y + t * dy));
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
                 std::vector<TViewPath>& Out, bool Measure) {
  TPieceSink sink(View, Margin, Measure, Out);
  RunLine(Calib, View, Lat, Long, Margin, false, sink);
  sink.Finish();
}

void ProjectPixelLine(const TMapCalibration& Calib, const TOverlayView& View,
                      const TPixelLine& Line, std::size_t From, std::size_t To, double Margin,
                      double Tolerance, bool Closed, std::vector<TViewPath>& Out, bool Measure) {
  TPieceSink sink(View, Margin, Measure, Out, Tolerance);
  TDensifier<TPieceSink> densify(Calib, View, Margin, sink);
  bool down = false;
  TGeoPoint last{};
  auto at = [&](uint32_t I) {
    return TGeoPoint{Line.Lat[I], Line.Long[I], View.ToView(Line.X[I], Line.Y[I])};
  };
  auto visit = [&](uint32_t I) {
    if (std::isnan(Line.X[I])) {
      if (down) sink.Break();
      down = false;
      return;
    }
    const TGeoPoint p = at(I);
    if (!down)
      sink.Point(p.V);
    else
      densify.Segment(last, p);
    down = true;
    last = p;
  };
  // A chunk lies beyond reach when its box, grown by half its longest
  // segment (as far as the densification lets a segment bend) and by the
  // margins, misses the view.
  const double m = View.Magnify;
  auto beyond = [&](const TPixelChunk& C) {
    const double grow = 2 * Margin + C.LongestStep * m / 2 + 1;
    return (C.X1 - View.Left) * m + grow < 0 || (C.X0 - View.Left) * m - grow > View.Width ||
           (C.Y1 - View.Top) * m + grow < 0 || (C.Y0 - View.Top) * m - grow > View.Height;
  };
  constexpr std::size_t k = TPixelLine::kChunkPoints;
  To = std::min(To, Line.Index.size());
  for (std::size_t j = From; j < To;) {
    const std::size_t c = j / k;
    if (j % k == 0 && (c + 1) * k <= To && c < Line.Chunks.size() && !Line.Chunks[c].Breaks &&
        beyond(Line.Chunks[c])) {
      // The segment into the chunk is drawn; those within it are passed.
      visit(Line.Index[j]);
      j = (c + 1) * k;
      last = at(Line.Index[j - 1]);
      sink.Skip(last.V, Line.Chunks[c].Length * m);
      continue;
    }
    visit(Line.Index[j++]);
  }
  if (Closed && To > From + 2) visit(Line.Index[From]);
  sink.Finish();
}

double StraightLength(const TMapCalibration& Calib, const TOverlayView& View) {
  // Positions at 3 x 3 places of the view, segments from each in four
  // directions, from 1024 view pixels long down: the longest that all bend
  // by less than a quarter of the tolerance.
  constexpr double kLongest = 1024;
  std::vector<double> glat, glon;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const TPixelPosition p =
          Calib.PixelToGeo(View.Left + (j + 0.5) * View.Width / 3 / View.Magnify,
                           View.Top + (i + 0.5) * View.Height / 3 / View.Magnify);
      if (!p.Valid()) continue;
      glat.push_back(p.Latit);
      glon.push_back(p.Longit);
    }
  if (glat.empty()) return 1;
  // Degrees per view pixel about the middle, roughly: a step's scale.
  double cx = 0, cy = 0, ex = 0, ey = 0;
  if (!Calib.GeoToPixelExact(glat[glat.size() / 2], glon[glon.size() / 2], cx, cy) ||
      !Calib.GeoToPixelExact(glat[glat.size() / 2] + 0.01, glon[glon.size() / 2], ex, ey))
    return 1;
  const double perPixel = 0.01 / std::max(1e-12, Length(ex - cx, ey - cy) * View.Magnify);
  const double dirs[4][2] = {{1, 0}, {0, 1}, {0.7071, 0.7071}, {0.7071, -0.7071}};
  for (double len = kLongest; len >= 2; len /= 2) {
    std::vector<double> lat, lon;
    for (std::size_t g = 0; g < glat.size(); ++g)
      for (const auto& d : dirs)
        for (int k = 0; k <= 4; ++k) {
          lat.push_back(glat[g] + d[0] * len * perPixel * k / 4);
          lon.push_back(NormalLongitude(glon[g] + d[1] * len * perPixel * k / 4));
        }
    std::vector<double> x(lat.size()), y(lat.size());
    std::vector<uint8_t> ok(lat.size());
    Calib.GeoToPixel(lat, lon, x, y, ok);
    double worst = 0;
    for (std::size_t s = 0; s + 4 < lat.size() + 1 && worst < HUGE_VAL; s += 5) {
      for (int k = 0; k <= 4; ++k)
        if (!ok[s + k]) worst = HUGE_VAL;
      if (worst == HUGE_VAL) break;
      const TViewPoint a = View.ToView(x[s], y[s]), b = View.ToView(x[s + 4], y[s + 4]);
      for (int k = 1; k < 4; ++k)
        worst = std::max(worst, SegmentDistance(View.ToView(x[s + k], y[s + k]), a, b));
    }
    if (worst <= kDensifyTolerance / 4) return len;
  }
  return 1;
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
