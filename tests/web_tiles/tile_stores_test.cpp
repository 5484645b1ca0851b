// The tile stores read back by readers of their own: SQL on the MBTiles
// file, and a PMTiles reader written here from the format's description.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "marovia/geomap/tile_store.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using Bytes = std::vector<uint8_t>;

std::string ReadFile(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A tile's bytes that say which tile it is, of varying length.
Bytes TileBytes(const TTileId& t) {
  std::string s = std::to_string(t.Z) + "/" + std::to_string(t.X) + "/" + std::to_string(t.Y);
  s.append(static_cast<size_t>((t.X * 7 + t.Y) % 5), '.');
  return {s.begin(), s.end()};
}

TTileSetInfo Info() {
  TTileSetInfo info;
  info.Name = "Test \"set\"";
  info.Bounds = {5.5, 45.25, 10.75, 47.875};
  info.MinZoom = 0;
  info.MaxZoom = 8;
  return info;
}

TEST(PMTilesIds, FollowTheHilbertCurveLevelByLevel) {
  // The first levels as the format lays them out.
  const std::pair<TTileId, uint64_t> known[] = {{{0, 0, 0}, 0},  {{1, 0, 0}, 1}, {{1, 0, 1}, 2},
                                                {{1, 1, 1}, 3},  {{1, 1, 0}, 4}, {{2, 0, 0}, 5},
                                                {{3, 0, 0}, 21}, {{3, 7, 0}, 84}};
  for (const auto& [tile, id] : known) {
    EXPECT_EQ(PMTilesTileId(tile), id) << tile.Z << "/" << tile.X << "/" << tile.Y;
    EXPECT_EQ(PMTilesTileOf(id), tile);
  }
  // Each level is numbered without gaps, neighbours on the curve are
  // neighbouring tiles, and the inverse undoes it.
  for (int z = 1; z <= 7; ++z) {
    const uint64_t first = PMTilesTileId({z, 0, 0});
    const uint64_t n = uint64_t{1} << (2 * z);
    TTileId prev = PMTilesTileOf(first);
    for (uint64_t id = first; id < first + n; ++id) {
      const TTileId t = PMTilesTileOf(id);
      ASSERT_EQ(t.Z, z);
      ASSERT_EQ(PMTilesTileId(t), id);
      if (id > first) {
        ASSERT_EQ(std::abs(t.X - prev.X) + std::abs(t.Y - prev.Y), 1);
      }
      prev = t;
    }
  }
}

// ---- A PMTiles reader ----------------------------------------------------

uint64_t Le(const std::string& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b.at(at + i));
  return v;
}

uint64_t Varint(const std::string& b, size_t& at) {
  uint64_t v = 0;
  for (int shift = 0;; shift += 7) {
    const uint8_t c = static_cast<uint8_t>(b.at(at++));
    v |= uint64_t{c & 0x7Fu} << shift;
    if (!(c & 0x80)) return v;
  }
}

struct Entry {
  uint64_t Id, Offset, Length, Run;
};

std::vector<Entry> Directory(const std::string& b, size_t at, size_t length) {
  const size_t end = at + length;
  const uint64_t n = Varint(b, at);
  std::vector<Entry> e(n);
  uint64_t id = 0;
  for (auto& x : e) x.Id = id += Varint(b, at);
  for (auto& x : e) x.Run = Varint(b, at);
  for (auto& x : e) x.Length = Varint(b, at);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t o = Varint(b, at);
    e[i].Offset = o == 0 ? e[i - 1].Offset + e[i - 1].Length : o - 1;
  }
  EXPECT_EQ(at, end);
  return e;
}

// A gzip stream inflated by zlib itself.
std::string Gunzip(const std::string& In) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.data()));
  z.avail_in = static_cast<uInt>(In.size());
  std::string out;
  int rc = Z_OK;
  char buf[65536];
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  }
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  inflateEnd(&z);
  return out;
}

