// Area queries at the edge of what doubles hold exactly.
#include "geodb_test_support.h"

namespace marovia::testing {
namespace {

using GeoDBAreaRounding = GeoDBTest;

// Regression: an item's width was computed from its singles in double
// precision and rounded down (-100 .. 1e-8 spans more bits than a double
// has), so a rectangle touching the item's western edge missed it.
TEST_F(GeoDBAreaRounding, ItemWhoseWidthRoundsIsFoundByTouchingRectangle) {
  Open();
  for (const auto& [lo, hi] : {std::pair{-100.0f, 1e-8f}, std::pair{-8.40766375e21f, 7e-45f}}) {
    const int entry = AddBorderOf("wide", {{lo, lo}, {hi, hi}});
    EXPECT_EQ(db_->FindItemsInArea(lo, lo, lo, lo), std::vector<int>{entry}) << lo << " " << hi;
    EXPECT_EQ(db_->FindItemsInArea(hi, hi, hi, hi), std::vector<int>{entry}) << lo << " " << hi;
    db_->DeleteData(entry);
  }
}

}  // namespace
}  // namespace marovia::testing
