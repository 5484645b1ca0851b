// Parts of a tile job as ranges of tile ids (against every tile's id sorted),
// the archives read back and refused when damaged, manifests, merging
// (against tiles stacked pixel by pixel here) and verifying.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/tile_job.h"
#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/geomap/tile_manifest.h"
#include "marovia/geomap/tile_merge.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr size_t kPixels = size_t{kWebTileSize} * kWebTileSize;

std::string ReadFile(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TAtlasTiles SampleAtlas() {
  std::vector<std::string> files, problems;
  for (const auto& e : fs::directory_iterator(MAROVIA_SAMPLE_ATLAS))
    if (e.path().extension() == ".xml" && e.path().stem().string().find('_') != std::string::npos)
      files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  const TAtlasIndex index = TAtlasIndex::FromFiles(files, problems);
  TAtlasTiles tiles(index, {}, problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  return tiles;
}

TEST(TileJobParts, AreContiguousRangesOfIdsHoldingEqualShares) {
  const TAtlasTiles atlas = SampleAtlas();
  const TTileJob job(atlas, 1, 12);
  // The oracle: every tile's id, sorted.
  std::vector<uint64_t> ids;
  for (int64_t i = 0; i < job.Total(); ++i) ids.push_back(PMTilesTileId(job.At(i)));
  std::sort(ids.begin(), ids.end());
  ASSERT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
  ASSERT_GT(ids.size(), 2000u);

  std::mt19937_64 rng(3);
  for (int k = 0; k < 300; ++k) {
    const uint64_t probe =
        k < 100 ? ids[rng() % ids.size()] + (k % 2) : rng() % PMTilesTileId({13, 0, 0});
    EXPECT_EQ(job.CountBelow(probe), std::lower_bound(ids.begin(), ids.end(), probe) - ids.begin())
        << probe;
  }
  for (const int parts : {1, 2, 3, 7, 64}) {
    uint64_t next = PMTilesTileId({1, 0, 0});
    for (int part = 1; part <= parts; ++part) {
      const auto [first, end] = job.PartIds(part, parts);
      EXPECT_EQ(first, next) << part << "/" << parts;
      next = end;
      const int64_t lo = job.Total() * (part - 1) / parts, hi = job.Total() * part / parts;
      const auto a = std::lower_bound(ids.begin(), ids.end(), first);
      const auto b = std::lower_bound(ids.begin(), ids.end(), end);
      EXPECT_EQ(b - a, hi - lo) << part << "/" << parts;
      EXPECT_EQ(a - ids.begin(), lo) << part << "/" << parts;
    }
    EXPECT_EQ(next, PMTilesTileId({13, 0, 0}));
  }
  EXPECT_THROW(job.PartIds(4, 3), EZYLGeoMapError);
}

// A tile of a set colour with the pixels where Opaque answers true opaque,
// the rest transparent (and black, as a fresh tile).
TTileRgba Pattern(uint8_t R, uint8_t G, uint8_t B, bool (*Opaque)(int, int)) {
  TTileRgba p(kPixels * 4, 0);
  for (int y = 0; y < kWebTileSize; ++y)
    for (int x = 0; x < kWebTileSize; ++x)
      if (Opaque(x, y)) {
        uint8_t* q = &p[(static_cast<size_t>(y) * kWebTileSize + x) * 4];
        q[0] = R;
        q[1] = static_cast<uint8_t>(G + x % 7);
        q[2] = B;
        q[3] = 255;
      }
  return p;
}

TTileSetInfo InfoOf(int MinZoom, int MaxZoom) {
  TTileSetInfo info;
  info.Name = "set";
  info.Bounds = {5, 45, 11, 48};
  info.MinZoom = MinZoom;
  info.MaxZoom = MaxZoom;
  return info;
}

void WriteSet(const std::string& File, const TTileSetInfo& Info,
              const std::map<uint64_t, TTileRgba>& Tiles) {
  const auto store = OpenTileStore(File, Info, false);
  for (const auto& [id, rgba] : Tiles) store->Put(PMTilesTileOf(id), EncodePngTile(rgba));
  store->Finish();
}

TEST(TileMerge, OverlappingSetsStackFinestFirstPixelByPixel) {
  test::TempDir dir;
  const auto left = [](int x, int) { return x < 100; };
  const auto disc = [](int x, int y) {
    return (x - 128) * (x - 128) + (y - 128) * (y - 128) < 90 * 90;
  };
  const auto all = [](int, int) { return true; };
  const uint64_t shared = PMTilesTileId({5, 16, 11}), fineOnly = PMTilesTileId({5, 17, 11}),
                 coarseOnly = PMTilesTileId({4, 8, 5});
  // The fine set (levels to 5) is given last but stacks first; of the two
  // coarse sets of equal levels the one given first stacks first.
  const std::map<uint64_t, TTileRgba> fine = {{shared, Pattern(200, 10, 10, left)},
                                              {fineOnly, Pattern(1, 2, 3, all)}};
  const std::map<uint64_t, TTileRgba> coarseA = {{shared, Pattern(10, 200, 10, disc)},
                                                 {coarseOnly, Pattern(9, 9, 9, disc)}};
  const std::map<uint64_t, TTileRgba> coarseB = {{shared, Pattern(10, 10, 200, all)}};
  WriteSet(dir.File("a.pmtiles"), InfoOf(3, 4), coarseA);
  WriteSet(dir.File("b.mbtiles"), InfoOf(4, 4), coarseB);
  WriteSet(dir.File("fine.pmtiles"), InfoOf(5, 5), fine);
  const TTileMergeResult r =
      MergeTileArchives({dir.File("a.pmtiles"), dir.File("b.mbtiles"), dir.File("fine.pmtiles")},
                        dir.File("out.pmtiles"));
  EXPECT_EQ(r.Tiles, 3);
  EXPECT_EQ(r.Stacked, 1);

  const auto out = OpenTileArchive(dir.File("out.pmtiles"));
  std::vector<uint64_t> want = {coarseOnly, shared, fineOnly};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(out->TileIds(), want);
  EXPECT_EQ(out->Info().MinZoom, 3);
  EXPECT_EQ(out->Info().MaxZoom, 5);
  Bytes data;
  TTileRgba got;
  ASSERT_TRUE(out->Read(shared, data));
  ASSERT_TRUE(DecodePngTile(data, got));
  const TTileRgba &f = fine.at(shared), &a = coarseA.at(shared), &b = coarseB.at(shared);
  size_t wrong = 0;
  for (size_t p = 0; p < kPixels; ++p) {
    const TTileRgba& want = f[p * 4 + 3] ? f : a[p * 4 + 3] ? a : b;
    wrong += !std::equal(&got[p * 4], &got[p * 4 + 4], &want[p * 4]);
  }
  EXPECT_EQ(wrong, 0u);
  // A tile of one input alone is its bytes.
  ASSERT_TRUE(out->Read(fineOnly, data));
  EXPECT_EQ(data, EncodePngTile(fine.at(fineOnly)));

  // Sets of different formats, and an output among the inputs, are refused.
  const auto jpeg = OpenTileStore(
      dir.File("j.pmtiles"),
      [] {
        TTileSetInfo i = InfoOf(4, 4);
        i.Format = TTileFormat::Jpeg;
        return i;
      }(),
      false);
  jpeg->Finish();
  EXPECT_THROW(
      MergeTileArchives({dir.File("a.pmtiles"), dir.File("j.pmtiles")}, dir.File("x.pmtiles")),
      EZYLGeoMapError);
  EXPECT_THROW(MergeTileArchives({dir.File("a.pmtiles")}, dir.File("a.pmtiles")), EZYLGeoMapError);
}

// GDAL's MBTiles file of one level-4 tile, transparent beyond its image,
// stacked over a tile of ours: its pixels where it has them, ours beneath.
TEST(TileMerge, StacksAnMBTilesFileMadeByGdal) {
  test::TempDir dir;
  const std::string gdal = std::string(MAROVIA_TILE_DATA) + "/alps_by_gdal.mbtiles";
  const auto archive = OpenTileArchive(gdal);
  const uint64_t id = PMTilesTileId({4, 8, 5});
  ASSERT_EQ(archive->TileIds(), std::vector<uint64_t>{id});
  EXPECT_EQ(archive->Info().MinZoom, 4);
  EXPECT_EQ(archive->Info().Format, TTileFormat::Png);
  Bytes data;
  TTileRgba theirs;
  ASSERT_TRUE(archive->Read(id, data));
  ASSERT_TRUE(DecodePngTile(data, theirs));
  size_t covered = 0;
  for (size_t p = 3; p < theirs.size(); p += 4) covered += theirs[p] != 0;
  ASSERT_GT(covered, 100u);
  ASSERT_LT(covered, kPixels) << "the test needs a tile partly transparent";

  const TTileRgba ours = Pattern(7, 70, 170, [](int, int) { return true; });
  WriteSet(dir.File("ours.pmtiles"), InfoOf(4, 4), {{id, ours}});
  MergeTileArchives({gdal, dir.File("ours.pmtiles")}, dir.File("out.mbtiles"));
  TTileRgba got;
  ASSERT_TRUE(OpenTileArchive(dir.File("out.mbtiles"))->Read(id, data));
  ASSERT_TRUE(DecodePngTile(data, got));
  size_t wrong = 0;
  for (size_t p = 0; p < kPixels; ++p) {
    const TTileRgba& want = theirs[p * 4 + 3] ? theirs : ours;
    wrong += !std::equal(&got[p * 4], &got[p * 4 + 4], &want[p * 4]);
  }
  EXPECT_EQ(wrong, 0u);
}

// A fragment of two parts written with its manifests, as a run of parts
// would, then damaged one way at a time: verify names what it finds.
TEST(TileVerify, FindsARemovedAnAddedAndAChangedTile) {
  test::TempDir dir;
  fs::create_directory(dir.File("parts"));
  std::map<uint64_t, Bytes> tiles;
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 8; y += 2) {
      const std::string s = "tile " + std::to_string(x) + "," + std::to_string(y);
      tiles[PMTilesTileId({3, x, y})] = Bytes(s.begin(), s.end());
    }
  const uint64_t first = PMTilesTileId({3, 0, 0}), end = PMTilesTileId({4, 0, 0});
  const uint64_t cut = first + 29;
  for (int part = 1; part <= 2; ++part) {
    TTileManifest m;
    m.Part = part;
    m.Parts = 2;
    m.Fragment = "f" + std::to_string(part);
    m.Job = 42;
    m.MinZoom = m.MaxZoom = 3;
    m.FirstId = part == 1 ? first : cut;
    m.EndId = part == 1 ? cut : end;
    m.JobPlaces = 64;
    m.Places = static_cast<int64_t>(m.EndId - m.FirstId);
    for (const auto& [id, b] : tiles)
      if (id >= m.FirstId && id < m.EndId) m.Tiles.push_back({id, b.size(), TileChecksum(b)});
    m.Write(dir.File("parts/" + m.Fragment + ".manifest"));
  }
  const auto archive = [&](std::map<uint64_t, Bytes> Tiles) {
    const auto store = OpenTileStore(dir.File("t.pmtiles"), InfoOf(3, 3), false);
    for (const auto& [id, b] : Tiles) store->Put(PMTilesTileOf(id), b);
    store->Finish();
    return VerifyTileArchive(dir.File("t.pmtiles"), dir.File("parts"));
  };
  const TTileVerifyResult good = archive(tiles);
  EXPECT_TRUE(good.Ok()) << good.Problems.front();
  EXPECT_EQ(good.Listed, 32);

  auto damaged = tiles;
  damaged.erase(PMTilesTileId({3, 2, 4}));
  damaged[PMTilesTileId({3, 5, 1})] = {1, 2, 3};
  damaged[PMTilesTileId({3, 6, 6})].back() ^= 1;
  const TTileVerifyResult bad = archive(damaged);
  EXPECT_EQ(bad.Missing, 1);
  EXPECT_EQ(bad.Extra, 1);
  EXPECT_EQ(bad.Changed, 1);
  const std::vector<std::string> want = {"missing tile 3/2/4", "extra tile 3/5/1",
                                         "changed tile 3/6/6"};
  for (const std::string& w : want)
    EXPECT_NE(std::find(bad.Problems.begin(), bad.Problems.end(), w), bad.Problems.end()) << w;

  // A part whose manifest is missing is not complete.
  fs::remove(dir.File("parts/f2.manifest"));
  const TTileVerifyResult partial = archive(tiles);
  ASSERT_FALSE(partial.Ok());
  EXPECT_EQ(partial.Problems.front(), "part 2 of 2: no manifest (the part is not complete)");
}

TEST(TileManifest, ReadsBackAndRefusesWhatIsDamagedNamingTheLine) {
  TTileManifest m;
  m.Part = 2;
  m.Parts = 3;
  m.Fragment = "atlas.part-2-of-3.pmtiles";
  m.Job = 0x0123456789abcdefull;
  m.MinZoom = 2;
  m.MaxZoom = 4;
  m.FirstId = 10;
  m.EndId = 40;
  m.Places = 12;
  m.JobPlaces = 30;
  m.Tiles = {{11, 100, 5}, {12, 7, 0xffffffffffffffffull}};
  const std::string text = m.Serialize();
  const TTileManifest back = TTileManifest::Parse(text, "m");
  EXPECT_EQ(back.Serialize(), text);
  EXPECT_EQ(back.Tiles, m.Tiles);

  const auto replaced = [&](const std::string& From, const std::string& To) {
    std::string t = text;
    const size_t at = t.find(From);
    EXPECT_NE(at, std::string::npos) << From;
    return t.replace(at, From.size(), To);
  };
  const struct {
    std::string Text, Message;
  } rows[] = {
      {text.substr(0, text.size() - 4), "cut short"},
      {text.substr(0, text.size() - 1), "line 12 (offset "},
      {replaced("t 12 7", "t 12 8"), "checksum does not match"},
      {replaced("t 12", "t 11"), "do not rise"},
      {replaced("t 12", "t 40"), "outside the part's ids"},
      {replaced("tiles 2", "tiles 3"), "3 tiles counted, 2 listed"},
      {replaced("tiles 2", "tiles 99999999999"), "above 12"},
      {replaced("tiles 2", "tiles 1"), "more tiles than counted"},
      {replaced("job 0123456789abcdef", "job 0123"), "16-digit hexadecimal"},
      {replaced("levels 2 4", "levels 4 2"), "levels run backwards"},
      {replaced("ids 10 40", "ids 10 400"), "not a range within the levels"},
      {replaced("part 2 3", "part 4 3"), "does not exist"},
      {replaced("fragment atlas", "fragment ../atlas"), "no plain file name"},
      {replaced("marovia-tile-manifest 1", "marovia-tile-manifest 2"), "version 1"},
      {text + "t 13 1 0000000000000000\n", "after the \"end\""},
  };
  for (const auto& row : rows) {
    try {
      TTileManifest::Parse(row.Text, "dir/m.manifest");
      ADD_FAILURE() << "accepted: " << row.Message;
    } catch (const EZYLGeoMapError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("dir/m.manifest: line ", 0), 0u) << what;
      EXPECT_NE(what.find(row.Message), std::string::npos) << what;
    }
  }
  EXPECT_EQ(FragmentName("out/atlas.pmtiles", 3, 12), "out/atlas.part-03-of-12.pmtiles");
  EXPECT_EQ(ManifestName("out/atlas.mbtiles", 3, 12), "out/atlas.part-03-of-12.mbtiles.manifest");
  EXPECT_EQ(ManifestName("out/tiles", 1, 2), "out/tiles/part-1-of-2.manifest");
}

