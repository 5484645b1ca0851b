// TRankTree: a sequence of small trivially copyable records held in a B+-tree
// whose inner nodes count the records below each child, so that a record is
// found, inserted or removed by its position (rank) in O(log n).
//
// The tree does not order the records itself: the caller chooses every
// position. When the caller keeps the keys non-descending, the tree also
// answers how many records have a key before a value (CountLeading), using
// the first key of each child that every inner node keeps.
//
// Shape (LeafCap records per leaf, InnerCap children per inner node):
//   - every leaf is at the same depth; leaves are chained left to right;
//   - a node other than the root holds at least a quarter of its capacity
//     (leaves at least one record, inner nodes at least two children); the
//     root is a leaf, possibly empty, or an inner node with two children or
//     more;
//   - Inner::Sizes[i] is the number of records below child i, and
//     Inner::First[i] the key of the first of them.
// So the height is O(log n), and every operation touches one node per level
// plus at most one sibling: O((LeafCap + InnerCap) * log n) time.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace marovia::gdb {

// KeyOf is a function object: KeyOf{}(const Rec&) answers the record's key.
template <class Rec, class KeyOf, int LeafCap = 128, int InnerCap = 64>
class TRankTree {
  static_assert(std::is_trivially_copyable_v<Rec>, "records are moved with memmove");
  static_assert(LeafCap >= 4 && InnerCap >= 4, "splitting needs room for two halves");

 public:
  using Key = decltype(KeyOf{}(std::declval<const Rec&>()));

  TRankTree() = default;
  ~TRankTree() { Clear(); }
  TRankTree(const TRankTree&) = delete;
  TRankTree& operator=(const TRankTree&) = delete;
  TRankTree(TRankTree&& o) noexcept { Swap(o); }
  TRankTree& operator=(TRankTree&& o) noexcept {
    if (this != &o) {
      Clear();
      Swap(o);
    }
    return *this;
  }

  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  void Clear() {
    if (root_) Destroy(root_, height_);
    root_ = nullptr;
    height_ = 0;
    size_ = 0;
  }

  // Record at position Rank (< Size()).
  const Rec& At(size_t Rank) const {
    assert(Rank < size_);
    const Node* n = root_;
    for (int level = height_; level > 0; --level) {
      const Inner* in = AsInner(n);
      int i = 0;
      while (Rank >= in->Sizes[i]) Rank -= in->Sizes[i++];
      n = in->Child[i];
    }
    return AsLeaf(n)->Items[Rank];
  }

  // Replaces the record at Rank; the first keys on its path are refreshed.
  void Set(size_t Rank, const Rec& R) {
    assert(Rank < size_);
    SetIn(root_, height_, Rank, R);
  }

  // Inserts R so that it becomes the record at Rank (<= Size()).
  void Insert(size_t Rank, const Rec& R) {
    assert(Rank <= size_ && size_ < UINT32_MAX);
    if (!root_) root_ = new Leaf;
    const TSplit s = InsertIn(root_, height_, Rank, R);
    ++size_;
    if (s.Right) {
      Inner* top = new Inner;
      top->Count = 2;
      top->Child[0] = root_;
      top->Sizes[0] = static_cast<uint32_t>(size_ - s.RightSize);
      top->First[0] = FirstKey(root_, height_);
      top->Child[1] = s.Right;
      top->Sizes[1] = static_cast<uint32_t>(s.RightSize);
      top->First[1] = s.RightFirst;
      root_ = top;
      ++height_;
    }
  }

  // Removes and answers the record at Rank (< Size()).
  Rec Erase(size_t Rank) {
    assert(Rank < size_);
    const Rec out = EraseIn(root_, height_, Rank);
    --size_;
    // An inner root left with one child gives way to it.
    while (height_ > 0 && root_->Count == 1) {
      Inner* old = AsInner(root_);
      root_ = old->Child[0];
      --height_;
      delete old;
    }
    return out;
  }

