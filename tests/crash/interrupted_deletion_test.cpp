// A deletion cut short between its two writes to the item table: the last
// record already copied over the deleted one, the table not yet shortened.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "crash_model.h"

namespace marovia::crashtest {
namespace {

namespace fs = std::filesystem;

class InterruptedDeletion : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("marovia_deletion_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Base() const { return (dir_ / name_).string(); }
  std::vector<char> Table() const {
    std::ifstream in(Base() + ".zylgds", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void WriteTable(const std::vector<char>& bytes) const {
    std::ofstream(Base() + ".zylgds", std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  fs::path dir_;
  std::string name_ = "db";
};

// Regression: the moved item stayed in the table twice under one ID, so
// that deleting it afterwards left its twin behind.
TEST_F(InterruptedDeletion, MovedItemIsKeptOnceAndTheDeletionCompleted) {
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    for (int32_t key : {1, 2, 3, 4}) AddItem(db, ContentOf(key));
  }
  std::vector<char> table = Table();
  ASSERT_EQ(table.size(), 4u * sizeof(TgdbData));
  std::copy(table.end() - sizeof(TgdbData), table.end(), table.begin() + sizeof(TgdbData));
  WriteTable(table);  // entry 2 deleted, entry 4 moved there, the table not cut

  TGeoDB db(nullptr);
  db.SetDBName(Base());
  ASSERT_EQ(db.NumEntries(), 3);
  EXPECT_EQ(Table().size(), 3u * sizeof(TgdbData));
  EXPECT_EQ(db.SearchForItemID(2), 0);
  EXPECT_EQ(db.SearchForItemID(4), 2);
  EXPECT_EQ(CompareIndexes(db), "");
  for (int entry = 1; entry <= 3; ++entry)
    EXPECT_EQ(CompareItem(db, entry, ContentOf(db.Data(entry).Tag)), "");

  db.DeleteData(db.SearchForItemID(4));
  db.SetDBName("");
  db.SetDBName(Base());
  EXPECT_EQ(db.SearchForItemID(4), 0);
  EXPECT_EQ(db.NumEntries(), 2);
}

// A kill stops a write between two pages, so the copy over the deleted record
// may hold only the moved record's head up to a page boundary and the deleted
// record's bytes after it: records 34 and 68 (0-based) straddle the
// boundaries at 4096 and 8192 bytes, 16 and 32 bytes into the record.
TEST_F(InterruptedDeletion, MoveCutShortAtAPageBoundaryIsCompleted) {
  constexpr size_t kRec = sizeof(TgdbData);
  constexpr int kItems = 70;
  for (const size_t deleted : {size_t{34}, size_t{68}}) {
    SCOPED_TRACE(deleted);
    name_ = "torn" + std::to_string(deleted);
    {
      TGeoDB db(nullptr);
      db.SetDBName(Base());
      for (int32_t key = 1; key <= kItems; ++key) AddItem(db, ContentOf(key));
    }
    std::vector<char> table = Table();
    const std::vector<char> moved(table.end() - kRec, table.end());
    const size_t head = (deleted * kRec / 4096 + 1) * 4096 - deleted * kRec;
    ASSERT_LT(head, kRec);
    std::copy(moved.begin(), moved.begin() + static_cast<std::ptrdiff_t>(head),
              table.begin() + static_cast<std::ptrdiff_t>(deleted * kRec));
    WriteTable(table);

    TGeoDB db(nullptr);
    db.SetDBName(Base());
    ASSERT_EQ(db.NumEntries(), kItems - 1);
    table = Table();
    ASSERT_EQ(table.size(), (kItems - 1) * kRec);
    EXPECT_TRUE(std::equal(moved.begin(), moved.end(),
                           table.begin() + static_cast<std::ptrdiff_t>(deleted * kRec)));
    EXPECT_EQ(db.SearchForItemID(static_cast<int32_t>(deleted) + 1), 0);
    EXPECT_EQ(db.SearchForItemID(kItems), static_cast<int>(deleted) + 1);
    EXPECT_EQ(CompareIndexes(db), "");
  }
}

// Two records sharing an ID where no page boundary explains it (a damaged
// file) are left as they are: the repair drops nothing it cannot account for.
TEST_F(InterruptedDeletion, SharedIdWithoutAPageCutIsLeftAlone) {
  constexpr size_t kRec = sizeof(TgdbData);
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    for (int32_t key : {11, 12, 13, 14}) AddItem(db, ContentOf(key));
  }
  std::vector<char> table = Table();
  std::copy(table.end() - kRec, table.end() - kRec + 8, table.begin() + kRec);
  WriteTable(table);
  TGeoDB db(nullptr);
  db.SetDBName(Base());
  EXPECT_EQ(db.NumEntries(), 4);
  EXPECT_EQ(Table().size(), 4 * kRec);
}

// Two pairs of whole copies (a damaged file): repairing the last pair
// would leave the other last, to be dropped at the next opening, and so on.
// Nothing is dropped, and every opening finds the same entries.
TEST_F(InterruptedDeletion, TwoPairsOfCopiesAreLeftAlone) {
  constexpr size_t kRec = sizeof(TgdbData);
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    for (int32_t key : {21, 22, 23}) AddItem(db, ContentOf(key));
  }
  std::vector<char> table = Table();
  table.insert(table.end(), table.begin() + kRec, table.end());  // 1 2 3 2 3
  WriteTable(table);
  for (int opening = 0; opening < 2; ++opening) {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    EXPECT_EQ(db.NumEntries(), 5);
  }
  EXPECT_EQ(Table().size(), 5 * kRec);
}

// A damaged table whose last record copies an earlier one but for a stale
// offset of a kind without a block: the collection drops stale offsets,
// which would make the pair a cut-short deletion for the next opening.
TEST_F(InterruptedDeletion, CollectionMakesNoCopyOfADamagedTable) {
  constexpr size_t kRec = sizeof(TgdbData);
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    for (int32_t key = 31; key <= 40; ++key) AddItem(db, ContentOf(key));
  }
  std::vector<char> table = Table();
  std::vector<char> twin;
  for (size_t at = 0; at < table.size() && twin.empty(); at += kRec) {
    TgdbData rec;
    std::memcpy(&rec, table.data() + at, kRec);
    if (rec.ItemKind != gitTown) continue;
    rec.BlobOffset = 4;
    twin.resize(kRec);
    std::memcpy(twin.data(), &rec, kRec);
  }
  ASSERT_FALSE(twin.empty());
  table.insert(table.end(), twin.begin(), twin.end());
  WriteTable(table);
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    ASSERT_EQ(db.NumEntries(), 11);
    db.GarbageCollection();
  }
  for (int opening = 0; opening < 2; ++opening) {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    EXPECT_EQ(db.NumEntries(), 11);
  }
}

TEST_F(InterruptedDeletion, DistinctRecordsAreLeftAlone) {
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    AddItem(db, ContentOf(7));
    AddItem(db, ContentOf(7));  // same content, another ID
  }
  TGeoDB db(nullptr);
  db.SetDBName(Base());
  EXPECT_EQ(db.NumEntries(), 2);
  EXPECT_EQ(Table().size(), 2u * sizeof(TgdbData));
}

}  // namespace
}  // namespace marovia::crashtest
