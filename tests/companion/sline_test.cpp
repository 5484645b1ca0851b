// TSLine::ClipBox: the infinite line through two points against a box.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "marovia/zylmath/sline.h"

using namespace marovia;

namespace {

struct Clip {
  bool ok;
  double x1, y1, x2, y2;
};

Clip ClipLine(double ax, double ay, double bx, double by, double xLo = 0, double yLo = 0,
              double xHi = 10, double yHi = 10) {
  TSLine l;
  l.LineFrom2Points(ax, ay, bx, by);
  Clip c{false, -99, -99, -99, -99};
  c.ok = l.ClipBox(xLo, yLo, xHi, yHi, c.x1, c.y1, c.x2, c.y2);
  return c;
}

void ExpectClip(const Clip& c, double x1, double y1, double x2, double y2) {
  ASSERT_TRUE(c.ok);
  EXPECT_NEAR(c.x1, x1, 1e-12);
  EXPECT_NEAR(c.y1, y1, 1e-12);
  EXPECT_NEAR(c.x2, x2, 1e-12);
  EXPECT_NEAR(c.y2, y2, 1e-12);
}

}  // namespace

TEST(TSLineClipBox, ExtendsTheLineToTheBorderInPointOrder) {
  ExpectClip(ClipLine(2, 3, 4, 5), 0, 1, 9, 10);       // both points inside: the whole chord
  ExpectClip(ClipLine(4, 5, 2, 3), 9, 10, 0, 1);       // reversed order
  ExpectClip(ClipLine(-20, -8, 30, 17), 0, 2, 10, 7);  // crosses left and right edges
  ExpectClip(ClipLine(-8, -20, 17, 30), 2, 0, 7, 10);  // crosses bottom and top edges
  ExpectClip(ClipLine(-5, 20, 20, -5), 5, 10, 10, 5);  // crosses top and right edges
  ExpectClip(ClipLine(-5, 12, 12, -5), 0, 7, 7, 0);    // crosses left and bottom edges
}

TEST(TSLineClipBox, AxisParallelLines) {
  ExpectClip(ClipLine(5, 1, 5, 2), 5, 0, 5, 10);
  ExpectClip(ClipLine(3, 7, -1, 7), 10, 7, 0, 7);
  ExpectClip(ClipLine(0, 10, 1, 10), 0, 10, 10, 10);  // on the border
  EXPECT_FALSE(ClipLine(20, 0, 20, 5).ok);
  EXPECT_FALSE(ClipLine(0, -1, 5, -1).ok);
}

TEST(TSLineClipBox, MissesAndTouches) {
  const Clip miss = ClipLine(0, 30, 1, 31);
  EXPECT_FALSE(miss.ok);
  EXPECT_EQ(miss.x1, -99);                         // outputs untouched
  ExpectClip(ClipLine(-1, 1, 1, -1), 0, 0, 0, 0);  // touches a corner only
}

TEST(TSLineClipBox, DegenerateLineIsItsPoint) {
  ExpectClip(ClipLine(3, 4, 3, 4), 3, 4, 3, 4);
  EXPECT_FALSE(ClipLine(11, 4, 11, 4).ok);
}

TEST(TSLineClipBox, SwappedBoundsHugeAndNaNInput) {
  ExpectClip(ClipLine(2, 3, 4, 5, 10, 10, 0, 0), 0, 1, 9, 10);
  // End points far outside the box, as zoomed grid lines produce.
  ExpectClip(ClipLine(-1e300, 5, 1e300, 5), 0, 5, 10, 5);
  const Clip c = ClipLine(-1e12, -1e12 + 0.5, 1e12, 1e12 + 0.5);
  ASSERT_TRUE(c.ok);
  EXPECT_GE(c.x1, 0);
  EXPECT_LE(c.y2, 10);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(ClipLine(nan, 0, 1, 1).ok);
  EXPECT_FALSE(ClipLine(0, 0, 1, 1, 0, 0, nan, 10).ok);
}
