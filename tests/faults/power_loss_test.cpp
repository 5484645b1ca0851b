// The item database after a power cut: a driver changes a database step by
// step under the shim, which records every write, truncation, sync, rename
// and deletion; here the record is played back as far as a cut and as the
// disk may have kept it, and the database opened on the result must hold a
// state the driver had confirmed.
//
// Model of the disk: files are inodes with contents, the folder maps names
// to inodes. A file's sync keeps its earlier data; a folder's sync keeps its
// earlier names. What came after a file's (or the folder's) last sync
// before the cut is kept or lost piece by piece (a write at page
// granularity), in any combination: the disk reorders. Durability gdNone
// promises nothing then, so there only the cut itself is played (what a
// killed program leaves: everything before it, a page-wise prefix of the
// write it cut). Allowed outcomes, with m steps confirmed before the cut:
// states m and m + 1; with gdNormal also m - 1 (the last confirmed step may
// be undone, never damaged). MAROVIA_POWER_IMAGES sets how many random
// images each cut gets (3 by default).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "faults_model.h"
#include "shim_run.h"

namespace marovia::faults {
namespace {

struct TOp {
  char Kind = 0;  // C W T S D R U, and M: a step confirmed
  std::string Path, To;
  int64_t At = 0;
  std::string Bytes;
  int Inode = -1;  // the inode a data op changes (C: the one created)
  bool Trunc = false;
};

std::vector<TOp> ReadLog(const std::string& FileName, const std::string& Confirmed) {
  std::ifstream in(FileName, std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), {});
  std::vector<TOp> ops;
  size_t at = 0;
  auto take = [&](void* p, size_t n) {
    if (log.size() - at < n) throw std::runtime_error("record log cut short");
    std::memcpy(p, log.data() + at, n);
    at += n;
  };
  auto text = [&] {
    uint32_t n;
    take(&n, 4);
    std::string s(n, '\0');
    take(s.data(), n);
    return s;
  };
  while (at < log.size()) {
    TOp op;
    take(&op.Kind, 1);
    op.Path = text();
    op.To = text();
    take(&op.At, 8);
    op.Bytes = text();
    if (op.Path == Confirmed) {
      if (op.Kind == 'W') {
        TOp mark;
        mark.Kind = 'M';
        ops.push_back(mark);
      }
      continue;
    }
    ops.push_back(op);
  }
  return ops;
}

// Gives each op the inode it acts on, following the names as the recorded
// run saw them. Answers the number of inodes.
int ResolveInodes(std::vector<TOp>& Ops) {
  std::map<std::string, int> names;
  int next = 0;
  for (TOp& op : Ops) {
    if (op.Kind == 'C') {
      const auto it = names.find(op.Path);
      op.Trunc = op.At != 0;
      if (it == names.end()) {
        op.Inode = names[op.Path] = next++;
      } else {
        op.Inode = it->second;
        op.Kind = op.Trunc ? 'T' : 'N';  // an existing file emptied, or nothing
        op.At = 0;
      }
    } else if (op.Kind == 'W' || op.Kind == 'T' || op.Kind == 'S') {
      const auto it = names.find(op.Path);
      op.Inode = it == names.end() ? -1 : it->second;
    } else if (op.Kind == 'R') {
      const auto it = names.find(op.Path);
      op.Inode = it == names.end() ? -1 : it->second;
      names.erase(op.Path);
      if (op.Inode >= 0) names[op.To] = op.Inode;
    } else if (op.Kind == 'U') {
      names.erase(op.Path);
    }
  }
  return next;
}

bool IsFolderOp(const TOp& Op) {
  return Op.Kind == 'C' || Op.Kind == 'R' || Op.Kind == 'U';
}

// The disk after a cut before op Cut, keeping a write that crosses the cut
// up to PrefixPages pages; with Rng, ops after the last sync that covers
// them are each kept or lost by chance.
std::map<std::string, std::string> Image(const std::vector<TOp>& Ops, int Inodes, size_t Cut,
                                         size_t PrefixPages, std::mt19937* Rng) {
  std::vector<size_t> lastSync(static_cast<size_t>(Inodes), 0);  // ops before it are kept
  size_t lastFolderSync = 0;
  for (size_t i = 0; i < Cut; ++i) {
    if (Ops[i].Kind == 'S' && Ops[i].Inode >= 0) lastSync[static_cast<size_t>(Ops[i].Inode)] = i;
    if (Ops[i].Kind == 'D') lastFolderSync = i;
  }
  auto kept = [&](size_t i) {
    const TOp& op = Ops[i];
    if (!Rng) return true;
    if (IsFolderOp(op)) return i < lastFolderSync || (*Rng)() % 2 == 0;
    return op.Inode < 0 || i < lastSync[static_cast<size_t>(op.Inode)] || (*Rng)() % 2 == 0;
  };
  std::vector<std::string> data(static_cast<size_t>(Inodes));
  std::map<std::string, int> names;
  auto write = [&](const TOp& op, size_t Pages) {
    std::string& d = data[static_cast<size_t>(op.Inode)];
    // Page by page, each kept or lost on its own when the disk reorders.
    size_t done = 0;
    for (size_t page = 0; done < op.Bytes.size() && page < Pages; ++page) {
      const int64_t pos = op.At + static_cast<int64_t>(done);
      const size_t n = std::min(op.Bytes.size() - done, static_cast<size_t>(4096 - pos % 4096));
      if (!Rng || kept(static_cast<size_t>(&op - Ops.data()))) {
        if (d.size() < static_cast<size_t>(pos) + n) d.resize(static_cast<size_t>(pos) + n, '\0');
        std::memcpy(d.data() + pos, op.Bytes.data() + done, n);
      }
      done += n;
    }
  };
  for (size_t i = 0; i <= Cut && i < Ops.size(); ++i) {
    const TOp& op = Ops[i];
    const bool partial = i == Cut;
    if (partial && (op.Kind != 'W' || Rng)) break;
    if (op.Kind == 'W' && op.Inode >= 0) {
      write(op, partial ? PrefixPages : SIZE_MAX);
      continue;
    }
    if (!kept(i)) continue;
    if (op.Kind == 'T' && op.Inode >= 0) data[static_cast<size_t>(op.Inode)].resize(op.At, '\0');
    if (op.Kind == 'C') names[op.Path] = op.Inode;
    if (op.Kind == 'U') names.erase(op.Path);
    if (op.Kind == 'R' && op.Inode >= 0) {
      names.erase(op.Path);
      names[op.To] = op.Inode;
    }
  }
  std::map<std::string, std::string> files;
  for (const auto& [name, inode] : names) files[name] = data[static_cast<size_t>(inode)];
  return files;
}

class GeoDBPowerLoss : public ::testing::TestWithParam<TgdbDurability> {
 protected:
  // The confirmed states: before the first step and after each.
  std::vector<TContents> States() {
    const fs::path dir = tmp_.Path() / "model";
    fs::create_directories(dir);
    TGeoDB db(nullptr);
    db.SetDBName(DatabaseBase(dir.string()));
    std::vector<TContents> states;
    std::string why;
    states.push_back(Contents(db, why));
    RecordSteps(db, [&](int) { states.push_back(Contents(db, why)); });
    return states;
  }

