// The indexes kept in B+-trees must write the same files, byte for byte, as
// the flat sorted arrays they replaced. The flat-array upkeep is kept here as
// the reference: insertion by the binary search that stops at the first
// equal key, removal by a scan for the entry number and a shift, renumbering
// by a scan. Random sequences with many equal keys run through both; NaN
// bounds, which the database refuses to store, run through the index alone
// and, in one variant of the sequences, are refused without a trace.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "geodb_test_support.h"
#include "marovia/geodb/sorted_index.h"

namespace marovia::testing {
namespace {

// ---- The reference: flat arrays --------------------------------------------

int64_t RefKey(const TIxItemIDRec& r) {
  return r.ItemID;
}
double RefKey(const TIxLLRec& r) {
  return static_cast<double>(r.LLValue);
}

struct TRefSearch {
  int Pos;
  bool Found;
};

// Binary search over entries 0..n-1 that stops at the first equal key it
// meets; one further when the key there is smaller than v.
template <class Rec, class V>
TRefSearch RefSearch(const std::vector<Rec>& Ix, int n, V v) {
  int lo = 0, hi = n - 1, pos = 0;
  bool found = false;
  if (hi >= 0) {
    while (lo <= hi && !found) {
      pos = (lo + hi) / 2;
      const V key = RefKey(Ix[static_cast<size_t>(pos)]);
      if (v > key)
        lo = pos + 1;
      else if (key == v)
        found = true;
      else
        hi = pos - 1;
    }
    if (v > RefKey(Ix[static_cast<size_t>(pos)])) ++pos;
  }
  return {pos, found};
}

// Inserts R into an array whose last slot is free.
template <class Rec>
void RefSortInto(std::vector<Rec>& Ix, Rec R) {
  const int n = static_cast<int>(Ix.size()) - 1;
  const int pos = RefSearch(Ix, n, RefKey(R)).Pos;
  std::memmove(Ix.data() + pos + 1, Ix.data() + pos, sizeof(Rec) * static_cast<size_t>(n - pos));
  Ix[static_cast<size_t>(pos)] = R;
}

// Removes the first entry with index Idx among positions 0..n-1.
template <class Rec>
void RefRemove(std::vector<Rec>& Ix, int n, int32_t Idx) {
  for (int p = 0; p < n; ++p) {
    if (Ix[static_cast<size_t>(p)].index == Idx) {
      std::memmove(Ix.data() + p, Ix.data() + p + 1, sizeof(Rec) * static_cast<size_t>(n - p - 1));
      return;
    }
  }
}

template <class Rec>
void RefRenumber(std::vector<Rec>& Ix, int n, int32_t From, int32_t To) {
  for (int p = 0; p < n; ++p) {
    if (Ix[static_cast<size_t>(p)].index == From) {
      Ix[static_cast<size_t>(p)].index = To;
      return;
    }
  }
}

float RefBound(const TgdbData& r, int i) {
  return i == 1 ? r.LatLow : i == 2 ? r.LatHigh : i == 3 ? r.LongLow : r.LongHigh;
}

// The item table and the five indexes of a database, kept the flat way.
struct TReferenceDb {
  std::vector<TgdbData> Items;
  std::vector<TIxItemIDRec> Ix0;
  std::array<std::vector<TIxLLRec>, 4> Ixb;
  int32_t HighestID = 0;

  int N() const { return static_cast<int>(Items.size()); }