// The archive of a store read back, then damaged one field at a time.
TEST(PMTilesArchive, ReadsWhatTheStoreWroteAndRefusesDamageNamingTheOffset) {
  test::TempDir dir;
  std::map<uint64_t, Bytes> tiles;
  for (int z = 0; z <= 7; ++z)
    for (int x = 0; x < (1 << z); x += 1 + z / 4)
      for (int y = 0; y < (1 << z); y += 3) {
        const std::string s = std::to_string(z * 1000 + x * 10 + y % 3);  // some repeat
        tiles[PMTilesTileId({z, x, y})] = Bytes(s.begin(), s.end());
      }
  const std::string file = dir.File("t.pmtiles");
  {
    const auto store = OpenTileStore(file, InfoOf(0, 7), false);
    for (const auto& [id, b] : tiles) store->Put(PMTilesTileOf(id), b);
    store->Finish();
  }
  const auto archive = OpenTileArchive(file);
  std::vector<uint64_t> want;
  for (const auto& [id, b] : tiles) want.push_back(id);
  EXPECT_EQ(archive->TileIds(), want);
  Bytes data;
  for (const auto& [id, b] : tiles) {
    ASSERT_TRUE(archive->Read(id, data));
    ASSERT_EQ(data, b);
  }
  EXPECT_FALSE(archive->Read(PMTilesTileId({7, 1, 1}), data));
  EXPECT_EQ(archive->Info().MaxZoom, 7);
  EXPECT_EQ(archive->Info().Name, "set");

  const std::string bytes = ReadFile(file);
  const auto le = [&](size_t At) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[At + i]);
    return v;
  };
  const uint64_t root = le(8);
  const auto patched = [&](size_t At, std::string With) {
    std::string b = bytes;
    return b.replace(At, With.size(), With);
  };
  std::string huge(8, '\xff');
  const struct {
    std::string Bytes, Message;
  } rows[] = {
      {bytes.substr(0, 100), "too short"},
      {bytes.substr(0, bytes.size() - 1), "tile data lies beyond"},
      {patched(97, "\x02"), "directories compressed"},
      {patched(16, huge), "root directory lies beyond"},
      {patched(101, "\x1f"), "levels 0-31"},
      // The root's entry count, as large as a varint holds.
      {patched(root, "\xff\xff\xff\xff\x0f"), "entries cannot fit"},
      // The root's leaf said to begin after the leaf's first tile (0/0/0).
      {patched(root + 1, "\x05"), "outside the ids of its directory"},
  };
  ASSERT_GT(le(48), 0u) << "the archive has leaves";
  for (const auto& row : rows) {
    const std::string f = dir.Write("bad.pmtiles", row.Bytes);
    try {
      OpenTileArchive(f)->TileIds();
      ADD_FAILURE() << "accepted: " << row.Message;
    } catch (const EZYLGeoMapError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind(f + ": offset ", 0), 0u) << what;
      EXPECT_NE(what.find(row.Message), std::string::npos) << what;
    }
  }
}

}  // namespace
}  // namespace marovia
