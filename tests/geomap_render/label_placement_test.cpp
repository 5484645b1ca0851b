// Captions placed without overlap, judged from the rendered pixels alone:
// every landmark's caption and symbol get colours of their own, and a
// caption's ink is the pixels of its colour that a render without caption
// texts does not have. Ink boxes must not overlap each other, nor another
// landmark's symbol, nor touch the view's edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "render_fixture.h"

namespace marovia::test {
namespace {

// Two colours for landmark i (0-based), in two palettes that a 15-bit view
// keeps distinct: five bits a channel, never black, white or grey. A
// pixel belongs to a caption when it has the caption's colour in a render
// with either palette: antialiased edges may match some colour of one
// palette by chance, not the same landmark's colour in both.
TColor InkColour(int I, bool Symbol, int Palette = 0) {
  int c = 2 * I + (Symbol ? 1 : 0) + 1;
  if (Palette == 1) c = (c * 769 + 301) % 4093 + 1;
  return RGB(static_cast<uint8_t>(((c & 15) + 8) << 3),
             static_cast<uint8_t>((((c >> 4) & 15) + 16) << 3),
             static_cast<uint8_t>(((c >> 8) & 31) << 3));
}

struct Box {
  int Left = INT32_MAX, Top = INT32_MAX, Right = INT32_MIN, Bottom = INT32_MIN;  // inclusive
  bool Empty() const { return Right < Left; }
  void Add(int X, int Y) {
    Left = std::min(Left, X), Top = std::min(Top, Y);
    Right = std::max(Right, X), Bottom = std::max(Bottom, Y);
  }
  bool Overlaps(const Box& B) const {
    return !Empty() && !B.Empty() && Left <= B.Right && B.Left <= Right && Top <= B.Bottom &&
           B.Top <= Bottom;
  }
};

std::vector<uint32_t> Pixels(const TGeoMap& Map) {
  std::vector<uint32_t> out;
  for (int y = 0; y < Map.Height(); ++y) {
    const uint32_t* row = Map.ComposedView().ScanLine(y);
    out.insert(out.end(), row, row + Map.Width());
  }
  return out;
}

// Gives every landmark its caption and symbol colours of a palette.
void Recolour(TGeoMap& Map, int Palette = 0) {
  for (int32_t i = 1; i <= Map.NumLandMarks(); ++i) {
    TLandMark lm = Map.GetLandMarkData(i);
    lm.Caption.FGColor = InkColour(i - 1, false, Palette);
    lm.Caption.Transparent = true;
    lm.SymbolProps.FGColor = InkColour(i - 1, true, Palette);
    lm.SymbolProps.Transparent = true;
    Map.SetLandMarkData(i, lm);
  }
}

// Ink boxes of each landmark's caption (or symbol): the pixels that have
// its colour in renders A and B, made with palettes 0 and 1.
std::vector<Box> InkBoxes(const std::vector<uint32_t>& A, const std::vector<uint32_t>& B, int W,
                          int N, bool Symbol) {
  std::unordered_map<uint32_t, size_t> first;  // palette 0 colour -> landmark
  std::vector<uint32_t> second;                // palette 1 colour of each landmark
  for (int i = 0; i < N; ++i) {
    first[ColorToPixel(MapView::Stored(InkColour(i, Symbol, 0)))] = static_cast<size_t>(i);
    second.push_back(ColorToPixel(MapView::Stored(InkColour(i, Symbol, 1))));
  }
  std::vector<Box> boxes(static_cast<size_t>(N));
  for (size_t p = 0; p < A.size(); ++p) {
    const auto it = first.find(A[p] & 0xFFFFFF);
    if (it != first.end() && (B[p] & 0xFFFFFF) == second[it->second])
      boxes[it->second].Add(static_cast<int>(p % W), static_cast<int>(p / W));
  }
  return boxes;
}

struct Judgement {
  int Shown = 0;        // captions with ink
  int Overlaps = 0;     // pairs of caption boxes sharing a pixel
  int OverSymbols = 0;  // captions over another landmark's symbol
  int AtEdge = 0;       // captions touching the view's outermost pixels
};

// Renders Map in both palettes and judges the captions (Map is left in
// palette 0).
Judgement JudgeCaptions(TGeoMap& Map) {
  const int W = Map.Width(), H = Map.Height(), N = Map.NumLandMarks();
  Map.SetSuppressPaint(false);
  std::vector<uint32_t> renders[2];
  for (int p = 1; p >= 0; --p) {
    Recolour(Map, p);
    Map.Paint();
    renders[p] = Pixels(Map);
  }
  const auto captions = InkBoxes(renders[0], renders[1], W, N, false);
  const auto symbols = InkBoxes(renders[0], renders[1], W, N, true);
  Judgement j;
  for (size_t a = 0; a < captions.size(); ++a) {
    if (captions[a].Empty()) continue;
    ++j.Shown;
    const Box& c = captions[a];
    if (c.Left == 0 || c.Top == 0 || c.Right == W - 1 || c.Bottom == H - 1) ++j.AtEdge;
    for (size_t b = a + 1; b < captions.size(); ++b) j.Overlaps += c.Overlaps(captions[b]);
    for (size_t b = 0; b < symbols.size(); ++b) j.OverSymbols += b != a && c.Overlaps(symbols[b]);
  }
  return j;
}

// A crowd of captioned landmarks on a blank 300 x 200 map shown at
// magnification 2, some of them near the edges, in every alignment.
void AddCrowd(TGeoMap& Map, int Count) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> lat(40.2, 49.8), lon(10.1, 19.9);
  const char* const names[] = {"Aarau",  "Bellinzona", "Chur",     "Delemont",  "Frauenfeld",
                               "Glarus", "Herisau",    "Lausanne", "Neuchatel", "Sarnen"};
  for (int i = 0; i < Count; ++i) {
    Map.AddLandMark(lat(random), lon(random), 0, names[i % 10], 8, clBlack);
    TLandMark lm = Map.GetLandMarkData(i + 1);
    lm.ClassFlag = static_cast<uint8_t>(1 + i % 3);
    lm.SymbolProps.Kind = static_cast<TLandMarkElement>(i % 9);
    lm.SymbolProps.Size = 2 + i % 5;
    lm.Caption.HAlignment = static_cast<TAlignment>(i % 3);
    lm.Caption.VAlignment = static_cast<TVerticalAlignment>(i / 3 % 3);
    Map.SetLandMarkData(i + 1, lm);
  }
}

class LabelPlacement : public ::testing::Test {
 protected:
  LabelPlacement() : v(600, 400) {
    v.map.SetSuppressPaint(true);
    GenerateBlankMap(v.map);
    v.map.SetMagnification(2);
    v.map.SetTopLeft(TPoint{0, 0});
    AddCrowd(v.map, 160);
    Recolour(v.map);
  }
  MapView v;
};

TEST_F(LabelPlacement, CrowdedCaptionsNeitherOverlapNorCoverSymbolsNorReachTheEdge) {
  v.map.SetPlaceLabels(true);
  const Judgement placed = JudgeCaptions(v.map);
  EXPECT_EQ(placed.Overlaps, 0);
  EXPECT_EQ(placed.OverSymbols, 0);
  EXPECT_EQ(placed.AtEdge, 0);
  EXPECT_GT(placed.Shown, 60);  // most find a place; the crowd is dense

  // The same crowd drawn as written piles up: the judge sees it.
  v.map.SetPlaceLabels(false);
  const Judgement all = JudgeCaptions(v.map);
  EXPECT_GE(all.Shown, 150);  // a few are wholly covered by others
  EXPECT_GT(all.Overlaps, 20);
}

TEST_F(LabelPlacement, SameViewGivesTheSamePicture) {
  v.map.SetSuppressPaint(false);
  v.map.SetPlaceLabels(true);
  const auto first = Pixels(v.map);
  v.map.SetLMClassVisible(3, false);  // another picture in between
  v.map.SetLMClassVisible(3, true);
  v.map.Paint();
  EXPECT_EQ(Pixels(v.map), first);
}

// A priority handler that empties the list shrinks the storage under the
// placement: the landmarks it removed must not be read.
TEST_F(LabelPlacement, HandlerThatRemovesTheLandmarksEndsThePlacementSafely) {
  AddCrowd(v.map, 2400);  // 2560 landmarks: storage of 3000
  v.map.SetPlaceLabels(true);
  v.map.OnLabelPriority = [&](TObject*, int32_t, const TLandMark&, int32_t&) {
    v.map.RemoveAllLandMarks();
  };
  v.map.SetSuppressPaint(false);
  v.map.Paint();
  EXPECT_EQ(v.map.NumLandMarks(), 0);
  EXPECT_EQ(v.map.LandMarkCapacity(), 1000);
}

// Two landmarks at one spot of a view where only one caption fits (the
// caption is wider than half the view and fits only below the symbols):
// the rank decides which is shown.
TEST(LabelPriority, TheHigherRankedCaptionWinsTheOnlyPlace) {
  struct Row {
    const char* Name;
    uint8_t ClassA, ClassB;
    int32_t SizeA, SizeB;
    bool HighlightB;
    int32_t HostPriorityB;
    bool AShown;
  };
  const Row rows[] = {
      {"lower class number first", 1, 2, 3, 3, false, 0, true},
      {"class beats symbol size", 2, 1, 6, 3, false, 0, false},
      {"larger symbol within a class", 1, 1, 3, 5, false, 0, false},
      {"list order breaks ties", 1, 1, 3, 3, false, 0, true},
      {"highlight beats class", 1, 2, 3, 3, true, 0, false},
      {"host priority beats everything", 1, 5, 6, 3, false, 1, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    MapView v(90, 46);
    v.map.SetSuppressPaint(true);
    GenerateBlankMap(v.map);
    v.map.SetMagnification(1);
    // The view's centre: latitude 45 at y 100, longitude 11.5 at x 45.
    v.map.SetTopLeft(TPoint{0, 80});
    for (int k = 0; k < 2; ++k) {
      v.map.AddLandMark(45, 11.5, 0, "WWWWWW", 8, clBlack);
      TLandMark lm = v.map.GetLandMarkData(k + 1);
      lm.ClassFlag = k == 0 ? r.ClassA : r.ClassB;
      lm.SymbolProps.Kind = lmSquare;
      lm.SymbolProps.Size = k == 0 ? r.SizeA : r.SizeB;
      lm.Caption.dy = 10;  // below the larger symbol; nothing fits above
      v.map.SetLandMarkData(k + 1, lm);
    }
    Recolour(v.map);
    if (r.HighlightB) v.map.SetHighLightLandMark(2);
    v.map.OnLabelPriority = [&](TObject*, int32_t Index, const TLandMark&, int32_t& P) {
      if (Index == 2) P = r.HostPriorityB;
    };
    v.map.SetPlaceLabels(true);
    const Judgement j = JudgeCaptions(v.map);
    ASSERT_EQ(j.Shown, 1);  // the view leaves room for one caption only
    v.map.Paint();
    EXPECT_EQ(v.Count(MapView::Stored(InkColour(0, false))) > 0, r.AShown);
    EXPECT_EQ(v.Count(MapView::Stored(InkColour(1, false))) > 0, !r.AShown);
  }
}

// The sample atlas's overview around the Mediterranean with its 200
// landmarks: written, the captions form a blot over Europe; placed, they
// stay readable.
TEST(LabelPlacementSample, MediterraneanViewStaysReadable) {
  const std::string atlas = std::string(MAROVIA_SAMPLES_DIR) + "/atlas/";
  MapView v(800, 600);
  v.map.SetSuppressPaint(true);
  v.map.OnMapImageRequest = [&](TObject*, std::string& Name) { Name = atlas + Name; };
  ASSERT_TRUE(v.map.LoadCalDataFromXML(atlas + "overview_miller.xml", ""));
  ASSERT_GT(v.map.MapImgWidth(), 0);
  ASSERT_TRUE(v.map.LoadLandMarks(atlas + "landmarks.xml", ""));
  int32_t x = 0, y = 0;
  ASSERT_TRUE(v.map.CalcPixelCoords(30, 20, x, y));
  v.map.SetMagnification(0.35);
  v.map.SetTopLeft(
      TPoint{static_cast<int32_t>(x - 400 / 0.35), static_cast<int32_t>(y - 300 / 0.35)});
  Recolour(v.map);
  v.map.SetPlaceLabels(true);
  const Judgement j = JudgeCaptions(v.map);
  EXPECT_EQ(j.Overlaps, 0);
  EXPECT_EQ(j.OverSymbols, 0);
  EXPECT_EQ(j.AtEdge, 0);
  EXPECT_GE(j.Shown, 70);
}

}  // namespace
}  // namespace marovia::test