  void Insert(int Entry, const TgdbData& r) {
    const int32_t idx = Entry - 1;
    Ix0.emplace_back();
    RefSortInto(Ix0, TIxItemIDRec{r.ItemId, idx});
    for (int i = 1; i <= 4; ++i) {
      Ixb[i - 1].emplace_back();
      RefSortInto(Ixb[i - 1], TIxLLRec{RefBound(r, i), idx});
    }
  }
  void Remove(int Entry) {
    RefRemove(Ix0, N(), Entry - 1);
    for (auto& ix : Ixb) RefRemove(ix, N(), Entry - 1);
  }
  // Replacing keeps the array lengths: remove, then insert into the freed
  // last slot.
  void Reinsert(int Entry, const TgdbData& r) {
    Remove(Entry);
    RefSortInto(Ix0, TIxItemIDRec{r.ItemId, Entry - 1});
    for (int i = 1; i <= 4; ++i) RefSortInto(Ixb[i - 1], TIxLLRec{RefBound(r, i), Entry - 1});
  }

  void Add(const TgdbData& r) {
    Items.push_back(r);
    Insert(N(), r);
  }
  void Replace(int Entry, const TgdbData& r) {
    if (Entry < 1 || Entry > N()) return;
    Items[static_cast<size_t>(Entry - 1)] = r;
    Reinsert(Entry, r);
  }
  void Delete(int Entry) {
    if (Entry < 1 || Entry > N()) return;
    const int last = N();
    Items[static_cast<size_t>(Entry - 1)] = Items.back();
    Remove(Entry);
    RefRenumber(Ix0, last, last - 1, Entry - 1);
    for (auto& ix : Ixb) RefRenumber(ix, last, last - 1, Entry - 1);
    Items.pop_back();
    Ix0.resize(Items.size());
    for (auto& ix : Ixb) ix.resize(Items.size());
  }
  // Opening rebuilds indexes whose neighbouring keys descend. Only NaN
  // bounds let that happen: removing a NaN can bring two keys together that
  // it kept apart.
  void Reopen() {
    for (const auto& ix : Ixb)
      for (size_t p = 1; p < ix.size(); ++p)
        if (RefKey(ix[p - 1]) > RefKey(ix[p])) return Recalc();
  }
  // Rebuilding sorts by key, equal keys by entry, NaN bounds last.
  void Recalc() {
    Ix0.clear();
    for (auto& ix : Ixb) ix.clear();
    for (int e = 1; e <= N(); ++e) {
      const TgdbData& r = Items[static_cast<size_t>(e - 1)];
      Ix0.push_back({r.ItemId, e - 1});
      for (int i = 1; i <= 4; ++i) Ixb[i - 1].push_back({RefBound(r, i), e - 1});
    }
    std::sort(Ix0.begin(), Ix0.end(), [](const TIxItemIDRec& a, const TIxItemIDRec& b) {
      return a.ItemID != b.ItemID ? a.ItemID < b.ItemID : a.index < b.index;
    });
    for (auto& ix : Ixb)
      std::sort(ix.begin(), ix.end(), [](const TIxLLRec& a, const TIxLLRec& b) {
        const bool an = std::isnan(a.LLValue), bn = std::isnan(b.LLValue);
        if (an != bn) return bn;
        if (!an && a.LLValue != b.LLValue) return a.LLValue < b.LLValue;
        return a.index < b.index;
      });
  }
};

template <class T>
std::vector<uint8_t> Image(const std::vector<T>& v) {
  std::vector<uint8_t> b(v.size() * sizeof(T));
  if (!b.empty()) std::memcpy(b.data(), v.data(), b.size());
  return b;
}

template <class Rec>
std::vector<Rec> Entries(const TSortedIndex<Rec>& Ix) {
  std::vector<Rec> out;
  Ix.ForEach(0, Ix.Size(), [&](size_t, const Rec& r) {
    out.push_back(r);
    return true;
  });
  return out;
}

bool SameEntries(const std::vector<TIxLLRec>& a, const std::vector<TIxLLRec>& b) {
  return Image(a) == Image(b);
}

// ---- TSortedIndex against the flat array -------------------------------------

// Keys from a handful of values (signed zeros among them), so that most keys
// repeat many times; NaN with the given chance.
float PooledKey(std::mt19937& rng, double NaNChance) {
  static const float pool[] = {-3.5f, -1.0f, -0.0f, 0.0f, 0.0f, 2.25f, 7.0f, 7.0f, 90.0f};
  if (std::uniform_real_distribution<double>(0, 1)(rng) < NaNChance)
    return std::numeric_limits<float>::quiet_NaN();
  return pool[rng() % std::size(pool)];
}

void RunIndexAgainstFlat(uint32_t Seed, double NaNChance, int Steps) {
  std::mt19937 rng(Seed);
  TBoundIndex ix;
  std::vector<TIxLLRec> ref;
  int32_t nextIdx = 0;
  std::vector<std::pair<float, int32_t>> live;  // (key, idx) of the entries present
  for (int step = 0; step < Steps; ++step) {
    const unsigned op = rng() % 10;
    if (op < 6 || live.empty()) {
      const TIxLLRec r{PooledKey(rng, NaNChance), nextIdx++};
      ix.SortInto(r);
      ref.emplace_back();
      RefSortInto(ref, r);
      live.emplace_back(r.LLValue, r.index);
    } else if (op < 9) {
      const size_t k = rng() % live.size();
      const auto [key, idx] = live[k];
      const size_t at = ix.Find(key, idx);
      ASSERT_NE(at, TBoundIndex::npos) << "step " << step;
      ASSERT_EQ(ix.At(at).index, idx);
      ix.Erase(at);
      RefRemove(ref, static_cast<int>(ref.size()), idx);
      ref.pop_back();
      live[k] = live.back();
      live.pop_back();
    } else {
      // Renumber an entry, as deleting does for the moved item.
      const size_t k = rng() % live.size();
      const int32_t to = nextIdx++;
      const size_t at = ix.Find(live[k].first, live[k].second);
      ASSERT_NE(at, TBoundIndex::npos);
      ix.SetIndexAt(at, to);
      RefRenumber(ref, static_cast<int>(ref.size()), live[k].second, to);
      live[k].second = to;
    }
    ASSERT_TRUE(SameEntries(Entries(ix), ref)) << "seed " << Seed << " step " << step;
    // The lookups search the same way.
    const double v = PooledKey(rng, NaNChance);
    const auto got = ix.Search(v);
    const auto want = RefSearch(ref, static_cast<int>(ref.size()), v);
    ASSERT_EQ(static_cast<int>(got.Pos), want.Pos) << "step " << step << " v " << v;
    ASSERT_EQ(got.Found, want.Found) << "step " << step << " v " << v;
  }
  EXPECT_TRUE(ix.CheckShape());
}

TEST(SortedIndex, PlacesEqualKeysExactlyAsTheFlatArraySearchDoes) {
  for (uint32_t seed = 1; seed <= 3; ++seed) RunIndexAgainstFlat(seed, 0.0, 3000);
}

TEST(SortedIndex, NaNKeysFallBackToReadingTheProbesAndStillAgree) {
  for (uint32_t seed = 11; seed <= 13; ++seed) RunIndexAgainstFlat(seed, 0.02, 2000);
}

TEST(SortedIndex, AssignedUnorderedEntriesAreSearchedByTheirProbes) {
  // Entries a damaged file could hold: a NaN between keys that do not
  // ascend. The search must still meet the entries the flat search meets.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<TIxLLRec> entries = {{5, 0}, {nan, 1}, {3, 2}, {4, 3}, {9, 4}};
  TBoundIndex ix;
  ix.Assign(entries);
  EXPECT_FALSE(ix.Ordered());
  for (double v : {-1.0, 3.0, 4.0, 5.0, 6.0, 9.0, 10.0, static_cast<double>(nan)}) {
    const auto want = RefSearch(entries, 5, v);
    EXPECT_EQ(static_cast<int>(ix.Search(v).Pos), want.Pos) << v;
    EXPECT_EQ(ix.Search(v).Found, want.Found) << v;
  }
  // Entries are still found by their entry number when their key does not
  // lead to them.
  EXPECT_EQ(ix.Find(3, 2), 2u);
  EXPECT_EQ(ix.Find(nan, 1), 1u);
  EXPECT_EQ(ix.Find(4, 7), TBoundIndex::npos);
}

// ---- The database against the reference ---------------------------------------

struct TEquivalenceCase {
  uint32_t Seed;
  double NaNChance;
};
void PrintTo(const TEquivalenceCase& c, std::ostream* os) {
  *os << "seed " << c.Seed << ", NaN chance " << c.NaNChance;
}

class GeoDBIndexEquivalence : public GeoDBTest,
                              public ::testing::WithParamInterface<TEquivalenceCase> {
 protected:
  // A town record as adding builds it.
  TgdbData Town(int32_t id, const std::string& name, float lat, float lon) {
    TgdbData r{};
    r.ItemId = id;
    r.Name.SetText(name, gdbNameMaxChars, ' ');
    r.Altitude = 12.5f;
    r.ClassFlag = 3;
    r.Tag = id * 7;
    r.BlobOffset = -1;
    r.Date = 45000.25;
    r.StateFlag = 1;
    r.LatLow = r.LatHigh = lat;
    r.LongLow = r.LongHigh = lon;
    r.ItemKind = gitTown;
    return r;
  }

  // A write with a NaN position is refused and changes nothing, so the
  // reference skips it; true when it was such a write.
  template <class Write>
  bool Refused(const Write& write, float lat, float lon) {
    if (!std::isnan(lat) && !std::isnan(lon)) return false;
    EXPECT_THROW(write(), EZYLGeoDBError);
    return true;
  }

  void ExpectSameFiles(const TReferenceDb& ref, const std::string& when) {
    db_->SetLazyWrite(false);  // writes the five index files
    EXPECT_EQ(ReadBytes(File(".zylgds")), Image(ref.Items)) << when;
    EXPECT_EQ(ReadBytes(File(".zylgi0")), Image(ref.Ix0)) << when;
    for (int i = 1; i <= 4; ++i)
      EXPECT_EQ(ReadBytes(File(".zylgi" + std::to_string(i))), Image(ref.Ixb[i - 1]))
          << when << ", index " << i;
    db_->SetLazyWrite(true);
  }

  void ExpectSameLookups(const TReferenceDb& ref, std::mt19937& rng) {
    const int n = ref.N();
    for (int k = 0; k < 8; ++k) {
      const double v = PooledKey(rng, GetParam().NaNChance);
      const int r1 = n == 0 ? 1 : RefSearch(ref.Ixb[0], n, v).Pos + 1;
      ASSERT_EQ(db_->GetClosestLatLowIx(v), r1) << v;
      const int r4 = n == 0 ? 1 : RefSearch(ref.Ixb[3], n, v).Pos + 1;
      ASSERT_EQ(db_->GetClosestLongHighIx(v), r4) << v;
      const int32_t id = static_cast<int32_t>(rng() % static_cast<unsigned>(ref.HighestID + 2));
      const auto s = RefSearch(ref.Ix0, n, static_cast<int64_t>(id));
      ASSERT_EQ(db_->SearchForItemID(id), s.Found ? ref.Ix0[s.Pos].index + 1 : 0) << id;
      ASSERT_EQ(db_->GetClosestItemIDIx(id), n == 0 ? 1 : s.Pos + 1) << id;
    }
    // The area query finds exactly the boxes that meet the rectangle.
    const double s = PooledKey(rng, 0), w = PooledKey(rng, 0);
    std::vector<int> want;
    for (int e = 1; e <= n; ++e) {
      const TgdbData& r = ref.Items[static_cast<size_t>(e - 1)];
      if (r.LatLow <= r.LatHigh && r.LongLow <= r.LongHigh && r.LatLow <= s + 5 && r.LatHigh >= s &&
          r.LongLow <= w + 5 && r.LongHigh >= w)
        want.push_back(e);
    }
    ASSERT_EQ(db_->FindItemsInArea(s, s + 5, w, w + 5), want);
  }
};

TEST_P(GeoDBIndexEquivalence, FilesMatchTheFlatArrayUpkeepByteForByte) {
  const auto param = GetParam();
  std::mt19937 rng(param.Seed);
  Open();
  db_->SetLazyWrite(true);
  TReferenceDb ref;
  auto key = [&] { return PooledKey(rng, param.NaNChance); };
  auto entry = [&] { return 1 + static_cast<int>(rng() % static_cast<unsigned>(ref.N())); };

  const int kSteps = 3000;
  for (int step = 0; step < kSteps; ++step) {
    const unsigned op = rng() % 100;
    if (op < 45 || ref.N() == 0) {
      const float lat = key(), lon = key();
      // Appended rather than "t" + ...: GCC 12 at -O3 misreads the inlined
      // insert at the front as an overlapping copy (-Wrestrict).
      std::string name = "t";
      name += std::to_string(step);
      const auto add = [&] {
        return db_->AddTown(name, 45000.25, 1, TSCoords{lat, lon}, 12.5f, 3,
                            (ref.HighestID + 1) * 7);
      };
      if (!Refused(add, lat, lon)) {
        const int e = add();
        ref.Add(Town(++ref.HighestID, name, lat, lon));
        ASSERT_EQ(e, ref.N());
      }
    } else if (op < 55) {
      const int e = entry();
      const float lat = key(), lon = key();
      const int32_t id = ref.Items[static_cast<size_t>(e - 1)].ItemId;
      const auto replace = [&] {
        db_->ReplaceTown(e, "r", 45000.25, 1, TSCoords{lat, lon}, 12.5f, 3, id * 7);
        return 0;
      };
      if (!Refused(replace, lat, lon)) {
        replace();
        ref.Replace(e, Town(id, "r", lat, lon));
      }
    } else if (op < 67) {
      // A box shared by many items: the same bounds in all four indexes.
      const int e = entry();
      TgdbData r = Town(ref.Items[static_cast<size_t>(e - 1)].ItemId, "box", 0, 0);
      r.LatLow = key();
      r.LatHigh = key();
      r.LongLow = key();
      r.LongHigh = key();
      r.ItemKind = gitUndefined;
      const auto update = [&] {
        db_->UpdateBasicData(e, r);
        return 0;
      };
      if (!Refused(update, r.LatLow + r.LatHigh, r.LongLow + r.LongHigh)) {
        update();
        ref.Replace(e, r);
      }
    } else if (op < 97) {
      // Now and then an entry number outside the table, which changes
      // nothing.
      const int e = rng() % 50 == 0 ? ref.N() + 1 : entry();
      db_->DeleteData(e);
      ref.Delete(e);
    } else if (op < 98) {
      db_->RecalcIndexes();
      ref.Recalc();
    } else {
      // Reading the files back must give the same indexes.
      Reopen();
      db_->SetLazyWrite(true);
      ref.Reopen();
    }
    ASSERT_EQ(db_->NumEntries(), ref.N());
    if (step % 250 == 0 || step == kSteps - 1) {
      ExpectSameFiles(ref, "after step " + std::to_string(step));
      ExpectSameLookups(ref, rng);
      if (HasFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, GeoDBIndexEquivalence,
                         ::testing::Values(TEquivalenceCase{101, 0.0}, TEquivalenceCase{202, 0.0},
                                           TEquivalenceCase{303, 0.01}),
                         [](const ::testing::TestParamInfo<TEquivalenceCase>& info) {
                           return std::string(info.param.NaNChance > 0 ? "WithNaNBounds" : "Seed") +
                                  std::to_string(info.param.Seed);
                         });

}  // namespace
}  // namespace marovia::testing
