// TRankTree against a plain vector: positions, splits and merges on every
// level, the counts by key, and bulk building. Tiny node capacities make the
// trees deep with few records, so every rebalancing path runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "marovia/geodb/rank_tree.h"

namespace marovia::gdb {
namespace {

struct TRec {
  int32_t Key;
  int32_t Id;
  bool operator==(const TRec&) const = default;
};
struct TKeyOf {
  int64_t operator()(const TRec& r) const { return r.Key; }
};
using TTinyTree = TRankTree<TRec, TKeyOf, 4, 4>;
using TWideTree = TRankTree<TRec, TKeyOf, 5, 7>;

template <class Tree>
std::vector<TRec> Contents(const Tree& t) {
  std::vector<TRec> out;
  t.ForEach(0, t.Size(), [&](size_t rank, const TRec& r) {
    EXPECT_EQ(rank, out.size());
    out.push_back(r);
    return true;
  });
  return out;
}

template <class Tree>
void RunAgainstVector(uint32_t Seed, int Steps) {
  std::mt19937 rng(Seed);
  Tree t;
  std::vector<TRec> model;
  int32_t next = 0;
  for (int step = 0; step < Steps; ++step) {
    // Grow for the first half, shrink to nothing in the second.
    const bool grow = step < Steps / 2 ? rng() % 3 != 0 : rng() % 3 == 0;
    if (grow || model.empty()) {
      const size_t at = rng() % (model.size() + 1);
      const TRec r{static_cast<int32_t>(rng() % 50), next++};
      t.Insert(at, r);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), r);
    } else if (rng() % 5 != 0) {
      const size_t at = rng() % model.size();
      ASSERT_EQ(t.Erase(at), model[at]);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      const size_t at = rng() % model.size();
      const TRec r{static_cast<int32_t>(rng() % 50), next++};
      t.Set(at, r);
      model[at] = r;
    }
    ASSERT_EQ(t.Size(), model.size());
    ASSERT_TRUE(t.CheckShape()) << "seed " << Seed << " step " << step;
    if (!model.empty()) {
      const size_t at = rng() % model.size();
      ASSERT_EQ(t.At(at), model[at]);
    }
    if (step % 50 == 0) {
      ASSERT_EQ(Contents(t), model) << "step " << step;
    }
  }
  EXPECT_TRUE(model.empty() || Contents(t) == model);
}

TEST(RankTree, InsertEraseAndSetAtAnyPositionMatchAVector) {
  for (uint32_t seed = 1; seed <= 4; ++seed) RunAgainstVector<TTinyTree>(seed, 4000);
  RunAgainstVector<TWideTree>(9, 4000);
}

TEST(RankTree, CountsLeadingKeysWhileKeysAscend) {
  std::mt19937 rng(5);
  TTinyTree t;
  std::vector<TRec> model;
  for (int i = 0; i < 1500; ++i) {
    const TRec r{static_cast<int32_t>(rng() % 40), i};
    // Anywhere among equal keys, so that runs of them cross node borders.
    const auto lo = std::lower_bound(model.begin(), model.end(), r,
                                     [](const TRec& a, const TRec& b) { return a.Key < b.Key; });
    const auto hi = std::upper_bound(model.begin(), model.end(), r,
                                     [](const TRec& a, const TRec& b) { return a.Key < b.Key; });
    const size_t at =
        static_cast<size_t>(lo - model.begin()) + rng() % (static_cast<size_t>(hi - lo) + 1);
    t.Insert(at, r);
    model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), r);
    if (i % 3 == 0) {
      const size_t gone = rng() % model.size();
      t.Erase(gone);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(gone));
    }
    for (int64_t v : {int64_t{-1}, int64_t{0}, int64_t(rng() % 40), int64_t{39}, int64_t{40}}) {
      const auto below =
          std::count_if(model.begin(), model.end(), [&](const TRec& m) { return m.Key < v; });
      const auto atMost =
          std::count_if(model.begin(), model.end(), [&](const TRec& m) { return m.Key <= v; });
      ASSERT_EQ(t.CountLeading([&](int64_t k) { return k < v; }), static_cast<size_t>(below));
      ASSERT_EQ(t.CountLeading([&](int64_t k) { return k <= v; }), static_cast<size_t>(atMost));
    }
  }
}

TEST(RankTree, BulkBuiltTreesHaveAValidShapeAndKeepGrowing) {
  for (size_t n = 0; n <= 300; n += (n < 40 ? 1 : 37)) {
    std::vector<TRec> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = {static_cast<int32_t>(i / 3), static_cast<int32_t>(i)};
    TTinyTree t;
    t.Assign(data.data(), n);
    ASSERT_TRUE(t.CheckShape()) << n;
    ASSERT_EQ(Contents(t), data) << n;
    // A built tree takes insertions and removals like a grown one.
    t.Insert(n / 2, {-5, -5});
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(n / 2), TRec{-5, -5});
    if (n > 0) {
      t.Erase(0);
      data.erase(data.begin());
    }
    ASSERT_TRUE(t.CheckShape()) << n;
    ASSERT_EQ(Contents(t), data) << n;
  }
}

TEST(RankTree, VisitsStopWhereAskedAndRunsCoverEveryRecordInOrder) {
  std::vector<TRec> data(100);
  for (int i = 0; i < 100; ++i) data[static_cast<size_t>(i)] = {i, i};
  TTinyTree t;
  t.Assign(data.data(), data.size());
  EXPECT_EQ(t.ForEach(10, 90, [](size_t, const TRec& r) { return r.Key != 42; }), 42u);
  EXPECT_EQ(t.ForEach(50, 500, [](size_t, const TRec&) { return true; }), 100u);
  EXPECT_EQ(t.ForEach(60, 60, [](size_t, const TRec&) { return false; }), 60u);
  std::vector<TRec> runs;
  t.ForEachRun([&](const TRec* p, size_t n) { runs.insert(runs.end(), p, p + n); });
  EXPECT_EQ(runs, data);

  TTinyTree moved(std::move(t));
  EXPECT_EQ(moved.Size(), 100u);
  EXPECT_EQ(t.Size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_TRUE(t.CheckShape());
}

}  // namespace
}  // namespace marovia::gdb
