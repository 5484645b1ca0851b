// Writing and playing back the rollback journal (format and protocol in
// gdbjournal.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marovia/geodb/gdbjournal.h"
#include "raw_file.h"

namespace marovia::gdb {

// The two journaled files and the journal of a set.
struct TSetNames {
  std::string Table;    // B.zylgds
  std::string Data;     // B.zylgdd
  std::string Journal;  // B.zylgj
  std::string Folder;
};
TSetNames SetNamesOf(const std::string& Base);

// A fresh header for files of these sizes, salted and summed.
TgdbJournalHeader MakeJournalHeader(int64_t TableSize, int64_t DataSize);
// Appends one record (head, page bytes, sum) to Out.
void AppendJournalRecord(std::vector<uint8_t>& Out, uint32_t Salt, uint8_t File, int64_t Offset,
                         const uint8_t* Page, uint32_t Length);

// What a journal holds, as far as it is whole.
struct TJournalContents {
  bool HeaderWhole = false;
  TgdbJournalHeader Header{};
  struct TPage {
    uint8_t File;
    int64_t Offset;
    std::vector<uint8_t> Bytes;
  };
  std::vector<TPage> Pages;  // in journal order, each page once
};
// Reads the journal bytes: the header, then records up to the first that is
// not whole or lies outside its file's begin size.
TJournalContents ParseJournal(const std::vector<uint8_t>& Bytes);

enum class TRecovery {
  None,        // no journal
  Discarded,   // a journal without a whole header, deleted
  RolledBack,  // a hot journal, played back and deleted
  Mismatch     // a hot journal that cannot be the one of these files: untouched
};
// Plays back a hot journal beside the files (gdbjournal.h, "Recovery on
// opening"), syncing as Durability asks. I/O errors raise EInOutError; the
// journal then stays for the next attempt.
TRecovery RecoverJournal(const TSetNames& Names, TgdbDurability Durability);

}  // namespace marovia::gdb
