// TSortedIndex: one of the five indexes of TGeoDB in memory, a sequence of
// index entries ascending by key, kept in a TRankTree so that entries are
// inserted and removed in O(log n) without moving the ones after them.
//
// Where a new entry goes is fixed, so that the index files come out byte for
// byte as they always have: a binary search over positions 0..n-1 that stops
// at the first entry with an equal key it meets puts the new entry directly
// before that entry. That search only ever compares v with the keys, so its path is decided
// by two counts: a, the entries with a key below v, and b, those with a key
// of at most v. Search replays the probes against a and b instead of reading
// the entries, so the search costs two O(log n) descents.
//
// That replay needs the keys in order. An index holding a NaN key (a damaged
// or careless bound) is not ordered: a NaN compares false with everything,
// so a NaN key is put at the front and the entries around it need not
// ascend. Such
// an index (Ordered() false) answers every search by reading the probed
// entries themselves, O(log^2 n), which gives the same positions, and stays
// so until it is assigned anew.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "marovia/geodb/gdbrecords.h"
#include "marovia/geodb/rank_tree.h"

namespace marovia {

namespace gdb {

// Keys of index entries as stored, which the tree keeps per child.
struct TIxKeyOf {
  int32_t operator()(const TIxItemIDRec& r) const { return r.ItemID; }
  float operator()(const TIxLLRec& r) const { return r.LLValue; }
};

}  // namespace gdb

template <class Rec>
class TSortedIndex {
 public:
  // Keys are compared as the index orders them: item IDs as integers,
  // bounds as doubles converted from the stored singles (exactly).
  using Stored = decltype(gdb::TIxKeyOf{}(std::declval<const Rec&>()));
  using Key = std::conditional_t<std::is_floating_point_v<Stored>, double, int64_t>;
  static constexpr size_t npos = static_cast<size_t>(-1);

  struct TSearchResult {
    size_t Pos;  // the entry met with key v, or the first entry with a greater key
    bool Found;  // an entry with key v was met
  };

  size_t Size() const { return tree_.Size(); }
  // Entry at 0-based position Pos (< Size()).
  const Rec& At(size_t Pos) const { return tree_.At(Pos); }
  // True when no key is NaN and the keys ascend (see the top of the file).
  bool Ordered() const { return ordered_; }

  void Clear() {
    tree_.Clear();
    ordered_ = true;
  }

  // Replaces the entries with Entries, in their order. O(n).
  void Assign(const std::vector<Rec>& Entries) {
    tree_.Assign(Entries.data(), Entries.size());
    ordered_ = true;
    for (size_t i = 0; i < Entries.size() && ordered_; ++i) {
      const Key k = KeyOf(Entries[i]);
      ordered_ = !IsNaN(k) && (i == 0 || !(KeyOf(Entries[i - 1]) > k));
    }
  }

  // The binary search over all entries that places new entries and answers
  // the closest-position lookups (see the top of the file).
  TSearchResult Search(Key v) const {
    const size_t n = Size();
    if (n == 0) return {0, false};
    if (ordered_) return Replay(n, CountBelow(v), CountAtMost(v));
    return Probe(n, v);
  }

  // Inserts R where Search places its key.
  void SortInto(const Rec& R) {
    const Key k = KeyOf(R);
    tree_.Insert(Search(k).Pos, R);
    if (IsNaN(k)) ordered_ = false;
  }

  // Position of the first entry whose index is Idx, npos when there is none.
  // K is the key the entry carries: in an ordered index only the entries with
  // that key are looked at, O(log n + r) for r entries sharing it; otherwise
  // (or when K was not the entry's key) every entry is, O(n).
  size_t Find(Key K, int32_t Idx) const {
    auto seek = [&](size_t From, size_t To) {
      const size_t at =
          tree_.ForEach(From, To, [Idx](size_t, const Rec& r) { return r.index != Idx; });
      return at < To ? at : npos;
    };
    if (ordered_) {
      const size_t at = seek(CountBelow(K), CountAtMost(K));
      if (at != npos) return at;
    }
    return seek(0, Size());
  }

  void Erase(size_t Pos) { tree_.Erase(Pos); }

  // Gives the entry at Pos another item index; its key stays.
  void SetIndexAt(size_t Pos, int32_t Idx) {
    Rec r = tree_.At(Pos);
    r.index = Idx;
    tree_.Set(Pos, r);
  }

  // Entries with a key below v / of at most v. Meaningful only while
  // Ordered().
  size_t CountBelow(Key v) const {
    return tree_.CountLeading([v](Stored k) { return static_cast<Key>(k) < v; });
  }
  size_t CountAtMost(Key v) const {
    return tree_.CountLeading([v](Stored k) { return static_cast<Key>(k) <= v; });
  }

  // F(Pos, Entry) for positions From..To-1 while F answers true; answers
  // where it stopped, or To.
  template <class F>
  size_t ForEach(size_t From, size_t To, F&& Fn) const {
    return tree_.ForEach(From, To, Fn);
  }
  // F(const Rec*, Count) for consecutive runs covering all entries in order.
  template <class F>
  void ForEachRun(F&& Fn) const {
    tree_.ForEachRun(Fn);
  }

  // For tests: the tree's shape holds.
  bool CheckShape() const { return tree_.CheckShape(); }

 private:
  static Key KeyOf(const Rec& r) { return static_cast<Key>(gdb::TIxKeyOf{}(r)); }
  static bool IsNaN(Key k) { return k != k; }

  // The placing search, its probes answered from the counts: an entry
  // before a has a key below v, one from b on a greater key, and the entries
  // in between equal v. With no equal key the search ends at a.
  static TSearchResult Replay(size_t n, size_t a, size_t b) {
    int64_t lo = 0, hi = static_cast<int64_t>(n) - 1;
    while (lo <= hi) {
      const int64_t pos = (lo + hi) / 2;
      if (static_cast<size_t>(pos) < a)
        lo = pos + 1;
      else if (static_cast<size_t>(pos) < b)
        return {static_cast<size_t>(pos), true};
      else
        hi = pos - 1;
    }
    return {a, false};
  }

  // The placing search, reading every probed entry.
  TSearchResult Probe(size_t n, Key v) const {
    int64_t lo = 0, hi = static_cast<int64_t>(n) - 1, pos = 0;
    while (lo <= hi) {
      pos = (lo + hi) / 2;
      const Key key = KeyOf(At(static_cast<size_t>(pos)));
      if (v > key)
        lo = pos + 1;
      else if (key == v)
        return {static_cast<size_t>(pos), true};
      else
        hi = pos - 1;
    }
    if (v > KeyOf(At(static_cast<size_t>(pos)))) ++pos;
    return {static_cast<size_t>(pos), false};
  }

  gdb::TRankTree<Rec, gdb::TIxKeyOf> tree_;
  bool ordered_ = true;
};

using TItemIDIndex = TSortedIndex<TIxItemIDRec>;
using TBoundIndex = TSortedIndex<TIxLLRec>;

}  // namespace marovia
