// Transactions of TGeoDB: what commits, what rolls back, what a failure
// leaves, and the calls that are refused.
#include "geodb_test_support.h"
#include "support/file_size_limit.h"

namespace marovia::testing {
namespace {

const char* const kSetFiles[] = {".zylgds", ".zylgdd", ".zylgi0", ".zylgi1",
                                 ".zylgi2", ".zylgi3", ".zylgi4"};

class GeoDBTransaction : public GeoDBTest {
 protected:
  // Empty when the seven files of a set hold Bytes; otherwise which differs.
  std::string Differs(const std::vector<std::vector<uint8_t>>& Bytes,
                      const std::string& name = "world") const {
    const auto now = SetBytes(name);
    for (size_t i = 0; i < now.size(); ++i)
      if (const std::string d = Difference(now[i], Bytes[i]); !d.empty())
        return std::string(kSetFiles[i]) + ": " + d;
    return {};
  }
  // The bytes of the seven files of a set.
  std::vector<std::vector<uint8_t>> SetBytes(const std::string& name = "world") const {
    std::vector<std::vector<uint8_t>> out;
    for (const char* ext : kSetFiles) out.push_back(ReadBytes(File(ext, name)));
    return out;
  }
  // A database of a few items of every kind.
  void Fill(TGeoDB& Db) {
    for (int i = 0; i < 40; ++i)
      Db.AddTown("town " + std::to_string(i), 45000.0, 0, TSCoords{i * 1.5f, -i * 2.0f}, 0, 0, i);
    Db.AddBorder("border", {{1, 1}, {2, 3}}, true, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
    std::vector<uint8_t> bytes(3000, 7);
    TMetaInfo m{};
    ClearMetaInfo(m);
    Db.AddBLOB("blob", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, bytes.data(), 3000);
  }
  // Changes of every kind, with a BLOB larger than a batch so that part of
  // them reaches the files before the end.
  void Change(TGeoDB& Db) {
    Db.AddTown("new town", 45000.0, 0, TSCoords{10, 20}, 0, 0, 0);
    Db.ReplaceCity(3, "city", {{5, 5}, {6, 7}, {8, 9}}, false, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
    Db.DeleteData(1);
    TgdbData r = Db.Data(2);
    r.Tag = 99;
    Db.UpdateBasicData(2, r);
    TMetaInfo m{};
    ClearMetaInfo(m);
    m.Caption.SetText("changed");
    Db.UpdateMetaInfo(Db.SearchForItemID(42), m);
    Db.SetDescription("after");
    big_.assign(static_cast<size_t>(kgdbSpillBytes + 4096), 0);
    for (size_t i = 0; i < big_.size(); ++i) big_[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    Db.AddBLOB("big", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, big_.data(),
               static_cast<int32_t>(big_.size()));
  }
  std::vector<uint8_t> big_;
};

// The same changes made one by one in another database are the oracle: a
// transaction writes exactly their bytes, all at once.
TEST_F(GeoDBTransaction, CommitWritesWhatTheChangesOneByOneWrite) {
  TGeoDB alone(nullptr);
  alone.SetDBName(Base("alone"));
  Fill(alone);
  Change(alone);
  alone.SetDBName("");

  Open();
  Fill(*db_);
  const auto before = SetBytes();
  db_->BeginTransaction();
  Change(*db_);
  // Reads see the transaction at once; the index files wait for the commit.
  TMemoryStream blob;
  TMetaInfo meta{};
  ASSERT_TRUE(db_->RetrieveBLOB(db_->NumEntries(), meta, blob));
  EXPECT_TRUE(std::equal(big_.begin(), big_.end(), blob.Memory()));
  TgdbPolygon poly;
  ASSERT_TRUE(db_->RetrievePolygon(3, poly));
  EXPECT_EQ(poly.size(), 3u);
  EXPECT_EQ(db_->Description(), "after");
  for (size_t i = 2; i < 7; ++i)
    EXPECT_EQ(Difference(ReadBytes(File(kSetFiles[i])), before[i]), "");
  EXPECT_TRUE(fs::exists(File(".zylgj")));

  db_->Commit();
  EXPECT_FALSE(db_->InTransaction());
  EXPECT_FALSE(fs::exists(File(".zylgj")));
  EXPECT_EQ(Differs(SetBytes("alone")), "");
}

// Rolling back, explicitly, by closing, or because the commit failed on a
// full disk, leaves the files as they were and memory as it was, except
// that HighestID stays raised.
TEST_F(GeoDBTransaction, EveryWayOfUndoingRestoresFilesAndMemory) {
  enum Way { kRollback, kClose, kFailedCommit };
  for (const Way way : {kRollback, kClose, kFailedCommit}) {
    SCOPED_TRACE(way);
    Open("undo" + std::to_string(way));
    Fill(*db_);
    const auto before = SetBytes("undo" + std::to_string(way));
    const int entries = db_->NumEntries();
    const int32_t highest = db_->HighestID();
    const TgdbData first = db_->Data(1);
    db_->BeginTransaction();
    Change(*db_);
    if (way == kRollback) {
      db_->Rollback();
    } else if (way == kClose) {
      db_->SetDBName("");
      Open("undo" + std::to_string(way));
    } else {
      // Part of the transaction is in the files already; the rest cannot be.
      test::FileSizeLimit limit(fs::file_size(File(".zylgdd", "undo2")) + 1);
      ASSERT_TRUE(limit.Active());
      EXPECT_THROW(db_->Commit(), EInOutError);
    }
    EXPECT_FALSE(db_->InTransaction());
    EXPECT_EQ(Differs(before, "undo" + std::to_string(way)), "");
    EXPECT_FALSE(fs::exists(File(".zylgj", "undo" + std::to_string(way))));
    ASSERT_EQ(db_->NumEntries(), entries);
    const TgdbData firstNow = db_->Data(1);
    EXPECT_EQ(std::memcmp(&first, &firstNow, sizeof first), 0);
    EXPECT_EQ(db_->Description(), "");
    EXPECT_EQ(db_->SearchForItemID(first.ItemId), 1);
    if (way != kClose) {
      EXPECT_GT(db_->HighestID(), highest);
    }
    // The database goes on normally.
    EXPECT_EQ(AddTownAt("after", 1, 1), entries + 1);
    db_->SetDBName("");
  }
}

// A single change that fails on a full disk leaves no trace in the files,
// not even its appended bytes.
TEST_F(GeoDBTransaction, FailedSingleChangeLeavesTheFilesAsTheyWere) {
  Open();
  Fill(*db_);
  const auto before = SetBytes();
  std::vector<uint8_t> bytes(200000, 3);
  TMetaInfo m{};
  ClearMetaInfo(m);
  {
    test::FileSizeLimit limit(100000);
    ASSERT_TRUE(limit.Active());
    EXPECT_THROW(db_->AddBLOB("too big", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, bytes.data(), 200000),
                 EInOutError);
    EXPECT_THROW(
        db_->ReplaceBLOB(1, "too big", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, bytes.data(), 200000),
        EInOutError);
  }
  EXPECT_EQ(Differs(before), "");
  EXPECT_FALSE(fs::exists(File(".zylgj")));
  EXPECT_EQ(db_->Data(1).ItemKind, gitTown);
}

TEST_F(GeoDBTransaction, MisplacedCallsAreRefused) {
  auto refused = [](auto&& call, const char* text) {
    try {
      call();
      ADD_FAILURE() << "not refused: " << text;
    } catch (const EZYLGeoDBError& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  };
  refused([&] { db_->BeginTransaction(); }, "no database open");
  Open();
  refused([&] { db_->Commit(); }, "no transaction under way");
  refused([&] { db_->Rollback(); }, "no transaction under way");
  db_->BeginTransaction();
  refused([&] { db_->BeginTransaction(); }, "already under way");
  refused([&] { db_->GarbageCollection(); }, "not possible within a transaction");
  db_->Rollback();
}

}  // namespace
}  // namespace marovia::testing
