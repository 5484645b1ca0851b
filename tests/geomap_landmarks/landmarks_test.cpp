// The landmark list: adding with the template, the veto, the storage
// blocks, finding, the two removal orders and the class rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"

namespace marovia {
namespace {

class CountingMap : public TGeoMap {
 public:
  using TGeoMap::TGeoMap;
  void Paint() override { ++paints; }
  int paints = 0;
};

// Landmarks named by their identifier, at distinct positions along the
// equator (longitude = index).
void AddNamed(TGeoMap& map, const std::vector<std::string>& names, uint8_t cls = 0) {
  for (const std::string& n : names)
    map.AddLandMark(0, map.NumLandMarks() + 1.0, 0, lmCross, cls, n, 0, 0, clBlack, clWhite, 3,
                    false, 0, 0);
}

std::string Order(const TGeoMap& map) {
  std::string s;
  for (int i = 1; i <= map.NumLandMarks(); ++i) s += map.LandMarkData(i).Identifier;
  return s;
}

TEST(GeoMapLandmarks, AddingTakesUnsetFieldsFromTheTemplate) {
  TGeoMap map(nullptr);
  TLandMark tpl = map.LandMarkDefault();
  tpl.ClassFlag = 7;
  tpl.Caption.FontName = "DejaVu Sans";
  map.SetLandMarkDefault(tpl);

  map.AddLandMark(47.5, 11.25, 800, "Innsbruck", 10, clRed);
  const TLandMark lm = map.LandMarkData(1);
  EXPECT_EQ(lm.Latitude, 47.5);
  EXPECT_EQ(lm.Longitude, 11.25);
  EXPECT_EQ(lm.Altitude, 800);
  EXPECT_EQ(lm.Caption.Text, "Innsbruck");
  EXPECT_EQ(lm.Caption.Size, 10);
  EXPECT_EQ(lm.Caption.FGColor, clRed);
  EXPECT_EQ(lm.ClassFlag, 7);
  EXPECT_EQ(lm.Caption.FontName, "DejaVu Sans");
  EXPECT_EQ(lm.SymbolProps, tpl.SymbolProps);

  map.AddLandMark(1, 2, 3, lmTriangle, 9, "id", 45000.5, -4, clRed, clBlue, 5, true, 90, 20);
  const TLandMark full = map.LandMarkData(2);
  EXPECT_EQ(full.SymbolProps.Kind, lmTriangle);
  EXPECT_EQ(full.ClassFlag, 9);
  EXPECT_EQ(full.Time, 45000.5);
  EXPECT_EQ(full.Tag, -4);
  EXPECT_EQ(full.SymbolProps.Direction, 90);
  EXPECT_EQ(full.Caption, tpl.Caption);  // the caption comes from the template
}

TEST(GeoMapLandmarks, TextsAreCutToTheirLimitsInCharacters) {
  TGeoMap map(nullptr);
  map.AddLandMark(0, 0, 0, std::string("ÄÖÜäöüßabcdefghijklm"), 0.0);
  EXPECT_EQ(map.LandMarkData(1).Identifier, "ÄÖÜäöüßabcdefgh");  // 15 characters
  map.AddLandMark(0, 0, 0, std::string(100, 'x'), 8, clBlack);
  EXPECT_EQ(map.LandMarkData(2).Caption.Text, std::string(80, 'x'));
  TLandMark lm = map.LandMarkData(1);
  lm.Identifier = std::string(20, 'y');
  map.SetLandMarkData(1, lm);
  EXPECT_EQ(map.LandMarkData(1).Identifier, std::string(15, 'y'));
}

TEST(GeoMapLandmarks, VetoedAdditionAddsNothingAndDoesNotRepaint) {
  CountingMap map(nullptr);
  std::vector<TLandMarkAction> seen;
  map.OnLandMarkAction = [&](TObject* sender, bool& allowed, TLandMarkAction action,
                             const TLandMark& lm) {
    EXPECT_EQ(sender, &map);
    EXPECT_TRUE(allowed);
    EXPECT_EQ(lm.Latitude, 10);
    seen.push_back(action);
    allowed = false;
  };
  const int before = map.paints;
  map.AddLandMark(10, 20, 0);
  EXPECT_EQ(map.NumLandMarks(), 0);
  EXPECT_EQ(map.paints, before);
  EXPECT_EQ(seen, (std::vector<TLandMarkAction>{lmaAdd}));
}

TEST(GeoMapLandmarks, StorageGrowsInBlocksAndShrinksWhenEmptied) {
  TGeoMap map(nullptr);
  map.SetSuppressPaint(true);
  for (int i = 0; i < 1000; ++i) map.AddLandMark(0, i, 0);
  EXPECT_EQ(map.LandMarkCapacity(), 1000);
  map.AddLandMark(0, 1000, 0);
  EXPECT_EQ(map.LandMarkCapacity(), 2000);
  for (int i = 1001; i < 2001; ++i) map.AddLandMark(0, i, 0);
  EXPECT_EQ(map.NumLandMarks(), 2001);
  EXPECT_EQ(map.LandMarkCapacity(), 3000);
  // Removals never shrink the storage until the list is empty.
  map.RemoveLandMark(0, 0, -1, 1500.5);
  EXPECT_EQ(map.NumLandMarks(), 500);
  EXPECT_EQ(map.LandMarkCapacity(), 3000);
  map.RemoveLandMark(0, 0, -1, 1e6);
  EXPECT_EQ(map.NumLandMarks(), 0);
  EXPECT_EQ(map.LandMarkCapacity(), 1000);
}

TEST(GeoMapLandmarks, SeveralRemovalsCompactFromBothEnds) {
  // B and D lie together away from A, C and E, and only they have class 5.
  struct Spot {
    const char* id;
    double lat, lon;
    uint8_t cls;
  };
  const Spot spots[] = {
      {"A", 0, 0, 0}, {"B", 10, 10, 5}, {"C", 0, 1, 0}, {"D", 10, 11, 5}, {"E", 0, 2, 0}};
  for (int how = 0; how < 3; ++how) {
    TGeoMap map(nullptr);
    for (const Spot& s : spots)
      map.AddLandMark(s.lat, s.lon, 0, lmCross, s.cls, s.id, 0, 0, clBlack, clWhite, 3, false, 0,
                      0);
    int32_t removed = 2;
    if (how == 0) removed = map.RemoveLandMark(10, 10.5, -1, 1);
    if (how == 1) removed = map.RemoveLandMark(TRectDouble{9, 11, 12, 9}, -1);
    if (how == 2) map.RemoveAllLandMarks(5);
    EXPECT_EQ(removed, 2) << how;
    EXPECT_EQ(Order(map), "AEC") << how;
    EXPECT_EQ(map.NumLandMarks(), 3);
  }
}

TEST(GeoMapLandmarks, SingleRemovalMovesTheLastIntoTheGap) {
  TGeoMap map(nullptr);
  AddNamed(map, {"A", "B", "C"});
  EXPECT_EQ(map.RemoveLandMark(1), 1);
  EXPECT_EQ(Order(map), "CB");
  EXPECT_EQ(map.RemoveLandMark(map.NumLandMarks()), 2);
  EXPECT_EQ(Order(map), "C");
  EXPECT_EQ(map.RemoveLandMark(5), 0);
  AddNamed(map, {"X", "Y"});
  map.RemoveLastLandMark();
  EXPECT_EQ(Order(map), "CX");
  // Nearest: X sits at longitude 2 (added when the list held one).
  EXPECT_EQ(map.RemoveLandMark(0.1, 2.2, -1), 2);
  EXPECT_EQ(Order(map), "C");
}

TEST(GeoMapLandmarks, FindingPrefersTheLowerPositionOnTies) {
  TGeoMap map(nullptr);
  map.AddLandMark(1, 1, 0);
  map.AddLandMark(-1, -1, 0);
  EXPECT_EQ(map.FindLandMark(0, 0, -1), 1);
  EXPECT_EQ(map.RemoveLandMark(0, 0, -1), 1);
  EXPECT_EQ(map.FindLandMark(1e6, 1e6, -1), 0);  // beyond the near limit
  EXPECT_EQ(TGeoMap(nullptr).FindLandMark(0, 0, -1), 0);
}

TEST(GeoMapLandmarks, DistancesDoNotWrapAroundTheAntimeridian) {
  TGeoMap map(nullptr);
  map.AddLandMark(0, 179.9, 0);
  EXPECT_EQ(map.RemoveLandMark(0, -179.9, -1, 359.7), 0);
  EXPECT_EQ(map.RemoveLandMark(0, -179.9, -1, 359.9), 1);
}

TEST(GeoMapLandmarks, ClassArgumentsOutsideTheRangeMeanEveryClass) {
  for (int cls : {-1, -5, 300}) {
    TGeoMap map(nullptr);
    AddNamed(map, {"A"}, 3);
    AddNamed(map, {"B"}, 200);
    EXPECT_EQ(map.FindLandMark(0, 2, cls), 2) << cls;
    EXPECT_EQ(map.RemoveLandMark(0, 0, cls, 10), 2) << cls;
  }
  TGeoMap map(nullptr);
  AddNamed(map, {"A"}, 3);
  AddNamed(map, {"B"}, 200);
  EXPECT_EQ(map.FindLandMark(0, 2, 3), 1);
  EXPECT_EQ(map.RemoveLandMark(0, 0, 200, 10), 1);
  EXPECT_EQ(Order(map), "A");
}

TEST(GeoMapLandmarks, EdgesOfRadiusAndRectangleDoNotCount) {
  CountingMap map(nullptr);
  AddNamed(map, {"A", "B"});
  map.SetHighLightLandMark(2);
  const int before = map.paints;
  EXPECT_EQ(map.RemoveLandMark(0, 1, -1, 0), 0);
  EXPECT_EQ(map.HighLightLandMark(), 0);  // reset although nothing went
  EXPECT_EQ(map.paints, before + 1);
  EXPECT_EQ(map.RemoveLandMark(TRectDouble{1, 1, 2, -1}, -1), 0);  // A and B on the edges
  EXPECT_EQ(map.NumLandMarks(), 2);
}

TEST(GeoMapLandmarks, RemovalsOnAnEmptyListDoAlmostNothing) {
  CountingMap map(nullptr);
  int before = map.paints;
  map.RemoveLastLandMark();
  EXPECT_EQ(map.paints, before + 1);  // only repaints
  before = map.paints;
  map.RemoveAllLandMarks(5);
  EXPECT_EQ(map.paints, before);
  AddNamed(map, {"A"});
  map.SetHighLightLandMark(1);
  before = map.paints;
  map.RemoveAllLandMarks(5);  // no landmark of class 5
  EXPECT_EQ(map.NumLandMarks(), 1);
  EXPECT_EQ(map.HighLightLandMark(), 0);
  EXPECT_EQ(map.paints, before + 1);
}

TEST(GeoMapLandmarks, RemovingEverythingAsksNobody) {
  TGeoMap map(nullptr);
  AddNamed(map, {"A", "B"});
  map.SetHighLightLandMark(2);
  int asked = 0;
  map.OnLandMarkAction = [&](TObject*, bool&, TLandMarkAction, const TLandMark&) { ++asked; };
  map.RemoveAllLandMarks();
  EXPECT_EQ(map.NumLandMarks(), 0);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(map.HighLightLandMark(), 2);  // not touched by this form
  EXPECT_EQ(map.LandMarkCapacity(), 1000);
}

TEST(GeoMapLandmarks, VetoedRemovalsStayInTheirPlaces) {
  TGeoMap map(nullptr);
  AddNamed(map, {"A", "B", "C", "D", "E"});
  std::string asked;
  map.OnLandMarkAction = [&](TObject*, bool& allowed, TLandMarkAction action, const TLandMark& lm) {
    EXPECT_EQ(action, lmaRemove);
    asked += lm.Identifier;
    allowed = lm.Identifier != "D";
  };
  EXPECT_EQ(map.RemoveLandMark(TRectDouble{1.5, 1, 4.5, -1}, -1), 2);  // B, C, D chosen
  EXPECT_EQ(asked, "BCD");                                             // ascending
  EXPECT_EQ(Order(map), "AED");
}

TEST(GeoMapLandmarks, HandlerCannotChangeTheListItIsAskedAbout) {
  TGeoMap map(nullptr);
  AddNamed(map, {"A"});
  map.OnLandMarkAction = [&](TObject*, bool&, TLandMarkAction, const TLandMark&) {
    map.RemoveAllLandMarks();
  };
  EXPECT_THROW(map.AddLandMark(1, 1, 1), EZYLGeoMapError);
  EXPECT_EQ(Order(map), "A");
  EXPECT_THROW(map.RemoveLandMark(1), EZYLGeoMapError);
  EXPECT_EQ(Order(map), "A");
  map.OnLandMarkAction = nullptr;
  map.AddLandMark(1, 1, 1);  // the guard is released after the error
  EXPECT_EQ(map.NumLandMarks(), 2);
}

TEST(GeoMapLandmarks, SetLandMarkDataIgnoresPositionsOutsideTheList) {
  CountingMap map(nullptr);
  AddNamed(map, {"A"});
  TLandMark lm = map.LandMarkData(1);
  lm.Identifier = "Z";
  const int before = map.paints;
  map.SetLandMarkData(0, lm);
  map.SetLandMarkData(2, lm);
  EXPECT_EQ(map.paints, before);
  map.SetLandMarkData(1, lm);
  EXPECT_EQ(Order(map), "Z");
  EXPECT_EQ(map.paints, before + 1);
}

}  // namespace
}  // namespace marovia
