// The writers' contents shared by the fault driver and the tests.
#include "faults_model.h"

#include <fcntl.h>
#include <unistd.h>

namespace marovia::faults {

using crashtest::AddItem;
using crashtest::ContentOf;
using crashtest::ReplaceItem;

std::vector<uint8_t> TileBytes(const TTileId& Tile, int Variant) {
  std::string s = "tile " + std::to_string(Tile.Z) + "/" + std::to_string(Tile.X) + "/" +
                  std::to_string(Tile.Y) + " of variant " + std::to_string(Variant);
  s.append(static_cast<size_t>(100 + (Tile.X * 37 + Tile.Y * 11) % 300), '#');
  return {s.begin(), s.end()};
}

std::string DatabaseBase(const std::string& Folder) {
  return Folder + "/db";
}

namespace {

int EntryOfKind(TGeoDB& Db, TgdbItem Kind) {
  for (int k = 1; k <= Db.NumEntries(); ++k)
    if (Db.Data(k).ItemKind == Kind) return k;
  return 1;
}

}  // namespace

void RecordSteps(TGeoDB& Db, const std::function<void(int Step)>& OnConfirmed) {
  int step = 0;
  for (int32_t key = 1; key <= 6; ++key) {
    AddItem(Db, ContentOf(key));
    OnConfirmed(++step);
  }
  ReplaceItem(Db, 2, ContentOf(7));
  OnConfirmed(++step);
  Db.DeleteData(1);
  OnConfirmed(++step);
  Db.BeginTransaction();
  AddItem(Db, ContentOf(8));
  ReplaceItem(Db, 1, ContentOf(9));
  Db.DeleteData(3);
  AddItem(Db, ContentOf(10));
  Db.Commit();
  OnConfirmed(++step);
  Db.GarbageCollection();
  OnConfirmed(++step);
  ReplaceItem(Db, 3, ContentOf(11));
  OnConfirmed(++step);
  AddItem(Db, ContentOf(12));
  OnConfirmed(++step);
}

void RunDatabase(const std::string& Command, const std::string& Folder, int Variant) {
  TGeoDB db(nullptr);
  db.SetName("Faults");
  db.SetDurability(static_cast<TgdbDurability>(Variant));
  db.SetDBName(DatabaseBase(Folder));
  if (Command == "fill") {
    for (int32_t key = 1; key <= 12; ++key) AddItem(db, ContentOf(key));
    ReplaceItem(db, 4, ContentOf(13));  // garbage for the collection
  } else if (Command == "add") {
    AddItem(db, ContentOf(100));
  } else if (Command == "replace") {
    ReplaceItem(db, 2, ContentOf(101));
  } else if (Command == "delete") {
    db.DeleteData(3);
  } else if (Command == "meta") {
    TMetaInfo m{};
    const int e = EntryOfKind(db, gitBLOB);
    db.GetMetaInfo(e, m);
    m.Comment.SetText("updated");
    db.UpdateMetaInfo(e, m);
  } else if (Command == "description") {
    db.SetDescription("changed");
  } else if (Command == "transaction") {
    db.BeginTransaction();
    AddItem(db, ContentOf(102));
    ReplaceItem(db, 1, ContentOf(103));
    db.DeleteData(5);
    db.Commit();
  } else if (Command == "collect") {
    db.GarbageCollection();
  } else if (Command == "record") {
    RecordSteps(db, [&](int Step) {
      const std::string line = std::to_string(Step) + "\n";
      const int fd = ::open((Folder + "/confirmed").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd < 0 || ::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        _exit(4);
      ::close(fd);
    });
  } else {
    throw std::runtime_error("unknown database command " + Command);
  }
  db.SetDBName("");
}

TContents Contents(TGeoDB& Db, std::string& Why) {
  TContents found{{0, Db.Description()}};
  Why = crashtest::CompareIndexes(Db);
  for (int k = 1; k <= Db.NumEntries() && Why.empty(); ++k) {
    const TgdbData r = Db.Data(k);
    std::string value = std::to_string(r.Tag);
    TMetaInfo meta{};
    if (Db.GetMetaInfo(k, meta)) value += "/" + meta.Comment.Text();
    if (!found.emplace(r.ItemId, value).second) Why = "item " + std::to_string(r.ItemId) + " twice";
    if (Why.empty()) Why = crashtest::CompareItem(Db, k, ContentOf(r.Tag));
  }
  if (!Why.empty()) found.clear();
  return found;
}

}  // namespace marovia::faults
