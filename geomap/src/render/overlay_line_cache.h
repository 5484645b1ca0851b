// The pixels of a layer's lines kept between draws.
//
// Converting a million positions through a projected calibration costs far
// more than drawing them, and a redraw at another pan or zoom needs the
// same image pixels again. TLineCache keeps them, with levels of thinning
// made from them, and knows when they no longer hold:
//   - the positions changed: a hash of every latitude and longitude bit,
//     taken at each draw (about a millisecond for a million points);
//   - the calibration changed: its model, record, image size, control
//     points and fitted parameters, and the pixels of a few of the layer's
//     own positions (a refit of the projected or thin-plate model shows
//     there, whatever else stayed);
//   - the lines changed (their ranges): the thinning is made again.
//
// Thinning levels: level L >= 1 keeps a point when it lies at least
// 2^(L-1) / 4 image pixels from the last point kept (the first and last
// point of every line, and the points beside one that does not convert,
// always stay). A view uses the coarsest level whose distance stays within
// kLevelShare of kSimplifyTolerance in view pixels, and thins what it
// keeps by the rest of the tolerance, so that the drawn line moves by less
// than kSimplifyTolerance as before. Every segment kept is densified from
// its end positions where the view bends it, as without the cache. Levels
// are made on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/tracks.h"
#include "render/overlay_geometry.h"

namespace marovia::render {

// What a calibration converts with, as far as a layer can see it.
struct TCalibStamp {
  TCalibModel Model = cmUndefined;
  TCalibData Data;
  int32_t Width = 0, Height = 0;
  std::vector<TControlPoint> Exact;
  bool HasExact = false, Converts = false;
  // Fitted parameters, the longitude centre and the probes' pixels, bit for
  // bit (a NaN equals itself here).
  std::vector<uint64_t> Bits;
  friend bool operator==(const TCalibStamp&, const TCalibStamp&) = default;
};

// The stamp of Calib, probed at a few of the positions.
TCalibStamp StampOf(const TMapCalibration& Calib, std::span<const double> Lat,
                    std::span<const double> Long);

// A hash of the bits of the columns (any change of one value changes it).
uint64_t HashColumns(std::span<const double> A, std::span<const double> B);

class TLineCache {
 public:
  // The share of the tolerance a thinning level may take.
  static constexpr double kLevelShare = 0.8;

  // Makes the cache hold the pixels of Lat, Long under Calib and the
  // thinning of Lines. Answers whether the positions went through the
  // calibration again.
  bool Update(const TMapCalibration& Calib, std::span<const double> Lat,
              std::span<const double> Long, std::vector<TPointRange> Lines);
  // Line R (one of Lines) as ProjectLine draws it; Closed joins its last
  // point to its first.
  void Project(const TMapCalibration& Calib, const TOverlayView& View, TPointRange R, double Margin,
               bool Closed, std::vector<TViewPath>& Out, bool Measure = true);
  // How often the positions went through the calibration (for tests).
  std::size_t Conversions() const { return conversions_; }
  void Clear();

 private:
  struct TLevel {
    std::vector<uint32_t> Index;
    std::vector<TPixelChunk> Chunks;
  };
  const TLevel& Level(int L);
  void MakeChunks(TLevel& Level) const;

  std::span<const double> lat_, long_;
  std::vector<double> x_, y_;
  uint64_t hash_ = 0;
  std::size_t size_ = 0;
  std::optional<TCalibStamp> stamp_;
  std::vector<TPointRange> lines_;
  std::vector<uint8_t> ends_;  // 1: first point of a line, 2: last, 3: both
  std::vector<std::optional<TLevel>> levels_;
  std::size_t conversions_ = 0;
};

}  // namespace marovia::render