// Every tile of the archive by tile id, walking the leaves; directories
// and metadata inflated when the header says gzip.
std::map<uint64_t, std::string> ReadPMTiles(const std::string& b) {
  EXPECT_EQ(b.substr(0, 7), "PMTiles");
  EXPECT_EQ(b.at(7), 3);
  EXPECT_LE(Le(b, 8, 8) + Le(b, 16, 8), 16384u);
  const uint64_t leaves = Le(b, 40, 8), data = Le(b, 56, 8);
  EXPECT_EQ(data + Le(b, 64, 8), b.size());
  std::map<uint64_t, std::string> tiles;
  std::vector<std::pair<uint64_t, uint64_t>> dirs{{Le(b, 8, 8), Le(b, 16, 8)}};
  while (!dirs.empty()) {
    const auto [at, length] = dirs.back();
    dirs.pop_back();
    const bool gzip = b.at(97) == 2;
    const std::string dir = gzip ? Gunzip(b.substr(at, length)) : b.substr(at, length);
    for (const Entry& e : Directory(dir, 0, dir.size())) {
      if (e.Run == 0) {
        dirs.push_back({leaves + e.Offset, e.Length});
        continue;
      }
      for (uint64_t k = 0; k < e.Run; ++k) tiles[e.Id + k] = b.substr(data + e.Offset, e.Length);
    }
  }
  EXPECT_EQ(Le(b, 72, 8), tiles.size());
  const std::string meta = b.substr(Le(b, 24, 8), Le(b, 32, 8));
  EXPECT_EQ((b.at(97) == 2 ? Gunzip(meta) : meta).rfind("{\"name\":", 0), 0u);
  return tiles;
}

TEST(PMTilesStore, ArchiveReadsBackWithRootAloneAndWithLeaves) {
  // 21 tiles fit in the root; every tile of levels 0..8 (87381) needs
  // leaf directories; directories plain and gzip-compressed.
  for (const auto& [maxZoom, gzip] : {std::pair{2, false}, {8, false}, {3, true}}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    test::TempDir dir;
    TTileSetInfo info = Info();
    info.CompressDirectories = gzip;
    const std::string file = dir.File("t.pmtiles");
    std::vector<TTileId> tiles;
    for (int z = 0; z <= maxZoom; ++z)
      for (int x = 0; x < (1 << z); ++x)
        for (int y = 0; y < (1 << z); ++y) tiles.push_back({z, x, y});
    std::shuffle(tiles.begin(), tiles.end(), std::mt19937(7));
    {
      const auto store = OpenTileStore(file, info, false);
      for (const TTileId& t : tiles) store->Put(t, TileBytes(t));
      store->Finish();
    }
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(bytes[97], gzip ? 2 : 1);
    EXPECT_EQ(bytes[99], 2);  // PNG
    EXPECT_EQ(static_cast<int32_t>(Le(bytes, 102, 4)), 55000000);
    EXPECT_EQ(static_cast<int32_t>(Le(bytes, 114, 4)), 478750000);
    const auto read = ReadPMTiles(bytes);
    ASSERT_EQ(read.size(), tiles.size());
    for (const TTileId& t : tiles) {
      const Bytes want = TileBytes(t);
      ASSERT_EQ(read.at(PMTilesTileId(t)), std::string(want.begin(), want.end()));
    }
    // Nothing is left beside the archive.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  }
}

// Identical tiles (a blank sea) are stored once and consecutive ids of one
// content are one entry; every tile still reads back with its own bytes,
// and without deduplication every tile has its own copy.
TEST(PMTilesStore, IdenticalTilesAreStoredOnceAndRunsAreOneEntry) {
  std::vector<TTileId> tiles;
  for (int x = 0; x < 64; ++x)
    for (int y = 0; y < 64; ++y) tiles.push_back({6, x, y});
  const Bytes sea(300, 7);
  // Every tile of level 6 is sea but a few of their own.
  const auto content = [&](const TTileId& t) {
    return t.X % 16 == 3 && t.Y == 5 ? TileBytes(t) : sea;
  };
  for (const bool dedup : {true, false}) {
    test::TempDir dir;
    TTileSetInfo info = Info();
    info.Deduplicate = dedup;
    {
      const auto store = OpenTileStore(dir.File("t.pmtiles"), info, false);
      for (const TTileId& t : tiles) store->Put(t, content(t));
      store->Finish();
    }
    const std::string bytes = ReadFile(dir.File("t.pmtiles"));
    const auto read = ReadPMTiles(bytes);
    ASSERT_EQ(read.size(), tiles.size());
    for (const TTileId& t : tiles) {
      const Bytes want = content(t);
      ASSERT_EQ(read.at(PMTilesTileId(t)), std::string(want.begin(), want.end()));
    }
    const TPMTilesHeader h = TPMTilesHeader::Deserialize(
        {reinterpret_cast<const uint8_t*>(bytes.data()), TPMTilesHeader::kBytes});
    EXPECT_EQ(h.AddressedTiles, tiles.size());
    if (dedup) {
      EXPECT_EQ(h.TileContents, 5u);
      // Four own tiles cut the Hilbert run of sea into at most nine runs.
      EXPECT_LE(h.TileEntries, 4u + 5u);
      EXPECT_LT(bytes.size(), 5 * 300 + 2000u);
    } else {
      EXPECT_EQ(h.TileContents, tiles.size());
      EXPECT_EQ(h.TileEntries, tiles.size());
    }
    // The header reads back as it was written.
    EXPECT_EQ(h.Serialize(), bytes.substr(0, TPMTilesHeader::kBytes));
  }
}

// Tiles that arrive in id order, as a merge writes them, lie one after the
// other in the scratch file and are copied into the archive in pieces of
// many tiles: a piece must end where a tile was written again (its first
// copy is left out), where a content is shared and across the piece size.
TEST(PMTilesStore, TilesInIdOrderReadBackAcrossCopyPieces) {
  test::TempDir dir;
  const std::string file = dir.File("t.pmtiles");
  std::map<uint64_t, Bytes> want;
  {
    const auto store = OpenTileStore(file, Info(), false);
    const uint64_t first = PMTilesTileId({7, 0, 0});
    // 600 tiles of 5 to 12 KiB: some 5 MiB, several pieces.
    for (uint64_t id = first; id < first + 600; ++id) {
      const TTileId t = PMTilesTileOf(id);
      Bytes b = TileBytes(t);
      b.resize(5000 + id % 7 * 1000, static_cast<uint8_t>(id));
      if (id % 50 == 9) b = Bytes(3000, 1);  // shared with the tiles before
      store->Put(t, b);
      want[id] = b;
      if (id % 97 == 5 && id > first) {
        // The tile before is written anew: its second copy counts.
        const TTileId before = PMTilesTileOf(id - 1);
        Bytes again = TileBytes(before);
        again.push_back('!');
        store->Put(before, again);
        want[id - 1] = again;
      }
    }
    store->Finish();
  }
  const auto read = ReadPMTiles(ReadFile(file));
  ASSERT_EQ(read.size(), want.size());
  for (const auto& [id, bytes] : want)
    ASSERT_EQ(read.at(id), std::string(bytes.begin(), bytes.end())) << id;
}

std::string Query(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
  std::string out;
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const auto* text = sqlite3_column_text(st, c);
      out += (c ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
    }
    out += "\n";
  }
  sqlite3_finalize(st);
  return out;
}

