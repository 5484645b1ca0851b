// The five indexes: sorted insertion, equal keys, removal and renumbering,
// lookups, rebuilding, searches by name and the area query.
#include <algorithm>
#include <random>

#include "geodb_test_support.h"

namespace marovia::testing {
namespace {

using GeoDBIndex = GeoDBTest;

std::vector<std::pair<float, int>> Keys(const TGeoDB& db, int ix) {
  std::vector<std::pair<float, int>> out;
  for (int i = 1; i <= db.NumEntries(); ++i) {
    const TIxLLRec r = ix == 1   ? db.IxLatLow(i)
                       : ix == 2 ? db.IxLatHigh(i)
                       : ix == 3 ? db.IxLongLow(i)
                                 : db.IxLongHigh(i);
    out.emplace_back(r.LLValue, r.index);
  }
  return out;
}

TEST_F(GeoDBIndex, InsertionKeepsKeysAscendingWithTheirEntries) {
  Open();
  AddTownAt("a", 5, 50);
  AddTownAt("b", 1, 10);
  AddTownAt("c", 3, 30);
  const std::vector<std::pair<float, int>> want = {{1, 1}, {3, 2}, {5, 0}};
  for (int ix = 1; ix <= 4; ++ix) {
    auto k = Keys(*db_, ix);
    if (ix >= 3)
      for (auto& [v, i] : k) v /= 10;
    EXPECT_EQ(k, want) << "index " << ix;
  }
  // The files hold the same, byte for byte.
  const auto f1 = ReadBytes(File(".zylgi1"));
  ASSERT_EQ(f1.size(), 24u);
  EXPECT_EQ(F32At(f1, 0), 1.0f);
  EXPECT_EQ(I32At(f1, 4), 1);
  EXPECT_EQ(F32At(f1, 16), 5.0f);
  EXPECT_EQ(I32At(f1, 20), 0);
}

TEST_F(GeoDBIndex, EqualKeyGoesDirectlyBeforeTheEntryTheSearchMet) {
  Open();
  // Keys 1, 2, 2, 2, 3: the search over five entries meets position 2 first.
  for (float v : {1.f, 2.f, 2.f, 2.f, 3.f}) AddTownAt("t", v, 0);
  const auto before = Keys(*db_, 1);
  AddTownAt("new", 2, 0);  // entry 6, index value 5
  const auto k = Keys(*db_, 1);
  ASSERT_EQ(k.size(), 6u);
  // Search over n = 5 entries: pos = 2 holds 2 -> insert at 2.
  EXPECT_EQ(k[2], std::make_pair(2.0f, 5));
  EXPECT_EQ(k[3], before[2]);
  EXPECT_EQ(k[1], before[1]);
}

TEST_F(GeoDBIndex, LookupsByIdAndClosestPosition) {
  Open();
  EXPECT_EQ(db_->SearchForItemID(1), 0);
  EXPECT_EQ(db_->GetClosestLatLowIx(0), 1);
  EXPECT_EQ(db_->GetClosestItemIDIx(3), 1);
  AddTownAt("a", 5, 0);
  AddTownAt("b", 1, 0);
  AddTownAt("c", 3, 0);
  EXPECT_EQ(db_->GetClosestLatLowIx(0), 1);
  EXPECT_EQ(db_->GetClosestLatLowIx(3), 2);
  EXPECT_EQ(db_->GetClosestLatLowIx(4), 3);
  EXPECT_EQ(db_->GetClosestLatLowIx(6), 4);
  EXPECT_EQ(db_->GetClosestLatHighIx(5), 3);
  EXPECT_EQ(db_->GetClosestItemIDIx(2), 2);
  EXPECT_EQ(db_->GetClosestItemIDIx(9), 4);
  EXPECT_EQ(db_->SearchForItemID(2), 2);
  EXPECT_EQ(db_->SearchForItemID(4), 0);
  EXPECT_EQ(db_->SearchForItemID(-1), 0);
  EXPECT_EQ(db_->IxLatLow(0).LLValue, 1.0f);
  EXPECT_EQ(db_->IxLatLow(db_->NumEntries() + 1).LLValue, 5.0f);
}

TEST_F(GeoDBIndex, IndexReadersOnEmptyDatabaseAnswerNoEntry) {
  Open();
  EXPECT_EQ(db_->IxItemID(1).index, -1);
  EXPECT_EQ(db_->IxLongHigh(1).index, -1);
}

TEST_F(GeoDBIndex, DeletionRemovesAndRenumbersInEveryIndex) {
  Open();
  for (int i = 1; i <= 4; ++i)
    AddTownAt(std::string("t") + std::to_string(i), float(i), float(10 * i));
  db_->DeleteData(2);
  ASSERT_EQ(db_->NumEntries(), 3);
  EXPECT_EQ(db_->Data(2).Name.Text(), "t4");  // the last entry moved in
  for (int ix = 1; ix <= 4; ++ix) {
    const auto k = Keys(*db_, ix);
    ASSERT_EQ(k.size(), 3u);
    for (const auto& [v, i] : k) {
      EXPECT_NE(i, 3) << "index " << ix;
      const float own = ix <= 2 ? db_->Data(i + 1).LatLow : db_->Data(i + 1).LongLow;
      EXPECT_EQ(v, own) << "index " << ix;
    }
  }
  EXPECT_EQ(db_->SearchForItemID(4), 2);
  EXPECT_EQ(db_->SearchForItemID(2), 0);
  EXPECT_EQ(fs::file_size(File(".zylgi2")), 24u);
  EXPECT_EQ(fs::file_size(File(".zylgds")), 360u);

  db_->DeleteData(3);  // the last entry: nothing moves
  EXPECT_EQ(db_->NumEntries(), 2);
  EXPECT_EQ(db_->SearchForItemID(3), 0);
  EXPECT_EQ(db_->SearchForItemID(4), 2);
  db_->DeleteData(0);
  db_->DeleteData(3);
  EXPECT_EQ(db_->NumEntries(), 2);
}

TEST_F(GeoDBIndex, IndexFileRemovedWhileOpenIsWrittenAgainWhole) {
  Open();
  AddTownAt("a", 5, 50);
  AddTownAt("b", 1, 10);
  fs::remove(File(".zylgi3"));
  AddTownAt("c", 3, 30);
  const auto f3 = ReadBytes(File(".zylgi3"));
  ASSERT_EQ(f3.size(), 24u);
  EXPECT_EQ(F32At(f3, 0), 10.0f);
  EXPECT_EQ(F32At(f3, 8), 30.0f);
  EXPECT_EQ(F32At(f3, 16), 50.0f);
  // A longer stale file is cut to the entries.
  WriteBytes(File(".zylgi1"), std::vector<uint8_t>(800, 0xAB));
  db_->DeleteData(1);
  EXPECT_EQ(fs::file_size(File(".zylgi1")), 16u);
  EXPECT_EQ(F32At(ReadBytes(File(".zylgi1")), 8), 3.0f);
}

TEST_F(GeoDBIndex, RecalcIndexesMatchesIncrementalUpkeep) {
  Open();
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> lat(-90, 90), lon(-180, 180);
  for (int i = 0; i < 300; ++i) {
    if (i % 7 == 3)
      db_->DeleteData(1 + int(rng() % db_->NumEntries()));
    else
      AddTownAt("t", std::round(lat(rng)), std::round(lon(rng)));  // many equal keys
  }
  std::vector<std::vector<std::pair<float, int>>> before;
  for (int ix = 1; ix <= 4; ++ix) before.push_back(Keys(*db_, ix));
  db_->RecalcIndexes();
  for (int ix = 1; ix <= 4; ++ix) {
    const auto after = Keys(*db_, ix);
    // Equal keys may change order; the multiset of (key, entry) and the
    // order of keys may not.
    auto a = before[ix - 1], b = after;
    for (size_t i = 1; i < b.size(); ++i) EXPECT_LE(b[i - 1].first, b[i].first);
    for (size_t i = 1; i < a.size(); ++i) EXPECT_LE(a[i - 1].first, a[i].first);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << "index " << ix;
  }
  for (int e = 1; e <= db_->NumEntries(); ++e)
    EXPECT_EQ(db_->SearchForItemID(db_->Data(e).ItemId), e);
}

TEST_F(GeoDBIndex, SearchDataByNameKindAndClass) {
  Open();
  db_->AddTown("Linz", 0, 0, TSCoords{48, 14}, 0, 2, 0);
  AddBorderOf("Linz", {{48, 14}});
  db_->AddTown("Linz", 0, 0, TSCoords{48, 14}, 0, 3, 0);
  db_->AddTown("Wien", 0, 0, TSCoords{48, 16}, 0, 3, 0);
  EXPECT_EQ(db_->SearchData("Linz"), 1);
  EXPECT_EQ(db_->SearchData("Wien"), 4);
  EXPECT_EQ(db_->SearchData("linz"), 0);
  EXPECT_EQ(db_->SearchData("Linz", gitTown, 0, 3), 3);
  EXPECT_EQ(db_->SearchData("Linz", gitTown, 2, 2), 0);
  EXPECT_EQ(db_->SearchData("Linz", gitBorder, 1, 0), 2);
  // Names are compared as stored: cut to 59 characters.
  const std::string longName(70, 'n');
  AddTownAt(longName, 0, 0);
  EXPECT_EQ(db_->SearchData(longName), 5);
  EXPECT_EQ(db_->SearchData(std::string(59, 'n')), 5);
}

TEST_F(GeoDBIndex, AreaQueryFindsExactlyTheBoxesThatMeetTheRectangle) {
  Open();
  db_->SetLazyWrite(true);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> lat(-80, 80), lon(-179, 170), ext(0, 10);
  for (int i = 0; i < 400; ++i) {
    if (i % 3 == 0) {
      AddTownAt("t", lat(rng), lon(rng));
    } else {
      const float la = lat(rng), lo = lon(rng);
      AddBorderOf("b", {{la, lo}, {la + ext(rng), lo + ext(rng)}});
    }
  }
  AddBorderOf("empty", {});  // inverted box: never meets
  auto brute = [&](double s, double n, double w, double e) {
    std::vector<int> out;
    for (int k = 1; k <= db_->NumEntries(); ++k) {
      const TgdbData r = db_->Data(k);
      const bool lonHit =
          w <= e ? (r.LongLow <= e && r.LongHigh >= w)
                 : (r.LongLow <= 180 && r.LongHigh >= w) || (r.LongLow <= e && r.LongHigh >= -180);
      if (r.LatLow <= r.LatHigh && r.LatLow <= n && r.LatHigh >= s && lonHit) out.push_back(k);
    }
    return out;
  };
  std::uniform_real_distribution<double> qlat(-90, 90), qlon(-180, 180);
  for (int q = 0; q < 200; ++q) {
    double s = qlat(rng), n = qlat(rng), w = qlon(rng), e = qlon(rng);
    if (s > n) std::swap(s, n);
    if (q % 4 != 0 && w > e) std::swap(w, e);  // every fourth may cross 180°
    EXPECT_EQ(db_->FindItemsInArea(s, n, w, e), brute(s, n, w, e))
        << s << " " << n << " " << w << " " << e;
  }
  // Edges count as inside; an inverted latitude range finds nothing.
  db_->SetLazyWrite(false);
  const TgdbData t = db_->Data(1);
  const auto hit = db_->FindItemsInArea(t.LatLow, t.LatLow, t.LongLow, t.LongLow);
  EXPECT_TRUE(std::find(hit.begin(), hit.end(), 1) != hit.end());
  EXPECT_TRUE(db_->FindItemsInArea(10, -10, -180, 180).empty());
  // Edges beyond +-180 across the meridian must not recurse without end.
  EXPECT_EQ(db_->FindItemsInArea(-90, 90, 190, 10), brute(-90, 90, 190, 10));
  EXPECT_EQ(db_->FindItemsInArea(-90, 90, 170, -190), brute(-90, 90, 170, -190));
}

}  // namespace
}  // namespace marovia::testing
