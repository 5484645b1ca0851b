// Opening a damaged item database, and everything a host does with it then.
//
// Input: one option byte, then the files of a set separated by kMarker, in
// the order of kFiles (the item table, the data file, the five index files,
// then the two files and the marker an interrupted garbage collection leaves
// behind). A file whose part is missing does not exist. With option kJournal
// the last part is a rollback journal beside them instead.
//
// The target writes the files, opens the set, and checks that the database
// it got is sound: the indexes agree with the item table, IDs lie at or below
// HighestID, the area query finds exactly what a plain scan of the records
// finds, and every polygon and BLOB reads back whole or is refused. Options
// then change the database (delete, add, replace, update) or collect its
// garbage, and the database must still be sound after reopening; garbage
// collection must not change what any item reads back.
#include <algorithm>
#include <array>
#include <cmath>

#include "fuzz_support.h"
#include "geodb_checks.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"

using namespace marovia;
namespace fs = std::filesystem;

namespace {

using geodb_checks::ReadBack;

void CheckSound(TGeoDB& db) {
  geodb_checks::CheckSound(db, fuzz::ScratchDir() / "dump.txt");
}

constexpr std::string_view kMarker = "--ZYLGDB--";
constexpr std::array<const char*, 10> kFiles = {".zylgds",    ".zylgdd", ".zylgi0", ".zylgi1",
                                                ".zylgi2",    ".zylgi3", ".zylgi4", ".zylgds.gc",
                                                ".zylgdd.gc", ".zylgc"};

enum Option : uint8_t {
  kLazy = 1,        // lazy writing on while the database is used
  kCollect = 2,     // collect garbage, then reopen
  kDelete = 4,      // delete an entry, then reopen
  kAddReplace = 8,  // add a town, replace an entry with a border, then reopen
  kUpdate = 16,     // write an entry's record back through UpdateBasicData
  kJournal = 32,    // the last part is the journal B.zylgj
};

std::string Base() {
  return (fuzz::ScratchDir() / "db").string();
}

void RemoveSet() {
  for (const char* ext : kFiles) fs::remove(Base() + ext);
  fs::remove(Base() + ".zylgj");
  fs::remove(fuzz::ScratchDir() / "dump.txt");
}

void Reopen(TGeoDB& db) {
  db.SetDBName("");
  db.SetDBName(Base());
  CheckSound(db);
}

void Use(TGeoDB& db, uint8_t options, uint8_t pick) {
  db.SetLazyWrite((options & kLazy) != 0);
  CheckSound(db);
  const int n = db.NumEntries();
  const int entry = n > 0 ? 1 + pick % n : 1;

  if (options & kCollect) {
    std::vector<std::string> before(static_cast<size_t>(n) + 1);
    for (int k = 1; k <= n; ++k) before[static_cast<size_t>(k)] = ReadBack(db, k);
    if (fuzz::Refusing([&] { db.GarbageCollection(); })) {
      Reopen(db);
      fuzz::Check(db.NumEntries() == n, "garbage collection changed the entry count");
      for (int k = 1; k <= n; ++k)
        fuzz::Check(before[static_cast<size_t>(k)] == ReadBack(db, k),
                    "garbage collection changed what an item reads back");
    }
  }
  if ((options & kDelete) && n > 0) {
    db.DeleteData(entry);
    fuzz::Check(db.NumEntries() == n - 1, "deletion did not remove one entry");
    CheckSound(db);
    Reopen(db);
  }
  if (options & kAddReplace) {
    fuzz::Refusing([&] {
      db.AddTown("fuzz town", 45000.0, 1, TSCoords{12.5f, -3.25f}, 100, 2, 3);
      const TgdbPolygon poly = {{1, 2}, {3, 4}, {-5, 6}};
      db.ReplaceBorder(entry, "fuzz border", poly, true, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
    });
    CheckSound(db);
    Reopen(db);
  }
  if ((options & kUpdate) && db.NumEntries() > 0) {
    const int k = 1 + pick % db.NumEntries();
    fuzz::Refusing([&] { db.UpdateBasicData(k, db.Data(k)); });
    CheckSound(db);
    Reopen(db);
  }
}

// ---- Seeds -------------------------------------------------------------

std::string Pack(uint8_t options) {
  std::string out(1, static_cast<char>(options));
  for (size_t i = 0; i < kFiles.size(); ++i) {
    const fs::path p = Base() + kFiles[i];
    if (!fs::exists(p)) break;
    if (i > 0) out += kMarker;
    TMemoryStream m;
    m.LoadFromFile(p.string());
    out.append(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
  }
  if (options & kJournal) {
    TMemoryStream m;
    m.LoadFromFile(Base() + ".zylgj");
    out += kMarker;
    out.append(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
  }
  return out;
}

void BuildSample(TGeoDB& db) {
  db.SetDBName(Base());
  db.SetDescription("fuzz seed");
  db.AddTown("Graz", 45000.0, 0, TSCoords{47.07f, 15.44f}, 353, 2, 0);
  db.AddBorder("border", {{1, 1}, {2, 2}, {3, 3}}, true, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
  std::vector<uint8_t> bytes(100, 0xAB);
  TMetaInfo m{};
  ClearMetaInfo(m);
  m.Caption.SetText("caption");
  db.AddBLOB("blob", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, bytes.data(), 100);
  db.AddLake("lake", {{47.5f, 9.4f}, {47.7f, 9.2f}, {47.8f, 9.0f}}, 45000.0, 0, 0, 0, 0, 0, 0, 0,
             0);
  db.AddRiver("river", {{47.0f, 179.5f}, {48.0f, -179.5f}}, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
  db.AddTown("deleted", 45000.0, 0, TSCoords{0, 0}, 0, 0, 0);
  db.DeleteData(6);
  db.ReplaceCity(2, "city", {{1, 1}, {4, 4}}, false, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
}

void PatchTable(int k, void (*change)(TgdbData&)) {
  TBinaryFile f(Base() + ".zylgds", sizeof(TgdbData));
  f.Reset(TFileAccess::faReadWrite);
  TgdbData r;
  f.Seek(k - 1);
  f.BlockRead(&r, 1);
  change(r);
  f.Seek(k - 1);
  f.BlockWrite(&r, 1);
  f.CloseFile();
}

void MakeSeeds(const fs::path& dir) {
  int count = 0;
  auto save = [&](uint8_t options) {
    fuzz::WriteFile(dir / ("geodb_" + std::to_string(count++)), Pack(options));
  };
  auto fresh = [&](auto&& build) {
    RemoveSet();
    TGeoDB db(nullptr);
    build(db);
    db.SetDBName("");
  };

  fresh([](TGeoDB& db) { db.SetDBName(Base()); });
  save(0);
  fresh(BuildSample);
  for (int options : {0, kLazy | kCollect, kDelete | kAddReplace, kUpdate | kCollect})
    save(static_cast<uint8_t>(options));
  // Indexes that lag behind the item table, as lazy writing leaves them.
  fresh([](TGeoDB& db) {
    BuildSample(db);
    for (int i = 0; i < 5; ++i) fs::copy(Base() + kFiles[2 + i], Base() + kFiles[2 + i] + "~");
    db.SetLazyWrite(true);
    db.AddRoad("road", {{10, 10}, {11, 11}}, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
    db.DeleteData(1);
    db.SetDBName("");
    for (int i = 0; i < 5; ++i) fs::rename(Base() + kFiles[2 + i] + "~", Base() + kFiles[2 + i]);
  });
  save(kLazy);
  // An interrupted garbage collection, committed: the new files and the
  // marker are there.
  fresh(BuildSample);
  fs::copy(Base() + ".zylgds", Base() + ".zylgds.gc");
  fs::copy(Base() + ".zylgdd", Base() + ".zylgdd.gc");
  fuzz::WriteFile(Base() + ".zylgc", "");
  save(0);
  // A hot journal that restores the sample's first page of the item table
  // as it was before entry 2 was renamed, beside that table and beside a
  // damaged one.
  for (const bool damaged : {false, true}) {
    fresh(BuildSample);
    const std::string table = geodb_checks::ReadWhole(Base() + ".zylgds");
    PatchTable(2, [](TgdbData& r) { r.Name.SetText("renamed"); });
    if (damaged) PatchTable(3, [](TgdbData& r) { r.BlobOffset = 1 << 30; });
    fuzz::WriteFile(Base() + ".zylgj",
                    geodb_checks::Journal(static_cast<int64_t>(table.size()),
                                          static_cast<int64_t>(fs::file_size(Base() + ".zylgdd")),
                                          {{0, 0, table}}));
    save(static_cast<uint8_t>(kJournal | (damaged ? kCollect : kDelete)));
  }
  // The damage the unit tests patch in.
  const std::array<void (*)(TgdbData&), 5> damage = {
      [](TgdbData& r) { r.BlobOffset = 1 << 30; },
      [](TgdbData& r) { r.NumPoints = -7; },
      [](TgdbData& r) { r.Name.Len = 250; },
      [](TgdbData& r) { r.ItemKind = static_cast<TgdbItem>(200); },
      [](TgdbData& r) { r.LatLow = std::nanf(""); },
  };
  for (auto change : damage) {
    for (int k : {2, 3}) {
      fresh(BuildSample);
      PatchTable(k, change);
      save(kCollect);
    }
  }
  RemoveSet();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeSeedsIfAsked(MakeSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const uint8_t options = Data[0];
  const uint8_t pick = Data[Size - 1];
  RemoveSet();
  auto parts = fuzz::SplitAt(fuzz::AsText(Data + 1, Size - 1), kMarker);
  if ((options & kJournal) && parts.size() > 1) {
    fuzz::WriteFile(Base() + ".zylgj", parts.back());
    parts.pop_back();
  }
  for (size_t i = 0; i < parts.size() && i < kFiles.size(); ++i)
    fuzz::WriteFile(Base() + kFiles[i], parts[i]);

  TGeoDB db(nullptr);
  db.SetName("Fuzz");
  db.OnPercentDone = [](TObject*, int Percent) {
    fuzz::Check(Percent >= 0 && Percent <= 100, "progress outside 0..100");
  };
  fuzz::Refusing([] { ReadSystemInformation(Base()); });
  if (!fuzz::Refusing([&] { db.SetDBName(Base()); })) {
    fuzz::Check(db.DBName().empty() && db.NumEntries() == 0, "failed opening left a database");
    return 0;
  }
  fuzz::Refusing([&] { Use(db, options, pick); });
  // A refused change must leave a sound database behind, too.
  if (!db.DBName().empty()) {
    CheckSound(db);
    fuzz::Refusing([&] { Reopen(db); });
  }
  fuzz::Refusing([&] { db.SetDBName(""); });
  return 0;
}
