// The checks every item database a fuzz target opened must pass: the
// indexes agree with the item table, IDs lie at or below HighestID, the
// area query finds exactly what a plain scan of the records finds, and every
// polygon and BLOB reads back whole or is refused.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "marovia/geodb/gdbjournal.h"
#include "marovia/geodb/geodb.h"

namespace geodb_checks {

using namespace marovia;

inline float Bound(const TgdbData& r, int ix) {
  switch (ix) {
    case 1:
      return r.LatLow;
    case 2:
      return r.LatHigh;
    case 3:
      return r.LongLow;
    default:
      return r.LongHigh;
  }
}

inline bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every index holds each entry exactly once with the entry's own key, in
// ascending order.
inline void CheckIndexes(const TGeoDB& db) {
  const int n = db.NumEntries();
  std::vector<int> seen(static_cast<size_t>(n));
  for (int p = 1; p <= n; ++p) {
    const TIxItemIDRec e = db.IxItemID(p);
    fuzz::Check(e.index >= 0 && e.index < n, "item-ID index entry outside the table");
    fuzz::Check(seen[static_cast<size_t>(e.index)]++ == 0, "item-ID index names an entry twice");
    fuzz::Check(db.Data(e.index + 1).ItemId == e.ItemID, "item-ID index holds a wrong key");
    if (p > 1) fuzz::Check(db.IxItemID(p - 1).ItemID <= e.ItemID, "item-ID index out of order");
  }
  for (int ix = 1; ix <= 4; ++ix) {
    std::fill(seen.begin(), seen.end(), 0);
    auto at = [&](int p) {
      switch (ix) {
        case 1:
          return db.IxLatLow(p);
        case 2:
          return db.IxLatHigh(p);
        case 3:
          return db.IxLongLow(p);
        default:
          return db.IxLongHigh(p);
      }
    };
    for (int p = 1; p <= n; ++p) {
      const TIxLLRec e = at(p);
      fuzz::Check(e.index >= 0 && e.index < n, "bound index entry outside the table");
      fuzz::Check(seen[static_cast<size_t>(e.index)]++ == 0, "bound index names an entry twice");
      fuzz::Check(SameBits(Bound(db.Data(e.index + 1), ix), e.LLValue),
                  "bound index holds a wrong key");
      if (p > 1)
        fuzz::Check(!(static_cast<double>(at(p - 1).LLValue) > static_cast<double>(e.LLValue)),
                    "bound index out of order");
    }
  }
}

inline bool Meets(const TgdbData& r, double s, double n, double w, double e) {
  return r.LatLow <= n && r.LatHigh >= s && r.LongLow <= e && r.LongHigh >= w &&
         r.LatLow <= r.LatHigh && r.LongLow <= r.LongHigh;
}

// The area query against a scan of every record.
inline void CheckArea(const TGeoDB& db, double s, double n, double w, double e) {
  std::vector<int> expected;
  if (s <= n && !std::isnan(w) && !std::isnan(e)) {
    for (int k = 1; k <= db.NumEntries(); ++k) {
      const TgdbData r = db.Data(k);
      const bool hit = w <= e ? Meets(r, s, n, w, e)
                              : (w <= 180.0 && Meets(r, s, n, w, 180.0)) ||
                                    (e >= -180.0 && Meets(r, s, n, -180.0, e));
      if (hit) expected.push_back(k);
    }
  }
  const std::vector<int> found = db.FindItemsInArea(s, n, w, e);
  if (found != expected) {
    std::fprintf(stderr, "area %g..%g x %g..%g: query found %zu, scan %zu\n", s, n, w, e,
                 found.size(), expected.size());
    for (int k = 1; k <= db.NumEntries(); ++k) {
      const TgdbData r = db.Data(k);
      std::fprintf(stderr, "  entry %d: %.9g..%.9g x %.9g..%.9g%s%s\n", k, r.LatLow, r.LatHigh,
                   r.LongLow, r.LongHigh,
                   std::count(found.begin(), found.end(), k) ? " [query]" : "",
                   std::count(expected.begin(), expected.end(), k) ? " [scan]" : "");
    }
    fuzz::Finding("area query differs from a scan");
  }
}

// What an entry reads back: its points, or its meta information and bytes;
// empty when it has no block or the block is refused.
inline std::string ReadBack(TGeoDB& db, int k) {
  std::string out;
  TgdbPolygon poly;
  fuzz::Refusing([&] {
    if (db.RetrievePolygon(k, poly)) {
      fuzz::Check(static_cast<int64_t>(poly.size()) == db.Data(k).NumPoints,
                  "polygon of another length than its record says");
      out.assign(reinterpret_cast<const char*>(poly.data()), poly.size() * sizeof(TSCoords));
    }
  });
  TMetaInfo meta{};
  TMemoryStream blob;
  fuzz::Refusing([&] {
    if (db.RetrieveBLOB(k, meta, blob)) {
      fuzz::Check(blob.Size() == db.Data(k).Size, "BLOB of another size than its record says");
      out.assign(reinterpret_cast<const char*>(&meta), sizeof meta);
      out.append(reinterpret_cast<const char*>(blob.Memory()), static_cast<size_t>(blob.Size()));
    }
  });
  return out;
}

// The checks every opened database must pass.
inline void CheckSound(TGeoDB& db, const std::filesystem::path& Dump) {
  const int n = db.NumEntries();
  CheckIndexes(db);
  for (int k = 1; k <= n; ++k) {
    const TgdbData r = db.Data(k);
    fuzz::Check(r.ItemId <= db.HighestID(), "item ID above HighestID");
    const int found = db.SearchForItemID(r.ItemId);
    fuzz::Check(found >= 1 && found <= n && db.Data(found).ItemId == r.ItemId,
                "an item's ID is not found");
    ReadBack(db, k);
    TMetaInfo meta{};
    fuzz::Refusing([&] { db.GetMetaInfo(k, meta); });
  }
  CheckArea(db, -90, 90, -180, 180);
  CheckArea(db, -1e30, 1e30, -1e30, 1e30);
  CheckArea(db, 10, 50, 170, -170);
  if (n > 0) {
    const TgdbData r = db.Data(1);
    CheckArea(db, r.LatLow, r.LatHigh, r.LongLow, r.LongHigh);
    db.SearchData(r.Name.Text());
    db.GetClosestLatLowIx(r.LatLow);
    db.GetClosestLongHighIx(r.LongHigh);
    db.GetClosestItemIDIx(r.ItemId);
  }
  fuzz::Refusing([&] { db.ExportDataDebug(Dump.string()); });
}

// The bytes of a file ("" when it cannot be read).
inline std::string ReadWhole(const std::filesystem::path& File) {
  std::ifstream in(File, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A rollback journal for files of the given sizes, whose records save the
// given pages (file 0 item table, 1 data file; offset; bytes, cut to pages).
struct TSavedPage {
  uint8_t File;
  int64_t Offset;
  std::string Bytes;
};
inline std::string Journal(int64_t TableSize, int64_t DataSize,
                           const std::vector<TSavedPage>& Pages) {
  TgdbJournalHeader h{};
  std::memcpy(h.Magic, kgdbJournalMagic, sizeof h.Magic);
  h.Version = kgdbJournalVersion;
  h.Salt = 0x5EED;
  h.TableSize = TableSize;
  h.DataSize = DataSize;
  h.PageSize = kgdbJournalPage;
  h.HeaderSum = gdbCrc32c(&h, offsetof(TgdbJournalHeader, HeaderSum));
  std::string out(reinterpret_cast<const char*>(&h), sizeof h);
  for (const TSavedPage& p : Pages) {
    for (size_t at = 0; at < p.Bytes.size(); at += kgdbJournalPage) {
      TgdbJournalRecord r{};
      r.File = p.File;
      r.Offset = p.Offset + static_cast<int64_t>(at);
      r.Length = static_cast<uint32_t>(std::min<size_t>(kgdbJournalPage, p.Bytes.size() - at));
      uint32_t sum = gdbCrc32c(&h.Salt, sizeof h.Salt);
      sum = gdbCrc32c(&r, sizeof r, sum);
      sum = gdbCrc32c(p.Bytes.data() + at, r.Length, sum);
      out.append(reinterpret_cast<const char*>(&r), sizeof r);
      out.append(p.Bytes, at, r.Length);
      out.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    }
  }
  return out;
}

}  // namespace geodb_checks