  // Replaces the contents with the N records at Data, in that order: O(N).
  void Assign(const Rec* Data, size_t N) {
    Clear();
    if (N == 0) return;
    // Nodes are filled to three quarters, leaving room to grow.
    std::vector<Node*> level;
    std::vector<size_t> sizes;
    std::vector<Key> firsts;
    {
      const size_t fill = LeafCap * 3 / 4;
      const size_t count = (N + fill - 1) / fill;
      Leaf* prev = nullptr;
      size_t at = 0;
      for (size_t k = 0; k < count; ++k) {
        const size_t take = N / count + (k < N % count ? 1 : 0);
        Leaf* leaf = new Leaf;
        leaf->Count = static_cast<uint32_t>(take);
        std::memcpy(leaf->Items, Data + at, take * sizeof(Rec));
        at += take;
        if (prev) prev->Next = leaf;
        prev = leaf;
        level.push_back(leaf);
        sizes.push_back(take);
        firsts.push_back(KeyOf{}(leaf->Items[0]));
      }
    }
    int height = 0;
    while (level.size() > 1) {
      const size_t fill = InnerCap * 3 / 4;
      const size_t count = (level.size() + fill - 1) / fill;
      std::vector<Node*> up;
      std::vector<size_t> upSizes;
      std::vector<Key> upFirsts;
      size_t at = 0;
      for (size_t k = 0; k < count; ++k) {
        const size_t take = level.size() / count + (k < level.size() % count ? 1 : 0);
        Inner* in = new Inner;
        in->Count = static_cast<uint32_t>(take);
        size_t total = 0;
        for (size_t j = 0; j < take; ++j, ++at) {
          in->Child[j] = level[at];
          in->Sizes[j] = static_cast<uint32_t>(sizes[at]);
          in->First[j] = firsts[at];
          total += sizes[at];
        }
        up.push_back(in);
        upSizes.push_back(total);
        upFirsts.push_back(in->First[0]);
      }
      level.swap(up);
      sizes.swap(upSizes);
      firsts.swap(upFirsts);
      ++height;
    }
    root_ = level[0];
    height_ = height;
    size_ = N;
  }

  // Number of leading records whose key satisfies Pred, for a Pred that holds
  // for a prefix of the sequence and for none after it (for example "key <
  // v" while the keys are non-descending). O(log n).
  template <class P>
  size_t CountLeading(P&& Pred) const {
    if (!root_) return 0;
    size_t acc = 0;
    const Node* n = root_;
    for (int level = height_; level > 0; --level) {
      const Inner* in = AsInner(n);
      // Children after the last one whose first key satisfies Pred hold no
      // such record; those before it hold only such records.
      const size_t k = static_cast<size_t>(
          std::partition_point(in->First, in->First + in->Count, Pred) - in->First);
      if (k == 0) return acc;
      n = in->Child[k - 1];
      Prefetch(n, level - 1);
      for (size_t j = 0; j + 1 < k; ++j) acc += in->Sizes[j];
    }
    const Leaf* leaf = AsLeaf(n);
    return acc + static_cast<size_t>(
                     std::partition_point(leaf->Items, leaf->Items + leaf->Count,
                                          [&](const Rec& r) { return Pred(KeyOf{}(r)); }) -
                     leaf->Items);
  }

  // Calls F(Rank, Record) for the records From..To-1 in order while F
  // answers true; answers the rank where F answered false, or To.
  template <class F>
  size_t ForEach(size_t From, size_t To, F&& Fn) const {
    To = std::min(To, size_);
    if (From >= To) return To;
    size_t offset = From;
    const Node* n = root_;
    for (int level = height_; level > 0; --level) {
      const Inner* in = AsInner(n);
      int i = 0;
      while (offset >= in->Sizes[i]) offset -= in->Sizes[i++];
      n = in->Child[i];
    }
    size_t rank = From;
    for (const Leaf* leaf = AsLeaf(n); leaf && rank < To; leaf = leaf->Next, offset = 0) {
      for (size_t j = offset; j < leaf->Count && rank < To; ++j, ++rank)
        if (!Fn(rank, leaf->Items[j])) return rank;
    }
    return To;
  }

  // Calls F(const Rec*, Count) for each leaf's run of records, in order.
  template <class F>
  void ForEachRun(F&& Fn) const {
    if (!root_) return;
    const Node* n = root_;
    for (int level = height_; level > 0; --level) n = AsInner(n)->Child[0];
    for (const Leaf* leaf = AsLeaf(n); leaf; leaf = leaf->Next)
      if (leaf->Count > 0) Fn(static_cast<const Rec*>(leaf->Items), size_t{leaf->Count});
  }

  // Checks the shape described at the top; for tests. Answers false on the
  // first violation.
  bool CheckShape() const {
    if (!root_) return size_ == 0 && height_ == 0;
    if (height_ > 0 && root_->Count < 2) return false;
    const Leaf* expectNext = nullptr;
    const Leaf* firstLeaf = nullptr;
    size_t total = 0;
    if (!CheckNode(root_, height_, true, total, expectNext, firstLeaf)) return false;
    return total == size_ && expectNext == nullptr;
  }

