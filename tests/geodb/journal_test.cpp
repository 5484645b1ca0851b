// The database's writer and its rollback journal, below TGeoDB: the writer
// against a flat copy of the files, and playing back journals that are
// whole, cut short, damaged or beside other files.
#include <fcntl.h>

#include <random>

#include "file_store.h"
#include "geodb_test_support.h"
#include "journal.h"
#include "set_lock.h"

namespace marovia::testing {
namespace {

using gdb::kData;
using gdb::kTable;

class JournalTest : public GeoDBTest {
 protected:
  void SetUp() override {
    GeoDBTest::SetUp();
    names_ = gdb::SetNamesOf(Base("set"));
    lock_.Open(File(".lock", "set").string(), true);
  }
  // Both files with random contents; answers them.
  std::array<std::vector<uint8_t>, 2> MakeFiles(std::mt19937& Rng) {
    std::array<std::vector<uint8_t>, 2> bytes;
    for (int f = 0; f < 2; ++f) {
      bytes[f].resize(Rng() % 20000);
      for (auto& b : bytes[f]) b = static_cast<uint8_t>(Rng());
    }
    WriteBytes(names_.Table, bytes[kTable]);
    WriteBytes(names_.Data, bytes[kData]);
    return bytes;
  }
  std::array<std::vector<uint8_t>, 2> OnDisk() const {
    return {ReadBytes(names_.Table), ReadBytes(names_.Data)};
  }

