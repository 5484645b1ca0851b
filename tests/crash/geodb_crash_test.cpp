// The item database loses nothing confirmed when its process dies.
//
// A child process (the driver) opens a database and adds, replaces and
// deletes items and BLOBs, alone or several in a transaction, collects
// garbage, and, with lazy writing on, writes the indexes or closes and
// reopens now and then; it notes every operation in a journal before it
// starts and once it returned. The parent kills it with SIGKILL at a random
// moment, then opens the database itself and checks:
//   - opening succeeds and leaves no rollback journal behind;
//   - the database holds exactly the confirmed items, or exactly those the
//     operation or transaction under way at the kill would leave: every
//     record, point and BLOB byte whole (a torn record fails the run);
//   - HighestID covers every ID, and the five indexes agree with the table.
// The next driver goes on with the same database. This runs with lazy
// writing off and on, under each durability setting; MAROVIA_CRASH_KILLS
// sets the number of kills per run (a few dozen by default).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "crash_model.h"
#include "support/temp_dir.h"

namespace marovia::crashtest {
namespace {

namespace fs = std::filesystem;

int Kills(TgdbDurability Durability) {
  if (const char* n = std::getenv("MAROVIA_CRASH_KILLS")) return std::max(1, std::atoi(n));
#if defined(__SANITIZE_ADDRESS__)
  return Durability == gdNone ? 60 : 20;  // each step runs several times slower
#else
  return Durability == gdNone ? 120 : 40;
#endif
}
// Kills land anywhere in a driver's first milliseconds: in its opening (with
// recovery and index rebuild) or in one of its operations. Forcing writes to
// the disk makes each change take milliseconds, so the durable settings
// give the driver longer.
int MaxLifeMicros(TgdbDurability Durability) {
  return Durability == gdNone ? 30000 : 200000;
}
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

struct TMode {
  bool Lazy;
  TgdbDurability Durability;
};
void PrintTo(const TMode& M, std::ostream* Out) {
  *Out << "lazy " << M.Lazy << ", durability " << int{M.Durability};
}

// The driver: runs until it is killed. Model and NextKey are the parent's
// view at the fork.
[[noreturn]] void Drive(const std::string& Base, const std::string& JournalName, TMode Mode,
                        TModel Model, int32_t NextKey, uint32_t Seed) {
  try {
    Journal j(JournalName);
    TGeoDB db(nullptr);
    db.SetName("Crash");
    db.SetDurability(Mode.Durability);
    auto open = [&] {
      db.SetDBName(Base);
      db.SetLazyWrite(Mode.Lazy);
    };
    open();
    j.Note('C', 'S', 0, 0);
    std::mt19937 rng(Seed);
    auto pickId = [&] {
      auto it = Model.begin();
      std::advance(it, static_cast<long>(rng() % Model.size()));
      return it->first;
    };
    // One change: an addition, a deletion or a replacement; Mark is 'B'
    // alone, 'b' inside a transaction (noted once it returned).
    auto change = [&](unsigned r, char Mark) {
      const unsigned deletes = Model.size() > kTargetItems ? 500 : 150;
      if (Model.empty() || r < 400) {
        const int32_t key = NextKey++;
        if (Mark == 'B') j.Note('B', 'A', 0, key);
        const int entry = AddItem(db, ContentOf(key));
        const int32_t id = db.Data(entry).ItemId;
        j.Note(Mark == 'B' ? 'C' : 'b', 'A', id, key);
        Model[id] = key;
      } else if (r < 400 + deletes) {
        const int32_t id = pickId();
        if (Mark == 'B') j.Note('B', 'D', id, 0);
        db.DeleteData(db.SearchForItemID(id));
        j.Note(Mark == 'B' ? 'C' : 'b', 'D', id, 0);
        Model.erase(id);
      } else {
        const int32_t id = pickId(), key = NextKey++;
        if (Mark == 'B') j.Note('B', 'R', id, key);
        ReplaceItem(db, db.SearchForItemID(id), ContentOf(key));
        j.Note(Mark == 'B' ? 'C' : 'b', 'R', id, key);
        Model[id] = key;
      }
    };
    for (;;) {
      // Per mille. Writing the index files dominates the time of a change,
      // so with lazy writing on, the rarer index writes, reopenings and
      // collections are kept rarer still, or most kills would land in them.
      const unsigned r = rng() % 1000;
      const unsigned rest = Mode.Lazy ? 985 : 950;
      if (r < 800) {
        change(rng() % 1000, 'B');
      } else if (r < rest) {
        j.Note('B', 'T', 0, 0);
        db.BeginTransaction();
        for (unsigned n = 2 + rng() % 4; n > 0; --n) change(rng() % 1000, 'b');
        j.Note('K', 'T', 0, 0);
        db.Commit();
        j.Note('C', 'T', 0, 0);
      } else if (r < rest + 10 || !Mode.Lazy) {
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

// What the journal of one driver says: the confirmed model, and what the
// database may hold instead when the kill came during a change.
struct TOutcome {
  char Op = 0;           // the operation under way ('-' none, 'S' opening)
  TModel After;          // the model had it completed (an addition: without
  int32_t AddedKey = 0;  // its item, whose ID is unknown: AddedKey instead)
  bool MayHaveHappened = false;
};

TOutcome Replay(const std::vector<TJournalEntry>& Entries, TModel& Model, int32_t& NextKey) {
  TOutcome out;
  out.Op = 'S';
  TModel txn;  // the transaction's model so far
  bool inTxn = false;
  for (const TJournalEntry& e : Entries) {
    NextKey = std::max(NextKey, e.Key + 1);
    auto apply = [&](TModel& m) {
      if (e.Op == 'A' || e.Op == 'R') m[e.Id] = e.Key;
      if (e.Op == 'D') m.erase(e.Id);
    };
    if (e.Op == 'S') {
      out.Op = '-';
    } else if (e.Mark == 'B') {
      out = TOutcome{e.Op, Model, 0, e.Op == 'A' || e.Op == 'R' || e.Op == 'D'};
      if (e.Op == 'A') out.AddedKey = e.Key;
      if (e.Op == 'R') out.After[e.Id] = e.Key;
      if (e.Op == 'D') out.After.erase(e.Id);
      if (e.Op == 'T') {
        inTxn = true;
        txn = Model;
      }
    } else if (e.Mark == 'b') {
      apply(txn);
    } else if (e.Mark == 'K') {
      out.After = txn;
      out.MayHaveHappened = true;
    } else {  // C
      if (e.Op == 'T') {
        Model = txn;
        inTxn = false;
      } else {
        apply(Model);
      }
      out = TOutcome{'-', Model, 0, false};
    }
  }
  (void)inTxn;
  return out;
}

class GeoDBCrash : public ::testing::TestWithParam<TMode> {
 protected:
  // Opens the database after a kill and checks it against the model, or
  // against what the change under way would have left; brings the model up
  // to what the database holds.
  void Check(const TOutcome& Pending) {
    TGeoDB db(nullptr);
    db.SetName("Check");
    ASSERT_NO_THROW(db.SetDBName(Base()));
    EXPECT_FALSE(fs::exists(Base() + ".zylgj")) << "a journal left after opening";
    EXPECT_EQ(CompareIndexes(db), "");

    TModel found;  // item ID -> key, as the database holds them
    for (int k = 1; k <= db.NumEntries(); ++k) {
      const TgdbData r = db.Data(k);
      ASSERT_TRUE(found.emplace(r.ItemId, r.Tag).second) << "item " << r.ItemId << " twice";
      EXPECT_LE(r.ItemId, db.HighestID());
      ASSERT_EQ(CompareItem(db, k, ContentOf(r.Tag)), "") << "item " << r.ItemId << " torn";
    }
    if (found == model_) return;
    ASSERT_TRUE(Pending.MayHaveHappened)
        << "the database differs from the confirmed items with no change under way (" << Pending.Op
        << ")";
    TModel after = Pending.After;
    if (Pending.Op == 'A') {
      // The new item has an ID above every earlier one.
      ASSERT_EQ(found.size(), model_.size() + 1) << "not the model before or after the addition";
      const auto added = std::prev(found.end());
      ASSERT_TRUE(model_.empty() || added->first > model_.rbegin()->first);
      ASSERT_EQ(added->second, Pending.AddedKey);
      after[added->first] = added->second;
    }
    ASSERT_TRUE(found == after) << "neither the state before nor after the change under way ("
                                << Pending.Op << ")";
    model_ = found;
  }

  void Run(TMode Mode) {
    std::mt19937 rng(Mode.Lazy ? 2 : 1);
    std::map<char, int> killedIn;
    int32_t nextKey = 1;
    const int kills = Kills(Mode.Durability);
    for (int kill = 0; kill < kills; ++kill) {
      std::ofstream(Journal(), std::ios::trunc).close();
      const uint32_t seed = rng();
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) Drive(Base(), Journal(), Mode, model_, nextKey, seed);
      usleep(
          static_cast<useconds_t>(rng() % static_cast<unsigned>(MaxLifeMicros(Mode.Durability))));
      ::kill(pid, SIGKILL);
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
          << "the driver ended by itself, status " << status;

      const TOutcome pending = Replay(ReadJournal(Journal()), model_, nextKey);
      ++killedIn[pending.Op];
      Check(pending);
      if (HasFatalFailure() || HasFailure()) {
        ADD_FAILURE() << "after kill " << kill + 1;
        return;
      }
    }
    std::string where;
    for (const auto& [op, n] : killedIn) where += std::string(" ") + op + "=" + std::to_string(n);
    std::printf(
        "%d kills, by operation under way (S opening, A add, R replace, D delete, T transaction, "
        "G garbage collection, F index write, O reopen, - between):%s; %zu items at the end\n",
        kills, where.c_str(), model_.size());
    RecordProperty("kills", kills);
    RecordProperty("killed_in", where);
  }

  std::string Base() const { return (dir_ / "crash").string(); }
  std::string Journal() const { return (dir_ / "journal.txt").string(); }

  test::TempDir tmp_;
  const fs::path& dir_ = tmp_.Path();
  TModel model_;
};

TEST_P(GeoDBCrash, ConfirmedItemsSurviveSigkillWholeAndIndexesAgree) {
  Run(GetParam());
}

const TMode kModes[] = {{false, gdNone},  {true, gdNone},  {false, gdNormal},
                        {true, gdNormal}, {false, gdFull}, {true, gdFull}};

std::string ModeName(const ::testing::TestParamInfo<TMode>& Info) {
  static const char* const kNames[] = {"None", "Normal", "Full"};
  return std::string(Info.param.Lazy ? "LazyOn" : "LazyOff") + kNames[Info.param.Durability];
}

INSTANTIATE_TEST_SUITE_P(Modes, GeoDBCrash, ::testing::ValuesIn(kModes), ModeName);

}  // namespace
}  // namespace marovia::crashtest
