// One writer at a time, and readers beside it: a second writer is refused, a
// read-only database changes nothing, sees only committed states while a
// writer in another process works, and completes what a dead writer left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "crash_model.h"
#include "support/temp_dir.h"

namespace marovia::crashtest {
namespace {

namespace fs = std::filesystem;

// The text of the EZYLGeoDBError that Call raises ("" when none).
template <class F>
std::string RefusalOf(F&& Call) {
  try {
    Call();
  } catch (const EZYLGeoDBError& e) {
    return e.what();
  }
  return {};
}

class GeoDBSharing : public ::testing::Test {
 protected:
  std::string Base() const { return tmp_.File("shared"); }
  void Fill(int From, int To) {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    for (int key = From; key < To; ++key) AddItem(db, ContentOf(key));
  }
  // Every item whole and the indexes in agreement; "" when so.
  static std::string Sound(TGeoDB& Db) {
    std::string why = CompareIndexes(Db);
    for (int k = 1; k <= Db.NumEntries() && why.empty(); ++k)
      why = CompareItem(Db, k, ContentOf(Db.Data(k).Tag));
    return why;
  }
  test::TempDir tmp_;
};

TEST_F(GeoDBSharing, SecondWriterIsRefusedInThisProcessAndInAnother) {
  Fill(1, 4);
  TGeoDB first(nullptr), second(nullptr);
  second.SetName("Second");
  first.SetDBName(Base());
  EXPECT_NE(RefusalOf([&] { second.SetDBName(Base()); }).find("is open for writing elsewhere"),
            std::string::npos);
  EXPECT_EQ(second.DBName(), "");
  first.SetDBName("");
  second.SetDBName(Base());
  EXPECT_EQ(second.NumEntries(), 3);

  // Another process, while this one writes.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TGeoDB other(nullptr);
    char refused = RefusalOf([&] { other.SetDBName(Base()); }).empty() ? 'n' : 'y';
    (void)!write(ready[1], &refused, 1);
    _exit(0);
  }
  char refused = 0;
  ASSERT_EQ(read(ready[0], &refused, 1), 1);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(refused, 'y');
  close(ready[0]);
  close(ready[1]);
}

TEST_F(GeoDBSharing, ReadOnlyDatabaseChangesNothing) {
  TGeoDB db(nullptr);
  db.SetReadOnly(true);
  EXPECT_THROW(db.SetDBName(Base()), EInOutError);  // no database there
  EXPECT_TRUE(fs::is_empty(tmp_.Path()));

  Fill(1, 6);
  fs::remove(Base() + ".zylgi3");  // rebuilt in memory, not written
  db.SetDBName(Base());
  EXPECT_EQ(Sound(db), "");
  const TgdbPolygon poly = {{1, 1}, {2, 2}};
  TMetaInfo meta{};
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"AddData",
       [&] {
         db.AddTown("t", 45000.0, 0, TSCoords{1, 1}, 0, 0, 0);
       }},
      {"ReplaceData", [&] { db.ReplaceRiver(1, "r", poly, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0); }},
      {"DeleteData", [&] { db.DeleteData(1); }},
      {"UpdateBasicData", [&] { db.UpdateBasicData(1, db.Data(1)); }},
      {"SetDescription", [&] { db.SetDescription("x"); }},
      {"GarbageCollection", [&] { db.GarbageCollection(); }},
      {"BeginTransaction", [&] { db.BeginTransaction(); }},
  };
  for (const auto& [name, change] : changes)
    EXPECT_NE(RefusalOf(change).find(std::string(name) + ": the database is open read-only"),
              std::string::npos)
        << name;
  for (int k = 1; k <= db.NumEntries(); ++k) {
    if (db.Data(k).ItemKind == gitBLOB) {
      EXPECT_NE(RefusalOf([&] { db.UpdateMetaInfo(k, meta); }).find("read-only"),
                std::string::npos);
    }
  }
  db.SetDBName("");
  EXPECT_FALSE(fs::exists(Base() + ".zylgi3"));
  EXPECT_FALSE(fs::exists(Base() + ".zylgj"));
}

