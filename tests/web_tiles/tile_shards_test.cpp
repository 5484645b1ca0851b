// Parts of a tile job as ranges of tile ids (against every tile's id sorted),
// the archives read back and refused when damaged, manifests, merging
// (against tiles stacked pixel by pixel here) and verifying.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
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

// A tile of no bytes is no image, and no store keeps one: merging refuses
// the input naming the tile instead of leaving it out, and writes nothing.
TEST(TileMerge, RefusesATileOfNoBytes) {
  test::TempDir dir;
  const std::string file = dir.File("emptied.mbtiles");
  fs::copy_file(std::string(MAROVIA_TILE_DATA) + "/alps_by_gdal.mbtiles", file);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE tiles SET tile_data = X''", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  try {
    MergeTileArchives({file}, dir.File("out.pmtiles"));
    ADD_FAILURE() << "merged";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("tile 4/8/5 has no bytes"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir.File("out.pmtiles")));
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
      {patched(97, "\x02"), "not a valid gzip stream"},
      {patched(97, "\x03"), "compressed with method 3"},
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

// An archive whose directories and metadata are gzip streams, written by
// a script of Python's own modules (tests/data/tiles): levels 0-3, each tile
// one colour, the east of level 3 a shared sea tile in runs.
TEST(PMTilesArchive, ReadsGzipDirectoriesWrittenByOtherSoftwareAndMergesThem) {
  test::TempDir dir;
  const std::string file = std::string(MAROVIA_TILE_DATA) + "/gzip_dirs_by_python.pmtiles";
  const auto colour = [](const TTileId& t) -> std::array<uint8_t, 4> {
    if (t.Z == 3 && t.X >= 4) return {0, 64, 160, 255};
    return {static_cast<uint8_t>(40 + 60 * t.Z), static_cast<uint8_t>(16 * t.X),
            static_cast<uint8_t>(16 * t.Y), 255};
  };
  std::vector<TTileId> all;
  for (int z = 0; z <= 3; ++z)
    for (int x = 0; x < (1 << z); ++x)
      for (int y = 0; y < (1 << z); ++y) all.push_back({z, x, y});
  const auto check = [&](const std::string& File, bool Gzip) {
    SCOPED_TRACE(File);
    const auto archive = OpenTileArchive(File);
    EXPECT_EQ(archive->Info().Name, "Python-made set, gzip directories");
    EXPECT_EQ(archive->Info().CompressDirectories, Gzip);
    EXPECT_EQ(archive->TileIds().size(), all.size());
    EXPECT_EQ(ReadFile(File).at(97), Gzip ? 2 : 1);
    Bytes data;
    TTileRgba rgba;
    for (const TTileId& t : all) {
      ASSERT_TRUE(archive->Read(PMTilesTileId(t), data)) << t.Z << "/" << t.X << "/" << t.Y;
      ASSERT_TRUE(DecodePngTile(data, rgba));
      const auto want = colour(t);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), rgba.begin()))
          << t.Z << "/" << t.X << "/" << t.Y;
    }
  };
  check(file, true);
  // A merge writes its directories as its first input has them, and reads
  // back the same.
  MergeTileArchives({file}, dir.File("out.pmtiles"));
  check(dir.File("out.pmtiles"), true);

  // A root whose checksum is wrong and one cut short: refused, naming the
  // offset. A stream that inflates beyond the bound (2 MiB of zeros in a
  // few kilobytes) is stopped at the bound.
  std::string bytes = ReadFile(file);
  const uint64_t rootLength = static_cast<uint8_t>(bytes[16]) | static_cast<uint8_t>(bytes[17])
                                                                    << 8;
  std::string badSum = bytes;
  badSum[127 + rootLength - 8] ^= 0x55;  // the gzip trailer's checksum
  const struct {
    std::string Bytes, Message;
  } rows[] = {{badSum, "offset 127: not a valid gzip stream"},
              {bytes.substr(0, 127 + rootLength - 3), "lies beyond"}};
  for (const auto& row : rows) {
    const std::string f = dir.Write("bad.pmtiles", row.Bytes);
    try {
      OpenTileArchive(f);
      ADD_FAILURE() << "accepted: " << row.Message;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(row.Message), std::string::npos) << e.what();
    }
  }
  const Bytes bomb = GzipBytes(Bytes(2 << 20, 0));
  ASSERT_LT(bomb.size(), 8192u);
  EXPECT_EQ(GunzipBytes(bomb, 2 << 20).size(), size_t{2} << 20);
  try {
    GunzipBytes(bomb, 1 << 20);
    ADD_FAILURE() << "inflated beyond the bound";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("inflates beyond 1048576 bytes"), std::string::npos);
  }
}

