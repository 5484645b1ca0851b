// Playing back a rollback journal on opening: the input is the journal
// B.zylgj beside a database of a few items of every kind (the same files for
// every input). Opening must refuse the journal cleanly or leave a sound
// database (the checks of geodb_checks.h); a journal it played back or threw
// away is gone afterwards, one it refused is left as it was.
#include "fuzz_support.h"
#include "geodb_checks.h"
#include "marovia/geodb/geodb.h"

using namespace marovia;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSet[] = {".zylgds", ".zylgdd", ".zylgi0", ".zylgi1",
                                ".zylgi2", ".zylgi3", ".zylgi4"};

std::string Base() {
  return (fuzz::ScratchDir() / "db").string();
}

// The database every input is played back on, made once: name -> bytes.
const std::vector<std::pair<std::string, std::string>>& Sample() {
  static const auto files = [] {
    {
      TGeoDB db(nullptr);
      db.SetDBName(Base());
      db.SetDescription("journal fuzz");
      for (int i = 0; i < 40; ++i)
        db.AddTown("town " + std::to_string(i), 45000.0, 0, TSCoords{i * 2.0f, i * -3.0f}, 1, 2, i);
      db.AddBorder("border", {{1, 1}, {2, 2}, {3, 1}}, true, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
      std::vector<uint8_t> bytes(5000, 0x5A);
      TMetaInfo m{};
      ClearMetaInfo(m);
      db.AddBLOB("blob", 45000.0, 0, 0, 1, 0, 1, 0, 0, 0, m, bytes.data(), 5000);
      db.ReplaceCity(3, "city", {{5, 5}, {6, 6}}, false, 45000.0, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    std::vector<std::pair<std::string, std::string>> out;
    for (const char* ext : kSet) out.emplace_back(ext, geodb_checks::ReadWhole(Base() + ext));
    return out;
  }();
  return files;
}

void MakeSeeds(const fs::path& dir) {
  const auto& set = Sample();
  const std::string& table = set[0].second;
  const std::string& data = set[1].second;
  const auto tableSize = static_cast<int64_t>(table.size());
  const auto dataSize = static_cast<int64_t>(data.size());
  std::string renamed = table.substr(0, 4096);
  renamed[5] = 'X';  // entry 1's name as it "was"
  const std::vector<std::string> seeds = {
      // Nothing changed yet.
      geodb_checks::Journal(tableSize, dataSize, {}),
      // A page of the table and the header page of the data file saved.
      geodb_checks::Journal(tableSize, dataSize, {{0, 0, renamed}, {1, 0, data.substr(0, 4096)}}),
      // Items appended since: cut off again.
      geodb_checks::Journal(tableSize - 3 * 120, dataSize - 5000, {}),
      // Items cut off since: the saved pages bring them back.
      geodb_checks::Journal(tableSize + 240, dataSize,
                            {{0, 4096, table.substr(4096) + std::string(240, '\x11')}}),
      // Cut off, but not saved: refused.
      geodb_checks::Journal(tableSize + 8192, dataSize, {}),
  };
  for (size_t i = 0; i < seeds.size(); ++i)
    fuzz::WriteFile(dir / ("geodb_journal_" + std::to_string(i)), seeds[i]);
  std::string cut = seeds[1];
  cut.resize(cut.size() - 100);  // the last record cut short
  fuzz::WriteFile(dir / "geodb_journal_cut", cut);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeSeedsIfAsked(MakeSeeds);
  Sample();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  for (const auto& [ext, bytes] : Sample()) fuzz::WriteFile(Base() + ext, bytes);
  const std::string journal = Base() + ".zylgj";
  fuzz::WriteFile(journal, fuzz::AsText(Data, Size));

  TGeoDB db(nullptr);
  db.SetName("Fuzz");
  const bool opened = fuzz::Refusing([&] { db.SetDBName(Base()); });
  if (!opened) {
    fuzz::Check(db.DBName().empty(), "a refused journal left a database open");
    fuzz::Check(geodb_checks::ReadWhole(journal) == fuzz::AsText(Data, Size),
                "a refused journal was changed");
    return 0;
  }
  fuzz::Check(!fs::exists(journal), "a journal stayed after opening");
  geodb_checks::CheckSound(db, fuzz::ScratchDir() / "dump.txt");
  // The database goes on: a change and its reopening.
  fuzz::Refusing([&] {
    db.AddTown("after", 45000.0, 0, TSCoords{1, 2}, 0, 0, 0);
    db.SetDBName("");
    db.SetDBName(Base());
    geodb_checks::CheckSound(db, fuzz::ScratchDir() / "dump.txt");
  });
  return 0;
}
