// Adding, replacing, deleting and updating items, and reading polygons.
#include <cmath>
#include <functional>
#include <limits>

#include "geodb_test_support.h"

namespace marovia::testing {
namespace {

using GeoDBItem = GeoDBTest;

TEST_F(GeoDBItem, NothingHappensWithoutDatabase) {
  EXPECT_EQ(AddTownAt("A", 1, 1), -1);
  EXPECT_EQ(AddBorderOf("B", {{1, 1}}), -1);
  db_->DeleteData(1);
  TgdbPolygon p;
  EXPECT_FALSE(db_->RetrievePolygon(1, p));
  EXPECT_EQ(db_->NumEntries(), 0);
}

TEST_F(GeoDBItem, PolygonBoxComesFromItsPointsNotFromTheArguments) {
  Open();
  const TgdbPolygon poly = {{10, 20}, {12, 18}, {11, 25}};
  const int e = db_->AddBorder("B", poly, true, 0, 0, -1, -2, -3, -4, 0, 0, 0);
  const TgdbData r = db_->Data(e);
  EXPECT_EQ(r.LatLow, 10.0f);
  EXPECT_EQ(r.LatHigh, 12.0f);
  EXPECT_EQ(r.LongLow, 18.0f);
  EXPECT_EQ(r.LongHigh, 25.0f);
  EXPECT_EQ(r.NumPoints, 3);
  EXPECT_EQ(r.Closed, 1);
  EXPECT_EQ(r.BlobOffset, 260);
  EXPECT_EQ(fs::file_size(File(".zylgdd")), 260u + 24u);

  TgdbPolygon back;
  ASSERT_TRUE(db_->RetrievePolygon(e, back));
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[2].Latit, 11.0f);
  EXPECT_EQ(back[2].Longit, 25.0f);
}

TEST_F(GeoDBItem, EmptyPolygonKeepsInvertedBoxAndEndOffset) {
  Open();
  AddBorderOf("x", {{1, 1}});
  const int e = AddBorderOf("empty", {});
  const TgdbData r = db_->Data(e);
  EXPECT_EQ(r.NumPoints, 0);
  EXPECT_EQ(r.BlobOffset, 268);
  EXPECT_EQ(r.LatLow, 90.0f);
  EXPECT_EQ(r.LatHigh, -90.0f);
  EXPECT_EQ(r.LongLow, 180.0f);
  EXPECT_EQ(r.LongHigh, -180.0f);
  TgdbPolygon back{{5, 5}};
  EXPECT_TRUE(db_->RetrievePolygon(e, back));
  EXPECT_TRUE(back.empty());
}

TEST_F(GeoDBItem, KindsSetClosedFlagAsTheirAdderSays) {
  Open();
  const TgdbPolygon p = {{1, 1}, {2, 2}};
  EXPECT_EQ(db_->Data(db_->AddLake("l", p, 0, 0, 0, 0, 0, 0, 0, 0, 0)).Closed, 1);
  EXPECT_EQ(db_->Data(db_->AddRiver("r", p, 0, 0, 0, 0, 0, 0, 0, 0, 0)).Closed, 0);
  EXPECT_EQ(db_->Data(db_->AddRoad("r", p, 0, 0, 0, 0, 0, 0, 0, 0, 0)).ItemKind, gitRoad);
  EXPECT_EQ(db_->Data(db_->AddRoute("r", p, 0, 0, 0, 0, 0, 0, 0, 0, 0)).ItemKind, gitRoute);
  EXPECT_EQ(db_->Data(db_->AddCity("c", p, false, 0, 0, 0, 0, 0, 0, 0, 0, 0)).Closed, 0);
}

TEST_F(GeoDBItem, TownHasNoBlockAndAPointBox) {
  Open();
  const int e = db_->AddTown("Innsbruck", 45123.25, 5, TSCoords{47.26f, 11.39f}, 574, 4, -8);
  const TgdbData r = db_->Data(e);
  EXPECT_EQ(r.BlobOffset, -1);
  EXPECT_EQ(r.LatLow, 47.26f);
  EXPECT_EQ(r.LatHigh, 47.26f);
  EXPECT_EQ(r.LongLow, 11.39f);
  EXPECT_EQ(r.LongHigh, 11.39f);
  EXPECT_EQ(r.ClassFlag, 4);
  EXPECT_EQ(r.Tag, -8);
  EXPECT_EQ(r.StateFlag, 5);
  EXPECT_EQ(r.Date, 45123.25);
  EXPECT_EQ(fs::file_size(File(".zylgdd")), 260u);
  TgdbPolygon p;
  EXPECT_FALSE(db_->RetrievePolygon(e, p));
}

TEST_F(GeoDBItem, IdsAreStableAndNeverReusedWhileEntriesMove) {
  Open();
  EXPECT_EQ(AddTownAt("one", 0, 0), 1);
  EXPECT_EQ(AddTownAt("two", 0, 0), 2);
  EXPECT_EQ(AddTownAt("three", 0, 0), 3);
  for (int e = 1; e <= 3; ++e) EXPECT_EQ(db_->Data(e).ItemId, e);
  db_->DeleteData(1);
  EXPECT_EQ(db_->Data(1).Name.Text(), "three");
  EXPECT_EQ(AddTownAt("four", 0, 0), 3);
  EXPECT_EQ(db_->Data(3).ItemId, 4);
  EXPECT_EQ(db_->HighestID(), 4);
  Reopen();
  EXPECT_EQ(db_->Data(1).Name.Text(), "three");
  EXPECT_EQ(db_->Data(3).ItemId, 4);
  EXPECT_EQ(db_->SearchForItemID(3), 1);
}

TEST_F(GeoDBItem, ReplaceKeepsIdAndEntryAndAppendsTheNewBlock) {
  Open();
  AddTownAt("a", 0, 0);
  const int e = db_->AddCity("City", {{1, 1}, {2, 2}}, true, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  AddTownAt("b", 0, 0);
  const auto size0 = fs::file_size(File(".zylgdd"));
  db_->ReplaceCity(e, "Bigger city", {{0, 0}, {3, 4}, {5, 1}}, false, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(fs::file_size(File(".zylgdd")), size0 + 24);
  const TgdbData r = db_->Data(e);
  EXPECT_EQ(r.ItemId, 2);
  EXPECT_EQ(r.Name.Text(), "Bigger city");
  EXPECT_EQ(r.LatHigh, 5.0f);
  EXPECT_EQ(r.NumPoints, 3);
  EXPECT_EQ(db_->HighestID(), 3);
  EXPECT_EQ(db_->IxLatHigh(3).index, e - 1);  // re-sorted to the top
  EXPECT_EQ(db_->GetClosestLatHighIx(5), 3);

  db_->ReplaceTown(e, "Town now", 0, 0, TSCoords{-5, -6}, 0, 0, 0);
  EXPECT_EQ(db_->Data(e).BlobOffset, -1);
  EXPECT_EQ(db_->IxLatLow(1).index, e - 1);
  db_->ReplaceTown(9, "none", 0, 0, TSCoords{0, 0}, 0, 0, 0);  // out of range: nothing
  EXPECT_EQ(db_->NumEntries(), 3);
}

TEST_F(GeoDBItem, NamesAreCutTo59CharactersAndPaddedWithSpaces) {
  Open();
  const int e = AddTownAt(std::string(64, 'a'), 0, 0);
  EXPECT_EQ(db_->Data(e).Name.Text(), std::string(59, 'a'));
  const int f = AddTownAt("€uro", 0, 0);
  EXPECT_EQ(db_->Data(f).Name.Text(), "€uro");
  EXPECT_EQ(db_->Data(f).Name.Len, 4);  // € is one byte (0x80)
  EXPECT_EQ(db_->Data(f).Name.Data[0], '\x80');
  EXPECT_EQ(db_->Data(f).Name.Data[4], ' ');
}

TEST_F(GeoDBItem, PolygonProgressIsReportedPerPointAndEnds100) {
  Open();
  std::vector<int> got;
  db_->OnPercentDone = [&](TObject* sender, int p) {
    EXPECT_EQ(sender, db_.get());
    got.push_back(p);
  };
  AddBorderOf("b", {{0, 0}, {1, 1}, {2, 2}, {3, 3}});
  EXPECT_EQ(got, (std::vector<int>{0, 0, 25, 50, 75, 100}));
  got.clear();
  db_->SetOnPercDoneEnabled(false);
  AddBorderOf("b", {{0, 0}});
  EXPECT_TRUE(got.empty());
  db_->SetOnPercDoneEnabled(true);
  TgdbPolygon p;
  db_->RetrievePolygon(1, p);
  EXPECT_EQ(got, (std::vector<int>{0, 25, 50, 75, 100, 100}));
}

TEST_F(GeoDBItem, UpdateBasicDataResortsIndexesAndKeepsTheId) {
  Open();
  AddTownAt("a", 1, 1);
  AddTownAt("b", 2, 2);
  TgdbData r = db_->Data(1);
  r.ItemId = 2;  // would duplicate an ID: ignored
  r.LatLow = r.LatHigh = 9;
  r.Tag = 42;
  r.Name.SetText("renamed", 59, ' ');
  db_->UpdateBasicData(1, r);
  EXPECT_EQ(db_->Data(1).ItemId, 1);
  EXPECT_EQ(db_->Data(1).Tag, 42);
  EXPECT_EQ(db_->IxLatLow(2).index, 0);
  EXPECT_EQ(db_->IxLatHigh(2).LLValue, 9.0f);
  Reopen();
  EXPECT_EQ(db_->Data(1).Name.Text(), "renamed");
  EXPECT_EQ(db_->IxLatLow(2).index, 0);
  EXPECT_EQ(db_->SearchForItemID(2), 2);
}

// Regression: an item with a NaN or infinite bound or point was stored where
// no area query could find it. Every writer refuses it before touching the
// files; a file that already holds one still opens.
TEST_F(GeoDBItem, NonFinitePositionsAreRefusedAndStoredOnesStillOpen) {
  Open();
  AddTownAt("t", 1, 1);
  AddBorderOf("b", {{1, 1}, {2, 2}});
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* what;
    std::function<void()> write;
  } writes[] = {
      {"town at NaN", [&] { AddTownAt("x", nan, 1); }},
      {"town at infinity", [&] { AddTownAt("x", 1, -inf); }},
      {"border with a NaN point",
       [&] {
         AddBorderOf("x", {{1, 1}, {nan, 2}});
       }},
      {"border replaced by an infinite point",
       [&] {
         db_->ReplaceBorder(2, "x", {{inf, 1}}, true, 0, 0, 0, 0, 0, 0, 0, 0, 0);
       }},
      {"town replaced at NaN",
       [&] {
         db_->ReplaceTown(1, "x", 0, 0, TSCoords{1, nan}, 0, 0, 0);
       }},
      {"update with a NaN bound",
       [&] {
         TgdbData r = db_->Data(1);
         r.LongHigh = nan;
         db_->UpdateBasicData(1, r);
       }},
  };
  const auto gds = fs::file_size(File(".zylgds"));
  const auto gdd = fs::file_size(File(".zylgdd"));
  for (const auto& w : writes) {
    EXPECT_THROW(w.write(), EZYLGeoDBError) << w.what;
    EXPECT_EQ(db_->NumEntries(), 2) << w.what;
    EXPECT_EQ(db_->Data(1).LatLow, 1.0f) << w.what;
    EXPECT_EQ(fs::file_size(File(".zylgds")), gds) << w.what;
    EXPECT_EQ(fs::file_size(File(".zylgdd")), gdd) << w.what;
  }
  TgdbData stored = db_->Data(1);
  stored.LatLow = nan;
  db_->SetDBName("");
  PatchRecord(File(".zylgds"), 1, stored);
  Open();
  EXPECT_EQ(db_->NumEntries(), 2);
  EXPECT_TRUE(std::isnan(db_->Data(1).LatLow));
}

}  // namespace
}  // namespace marovia::testing