// Tile ids of every level the tools take (0-24) pass through a merge; an
// archive that addresses more tiles than can be listed is refused by name
// and limit before anything is written, at the limit's exact boundary.
TEST(TileMerge, TakesEveryLevelAndRefusesMoreTilesThanCanBeListed) {
  test::TempDir dir;
  const int last = (1 << kMaxWebZoom) - 1;
  const std::vector<TTileId> corners = {
      {14, 0, 0}, {14, 16383, 9000}, {24, 0, 0}, {24, last, last}, {24, 5, last}};
  {
    const auto store = OpenTileStore(dir.File("deep.pmtiles"), InfoOf(14, 24), false);
    for (const TTileId& t : corners) store->Put(t, Bytes(3, static_cast<uint8_t>(t.X)));
    store->Finish();
  }
  MergeTileArchives({dir.File("deep.pmtiles")}, dir.File("deep.mbtiles"));
  MergeTileArchives({dir.File("deep.mbtiles")}, dir.File("out.pmtiles"));
  std::vector<uint64_t> want;
  for (const TTileId& t : corners) want.push_back(PMTilesTileId(t));
  std::sort(want.begin(), want.end());
  EXPECT_GT(want.back(), uint64_t{1} << 47);
  EXPECT_EQ(OpenTileArchive(dir.File("out.pmtiles"))->TileIds(), want);

  EXPECT_NO_THROW(CheckListableTiles("x", kMaxArchiveTiles));
  // One tile run addressing Run tiles from tile First (0/0/0 unless
  // given): a few bytes of root.
  const auto runArchive = [&](uint64_t Run, uint64_t First = 0) {
    std::string root("\x01", 1);  // one entry
    for (const uint64_t n : {First, Run})
      for (uint64_t v = n;; v >>= 7) {
        root += static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
        if (v <= 0x7F) break;
      }
    root += "\x03\x01";  // length 3 at offset 0
    TPMTilesHeader h;
    h.RootOffset = TPMTilesHeader::kBytes;
    h.RootLength = root.size();
    h.MetadataOffset = h.LeafOffset = h.DataOffset = h.RootOffset + root.size();
    h.DataLength = 3;
    h.AddressedTiles = Run;
    h.TileEntries = h.TileContents = 1;
    h.MaxZoom = 24;
    return dir.Write("run" + std::to_string(Run) + "_" + std::to_string(First) + ".pmtiles",
                     h.Serialize() + root + "abc");
  };
  // Level 25 and beyond: no store writes such a tile and no reader takes
  // one, or a merge would write what it cannot read back.
  const uint64_t lastOf24 = PMTilesTileId({kMaxWebZoom, 0, 0}) + (uint64_t{1} << 48) - 1;
  EXPECT_EQ(OpenTileArchive(runArchive(1, lastOf24))->TileIds(), std::vector<uint64_t>{lastOf24});
  for (const uint64_t first : {lastOf24, lastOf24 + 1, UINT64_MAX - 2}) {
    try {
      OpenTileArchive(runArchive(2, first));
      ADD_FAILURE() << "accepted " << first;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find("tile " + std::to_string(first + 1) +
                                           " lies beyond the levels 0-24"),
                std::string::npos)
          << e.what();
    }
  }
  for (const std::string out : {"over.pmtiles", "over.mbtiles", "over"}) {
    const auto store = OpenTileStore(dir.File(out), InfoOf(0, 24), false);
    for (const TTileId& t :
         {TTileId{25, 0, 0}, TTileId{-1, 0, 0}, TTileId{3, 8, 0}, TTileId{3, 0, -1}})
      EXPECT_THROW(store->Put(t, Bytes(3, 1)), EZYLGeoMapError) << out << " " << t.Z;
  }
  EXPECT_EQ(OpenTileArchive(runArchive(kMaxArchiveTiles))->TileCount(), kMaxArchiveTiles);
  const std::string over = runArchive(kMaxArchiveTiles + 1);
  for (const auto& inputs : {std::vector<std::string>{over},
                             std::vector<std::string>{runArchive(kMaxArchiveTiles), over}}) {
    try {
      MergeTileArchives(inputs, dir.File("never.pmtiles"));
      ADD_FAILURE() << "merged";
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(
          std::string(e.what()).find(over + ": 268435457 tiles, more than the 268435456 (2^28)"),
          std::string::npos)
          << e.what();
    }
  }
  // Two inputs each within the limit but not together.
  try {
    MergeTileArchives({runArchive(kMaxArchiveTiles), runArchive(1)}, dir.File("never.pmtiles"));
    ADD_FAILURE() << "merged";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("the 2 inputs together: 268435457 tiles"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(dir.File("never.pmtiles")));
}

}  // namespace
}  // namespace marovia