 private:
  struct Node {
    uint32_t Count = 0;  // records (leaf) or children (inner node)
  };
  struct Leaf : Node {
    Leaf* Next = nullptr;
    Rec Items[LeafCap];
  };
  struct Inner : Node {
    uint32_t Sizes[InnerCap];  // a subtree holds fewer than 2^32 records
    Key First[InnerCap];
    Node* Child[InnerCap];
  };
  struct TSplit {
    Node* Right = nullptr;  // new right sibling, when the node was split
    size_t RightSize = 0;
    Key RightFirst{};
  };

  static constexpr uint32_t kMinLeaf = std::max(1, LeafCap / 4);
  static constexpr uint32_t kMinInner = std::max(2, InnerCap / 4);

  static Leaf* AsLeaf(Node* n) { return static_cast<Leaf*>(n); }
  static const Leaf* AsLeaf(const Node* n) { return static_cast<const Leaf*>(n); }
  static Inner* AsInner(Node* n) { return static_cast<Inner*>(n); }
  static const Inner* AsInner(const Node* n) { return static_cast<const Inner*>(n); }

  // Asks for the cache lines a search of node n reads, all at once, so that
  // their misses overlap instead of following one another down the binary
  // search: the keys of a leaf, the first keys and sizes of an inner node.
  static void Prefetch(const Node* n, int Level) {
    const char* from;
    size_t bytes;
    if (Level == 0) {
      from = reinterpret_cast<const char*>(AsLeaf(n)->Items);
      bytes = sizeof(Leaf::Items);
    } else {
      from = reinterpret_cast<const char*>(AsInner(n)->Sizes);
      bytes = sizeof(Inner::Sizes) + sizeof(Inner::First);
    }
    for (size_t off = 0; off < bytes; off += 64) __builtin_prefetch(from + off);
  }

  static uint32_t Cap(int Level) { return Level == 0 ? LeafCap : InnerCap; }
  static uint32_t MinCount(int Level) { return Level == 0 ? kMinLeaf : kMinInner; }

  // Key of the first record below a non-empty node.
  static Key FirstKey(const Node* n, int Level) {
    return Level == 0 ? KeyOf{}(AsLeaf(n)->Items[0]) : AsInner(n)->First[0];
  }

  static size_t Total(const Inner* in) {
    size_t t = 0;
    for (uint32_t i = 0; i < in->Count; ++i) t += in->Sizes[i];
    return t;
  }

  void Swap(TRankTree& o) noexcept {
    std::swap(root_, o.root_);
    std::swap(height_, o.height_);
    std::swap(size_, o.size_);
  }

  static void Destroy(Node* n, int Level) {
    if (Level == 0) {
      delete AsLeaf(n);
      return;
    }
    Inner* in = AsInner(n);
    for (uint32_t i = 0; i < in->Count; ++i) Destroy(in->Child[i], Level - 1);
    delete in;
  }

  // Child of an inner node holding rank Rank, and Rank made relative to it.
  // AtEnd: a rank just past a child's last record belongs to that child
  // (insertion appends there rather than opening the next child).
  static uint32_t ChildFor(const Inner* in, size_t& Rank, bool AtEnd) {
    uint32_t i = 0;
    if (AtEnd) {
      while (i + 1 < in->Count && Rank > in->Sizes[i]) Rank -= in->Sizes[i++];
    } else {
      while (Rank >= in->Sizes[i]) Rank -= in->Sizes[i++];
    }
    return i;
  }

  static void SetIn(Node* n, int Level, size_t Rank, const Rec& R) {
    if (Level == 0) {
      AsLeaf(n)->Items[Rank] = R;
      return;
    }
    Inner* in = AsInner(n);
    const uint32_t i = ChildFor(in, Rank, false);
    SetIn(in->Child[i], Level - 1, Rank, R);
    in->First[i] = FirstKey(in->Child[i], Level - 1);
  }

  // Opens a gap at position At of the parallel arrays of an inner node.
  static void OpenGap(Inner* in, uint32_t At) {
    const size_t tail = in->Count - At;
    std::memmove(in->Sizes + At + 1, in->Sizes + At, tail * sizeof(uint32_t));
    std::memmove(in->First + At + 1, in->First + At, tail * sizeof(Key));
    std::memmove(in->Child + At + 1, in->Child + At, tail * sizeof(Node*));
    ++in->Count;
  }

