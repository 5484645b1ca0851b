// TSLine: a straight line in the plane and its clipping to a rectangle.
#pragma once

#include "marovia/platform/classes.h"

namespace marovia {

// The infinite straight line through two points. Create(nil) is the default
// constructor; until LineFrom2Points is called the line is the degenerate
// line through (0, 0).
class TSLine : public TObject {
 public:
  TSLine() = default;
  std::string ClassName() const override { return "TSLine"; }

  // The line through (x1, y1) and (x2, y2). Two equal points give a
  // degenerate line that is just that point.
  void LineFrom2Points(double x1, double y1, double x2, double y2);

  // The part of the line inside the closed rectangle xLo..xHi, yLo..yHi
  // (swapped bounds are put in order): true with its end points, ordered
  // in the direction from the first defining point to the second; end
  // points on the border lie exactly on it. A line touching only a corner
  // gives two equal end points. False when the line misses the rectangle
  // (the outputs are then unchanged), and for NaN input. A degenerate line
  // gives its point when that lies inside.
  bool ClipBox(double xLo, double yLo, double xHi, double yHi, double& x1, double& y1, double& x2,
               double& y2) const;

 private:
  double px_ = 0, py_ = 0;  // a point of the line
  double dx_ = 0, dy_ = 0;  // direction (0, 0 for a degenerate line)
};

}  // namespace marovia
