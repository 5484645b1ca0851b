// How a database (TGeoDB, geodb.h) changes its files without ever leaving
// them half changed: transactions, the rollback journal, durability and
// locks.
//
// Transactions. Every change runs as a transaction: a single operation
// outside BeginTransaction / Commit, or everything between them. Its writes
// to the item table (B.zylgds) and the data file (B.zylgdd) are collected in
// memory and reach the files when it commits, or, in a large transaction,
// in batches of about kgdbSpillBytes. Before any of them reaches a file, the
// bytes it will overwrite and both files' sizes are saved in the journal
// B.zylgj, which exists only while a transaction writes.
//
// Journal file B.zylgj (little-endian; CRC-32C is the Castagnoli CRC,
// reflected, initial value and final xor 0xFFFFFFFF):
//
//   header, 64 bytes at byte 0 (TgdbJournalHeader)
//     0   8  Magic      "ZYLGJRN1"
//     8   4  Version    1
//     12  4  Salt       random per journal; part of every record's checksum,
//                       so bytes of an earlier journal never pass as records
//     16  8  TableSize  bytes of the item table when the transaction began
//     24  8  DataSize   bytes of the data file when the transaction began
//     32  4  PageSize   4096
//     36  24 Reserved   zero
//     60  4  HeaderSum  CRC-32C of bytes 0..59
//   then one record per page saved, each (TgdbJournalRecord + bytes + sum):
//     0   1  File       0 item table, 1 data file
//     1   3  Reserved   zero
//     4   4  Length     bytes saved, 1..PageSize (a file's last page may be
//                       shorter: only bytes below the begin size are saved)
//     8   8  Offset     of the page in its file: a multiple of PageSize, and
//                       Offset + Length <= that file's begin size
//     16  Length        the page as it was when the transaction began
//     16 + Length  4    CRC-32C of Salt, bytes 0..15 and the page bytes
//
// Commit protocol ("sync": fdatasync of a file, fsync of the folder, each
// only where the durability setting below asks for it):
//   1. Create the journal, write its header and a record for every page
//      below the begin sizes that the batch changes or a truncation cuts
//      off (a page saved once is not saved again); sync it, and sync the
//      folder after creating it.
//   2. Write the batch to the data file, then to the item table, and cut or
//      extend both to their new sizes. Steps 1 and 2 repeat for each batch.
//   3. Sync the data file and the item table.
//   4. Delete the journal: this is the commit point. Sync the folder.
//   5. Write the index files (unless lazy writing is on). They hold nothing
//      the item table does not: they are not journaled, and opening compares
//      them with the item table entry by entry and rebuilds any that
//      disagrees.
// A transaction that fails, or is rolled back, before step 4 is undone from
// the journal as on opening (if nothing reached the files yet, the collected
// writes are just dropped).
//
// Recovery on opening. A journal whose header is whole is hot: it belongs to
// a transaction that did not reach its commit point. Both files are cut or
// extended to the sizes in the header, every record is written back, both
// files are synced and the journal deleted. Records are read up to the
// first one whose checksum fails or that lies outside its file's begin
// size: a record is written (and synced) before its page changes, so a page
// without a whole record never changed. A journal whose header is not whole
// is deleted: nothing is written to the files before the header is. A hot
// journal that cannot be the one of these files (a byte cut off a file
// below its begin size is in no record) is refused with EZYLGeoDBError and
// everything is left as it is. Rolling back can be cut short and done again.
//
// The one write without journal: at durability gdNone, an operation outside
// a transaction that changes no byte below the begin sizes except the data
// file's header (an addition) writes none. The header is one write within
// the file's first page, which a killed process cannot leave half done;
// HighestID, the only field an addition changes there, is raised on opening
// to cover every item anyway; and the new record, appended to the item table
// last, is what makes the item exist.
//
// Older readers. The seven files keep their format and the journal exists
// only while a transaction writes, so a closed database is the same seven
// files as ever. A program that does not know the journal and opens a set
// with a hot journal sees the interrupted transaction's state: opening it
// here once restores the state before it.
//
// Locks (advisory, on open file descriptions, so that two components of one
// process exclude each other as two processes do), on B.zylgi0, which is
// never replaced by renaming:
//   byte 0  exclusive while a database is open for writing: a second writer
//           is refused (EZYLGeoDBError).
//   byte 1  exclusive while a writer changes the files (from the first write
//           of a transaction, its garbage collection or its recovery to the
//           end of its commit or rollback); shared while a read-only database
//           reads the set on opening and while it reads a data block. A
//           writer waits for readers; a reader waits for a writer about two
//           seconds and then gives up with EZYLGeoDBError.
// A file system without such locks (some network file systems) is used
// without them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marovia {

// When a database forces its writes to the disk (TGeoDB::SetDurability).
// Forcing costs what the disk takes to flush (milliseconds on many disks)
// two or three times per transaction, so with gdNormal and gdFull many
// changes belong in one transaction.
enum TgdbDurability : uint8_t {
  // Never. Nothing confirmed is lost when the program dies or a write fails;
  // a power cut or a system crash may lose recent changes or leave them
  // partly written. The default: a change costs what it cost before there
  // were transactions, whereas forcing makes each change outside a
  // transaction a thousand times slower on a disk that takes milliseconds
  // to flush. Programs that must survive power cuts choose gdFull and
  // group their changes in transactions.
  gdNone = 0,
  // The journal before the files and the files before the commit point: a
  // power cut leaves the state after a confirmed transaction, at worst
  // undoing the last one confirmed before it.
  gdNormal = 1,
  // Also the commit point itself: every confirmed transaction survives a
  // power cut.
  gdFull = 2
};

// The durability of a new TGeoDB.
constexpr TgdbDurability gdbDefaultDurability = gdNone;

// A transaction collects about this many bytes of writes in memory before it
// writes them (and saves the pages they overwrite) as a batch.
constexpr int64_t kgdbSpillBytes = int64_t{8} << 20;

// Journal header (64 bytes at byte 0 of B.zylgj).
struct TgdbJournalHeader {
  char Magic[8];  // "ZYLGJRN1"
  uint32_t Version;
  uint32_t Salt;
  int64_t TableSize;
  int64_t DataSize;
  uint32_t PageSize;
  uint8_t Reserved[24];
  uint32_t HeaderSum;
};
static_assert(sizeof(TgdbJournalHeader) == 64);
static_assert(offsetof(TgdbJournalHeader, Salt) == 12);
static_assert(offsetof(TgdbJournalHeader, TableSize) == 16);
static_assert(offsetof(TgdbJournalHeader, DataSize) == 24);
static_assert(offsetof(TgdbJournalHeader, PageSize) == 32);
static_assert(offsetof(TgdbJournalHeader, HeaderSum) == 60);

// Head of a journal record; Length page bytes and a 4-byte checksum follow.
struct TgdbJournalRecord {
  uint8_t File;  // 0 item table, 1 data file
  uint8_t Reserved[3];
  uint32_t Length;
  int64_t Offset;
};
static_assert(sizeof(TgdbJournalRecord) == 16);
static_assert(offsetof(TgdbJournalRecord, Length) == 4);
static_assert(offsetof(TgdbJournalRecord, Offset) == 8);

constexpr char kgdbJournalMagic[8] = {'Z', 'Y', 'L', 'G', 'J', 'R', 'N', '1'};
constexpr uint32_t kgdbJournalVersion = 1;
constexpr uint32_t kgdbJournalPage = 4096;

// CRC-32C of Size bytes, continuing from Crc (0 to start).
uint32_t gdbCrc32c(const void* Data, size_t Size, uint32_t Crc = 0);

}  // namespace marovia
