// Garbage collection (and its completion after an interruption) and the
// debug dump.
#include <sstream>

#include "geodb_test_support.h"

namespace marovia::testing {
namespace {

class GeoDBMaintenance : public GeoDBTest {
 protected:
  // Items whose blocks interleave with unreferenced ones.
  void Build() {
    Open();
    AddTownAt("town", 5, 5);
    AddBorderOf("old border", {{1, 1}, {2, 2}});
    AddBorderOf("border", {{3, 3}, {4, 4}, {5, 5}});
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    TMetaInfo m{};
    ClearMetaInfo(m);
    SetMetaItem(m, miCaption, "cap");
    db_->AddBLOB("blob", 0, 0, 0, 0, 0, 0, 0, 0, 0, m, bytes.data(), 5000);
    db_->ReplaceBorder(3, "border", {{6, 6}, {7, 7}}, false, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    db_->DeleteData(2);  // the BLOB moves to entry 2
  }
  // Everything a reader can see of the database.
  std::string Contents() {
    std::ostringstream o;
    for (int e = 1; e <= db_->NumEntries(); ++e) {
      TgdbData r = db_->Data(e);
      o << r.ItemId << ' ' << r.Name.Text() << ' ' << int(r.ItemKind) << ':';
      TgdbPolygon p;
      if (db_->RetrievePolygon(e, p))
        for (auto& c : p) o << c.Latit << ',' << c.Longit << ' ';
      TMemoryStream s;
      TMetaInfo m{};
      if (db_->RetrieveBLOB(e, m, s)) {
        o << GetMetaItem(m, miCaption) << ' ' << s.Size() << ' ';
        for (int64_t i = 0; i < s.Size(); i += 997) o << int(s.Memory()[i]) << ' ';
      }
      o << '\n';
    }
    return o.str();
  }
};

TEST_F(GeoDBMaintenance, GarbageCollectionDropsUnreferencedBlocksOnly) {
  Build();
  const std::string before = Contents();
  const auto size0 = fs::file_size(File(".zylgdd"));
  const auto ix0 = ReadBytes(File(".zylgi1"));
  const int64_t freed = db_->GarbageCollection();
  EXPECT_EQ(freed, 16 + 24);  // the deleted border and the replaced points
  EXPECT_EQ(fs::file_size(File(".zylgdd")), size0 - 40);
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(ReadBytes(File(".zylgi1")), ix0);
  for (const char* leftover : {".zylgds.gc", ".zylgdd.gc", ".zylgc"})
    EXPECT_FALSE(fs::exists(File(leftover))) << leftover;
  Reopen();
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(db_->GarbageCollection(), 0);
  EXPECT_EQ(AddBorderOf("more", {{0, 0}}), 4);
  EXPECT_EQ(db_->Data(4).BlobOffset, static_cast<int32_t>(size0 - 40));
}

TEST_F(GeoDBMaintenance, GarbageCollectionKeepsHeader) {
  Build();
  db_->SetDescription("kept");
  db_->SetRevision(3);
  db_->GarbageCollection();
  Reopen();
  EXPECT_EQ(db_->Description(), "kept");
  EXPECT_EQ(db_->Revision(), 3);
  EXPECT_EQ(db_->HighestID(), 4);
}

TEST_F(GeoDBMaintenance, GarbageCollectionWithDamagedBlockChangesNothing) {
  Build();
  db_->SetDBName("");
  TgdbData r;
  {
    const auto b = ReadBytes(File(".zylgds"));
    std::memcpy(&r, b.data() + 2 * 120, sizeof r);
  }
  r.NumPoints = 100000;
  PatchRecord(File(".zylgds"), 3, r);
  const auto gdd = ReadBytes(File(".zylgdd"));
  const auto gds = ReadBytes(File(".zylgds"));
  Open();
  EXPECT_THROW(db_->GarbageCollection(), EZYLGeoDBError);
  EXPECT_EQ(ReadBytes(File(".zylgdd")), gdd);
  EXPECT_EQ(ReadBytes(File(".zylgds")), gds);
  EXPECT_FALSE(fs::exists(File(".zylgdd.gc")));
}

// Interruptions at each step: the state of the files is recreated by hand
// from a finished collection and the old files.
TEST_F(GeoDBMaintenance, InterruptedBeforeCommitLeavesTheOldDatabase) {
  Build();
  const std::string before = Contents();
  db_->SetDBName("");
  // Half-written new files without the commit marker.
  WriteBytes(File(".zylgdd.gc"), std::vector<uint8_t>(300, 1));
  WriteBytes(File(".zylgds.gc"), std::vector<uint8_t>(10, 1));
  Open();
  EXPECT_EQ(Contents(), before);
  EXPECT_FALSE(fs::exists(File(".zylgdd.gc")));
  EXPECT_FALSE(fs::exists(File(".zylgds.gc")));
}

TEST_F(GeoDBMaintenance, InterruptedAfterCommitIsCompletedOnOpening) {
  Build();
  const std::string before = Contents();
  const auto oldGdd = ReadBytes(File(".zylgdd"));
  const auto oldGds = ReadBytes(File(".zylgds"));
  db_->GarbageCollection();
  db_->SetDBName("");
  const auto newGdd = ReadBytes(File(".zylgdd"));
  const auto newGds = ReadBytes(File(".zylgds"));

  // Committed, neither file renamed yet.
  WriteBytes(File(".zylgdd.gc"), newGdd);
  WriteBytes(File(".zylgds.gc"), newGds);
  WriteBytes(File(".zylgdd"), oldGdd);
  WriteBytes(File(".zylgds"), oldGds);
  WriteBytes(File(".zylgc"), {});
  Open();
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(ReadBytes(File(".zylgdd")), newGdd);
  EXPECT_FALSE(fs::exists(File(".zylgc")));

  // Committed, the item table already renamed.
  db_->SetDBName("");
  WriteBytes(File(".zylgdd.gc"), newGdd);
  WriteBytes(File(".zylgdd"), oldGdd);
  WriteBytes(File(".zylgc"), {});
  Open();
  EXPECT_EQ(Contents(), before);
  EXPECT_FALSE(fs::exists(File(".zylgdd.gc")));
}

TEST_F(GeoDBMaintenance, DebugDumpShowsHeaderItemsIndexesAndFindings) {
  Build();
  db_->SetDescription("dump me");
  db_->ExportDataDebug((dir_ / "dump.txt").string());
  const auto b = ReadBytes(dir_ / "dump.txt");
  const std::string text(b.begin(), b.end());
  for (const char* part :
       {"dump me", "HighestID:    4", "NumEntries:   3", ";Town;town;", ";BLOB;blob;",
        "index 4 (LongHigh)", "consistent with the item table: yes"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  db_->SetDBName("");
  db_->ExportDataDebug((dir_ / "closed.txt").string());
  EXPECT_NE(ReadBytes(dir_ / "closed.txt").size(), 0u);
}

}  // namespace
}  // namespace marovia::testing
