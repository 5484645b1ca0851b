// The text of geoview's status line.
#include <gtest/gtest.h>

#include "status_line.h"

namespace marovia::geoview {
namespace {

TEST(StatusLine, ShowsPositionUtmMagnificationAndCaption) {
  const std::string s =
      StatusLine(TPointerPosition{47.37, 8.54}, gelWGS84, 0.5, "Zurich and Lake Constance");
  EXPECT_EQ(s.rfind("47\u00B022.20' N  8\u00B032.40' E    UTM 32T ", 0), 0u) << s;
  // Zurich lies about 465 km east and 5246 km north in zone 32.
  EXPECT_NE(s.find(" E 5246"), std::string::npos) << s;
  EXPECT_NE(s.find("UTM 32T 465"), std::string::npos) << s;
  // The MGRS reference of the same point, to the metre.
  EXPECT_NE(s.find("MGRS 32TMT6527046384"), std::string::npos) << s;
  EXPECT_NE(s.find("x0.5    Zurich and Lake Constance"), std::string::npos) << s;
}

TEST(StatusLine, LeavesOutWhatIsNotKnown) {
  EXPECT_EQ(StatusLine(std::nullopt, gelWGS84, 1, "Alps"), "x1    Alps");
  // Beyond 84 N there is no UTM zone; the south gets its own letters.
  const std::string north = StatusLine(TPointerPosition{85, 10}, gelWGS84, 2, "");
  EXPECT_NE(north.find("UTM -"), std::string::npos) << north;
  EXPECT_NE(north.find("MGRS ZAB9645452981"), std::string::npos) << north;  // polar cap
  const std::string south = StatusLine(TPointerPosition{-33.9, -18.4}, gelWGS84, 2, "");
  EXPECT_EQ(south.rfind("33\u00B054.00' S  18\u00B024.00' W", 0), 0u) << south;
  // Control bytes of a caption do not reach the screen.
  EXPECT_EQ(StatusLine(std::nullopt, gelWGS84, 1,
                       "a\x1b"
                       "b"),
            "x1    a\\x1Bb");
}

TEST(StatusLine, GpsPartTable) {
  TPositionFix fix;
  fix.Mode = TFixMode::Fix3D;
  fix.Speed = 5.14444;  // 10 knots
  fix.SatellitesUsed = 8;
  TPositionFix bare;  // nothing but the position
  TPositionFix one = fix;
  one.Mode = TFixMode::Fix2D;
  one.SatellitesUsed = -1;
  one.SatellitesVisible = 1;
  const struct {
    std::optional<TPositionFix> Fix;
    std::optional<TSourceState> State;
    std::string Why, Want;
  } cases[] = {
      {std::nullopt, std::nullopt, "", ""},
      {std::nullopt, TSourceState::Connecting, "", "GPS connecting"},
      {std::nullopt, TSourceState::Receiving, "", "GPS receiving"},
      {fix, TSourceState::Receiving, "", "GPS 3D fix, 18.5 km/h, 8 satellites"},
      {one, TSourceState::Receiving, "", "GPS 2D fix, 18.5 km/h, 1 satellite"},
      {bare, TSourceState::Receiving, "", "GPS fix"},
      {fix, TSourceState::Lost, "gpsd closed the connection",
       "GPS lost: gpsd closed the connection"},
      {fix, TSourceState::Stopped, "", "GPS stopped"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Want, GpsStatus(c.Fix, c.State, c.Why));
}

}  // namespace
}  // namespace marovia::geoview
