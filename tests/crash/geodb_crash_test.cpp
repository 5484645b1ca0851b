// The item database loses nothing confirmed when its process dies.
//
// A child process (the driver) opens a database and adds, replaces and
// deletes items and BLOBs, collects garbage, and, with lazy writing on,
// writes the indexes or closes and reopens now and then; it notes every
// operation in a journal before it starts and once it returned. The parent
// kills it with SIGKILL at a random moment, then opens the database itself
// and checks:
//   - opening succeeds;
//   - every item whose last operation returned before the kill is there,
//     once, with its record, points or BLOB intact;
//   - the operation under way at the kill either happened whole or not at all;
//   - no other item exists, and HighestID covers every ID;
//   - the five indexes agree with the item table.
// The next driver goes on with the same database.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "crash_model.h"
#include "support/temp_dir.h"

namespace marovia::crashtest {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kKills = 100;  // each step runs several times slower
#else
constexpr int kKills = 200;
#endif
// Kills land anywhere in the first 30 ms of a driver's life: in its
// opening (with recovery and index rebuild) or in one of its operations.
constexpr int kMaxLifeMicros = 30000;
// The driver keeps the database near this size, so that every check reads
// all of it in a few milliseconds.
constexpr int kTargetItems = 120;

class Journal {
 public:
  explicit Journal(const std::string& FileName)
      : fd_(::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644)) {}
  // One write per line, so that a kill leaves whole lines and at most one
  // cut short.
  void Note(char Mark, char Op, int32_t Id, int32_t Key) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%c %c %d %d ;\n", Mark, Op, Id, Key);
    if (::write(fd_, line, static_cast<size_t>(n)) != n) _exit(4);
  }

 private:
  int fd_;
};

