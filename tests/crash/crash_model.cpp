// Content of the crash test's items, and the comparisons the checker makes.
#include "crash_model.h"

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace marovia::crashtest {

TContent ContentOf(int32_t Key) {
  static constexpr TgdbItem kKinds[] = {gitTown, gitBorder, gitLake, gitRiver, gitBLOB, gitCity};
  std::mt19937 rng(static_cast<uint32_t>(Key));
  TContent c;
  c.Key = Key;
  c.Kind = kKinds[rng() % 6];
  c.Name = "item " + std::to_string(Key);
  auto coord = [&](int span) { return static_cast<float>(rng() % (2 * span * 100)) / 100 - span; };
  const float lat = coord(80), lon = coord(170);
  if (c.Kind == gitTown) {
    c.Points = {{lat, lon}};
  } else if (c.Kind == gitBLOB) {
    c.Bytes.resize(rng() % 40001);
    for (auto& b : c.Bytes) b = static_cast<uint8_t>(rng());
  } else {
    c.Points.resize(1 + rng() % 40);
    for (auto& p : c.Points) p = {lat + coord(5), lon + coord(5)};
  }
  return c;
}

namespace {

TMetaInfo MetaOf(const TContent& C) {
  TMetaInfo m{};
  ClearMetaInfo(m);
  m.Caption.SetText(C.Name);
  return m;
}

}  // namespace

int AddItem(TGeoDB& Db, const TContent& C) {
  const TDateTime date = 45000 + C.Key;
  switch (C.Kind) {
    case gitTown:
      return Db.AddTown(C.Name, date, C.Key, C.Points[0], 1, 2, C.Key);
    case gitBorder:
      return Db.AddBorder(C.Name, C.Points, true, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    case gitCity:
      return Db.AddCity(C.Name, C.Points, false, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    case gitLake:
      return Db.AddLake(C.Name, C.Points, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    case gitRiver:
      return Db.AddRiver(C.Name, C.Points, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    default:
      return Db.AddBLOB(C.Name, date, C.Key, -1, 1, -1, 1, 1, 2, C.Key, MetaOf(C), C.Bytes.data(),
                        static_cast<int32_t>(C.Bytes.size()));
  }
}

void ReplaceItem(TGeoDB& Db, int Entry, const TContent& C) {
  const TDateTime date = 45000 + C.Key;
  switch (C.Kind) {
    case gitTown:
      return Db.ReplaceTown(Entry, C.Name, date, C.Key, C.Points[0], 1, 2, C.Key);
    case gitBorder:
      return Db.ReplaceBorder(Entry, C.Name, C.Points, true, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    case gitCity:
      return Db.ReplaceCity(Entry, C.Name, C.Points, false, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    case gitLake:
      return Db.ReplaceLake(Entry, C.Name, C.Points, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    case gitRiver:
      return Db.ReplaceRiver(Entry, C.Name, C.Points, date, C.Key, 0, 0, 0, 0, 1, 2, C.Key);
    default:
      return Db.ReplaceBLOB(Entry, C.Name, date, C.Key, -1, 1, -1, 1, 1, 2, C.Key, MetaOf(C),
                            C.Bytes.data(), static_cast<int32_t>(C.Bytes.size()));
  }
}

std::string CompareItem(TGeoDB& Db, int Entry, const TContent& C) {
  const TgdbData r = Db.Data(Entry);
  std::ostringstream why;
  const std::string at =
      "entry " + std::to_string(Entry) + " (key " + std::to_string(C.Key) + "): ";
  if (r.Tag != C.Key || r.ItemKind != C.Kind || r.Name.Text() != C.Name || r.StateFlag != C.Key ||
      r.Date != 45000 + C.Key || r.Altitude != 1 || r.ClassFlag != 2)
    return at + "record differs";
  if (C.Kind == gitTown) {
    if (r.LatLow != C.Points[0].Latit || r.LongHigh != C.Points[0].Longit || r.BlobOffset != -1)
      return at + "town position differs";
    return {};
  }
  if (C.Kind == gitBLOB) {
    TMetaInfo meta{};
    TMemoryStream blob;
    if (!Db.RetrieveBLOB(Entry, meta, blob)) return at + "BLOB not read";
    if (meta.Caption.Text() != C.Name) return at + "meta information differs";
    if (blob.Size() != static_cast<int64_t>(C.Bytes.size()) ||
        !std::equal(C.Bytes.begin(), C.Bytes.end(), blob.Memory()))
      return at + "BLOB bytes differ";
    return {};
  }
  TgdbPolygon points;
  if (!Db.RetrievePolygon(Entry, points)) return at + "polygon not read";
  if (points.size() != C.Points.size() ||
      std::memcmp(points.data(), C.Points.data(), points.size() * sizeof(TSCoords)) != 0)
    return at + "points differ";
  const bool closed = C.Kind == gitBorder || C.Kind == gitLake;
  if (r.Closed != closed) return at + "closed flag differs";
  return {};
}

std::string CompareIndexes(const TGeoDB& Db) {
  const int n = Db.NumEntries();
  std::vector<int> seen(static_cast<size_t>(n));
  for (int p = 1; p <= n; ++p) {
    const TIxItemIDRec e = Db.IxItemID(p);
    if (e.index < 0 || e.index >= n || seen[static_cast<size_t>(e.index)]++ != 0)
      return "item-ID index: entry " + std::to_string(e.index) + " missing or twice";
    if (Db.Data(e.index + 1).ItemId != e.ItemID) return "item-ID index: wrong key";
    if (p > 1 && Db.IxItemID(p - 1).ItemID > e.ItemID) return "item-ID index: out of order";
  }
  for (int ix = 1; ix <= 4; ++ix) {
    std::fill(seen.begin(), seen.end(), 0);
    auto at = [&](int p) {
      return ix == 1   ? Db.IxLatLow(p)
             : ix == 2 ? Db.IxLatHigh(p)
             : ix == 3 ? Db.IxLongLow(p)
                       : Db.IxLongHigh(p);
    };
    for (int p = 1; p <= n; ++p) {
      const TIxLLRec e = at(p);
      const std::string name = "index " + std::to_string(ix) + ": ";
      if (e.index < 0 || e.index >= n || seen[static_cast<size_t>(e.index)]++ != 0)
        return name + "entry missing or twice";
      const TgdbData r = Db.Data(e.index + 1);
      const float key = ix == 1 ? r.LatLow : ix == 2 ? r.LatHigh : ix == 3 ? r.LongLow : r.LongHigh;
      if (key != e.LLValue) return name + "wrong key";
      if (p > 1 && at(p - 1).LLValue > e.LLValue) return name + "out of order";
    }
  }
  return {};
}

std::vector<TJournalEntry> ReadJournal(const std::string& FileName) {
  std::vector<TJournalEntry> out;
  std::ifstream in(FileName);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    char mark = 0, end = 0;
    TJournalEntry e;
    // A line cut short by the kill (no closing ';') is not an entry.
    if (!(f >> mark >> e.Op >> e.Id >> e.Key >> end) || end != ';' ||
        std::string("BCbK").find(mark) == std::string::npos)
      continue;
    e.Mark = mark;
    e.Confirmed = mark == 'C';
    out.push_back(e);
  }
  return out;
}

}  // namespace marovia::crashtest
