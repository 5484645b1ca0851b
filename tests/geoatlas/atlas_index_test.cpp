// The atlas index: its spatial index answers what a scan of every map
// answers (on random atlases, against the corner rule applied map by map),
// maps across the antimeridian are found on both sides of 180, borders
// bound what a map covers, a view's best map fills it, and building an index
// reads calibrations and image headers only.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/calxml.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

// A map of the box Lat0..Lat1, Long0..Long1 (Long1 may pass 180) of an
// image of 1000 x 500 pixels.
TAtlasMap BoxMap(double Lat0, double Lat1, double Long0, double Long1, double Resolution) {
  const auto wrap = [](double L) { return L > 180 ? L - 360 : L; };
  TAtlasMap m;
  m.File = "m.xml";
  m.Resolution = Resolution;
  m.ImageWidth = 1000;
  m.ImageHeight = 500;
  m.Corners[gcoTopLeft] = {Lat1, wrap(Long0)};
  m.Corners[gcoBottomLeft] = {Lat0, wrap(Long0)};
  m.Corners[gcoBottomRight] = {Lat0, wrap(Long1)};
  m.Corners[gcoTopRight] = {Lat1, wrap(Long1)};
  return m;
}

TEST(AtlasIndex, SpatialIndexAnswersWhatAScanOfEveryMapAnswers) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> lat(-70, 70), lon(-175, 170), size(0.1, 8), res(1, 500);
  std::vector<TAtlasMap> maps;
  for (int i = 0; i < 3000; ++i) {
    const double a = lat(rng), o = lon(rng), h = size(rng), w = size(rng);
    // Some maps share a resolution: ties go to the first.
    maps.push_back(BoxMap(a, a + h, o, o + w, i % 7 == 0 ? 100 : std::round(res(rng))));
  }
  // A few skewed quadrilaterals, and maps without a resolution.
  for (int i = 0; i < 50; ++i) {
    TAtlasMap m = BoxMap(0, 0, 0, 0, i % 2 ? 0 : 30);
    const double a = lat(rng), o = lon(rng);
    m.Corners = {TCoords{a + 3, o}, TCoords{a, o + 1}, TCoords{a + 1, o + 5},
                 TCoords{a + 4, o + 3}};
    maps.push_back(m);
  }
  const TAtlasIndex index(maps);
  for (int q = 0; q < 3000; ++q) {
    const double a = lat(rng), o = lon(rng), r = res(rng);
    std::vector<size_t> covering;
    for (size_t i = 0; i < maps.size(); ++i)
      if (PositionInMap(a, o, maps[i].Corners)) covering.push_back(i);
    std::stable_sort(covering.begin(), covering.end(), [&](size_t x, size_t y) {
      const auto key = [&](size_t i) {
        return maps[i].Resolution > 0 ? maps[i].Resolution : 1e300;
      };
      return key(x) < key(y);
    });
    ASSERT_EQ(index.Covering(a, o), covering) << a << " " << o;
    ASSERT_EQ(index.BestAt(a, o), covering.empty() ? std::nullopt : std::optional(covering[0]));
    // The atlas's zoom rules: the coarsest more than 10 % finer, the finest
    // coarser; ties to the first in the index.
    std::optional<size_t> finer, coarser;
    for (size_t i = 0; i < maps.size(); ++i) {
      if (!PositionInMap(a, o, maps[i].Corners)) continue;
      const double ri = maps[i].Resolution;
      if ((r - ri) / r > 0.1 && ri > 0 && (!finer || ri > maps[*finer].Resolution)) finer = i;
      if (ri > r && ri < 1e10 && (!coarser || ri < maps[*coarser].Resolution)) coarser = i;
    }
    ASSERT_EQ(index.Finer(a, o, r, 10), finer);
    ASSERT_EQ(index.Coarser(a, o, r), coarser);
  }
}

TEST(AtlasIndex, MapsAcrossTheAntimeridianAreFoundOnBothSides) {
  // 178 E to 178 W, a map wholly east of 180 given past it (181..183), and
  // one west of it.
  const TAtlasIndex index({BoxMap(-20, -10, 178, 182, 10), BoxMap(-20, -10, 181, 183, 5),
                           BoxMap(-20, -10, 170, 179.5, 20)});
  EXPECT_TRUE(index[0].Bounds.CrossesAntimeridian());
  EXPECT_DOUBLE_EQ(index[0].Bounds.West, 178);
  EXPECT_DOUBLE_EQ(index[0].Bounds.East, -178);
  EXPECT_DOUBLE_EQ(index[0].Bounds.Width(), 4);
  EXPECT_FALSE(index[1].Bounds.CrossesAntimeridian());
  EXPECT_DOUBLE_EQ(index[1].Bounds.West, -179);
  struct TRow {
    double Lon;
    std::vector<size_t> Covering;
  } rows[] = {{179, {0, 2}}, {179.9, {0}},     {180, {0}},    {-180, {0}},
              {-179.5, {0}}, {-178.5, {1, 0}}, {-177.5, {1}}, {177, {2}}};
  for (const TRow& r : rows) {
    EXPECT_EQ(index.Covering(-15, r.Lon), r.Covering) << r.Lon;
    EXPECT_EQ(index.BestAt(-15, r.Lon),
              r.Covering.empty() ? std::nullopt : std::optional(r.Covering[0]))
        << r.Lon;
  }
  EXPECT_TRUE(index.Covering(-25, 179).empty());
}

