// Lines and rings of positions turned into view pixels for drawing: one
// batch conversion through the calibration, densified where the map bends
// a segment, clipped to the view, simplified for the magnification.
//
// What holds, in view pixels:
//   - every drawn piece lies within kDensifyTolerance of the conversion of
//     each position of its segment taken one by one (the segment runs
//     straight in latitude and longitude, the short way round across 180
//     degrees), measured at the quarter points of every piece at every
//     depth; a segment whose conversion jumps (a map that ends at 180
//     degrees, a fit that fails in between) is broken, never bridged;
//   - simplification moves the drawn line by less than kSimplifyTolerance,
//     so the line drawn before rounding stays within 0.5 pixel of the one
//     the per-point conversion gives;
//   - clipping keeps what lies within Margin of the view, so that the
//     coordinates handed to the canvas stay small whatever the positions.
//
// Cost: one batch conversion per point, in batches of a few thousand;
// segments shorter than the view's straight length or far from the view
// are never densified, so a long track costs about its points, and
// densification follows only the pieces near the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "marovia/geomap/map_calibration.h"

namespace marovia::render {

inline constexpr double kDensifyTolerance = 0.25;
inline constexpr double kSimplifyTolerance = 0.25;

struct TViewPoint {
  double X = 0, Y = 0;
};

// Image pixels to view pixels, unrounded: image pixel (Left, Top) at the
// view's top-left corner, Magnify view pixels per image pixel.
struct TOverlayView {
  double Left = 0, Top = 0;
  double Magnify = 1;
  int Width = 0, Height = 0;
  // Segments shorter than this (view pixels) are taken as straight: the
  // calibration bends none that short visibly here (StraightLength).
  double Straight = 1;
  TViewPoint ToView(double X, double Y) const {
    return TViewPoint{(X - Left) * Magnify, (Y - Top) * Magnify};
  }
};

// A piece of a line in view pixels. Start is its distance along the whole
// line from the line's first point, so that a dash pattern keeps its place
// on the line when the view moves.
struct TViewPath {
  std::vector<TViewPoint> Points;
  double Start = 0;
};

// The longest segment (a power of two from 2 to 1024 view pixels, else 1)
// that the calibration bends by less than a quarter of kDensifyTolerance
// anywhere it is tried: from 3 x 3 places of the view in four directions.
// Bending grows with the square of a segment's length, so shorter ones
// bend less; it spares the densification's checks on the many short
// segments of a dense track.
double StraightLength(const TMapCalibration& Calib, const TOverlayView& View);

// The line through the positions Lat[i], Long[i] (degrees, WGS 84) as the
// pieces that lie within Margin view pixels of the view, appended to Out.
// Positions the calibration cannot convert break the line. Measure: the
// pieces' Start is kept (for dashes); without it Start is that of the
// pieces' clipped segments only, and the line costs no square roots.
void ProjectLine(const TMapCalibration& Calib, const TOverlayView& View,
                 std::span<const double> Lat, std::span<const double> Long, double Margin,
                 std::vector<TViewPath>& Out, bool Measure = true);

// A line whose positions went through the calibration before: image
// pixels X[i], Y[i] of the positions Lat[i], Long[i] (X NaN where the
// calibration gives none), drawn through the points Index lists (ascending
// point numbers: all of a line's points, or those one level of its
// simplification keeps, see overlay_line_cache.h). Chunks, one per
// kChunkPoints entries of Index, let the line skip stretches far from the
// view without looking at their points.
struct TPixelChunk {
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;  // box of the chunk's points (image pixels)
  double LongestStep = 0;                 // the longest segment inside it
  double Length = 0;                      // of the segments inside it
  bool Breaks = false;                    // holds a point that did not convert
};

struct TPixelLine {
  static constexpr std::size_t kChunkPoints = 256;
  std::span<const double> Lat, Long, X, Y;
  std::span<const uint32_t> Index;
  std::span<const TPixelChunk> Chunks;
};

// The entries From..To (positions in Index) of Line as ProjectLine draws
// them (densified from the positions where the view bends a segment,
// clipped to the view grown by Margin), thinned in the view by Tolerance
// view pixels; Closed adds the segment back to the first entry.
void ProjectPixelLine(const TMapCalibration& Calib, const TOverlayView& View,
                      const TPixelLine& Line, std::size_t From, std::size_t To, double Margin,
                      double Tolerance, bool Closed, std::vector<TViewPath>& Out, bool Measure);

// The closed ring through the positions, clipped as a polygon to the view
// grown by Margin: the vertices of the part that lies inside (empty when
// none does). Positions that cannot be converted are left out.
std::vector<TViewPoint> ProjectRing(const TMapCalibration& Calib, const TOverlayView& View,
                                    std::span<const double> Lat, std::span<const double> Long,
                                    double Margin);

// The densified line alone, before clipping and simplification: view
// points, a NaN X where the line breaks. Exposed for the measurement of
// its error.
std::vector<TViewPoint> DensifyLine(const TMapCalibration& Calib, const TOverlayView& View,
                                    std::span<const double> Lat, std::span<const double> Long,
                                    double Margin, bool Closed = false);

// Points of Path that the line needs to stay within Tolerance of it: the
// first, every point at least Tolerance from the last kept, and the last.
void SimplifyPath(std::vector<TViewPoint>& Path, double Tolerance);

// The pieces of a line Pattern cuts into dashes: on and off lengths in
// view pixels, repeating, counted from the line's start.
std::vector<TViewPath> DashPaths(const std::vector<TViewPath>& Paths,
                                 std::span<const double> Pattern);

// Distance from P to the segment A-B.
double SegmentDistance(TViewPoint P, TViewPoint A, TViewPoint B);

}  // namespace marovia::render
