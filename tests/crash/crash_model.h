// What the crash test's driver writes and what the checker expects: the
// content of an item follows from one number, its key, kept in the item's
// Tag; and a journal in which the driver notes each operation before it
// starts and again once it returned.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "marovia/geodb/geodb.h"

namespace marovia::crashtest {

// Everything an item made from Key holds.
struct TContent {
  int32_t Key = 0;
  TgdbItem Kind = gitTown;
  std::string Name;
  TgdbPolygon Points;          // polygon kinds; the town's position as one point
  std::vector<uint8_t> Bytes;  // BLOBs, 0..40000 bytes (up to three copy buffers)
};
TContent ContentOf(int32_t Key);

// Adds / replaces an item with the content of Key; answers the entry number.
int AddItem(TGeoDB& Db, const TContent& C);
void ReplaceItem(TGeoDB& Db, int Entry, const TContent& C);

// Empty when entry Entry of Db holds exactly the content of its key (record,
// points, meta information and bytes); otherwise what differs.
std::string CompareItem(TGeoDB& Db, int Entry, const TContent& C);

// Empty when the five indexes hold each entry once with its own key, in
// ascending order; otherwise the first disagreement.
std::string CompareIndexes(const TGeoDB& Db);

// Journal lines, one write each: "B <op> <id> <key> ;" before an operation,
// "C <op> <id> <key> ;" after it returned. Ops: A add (id 0 before, the new ID
// after), R replace, D delete (key 0), G garbage collection, F index write
// (lazy writing switched off and on), O close and reopen, S started (the
// database is open), T transaction. Inside a transaction ("B T" .. "C T")
// each change is noted once it returned as "b <op> <id> <key> ;", and
// "K T 0 0 ;" before Commit is called.
struct TJournalEntry {
  char Mark = 0;  // B, C, b or K
  bool Confirmed = false;
  char Op = 0;
  int32_t Id = 0;
  int32_t Key = 0;
};
std::vector<TJournalEntry> ReadJournal(const std::string& FileName);

// Item ID -> key of every item the database must hold.
using TModel = std::map<int32_t, int32_t>;

}  // namespace marovia::crashtest