  gdb::TSetNames names_;
  gdb::TSetLock lock_;
};

// Writes, cuts and reads at random places, with batches of a few hundred
// bytes, so that pages are saved, cut off, extended again and rewritten
// across many batches; a flat copy of each file is the oracle. The
// transaction then commits, rolls back, or is abandoned as a killed program
// would leave it and played back on opening.
TEST_F(JournalTest, WriterAgreesWithAFlatCopyAndEveryEndingKeepsOneState) {
  enum Ending { kCommit, kRollback, kKilled };
  for (const Ending ending : {kCommit, kRollback, kKilled}) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
      SCOPED_TRACE("ending " + std::to_string(ending) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      const auto before = MakeFiles(rng);
      auto model = before;
      gdb::TFileStore store(names_, lock_);
      store.SetSpillBytes(300 + rng() % 3000);
      store.Begin(seed % 2 == 0);
      for (int step = 0; step < 300; ++step) {
        const auto f = static_cast<gdb::TSetFile>(rng() % 2);
        auto& m = model[f];
        const unsigned what = rng() % 10;
        if (what < 6) {
          std::vector<uint8_t> bytes(1 + rng() % 700);
          for (auto& b : bytes) b = static_cast<uint8_t>(rng());
          const size_t at = rng() % (m.size() + 300);
          if (m.size() < at + bytes.size()) m.resize(at + bytes.size());
          std::copy(bytes.begin(), bytes.end(), m.begin() + static_cast<long>(at));
          store.Write(f, static_cast<int64_t>(at), bytes.data(),
                      static_cast<int64_t>(bytes.size()));
        } else if (what < 8) {
          m.resize(rng() % (m.size() + 100));
          store.Truncate(f, static_cast<int64_t>(m.size()));
        } else if (!m.empty()) {
          const size_t at = rng() % m.size();
          const size_t n = rng() % (m.size() - at + 1);
          std::vector<uint8_t> got(n);
          store.Read(f, static_cast<int64_t>(at), got.data(), static_cast<int64_t>(n));
          ASSERT_TRUE(std::equal(got.begin(), got.end(), m.begin() + static_cast<long>(at)))
              << "read at " << at << " of file " << f << ", step " << step;
        }
        ASSERT_EQ(store.Size(f), static_cast<int64_t>(m.size()));
      }
      if (ending == kCommit) {
        store.Commit();
        EXPECT_TRUE(OnDisk() == model);
        EXPECT_FALSE(fs::exists(names_.Journal));
      } else if (ending == kRollback) {
        store.Rollback();
        EXPECT_TRUE(OnDisk() == before);
      } else {
        store.Abandon();  // what a killed program leaves
        EXPECT_EQ(gdb::RecoverJournal(names_, gdNone), gdb::TRecovery::RolledBack);
        EXPECT_TRUE(OnDisk() == before);
      }
      EXPECT_FALSE(fs::exists(names_.Journal));
      EXPECT_FALSE(store.Active());
    }
  }
}

// A journal left behind as a killed program leaves it, and the files it
// changed; the Patch of each row is applied to the journal's bytes.
TEST_F(JournalTest, HotJournalsArePlayedBackAsFarAsTheyAreWhole) {
  struct Row {
    const char* What;
    void (*Patch)(std::vector<uint8_t>& Journal);
    gdb::TRecovery Expected;
    bool Restored;  // the files are as before the transaction afterwards
  };
  const Row rows[] = {
      {"whole", [](std::vector<uint8_t>&) {}, gdb::TRecovery::RolledBack, true},
      {"header cut short", [](std::vector<uint8_t>& j) { j.resize(40); }, gdb::TRecovery::Discarded,
       false},
      {"header checksum wrong", [](std::vector<uint8_t>& j) { j[20] ^= 1; },
       gdb::TRecovery::Discarded, false},
      {"duplicate of the first record appended",
       [](std::vector<uint8_t>& j) {
         const size_t n = sizeof(TgdbJournalRecord) + I32At(j, 64 + 4) + 4;
         std::vector<uint8_t> first(j.begin() + 64, j.begin() + 64 + static_cast<long>(n));
         first[16] ^= 0xFF;  // a later copy would hold changed bytes: ignored
         const uint32_t salt = static_cast<uint32_t>(I32At(j, 12));
         TgdbJournalRecord head;
         std::memcpy(&head, first.data(), sizeof head);
         uint32_t sum = gdbCrc32c(&salt, 4);
         sum = gdbCrc32c(&head, sizeof head, sum);
         sum = gdbCrc32c(first.data() + 16, head.Length, sum);
         std::memcpy(first.data() + 16 + head.Length, &sum, 4);
         j.insert(j.end(), first.begin(), first.end());
       },
       gdb::TRecovery::RolledBack, true},
      {"second record's checksum wrong: reading stops there",
       [](std::vector<uint8_t>& j) {
         const size_t second = 64 + sizeof(TgdbJournalRecord) + I32At(j, 64 + 4) + 4;
         j[second + 20] ^= 1;
       },
       gdb::TRecovery::Mismatch, false},  // the cut-off pages are in no record read
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.What);
    std::array<std::vector<uint8_t>, 2> before{std::vector<uint8_t>(9000, 0xA1),
                                               std::vector<uint8_t>(9000, 0xB2)};
    WriteBytes(names_.Table, before[kTable]);
    WriteBytes(names_.Data, before[kData]);
    {
      gdb::TFileStore store(names_, lock_);
      store.SetSpillBytes(1);
      store.Begin(true);
      const std::vector<uint8_t> ones(5000, 1);
      store.Truncate(kTable, 10);                  // saves every page of the table
      store.Write(kData, 100, ones.data(), 5000);  // saves the data file's first pages
      store.Abandon();  // after one batch: the data pages' records come first
    }
    const auto changed = OnDisk();
    auto journal = ReadBytes(names_.Journal);
    row.Patch(journal);
    WriteBytes(names_.Journal, journal);
    EXPECT_EQ(gdb::RecoverJournal(names_, gdNone), row.Expected);
    EXPECT_TRUE(OnDisk() == (row.Restored ? before : changed));
    EXPECT_EQ(fs::exists(names_.Journal), row.Expected == gdb::TRecovery::Mismatch);
    fs::remove(names_.Journal);
  }
}

// A hot journal beside files it cannot belong to (shorter than its begin
// sizes where no record holds the missing bytes) is refused, and opening the
// database says so and changes nothing.
TEST_F(JournalTest, JournalBesideOtherFilesIsRefusedAndNothingChanges) {
  Open("a");
  for (int i = 0; i < 60; ++i) AddTownAt("town", 1, 2);
  db_->SetDBName("");
  {
    gdb::TFileStore store(gdb::SetNamesOf(Base("a")), lock_);
    store.Begin(true);
    store.SetSpillBytes(1);
    const TgdbData rec{};
    store.Write(kTable, 0, &rec, sizeof rec);
    store.Abandon();
  }
  Open("b");
  AddTownAt("other", 3, 4);
  db_->SetDBName("");
  fs::copy_file(File(".zylgj", "a"), File(".zylgj", "b"));
  const auto table = ReadBytes(File(".zylgds", "b"));
  try {
    Open("b");
    FAIL() << "opened";
  } catch (const EZYLGeoDBError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot belong to the database"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(db_->DBName(), "");
  EXPECT_EQ(ReadBytes(File(".zylgds", "b")), table);
  EXPECT_TRUE(fs::exists(File(".zylgj", "b")));
}

}  // namespace
}  // namespace marovia::testing