// A writer in another process adds, replaces and deletes items, alone and
// in transactions, and collects garbage, until this process has opened the
// database read-only a number of times (the writer stops when the file
// "stop" appears, so a slow machine only makes the test longer). Each
// opening sees a whole state (even when garbage collection moved the blocks
// since) or says it cannot now.
TEST_F(GeoDBSharing, ReaderBesideAWriterSeesWholeStatesOrAClearError) {
  constexpr int kReadings = 20;
  Fill(1, 30);
  const std::string stop = Base() + ".stop";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    try {
      TGeoDB db(nullptr);
      db.SetDBName(Base());
      std::mt19937 rng(5);
      int32_t key = 1000;
      // The time limit only guards against a reader that never gets in.
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      int changes = 0;
      while (changes < 20 || (!fs::exists(stop) && std::chrono::steady_clock::now() < end)) {
        ++changes;
        const unsigned r = rng() % 100;
        if (r < 3) db.GarbageCollection();
        if (r < 20) db.BeginTransaction();
        AddItem(db, ContentOf(key++));
        ReplaceItem(db, 1 + static_cast<int>(rng() % db.NumEntries()), ContentOf(key++));
        if (db.NumEntries() > 40) db.DeleteData(1 + static_cast<int>(rng() % db.NumEntries()));
        if (db.InTransaction()) db.Commit();
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "writer failed: %s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  int whole = 0, busy = 0;
  for (int status = 0; waitpid(pid, &status, WNOHANG) == 0;) {
    TGeoDB db(nullptr);
    db.SetReadOnly(true);
    try {
      db.SetDBName(Base());
    } catch (const EZYLGeoDBError& e) {
      ASSERT_NE(std::string(e.what()).find("try again later"), std::string::npos) << e.what();
      ++busy;
      continue;
    }
    const std::string why = Sound(db);
    if (!why.empty()) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      FAIL() << why << ", after " << whole << " whole states";
    }
    if (++whole == kReadings) std::ofstream created(stop);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_GE(whole, kReadings);
  std::printf("reader beside a writer: %d whole states, %d busy\n", whole, busy);
}

// Index files are rewritten in place and cut to their new length; a reader
// that took a length before the cut read past the end (seen beside a writer
// under load). Their writing waits for a reader's shared lock, as every
// change in place does; an addition alone appends and takes no lock.
TEST_F(GeoDBSharing, IndexFilesChangeOnlyWhileNoReaderReads) {
  Fill(1, 5);
  TGeoDB db(nullptr);
  db.SetDBName(Base());
  const int reader = open((Base() + ".zylgi0").c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  struct flock fl {};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 1;  // the byte a reader locks while it reads
  fl.l_len = 1;
  ASSERT_EQ(fcntl(reader, F_OFD_SETLK, &fl), 0);
  const auto before = fs::file_size(Base() + ".zylgi1");
  std::atomic<bool> added = false;
  std::thread writer([&] {
    AddItem(db, ContentOf(99));
    added = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(added);
  EXPECT_EQ(fs::file_size(Base() + ".zylgi1"), before);
  fl.l_type = F_UNLCK;
  ASSERT_EQ(fcntl(reader, F_OFD_SETLK, &fl), 0);
  writer.join();
  close(reader);
  EXPECT_GT(fs::file_size(Base() + ".zylgi1"), before);
  EXPECT_EQ(Sound(db), "");
}

// A writer that died in a transaction, after part of it reached the files,
// leaves a hot journal: a reader rolls it back when no writer is there.
TEST_F(GeoDBSharing, ReaderCompletesWhatADeadWriterLeft) {
  Fill(1, 10);
  std::vector<int32_t> keys;
  {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    for (int k = 1; k <= db.NumEntries(); ++k) keys.push_back(db.Data(k).Tag);
  }
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TGeoDB db(nullptr);
    db.SetDBName(Base());
    db.BeginTransaction();
    db.DeleteData(1);
    std::vector<uint8_t> big(static_cast<size_t>(kgdbSpillBytes), 1);
    TMetaInfo m{};
    db.AddBLOB("big", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, big.data(),
               static_cast<int32_t>(big.size()));
    _exit(0);  // no commit, no rollback, no destructor
  }
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(fs::exists(Base() + ".zylgj"));
  TGeoDB db(nullptr);
  db.SetReadOnly(true);
  db.SetDBName(Base());
  EXPECT_FALSE(fs::exists(Base() + ".zylgj"));
  ASSERT_EQ(db.NumEntries(), static_cast<int>(keys.size()));
  for (int k = 1; k <= db.NumEntries(); ++k) EXPECT_EQ(db.Data(k).Tag, keys[k - 1]);
  EXPECT_EQ(Sound(db), "");
}

}  // namespace
}  // namespace marovia::crashtest
