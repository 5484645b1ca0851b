// The platform's cursors as SDL takes them.
#include <gtest/gtest.h>

#include "cursor_masks.h"
#include "marovia/geoatlas/geoatlas.h"
#include "marovia/platform/forms.h"

namespace marovia::geoview {
namespace {

bool Bit(const std::vector<uint8_t>& Bits, int Stride, int X, int Y) {
  return (Bits[static_cast<size_t>(Y * Stride + X / 8)] >> (7 - X % 8)) & 1;
}

TEST(CursorMasks, MapsEachPixelKindAndPadsToWholeBytes) {
  // One row of ten pixels: transparent, black, white, inverted, then
  // transparent again.
  TCursorImage c;
  c.Width = 10;
  c.Height = 1;
  c.Stride = 2;
  c.HotSpot = TPoint{3, 0};
  c.AndMask = {0b10011111, 0b11000000};  // AND: 1 0 0 1, then 1 to the end
  c.XorMask = {0b00110000, 0b00000000};  // XOR: 0 0 1 1, then 0
  const TSdlCursorBits b = SdlCursorBits(c);
  ASSERT_EQ(b.Width, 16);
  ASSERT_EQ(b.Height, 1);
  EXPECT_EQ(b.HotX, 3);
  struct Expect {
    bool Data, Mask;
  };
  const Expect kinds[] = {{false, false}, {true, true}, {false, true}, {true, false}};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(Bit(b.Data, 2, x, 0), kinds[x].Data) << x;
    EXPECT_EQ(Bit(b.Mask, 2, x, 0), kinds[x].Mask) << x;
  }
  for (int x = 4; x < 16; ++x) {  // the picture's rest and the padding
    EXPECT_FALSE(Bit(b.Data, 2, x, 0)) << x;
    EXPECT_FALSE(Bit(b.Mask, 2, x, 0)) << x;
  }
}

TEST(CursorMasks, ConvertsTheAtlasCursorsAndRefusesShortMasks) {
  TForm form(nullptr);
  TGeoAtlas atlas(&form);  // installs its cursors
  const TSdlCursorBits zoom = SdlCursorBits(*Screen().Cursors(crGeoZoom));
  EXPECT_EQ(zoom.Width, 32);
  EXPECT_EQ(zoom.Height, 32);
  EXPECT_EQ(zoom.HotX, 6);
  EXPECT_EQ(zoom.HotY, 6);
  EXPECT_EQ(zoom.Data.size(), 32u * 4);
  // Some pixel is drawn, some is transparent.
  int drawn = 0;
  for (const uint8_t m : zoom.Mask) drawn += __builtin_popcount(m);
  EXPECT_GT(drawn, 0);
  EXPECT_LT(drawn, 32 * 32);

  EXPECT_EQ(SdlCursorBits(*Screen().Cursors(crHandPoint)).Width, 0);  // a system cursor
  TCursorImage shortMasks;
  shortMasks.Width = shortMasks.Height = 32;
  shortMasks.Stride = 4;
  shortMasks.AndMask.assign(8, 0);
  shortMasks.XorMask.assign(128, 0);
  EXPECT_EQ(SdlCursorBits(shortMasks).Width, 0);
}

}  // namespace
}  // namespace marovia::geoview