// The driver: runs until it is killed. Model and NextKey are the parent's
// view at the fork.
[[noreturn]] void Drive(const std::string& Base, const std::string& JournalName, bool Lazy,
                        TModel Model, int32_t NextKey, uint32_t Seed) {
  try {
    Journal j(JournalName);
    TGeoDB db(nullptr);
    db.SetName("Crash");
    auto open = [&] {
      db.SetDBName(Base);
      db.SetLazyWrite(Lazy);
    };
    open();
    j.Note('C', 'S', 0, 0);
    std::mt19937 rng(Seed);
    auto pickId = [&] {
      auto it = Model.begin();
      std::advance(it, static_cast<long>(rng() % Model.size()));
      return it->first;
    };
    for (;;) {
      // Per mille. Writing the index files dominates the time of a change,
      // so with lazy writing on, the rarer index writes, reopenings and
      // collections are kept rarer still, or most kills would land in them.
      const unsigned r = rng() % 1000;
      const unsigned deletes = Model.size() > kTargetItems ? 500 : 150;
      const unsigned rest = Lazy ? 985 : 950;
      if (Model.empty() || r < 400) {
        const int32_t key = NextKey++;
        j.Note('B', 'A', 0, key);
        const int entry = AddItem(db, ContentOf(key));
        const int32_t id = db.Data(entry).ItemId;
        j.Note('C', 'A', id, key);
        Model[id] = key;
      } else if (r < 400 + deletes) {
        const int32_t id = pickId();
        j.Note('B', 'D', id, 0);
        db.DeleteData(db.SearchForItemID(id));
        j.Note('C', 'D', id, 0);
        Model.erase(id);
      } else if (r < rest) {
        const int32_t id = pickId(), key = NextKey++;
        j.Note('B', 'R', id, key);
        ReplaceItem(db, db.SearchForItemID(id), ContentOf(key));
        j.Note('C', 'R', id, key);
        Model[id] = key;
      } else if (r < rest + 10 || !Lazy) {
        j.Note('B', 'G', 0, 0);
        db.GarbageCollection();
        j.Note('C', 'G', 0, 0);
      } else if (r < rest + 13) {
        j.Note('B', 'F', 0, 0);
        db.SetLazyWrite(false);
        db.SetLazyWrite(true);
        j.Note('C', 'F', 0, 0);
      } else {
        j.Note('B', 'O', 0, 0);
        db.SetDBName("");
        open();
        j.Note('C', 'O', 0, 0);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "driver failed: %s\n", e.what());
  }
  _exit(3);
}

class GeoDBCrash : public ::testing::TestWithParam<bool> {
 protected:
  // Opens the database after a kill and checks it against the model; the
  // operation under way (Pending, Op 0 when none) may have happened or not.
  // Brings the model up to what the database holds.
  void Check(const TJournalEntry& Pending) {
    TGeoDB db(nullptr);
    db.SetName("Check");
    ASSERT_NO_THROW(db.SetDBName(Base()));
    EXPECT_EQ(CompareIndexes(db), "");

    std::map<int32_t, int> entryOf;
    std::vector<int32_t> torn;
    for (int k = 1; k <= db.NumEntries(); ++k) {
      const int32_t id = db.Data(k).ItemId;
      ASSERT_TRUE(entryOf.emplace(id, k).second) << "item " << id << " twice";
      EXPECT_LE(id, db.HighestID());
    }
    const char op = Pending.Op;
    for (auto it = model_.begin(); it != model_.end();) {
      const auto [id, key] = *it;
      const auto found = entryOf.find(id);
      if (found == entryOf.end()) {
        ASSERT_TRUE(op == 'D' && Pending.Id == id) << "confirmed item " << id << " lost";
        it = model_.erase(it);
        continue;
      }
      const int32_t tag = db.Data(found->second).Tag;
      if (tag != key) {
        ASSERT_TRUE(op == 'R' && Pending.Id == id && tag == Pending.Key)
            << "item " << id << " holds key " << tag << " instead of " << key;
        it->second = tag;
      }
      const std::string differs = CompareItem(db, found->second, ContentOf(tag));
      if (!differs.empty() && op == 'R' && Pending.Id == id) {
        // A replacement rewrites the record in place. A kill between two
        // pages of that write leaves it part new, part old, and nothing on
        // disk tells which: a known limit of in-place rewrites, counted
        // here. The item leaves the model and the database, so that later
        // rounds check the rest.
        ++tornReplacements_;
        torn.push_back(id);
        it = model_.erase(it);
        entryOf.erase(found);
        continue;
      }
      EXPECT_EQ(differs, "") << "item " << id;
      entryOf.erase(found);
      ++it;
    }
    // What is left must be the item of an addition under way.
    for (const auto& [id, entry] : entryOf) {
      const int32_t tag = db.Data(entry).Tag;
      ASSERT_TRUE(op == 'A' && tag == Pending.Key && entryOf.size() == 1)
          << "unknown item " << id << " with key " << tag;
      EXPECT_EQ(CompareItem(db, entry, ContentOf(tag)), "") << "item " << id;
      model_[id] = tag;
    }
    for (const int32_t id : torn) db.DeleteData(db.SearchForItemID(id));
    db.SetDBName("");
  }

  void Run(bool Lazy) {
    std::mt19937 rng(Lazy ? 2 : 1);
    std::map<char, int> killedIn;
    int32_t nextKey = 1;
    for (int kill = 0; kill < kKills; ++kill) {
      std::ofstream(Journal(), std::ios::trunc).close();
      const uint32_t seed = rng();
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) Drive(Base(), Journal(), Lazy, model_, nextKey, seed);
      usleep(static_cast<useconds_t>(rng() % kMaxLifeMicros));
      ::kill(pid, SIGKILL);
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
          << "the driver ended by itself, status " << status;

      TJournalEntry pending;
      bool started = false;
      for (const TJournalEntry& e : ReadJournal(Journal())) {
        nextKey = std::max(nextKey, e.Key + 1);
        if (e.Op == 'S') {
          started = true;
        } else if (!e.Confirmed) {
          pending = e;
        } else {
          pending = TJournalEntry{};
          if (e.Op == 'A' || e.Op == 'R') model_[e.Id] = e.Key;
          if (e.Op == 'D') model_.erase(e.Id);
        }
      }
      ++killedIn[!started ? 'S' : pending.Op != 0 ? pending.Op : '-'];
      Check(pending);
      if (HasFatalFailure() || HasFailure()) {
        ADD_FAILURE() << "after kill " << kill + 1;
        return;
      }
    }
    std::string where;
    for (const auto& [op, n] : killedIn) where += std::string(" ") + op + "=" + std::to_string(n);
    std::printf(
        "%d kills, by operation under way (S opening, A add, R replace, D delete, "
        "G garbage collection, F index write, O reopen, - between):%s; %zu items at "
        "the end; %d replacements left torn\n",
        kKills, where.c_str(), model_.size(), tornReplacements_);
    RecordProperty("kills", kKills);
    RecordProperty("killed_in", where);
  }

  std::string Base() const { return (dir_ / "crash").string(); }
  std::string Journal() const { return (dir_ / "journal.txt").string(); }

  test::TempDir tmp_;
  const fs::path& dir_ = tmp_.Path();
  TModel model_;
  int tornReplacements_ = 0;
};

TEST_P(GeoDBCrash, ConfirmedItemsSurviveSigkillAndIndexesAgree) {
  Run(GetParam());
}

INSTANTIATE_TEST_SUITE_P(LazyWriting, GeoDBCrash, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace
}  // namespace marovia::crashtest