  // Opens the database in the image; empty when it holds one of the states
  // From..To, else what it holds.
  std::string Judge(const std::map<std::string, std::string>& Files, const fs::path& Folder,
                    const std::vector<TContents>& States, int From, int To) {
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    for (const auto& [name, bytes] : Files)
      std::ofstream(Folder / fs::path(name).filename(), std::ios::binary) << bytes;
    TGeoDB db(nullptr);
    std::string why;
    try {
      db.SetDBName(DatabaseBase(Folder.string()));
      const TContents now = Contents(db, why);
      if (!why.empty()) return "damaged: " + why;
      for (int s = std::max(From, 0); s <= To && s < static_cast<int>(States.size()); ++s)
        if (now == States[static_cast<size_t>(s)]) return {};
      return "not a confirmed state from " + std::to_string(From) + " to " + std::to_string(To);
    } catch (const std::exception& e) {
      return std::string("cannot open: ") + e.what();
    }
  }

  TScratch tmp_;
};

TEST_P(GeoDBPowerLoss, OpeningRecoversAConfirmedState) {
  const TgdbDurability durability = GetParam();
  const fs::path run = tmp_.Path() / "run";
  fs::create_directories(run);
  const std::string log = (tmp_.Path() / "record").string();
  ASSERT_EQ(RunDriver("db-record", run, durability, {"record", "", 0, "", log}).Status, 0);
  std::vector<TOp> ops = ReadLog(log, (run / "confirmed").string());
  const int inodes = ResolveInodes(ops);
  const std::vector<TContents> states = States();

  std::mt19937 rng(11);
  int images = 0;
  int confirmed = 0;
  // Random images per cut (MAROVIA_POWER_IMAGES for longer runs).
  const char* env = std::getenv("MAROVIA_POWER_IMAGES");
  const int reordered = durability == gdNone ? 0 : env ? std::atoi(env) : 3;
  for (size_t cut = 0; cut <= ops.size(); ++cut) {
    if (cut > 0 && ops[cut - 1].Kind == 'M') ++confirmed;
    const int from = durability == gdNormal ? confirmed - 1 : confirmed;
    // The cut alone, inside a write at every page boundary.
    const size_t pages =
        cut < ops.size() && ops[cut].Kind == 'W' ? (ops[cut].Bytes.size() + 4095) / 4096 : 0;
    for (size_t p = 0; p <= pages; ++p) {
      const std::string why = Judge(Image(ops, inodes, cut, p, nullptr), tmp_.Path() / "image",
                                    states, confirmed, confirmed + 1);
      ++images;
      ASSERT_EQ(why, "") << "cut before op " << cut << " of " << ops.size() << " (" << ops[cut].Kind
                         << " " << ops[cut].Path << "), " << p << " pages of it kept";
    }
    for (int r = 0; r < reordered; ++r) {
      const std::string why = Judge(Image(ops, inodes, cut, 0, &rng), tmp_.Path() / "image", states,
                                    from, confirmed + 1);
      ++images;
      if (!why.empty()) {
        for (size_t i = cut > 30 ? cut - 30 : 0; i < cut + 3 && i < ops.size(); ++i)
          std::printf("%zu %c %s %s %lld %zu inode %d\n", i, ops[i].Kind, ops[i].Path.c_str(),
                      ops[i].To.c_str(), static_cast<long long>(ops[i].At), ops[i].Bytes.size(),
                      ops[i].Inode);
      }
      ASSERT_EQ(why, "") << "cut before op " << cut << " of " << ops.size()
                         << ", unsynced writes kept at random (" << r << ")";
    }
  }
  EXPECT_EQ(confirmed + 1, static_cast<int>(states.size()));
  std::printf("durability %d: %zu operations recorded, %d disk images opened\n", int{durability},
              ops.size(), images);
}

std::string DurabilityName(const ::testing::TestParamInfo<TgdbDurability>& Info) {
  static const char* const kNames[] = {"None", "Normal", "Full"};
  return kNames[Info.param];
}

INSTANTIATE_TEST_SUITE_P(Durability, GeoDBPowerLoss, ::testing::Values(gdNone, gdNormal, gdFull),
                         DurabilityName);

}  // namespace
}  // namespace marovia::faults
