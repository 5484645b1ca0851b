// The pixels of a layer's lines kept between draws (see overlay_line_cache.h).
#include "render/overlay_line_cache.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace marovia::render {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Probes of a calibration among a layer's positions.
constexpr std::size_t kProbes = 16;
// Levels at most: 2^29 / 4 image pixels outgrows any image.
constexpr int kLevels = 30;

double LevelDistance(int L) {
  return L == 0 ? 0 : std::ldexp(0.25, L - 1);
}

template <std::size_t N, std::size_t M>
void AddBits(std::vector<uint64_t>& Out, const std::array<std::array<double, M>, N>& Rows) {
  for (const auto& row : Rows)
    for (double v : row) Out.push_back(std::bit_cast<uint64_t>(v));
}

uint64_t Mix(uint64_t H, uint64_t W) {
  return std::rotl((H ^ W) * 0x9E3779B97F4A7C15ULL, 29);
}

}  // namespace

TCalibStamp StampOf(const TMapCalibration& Calib, std::span<const double> Lat,
                    std::span<const double> Long) {
  TCalibStamp s;
  s.Model = Calib.Model();
  s.Data = Calib.Data();
  s.Width = Calib.ImageWidth();
  s.Height = Calib.ImageHeight();
  s.Exact = Calib.ExactPoints();
  s.HasExact = Calib.HasExactPoints();
  s.Converts = Calib.Converts();
  AddBits(s.Bits, Calib.EquRectSPPL());
  AddBits(s.Bits, Calib.CalParsSPPL());
  AddBits(s.Bits, Calib.MillercylPar());
  s.Bits.push_back(std::bit_cast<uint64_t>(Calib.LongitudeCentre()));
  for (double v : Calib.ConicPars()) s.Bits.push_back(std::bit_cast<uint64_t>(v));
  const std::size_t n = std::min(Lat.size(), Long.size());
  for (std::size_t k = 0; k < kProbes && n > 0; ++k) {
    const std::size_t i = k * (n - 1) / (kProbes - 1);
    double x = kNaN, y = kNaN;
    if (!Calib.GeoToPixelExact(Lat[i], Long[i], x, y)) x = y = kNaN;
    s.Bits.push_back(std::bit_cast<uint64_t>(x));
    s.Bits.push_back(std::bit_cast<uint64_t>(y));
  }
  return s;
}

uint64_t HashColumns(std::span<const double> A, std::span<const double> B) {
  // Four lanes, so that the multiplications overlap; each step is a
  // bijection of the lane, so a change of one value always shows.
  uint64_t h[4] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL, 0xA4093822299F31D0ULL,
                   0x082EFA98EC4E6C89ULL};
  for (std::span<const double> col : {A, B}) {
    std::size_t i = 0;
    for (; i + 4 <= col.size(); i += 4)
      for (int k = 0; k < 4; ++k) h[k] = Mix(h[k], std::bit_cast<uint64_t>(col[i + k]));
    for (; i < col.size(); ++i) h[0] = Mix(h[0], std::bit_cast<uint64_t>(col[i]));
    h[1] = Mix(h[1], col.size());
  }
  return Mix(Mix(h[0], h[1]), Mix(h[2], h[3]));
}

void TLineCache::Clear() {
  x_.clear();
  y_.clear();
  stamp_.reset();
  lines_.clear();
  ends_.clear();
  levels_.clear();
  size_ = 0;
}

bool TLineCache::Update(const TMapCalibration& Calib, std::span<const double> Lat,
                        std::span<const double> Long, std::vector<TPointRange> Lines) {
  const std::size_t n = std::min(Lat.size(), Long.size());
  // Point numbers are kept in 32 bits.
  if (n > std::numeric_limits<uint32_t>::max()) throw EZYLGeoMapError("too many overlay points");
  lat_ = Lat.first(n);
  long_ = Long.first(n);
  const uint64_t hash = HashColumns(lat_, long_);
  TCalibStamp stamp = StampOf(Calib, lat_, long_);
  bool converted = false;
  if (!stamp_ || hash != hash_ || n != size_ || !(stamp == *stamp_)) {
    x_.resize(n);
    y_.resize(n);
    constexpr std::size_t kBatch = 4096;
    std::vector<uint8_t> ok(std::min(n, kBatch));
    for (std::size_t at = 0; at < n; at += kBatch) {
      const std::size_t m = std::min(kBatch, n - at);
      Calib.GeoToPixel(lat_.subspan(at, m), long_.subspan(at, m), std::span(x_).subspan(at, m),
                       std::span(y_).subspan(at, m), std::span(ok).first(m));
      for (std::size_t i = 0; i < m; ++i)
        if (!ok[i]) x_[at + i] = y_[at + i] = kNaN;
    }
    stamp_ = std::move(stamp);
    hash_ = hash;
    size_ = n;
    levels_.clear();
    ++conversions_;
    converted = true;
  }
  // Ranges beyond the points are left out (the layer draws nothing there).
  std::erase_if(Lines, [&](const TPointRange& R) { return R.End > n || R.Begin >= R.End; });
  if (converted || Lines != lines_) {
    lines_ = std::move(Lines);
    ends_.assign(n, 0);
    for (const TPointRange& r : lines_) {
      ends_[r.Begin] |= 1;
      ends_[r.End - 1] |= 2;
    }
    levels_.clear();
  }
  return converted;
}

