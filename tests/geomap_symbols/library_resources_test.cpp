// The library's own embedded resources.
#include <gtest/gtest.h>

#include "marovia/geomap/library_resources.h"
#include "marovia/platform/graphics.h"

namespace marovia {
namespace {

TEST(LibraryResourcesTest, CursorsHaveTheirSizesAndHotSpots) {
  HCURSOR zoom = LoadCursorW(HInstance(), "CURGEOZOOM");
  HCURSOR hand = LoadCursorW(HInstance(), "CURGEOHAND");
  EXPECT_EQ(zoom->Width, 32);
  EXPECT_EQ(zoom->Height, 32);
  EXPECT_EQ(zoom->HotSpot, (TPoint{6, 6}));
  EXPECT_EQ(hand->Width, 32);
  EXPECT_EQ(hand->Height, 32);
  EXPECT_EQ(hand->HotSpot, (TPoint{0, 0}));
  EXPECT_THROW(LoadCursorW(HInstance(), "CURGEOARROW"), EResNotFound);
}

TEST(LibraryResourcesTest, ButtonBitmapsAre40By20At8Bits) {
  for (const char* name : {"POINTR", "ZOOMIN"}) {
    TBitmap b;
    LoadBitmapResource(HInstance(), name, b);
    EXPECT_EQ(b.Width(), 40) << name;
    EXPECT_EQ(b.Height(), 20) << name;
    EXPECT_EQ(b.PixelFormat(), pf8bit) << name;
    TBitmap same;
    LoadBitmapResource(name, same);  // found among all registered modules
    EXPECT_EQ(same.Width(), 40);
  }
}

}  // namespace
}  // namespace marovia