TEST(MBTilesStore, RowsFromTheSouthMetadataAndResume) {
  test::TempDir dir;
  const std::string file = dir.File("t.mbtiles");
  {
    const auto store = OpenTileStore(file, Info(), false);
    for (const TTileId& t : {TTileId{0, 0, 0}, TTileId{3, 2, 1}, TTileId{8, 133, 90}})
      store->Put(t, TileBytes(t));
    store->Finish();
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(Query(db,
                  "SELECT zoom_level, tile_column, tile_row, CAST(tile_data AS TEXT) FROM "
                  "tiles ORDER BY zoom_level"),
            "0|0|0|0/0/0\n3|2|6|3/2/1\n8|133|165|8/133/90.\n");
  EXPECT_EQ(Query(db, "SELECT name, value FROM metadata ORDER BY name"),
            "bounds|5.5000000,45.2500000,10.7500000,47.8750000\n"
            "center|8.1250000,46.5625000,0\n"
            "description|\nformat|png\nmaxzoom|8\nminzoom|0\nname|Test \"set\"\n"
            "type|baselayer\nversion|1.3\n");
  sqlite3_close(db);
  // Resumed, the tiles stay; started afresh, they are gone.
  EXPECT_TRUE(OpenTileStore(file, Info(), true)->Has({3, 2, 1}));
  EXPECT_FALSE(OpenTileStore(file, Info(), true)->Has({3, 2, 2}));
  EXPECT_FALSE(OpenTileStore(file, Info(), false)->Has({3, 2, 1}));
}

TEST(DirectoryStore, ATileCutShortIsNotKept) {
  test::TempDir dir;
  TTileRgba rgba(kWebTileSize * kWebTileSize * 4, 200);
  const Bytes png = EncodePngTile(rgba);
  const auto store = OpenTileStore(dir.File("out"), Info(), true);
  store->Put({5, 16, 11}, png);
  EXPECT_TRUE(store->Has({5, 16, 11}));
  EXPECT_EQ(ReadFile(dir.File("out/5/16/11.png")), std::string(png.begin(), png.end()));
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("out/5/16")), {}), 1);
  for (const size_t keep : {size_t{0}, size_t{8}, png.size() - 1}) {
    dir.Write("out/5/16/11.png", std::string(png.begin(), png.begin() + keep));
    EXPECT_FALSE(store->Has({5, 16, 11})) << keep;
  }
  const Bytes jpeg = EncodeJpegTile(rgba);
  EXPECT_TRUE(IsWholeTileImage(jpeg));
  EXPECT_FALSE(IsWholeTileImage(Bytes(jpeg.begin(), jpeg.end() - 1)));
}

}  // namespace
}  // namespace marovia