  static void CloseGap(Inner* in, uint32_t At) {
    const size_t tail = in->Count - At - 1;
    std::memmove(in->Sizes + At, in->Sizes + At + 1, tail * sizeof(uint32_t));
    std::memmove(in->First + At, in->First + At + 1, tail * sizeof(Key));
    std::memmove(in->Child + At, in->Child + At + 1, tail * sizeof(Node*));
    --in->Count;
  }

  // Moves entries [From, From + N) of inner node a to position To of b (b
  // has room; a's entries after the range are not closed up here).
  static void CopyEntries(const Inner* a, uint32_t From, uint32_t N, Inner* b, uint32_t To) {
    std::memcpy(b->Sizes + To, a->Sizes + From, N * sizeof(uint32_t));
    std::memcpy(b->First + To, a->First + From, N * sizeof(Key));
    std::memcpy(b->Child + To, a->Child + From, N * sizeof(Node*));
  }

  static TSplit InsertIn(Node* n, int Level, size_t Rank, const Rec& R) {
    if (Level == 0) return InsertInLeaf(AsLeaf(n), Rank, R);
    Inner* in = AsInner(n);
    const uint32_t i = ChildFor(in, Rank, true);
    const TSplit s = InsertIn(in->Child[i], Level - 1, Rank, R);
    ++in->Sizes[i];
    in->First[i] = FirstKey(in->Child[i], Level - 1);
    if (!s.Right) return {};
    in->Sizes[i] -= static_cast<uint32_t>(s.RightSize);
    return InsertChild(in, i + 1, s);
  }

  static TSplit InsertInLeaf(Leaf* leaf, size_t Rank, const Rec& R) {
    auto put = [](Leaf* l, size_t at, const Rec& r) {
      std::memmove(l->Items + at + 1, l->Items + at, (l->Count - at) * sizeof(Rec));
      l->Items[at] = r;
      ++l->Count;
    };
    if (leaf->Count < LeafCap) {
      put(leaf, Rank, R);
      return {};
    }
    Leaf* right = new Leaf;
    const uint32_t keep = LeafCap / 2;
    right->Count = LeafCap - keep;
    std::memcpy(right->Items, leaf->Items + keep, right->Count * sizeof(Rec));
    leaf->Count = keep;
    right->Next = leaf->Next;
    leaf->Next = right;
    if (Rank <= keep)
      put(leaf, Rank, R);
    else
      put(right, Rank - keep, R);
    return {right, right->Count, KeyOf{}(right->Items[0])};
  }

  // Places the new child S.Right at position At of an inner node, splitting
  // the node when it is full.
  static TSplit InsertChild(Inner* in, uint32_t At, const TSplit& S) {
    auto put = [&S](Inner* node, uint32_t at) {
      OpenGap(node, at);
      node->Sizes[at] = static_cast<uint32_t>(S.RightSize);
      node->First[at] = S.RightFirst;
      node->Child[at] = S.Right;
    };
    if (in->Count < InnerCap) {
      put(in, At);
      return {};
    }
    Inner* right = new Inner;
    const uint32_t keep = InnerCap / 2;
    right->Count = InnerCap - keep;
    CopyEntries(in, keep, right->Count, right, 0);
    in->Count = keep;
    if (At <= keep)
      put(in, At);
    else
      put(right, At - keep);
    return {right, Total(right), right->First[0]};
  }

  static Rec EraseIn(Node* n, int Level, size_t Rank) {
    if (Level == 0) {
      Leaf* leaf = AsLeaf(n);
      const Rec out = leaf->Items[Rank];
      std::memmove(leaf->Items + Rank, leaf->Items + Rank + 1,
                   (leaf->Count - Rank - 1) * sizeof(Rec));
      --leaf->Count;
      return out;
    }
    Inner* in = AsInner(n);
    const uint32_t i = ChildFor(in, Rank, false);
    const Rec out = EraseIn(in->Child[i], Level - 1, Rank);
    --in->Sizes[i];
    if (in->Child[i]->Count < MinCount(Level - 1))
      Rebalance(in, i, Level - 1);
    else
      in->First[i] = FirstKey(in->Child[i], Level - 1);
    return out;
  }