// A plate carree calibration file of 46..48 N, Long0..Long0 + 3 E for an image
// of 300 x 200 pixels (written beside it with only a valid header), with a
// border leaving out the outer eighth when Border is set.
std::string WriteCalibration(const test::TempDir& Dir, const std::string& Name, double Long0,
                             bool Border) {
  TCalibData data;
  data.MapFName = Name + ".png";
  TMapCalibration cal(cmEquiRect, data, 300, 200);
  cal.AddPoint(48, Long0, 0, 0);
  cal.AddPoint(48, Long0 + 3, 300, 0);
  cal.AddPoint(46, Long0, 0, 200);
  if (Border) cal.SetBorder({{37.5, 25}, {262.5, 25}, {262.5, 175}, {37.5, 175}});
  cal.Fit();
  SaveCalibrationAsXML(Dir.File(Name + ".xml"), Name, cal);
  // A PNG cut after its header: its size is known, its pixels are not.
  const unsigned char png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,  0, 0,
                               13,   'I', 'H', 'D', 'R',  0,    0,    1,    44, 0, 0,
                               0,    200, 8,   2,   0,    0,    0,    0,    0,  0, 0};
  Dir.Write(Name + ".png", std::string(reinterpret_cast<const char*>(png), sizeof png));
  return Dir.File(Name + ".xml");
}

TEST(AtlasIndex, IsBuiltFromHeadersAndHonoursBorders) {
  test::TempDir dir;
  const std::vector<std::string> files = {
      WriteCalibration(dir, "plain", 8, false), WriteCalibration(dir, "sheet", 8, true),
      dir.Write("broken.xml", "<geomap sig=\"Quorvant\">\n"), dir.File("missing.xml")};
  std::vector<std::string> problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(files, problems);
  ASSERT_EQ(index.Count(), 2u);
  EXPECT_EQ(problems.size(), 2u);
  EXPECT_EQ(index[0].ImageWidth, 300);
  EXPECT_EQ(index[1].ImageHeight, 200);
  EXPECT_TRUE(index[0].Border.empty());
  ASSERT_GE(index[1].Border.size(), 4u);
  // The outer eighth is 0.375 degrees wide and 0.25 high.
  EXPECT_TRUE(index.Covers(0, 47.9, 8.2));
  EXPECT_FALSE(index.Covers(1, 47.9, 8.2));
  EXPECT_TRUE(index.Covers(1, 47.5, 8.5));
  EXPECT_NEAR(index[1].Bounds.West, 8.375, 1e-9);
  EXPECT_NEAR(index[1].Bounds.North, 47.75, 1e-9);
}

TEST(AtlasIndex, ManyFilesKeepTheirOrderWhateverReadsThem) {
  // Enough files for the reading to be shared among threads: every fifth
  // one broken or missing, the maps and the problems in the files' order.
  test::TempDir dir;
  std::vector<std::string> files, expectedMaps, expectedProblems;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "m" + std::to_string(i);
    if (i % 10 == 3) {
      files.push_back(dir.File(name + ".xml"));
      expectedProblems.push_back(files.back());
    } else if (i % 10 == 7) {
      files.push_back(dir.Write(name + ".xml", "<geomap sig=\"Quorvant\">\n"));
      expectedProblems.push_back(files.back());
    } else {
      files.push_back(WriteCalibration(dir, name, i * 0.01, false));
      expectedMaps.push_back(files.back());
    }
  }
  std::vector<std::string> problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(files, problems);
  ASSERT_EQ(index.Count(), expectedMaps.size());
  for (size_t i = 0; i < expectedMaps.size(); ++i) EXPECT_EQ(index[i].File, expectedMaps[i]);
  ASSERT_EQ(problems.size(), expectedProblems.size());
  for (size_t i = 0; i < problems.size(); ++i)
    EXPECT_NE(problems[i].find(expectedProblems[i]), std::string::npos) << problems[i];
}

TEST(AtlasIndex, TheBestMapOfAViewFillsIt) {
  // Equal images of 1000 x 500 pixels: a coarse map of a large box, a fine
  // one of a small box in its middle, and a finer one in a corner of that.
  const TAtlasIndex index(
      {BoxMap(40, 50, 0, 20, 1000), BoxMap(44, 46, 8, 12, 200), BoxMap(44, 44.4, 8, 8.8, 40)});
  // The fine map's image is 1000 px across: a view of 400 px at
  // magnification 1 centred in it lies wholly on it.
  EXPECT_DOUBLE_EQ(index.ViewShare(1, 45, 10, 400, 300, 1), 1.0);
  EXPECT_EQ(index.BestForView(45, 10, 400, 300, 1), std::optional<size_t>(1));
  // Near its corner a quarter of the view is on it (its centre 2.5 pixels
  // from each edge); the coarse map fills the view and comes first.
  EXPECT_NEAR(index.ViewShare(1, 45.99, 11.99, 400, 300, 1), 202.5 * 152.5 / (400 * 300), 1e-9);
  EXPECT_EQ(index.ForView(45.99, 11.99, 400, 300, 1), (std::vector<size_t>{0, 1}));
  // Where none fills a large view, the one filling most comes first: the
  // coarse map (5/6), the finest (0.465), the fine one (0.449).
  EXPECT_EQ(index.ForView(44.3, 8.7, 800, 600, 1), (std::vector<size_t>{0, 2, 1}));
  EXPECT_EQ(index.BestForView(30, 10, 400, 300, 1), std::nullopt);
}

}  // namespace
}  // namespace marovia