const TLineCache::TLevel& TLineCache::Level(int L) {
  if (levels_.size() < kLevels) levels_.resize(kLevels);
  std::optional<TLevel>& slot = levels_[static_cast<std::size_t>(L)];
  if (slot) return *slot;
  TLevel level;
  const std::size_t n = x_.size();
  if (L == 0) {
    level.Index.resize(n);
    for (std::size_t i = 0; i < n; ++i) level.Index[i] = static_cast<uint32_t>(i);
  } else {
    const double d = LevelDistance(L), d2 = d * d;
    double kx = kNaN, ky = kNaN;  // the last point kept; NaN: none to measure from
    for (std::size_t i = 0; i < n; ++i) {
      const double x = x_[i], y = y_[i];
      bool keep =
          std::isnan(x) || std::isnan(kx) || ends_[i] != 0 || (i + 1 < n && std::isnan(x_[i + 1]));
      if (!keep) {
        const double dx = x - kx, dy = y - ky;
        keep = dx * dx + dy * dy >= d2;
      }
      if (!keep) continue;
      level.Index.push_back(static_cast<uint32_t>(i));
      kx = x;
      ky = y;
      // A line's last point ends the measuring: the next line starts afresh.
      if (ends_[i] & 2) kx = kNaN;
    }
  }
  MakeChunks(level);
  slot = std::move(level);
  return *slot;
}

void TLineCache::MakeChunks(TLevel& Level) const {
  constexpr std::size_t k = TPixelLine::kChunkPoints;
  const std::size_t m = Level.Index.size();
  Level.Chunks.clear();
  Level.Chunks.reserve((m + k - 1) / k);
  for (std::size_t c = 0; c * k < m; ++c) {
    TPixelChunk ch;
    ch.X0 = ch.Y0 = HUGE_VAL;
    ch.X1 = ch.Y1 = -HUGE_VAL;
    double px = kNaN, py = kNaN;
    for (std::size_t j = c * k; j < std::min(m, (c + 1) * k); ++j) {
      const double x = x_[Level.Index[j]], y = y_[Level.Index[j]];
      if (std::isnan(x)) {
        ch.Breaks = true;
        px = py = kNaN;
        continue;
      }
      ch.X0 = std::min(ch.X0, x);
      ch.X1 = std::max(ch.X1, x);
      ch.Y0 = std::min(ch.Y0, y);
      ch.Y1 = std::max(ch.Y1, y);
      if (!std::isnan(px)) {
        const double step = std::hypot(x - px, y - py);
        ch.Length += step;
        ch.LongestStep = std::max(ch.LongestStep, step);
      }
      px = x;
      py = y;
    }
    Level.Chunks.push_back(ch);
  }
}

void TLineCache::Project(const TMapCalibration& Calib, const TOverlayView& View, TPointRange R,
                         double Margin, bool Closed, std::vector<TViewPath>& Out, bool Measure) {
  if (R.End > x_.size() || R.Begin >= R.End || !(View.Magnify > 0)) return;
  // The coarsest level within its share of the tolerance.
  const double most = kLevelShare * kSimplifyTolerance / View.Magnify;
  int l = 0;
  while (l + 1 < kLevels && LevelDistance(l + 1) <= most) ++l;
  const TLevel& level = Level(l);
  const double rest = kSimplifyTolerance - LevelDistance(l) * View.Magnify;
  const auto from = std::lower_bound(level.Index.begin(), level.Index.end(), R.Begin);
  const auto to = std::lower_bound(from, level.Index.end(), R.End);
  const TPixelLine line{lat_, long_, x_, y_, level.Index, level.Chunks};
  ProjectPixelLine(Calib, View, line, static_cast<std::size_t>(from - level.Index.begin()),
                   static_cast<std::size_t>(to - level.Index.begin()), Margin, rest, Closed, Out,
                   Measure);
}

}  // namespace marovia::render