  // Child i of an inner node (of two children or more) fell below its
  // minimum: merge it with a neighbour when both fit one node, else share
  // the records of the two evenly.
  static void Rebalance(Inner* in, uint32_t i, int ChildLevel) {
    const uint32_t l = i > 0 ? i - 1 : i;
    Node* a = in->Child[l];
    Node* b = in->Child[l + 1];
    if (a->Count + b->Count <= Cap(ChildLevel)) {
      if (ChildLevel == 0) {
        Leaf* la = AsLeaf(a);
        Leaf* lb = AsLeaf(b);
        std::memcpy(la->Items + la->Count, lb->Items, lb->Count * sizeof(Rec));
        la->Count += lb->Count;
        la->Next = lb->Next;
        delete lb;
      } else {
        Inner* ia = AsInner(a);
        Inner* ib = AsInner(b);
        CopyEntries(ib, 0, ib->Count, ia, ia->Count);
        ia->Count += ib->Count;
        delete ib;
      }
      in->Sizes[l] += in->Sizes[l + 1];
      CloseGap(in, l + 1);
    } else {
      Share(a, b, ChildLevel);
      if (ChildLevel == 0) {
        in->Sizes[l] = a->Count;
        in->Sizes[l + 1] = b->Count;
      } else {
        in->Sizes[l] = static_cast<uint32_t>(Total(AsInner(a)));
        in->Sizes[l + 1] = static_cast<uint32_t>(Total(AsInner(b)));
      }
      in->First[l + 1] = FirstKey(b, ChildLevel);
    }
    if (in->Child[l]->Count > 0) in->First[l] = FirstKey(in->Child[l], ChildLevel);
  }

  // Moves records (or children) between neighbours a and b so that a holds
  // half of them.
  static void Share(Node* a, Node* b, int Level) {
    const uint32_t total = a->Count + b->Count;
    const uint32_t wantA = total / 2;
    if (Level == 0) {
      Leaf* la = AsLeaf(a);
      Leaf* lb = AsLeaf(b);
      if (la->Count > wantA) {
        const uint32_t n = la->Count - wantA;
        std::memmove(lb->Items + n, lb->Items, lb->Count * sizeof(Rec));
        std::memcpy(lb->Items, la->Items + wantA, n * sizeof(Rec));
      } else {
        const uint32_t n = wantA - la->Count;
        std::memcpy(la->Items + la->Count, lb->Items, n * sizeof(Rec));
        std::memmove(lb->Items, lb->Items + n, (lb->Count - n) * sizeof(Rec));
      }
    } else {
      Inner* ia = AsInner(a);
      Inner* ib = AsInner(b);
      if (ia->Count > wantA) {
        const uint32_t n = ia->Count - wantA;
        std::memmove(ib->Sizes + n, ib->Sizes, ib->Count * sizeof(uint32_t));
        std::memmove(ib->First + n, ib->First, ib->Count * sizeof(Key));
        std::memmove(ib->Child + n, ib->Child, ib->Count * sizeof(Node*));
        CopyEntries(ia, wantA, n, ib, 0);
      } else {
        const uint32_t n = wantA - ia->Count;
        CopyEntries(ib, 0, n, ia, ia->Count);
        const size_t tail = ib->Count - n;
        std::memmove(ib->Sizes, ib->Sizes + n, tail * sizeof(uint32_t));
        std::memmove(ib->First, ib->First + n, tail * sizeof(Key));
        std::memmove(ib->Child, ib->Child + n, tail * sizeof(Node*));
      }
    }
    a->Count = wantA;
    b->Count = total - wantA;
  }

  bool CheckNode(const Node* n, int Level, bool IsRoot, size_t& Total, const Leaf*& ExpectNext,
                 const Leaf*& FirstLeaf) const {
    if (n->Count > Cap(Level)) return false;
    if (!IsRoot && n->Count < MinCount(Level)) return false;
    if (Level == 0) {
      const Leaf* leaf = AsLeaf(n);
      if (FirstLeaf == nullptr)
        FirstLeaf = leaf;
      else if (ExpectNext != leaf)
        return false;
      ExpectNext = leaf->Next;
      Total += leaf->Count;
      return true;
    }
    const Inner* in = AsInner(n);
    for (uint32_t i = 0; i < in->Count; ++i) {
      size_t below = 0;
      if (!CheckNode(in->Child[i], Level - 1, false, below, ExpectNext, FirstLeaf)) return false;
      if (below != in->Sizes[i] || below == 0) return false;
      const Key first = FirstKey(in->Child[i], Level - 1);
      if (std::memcmp(&first, &in->First[i], sizeof(Key)) != 0) return false;
      Total += below;
    }
    return true;
  }

  Node* root_ = nullptr;
  int height_ = 0;  // 0: the root is a leaf
  size_t size_ = 0;
};

}  // namespace marovia::gdb
