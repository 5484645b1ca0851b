// TGeoDB: a geographic item database of seven files (layouts in
// gdbrecords.h), held entirely in memory while open.
//
// Every change is a transaction (gdbjournal.h): one operation, or all those
// between BeginTransaction and Commit. It reaches the item table and the
// data file through a rollback journal, so that a program killed, a full
// disk or (at durability gdNormal and gdFull, not the default) a power cut
// leaves the state before or after it, never a mixture. The five index
// files are rewritten after every change, or, with LazyWrite on, when lazy
// writing is switched off, the database is closed or another one opened,
// and when the component is destroyed; inside a transaction, once at its
// commit. Outside a transaction no file stays open between calls (a
// database open for writing keeps the descriptor that holds its lock, a
// read-only one its data file).
//
// One component may have a database open for writing at a time; others may
// open it read-only beside it (SetReadOnly before opening).
//
// Entries are numbered 1..NumEntries in item-table order. Deleting an entry
// moves the last one into its place, so entry numbers are not stable; item
// IDs are, and are never reused.
//
// Sources, by concern: open_close.cpp (file set, header, lazy writing),
// transactions.cpp (transactions, read-only opening, recovery),
// file_store.cpp and journal.cpp (the writer and its journal), set_lock.cpp
// (locks), indexes.cpp (index upkeep, index files and lookups), items.cpp
// (adding, replacing, deleting), blobs.cpp (data blocks: polygons, BLOBs,
// meta information), index_rebuild.cpp (index rebuild, consistency on
// opening), maintenance.cpp (garbage collection), area_query.cpp,
// export_debug.cpp. The indexes live in memory as TSortedIndex
// (sorted_index.h), a B+-tree with counts (rank_tree.h): adding and deleting
// an item cost O(log n) there, and writing an index file O(n).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "marovia/geodb/gdbjournal.h"
#include "marovia/geodb/gdbrecords.h"
#include "marovia/geodb/sorted_index.h"
#include "marovia/platform/classes.h"
#include "marovia/platform/streams.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

namespace gdb {
class TFileStore;
class TSetLock;
class TDataReader;
class TRawFile;
}  // namespace gdb

class TGeoDB : public TComponent {
 public:
  explicit TGeoDB(TComponent* AOwner);
  // Writes pending index changes when lazy writing is on (errors are
  // swallowed: a destructor cannot report them; close explicitly to see
  // them).
  ~TGeoDB() override;

  std::string ClassName() const override { return "TGeoDB"; }

  // ---- File set and header --------------------------------------------

  // Base name of the open file set (directory kept, no extension); empty
  // when no database is open.
  std::string DBName() const { return GetGDBName(); }
  std::string GetGDBName() const;
  // Non-empty: opens the file set with this base name (any extension is
  // removed), creating missing files, and recovers what an interrupted
  // transaction or garbage collection left. Empty: closes. A transaction
  // under way is rolled back and pending index changes of a database already
  // open are written first. File errors raise EInOutError; a database open
  // for writing elsewhere (another program or component), and a journal
  // that does not belong to the files beside it, raise EZYLGeoDBError.
  void SetDBName(const std::string& Value) { SetGDBName(Value); }
  void SetGDBName(const std::string& Value);

  bool LazyWrite() const { return FLazyWrite; }
  // Switching lazy writing off writes all five index files.
  void SetLazyWrite(bool Value);

  int NumEntries() const { return FNumSumItems; }
  // A count of the changes of the item records held in memory: it grows
  // whenever a record is added, replaced or deleted, the item table is read
  // again (opening, a rollback, a recovery) or the database closed. A
  // reader that keeps something made from the records (a map layer's
  // converted positions) keeps it while the count is the same. Changes made
  // through another component or process reach this one's records only
  // when it reads the item table again, and so count from then.
  uint64_t Changes() const { return FChanges; }

  // ---- Transactions, durability, readers ----------------------------------

  // Starts a transaction: the changes up to Commit reach the files together
  // or not at all (also when the program dies or the disk fails in between),
  // the files stay open, and the index files are written once, at Commit.
  // Reads see the changes at once. Raises EZYLGeoDBError with no database
  // open, read-only, or in a transaction already.
  void BeginTransaction();
  // Makes the transaction's changes permanent. On failure they are undone
  // (files and memory as at BeginTransaction) and the error raised; should
  // undoing fail too, or a failure come after the commit point, the
  // database is closed and opening it again completes the recovery. The
  // index files are written after the commit point: a failure there raises
  // with the changes committed.
  void Commit();
  // Undoes the transaction's changes: files and memory as at
  // BeginTransaction, except that HighestID stays raised so that no ID seen
  // in the transaction is given out again.
  void Rollback();
  bool InTransaction() const;
  // An operation inside a transaction whose batch of writes fails (a full
  // disk) rolls the whole transaction back and raises: InTransaction is then
  // false. Closing the database, or opening another, rolls back a
  // transaction still under way.

  // When writes are forced to the disk (gdbjournal.h); default
  // gdbDefaultDurability (gdNone). Applies from the next transaction.
  TgdbDurability Durability() const { return FDurability; }
  void SetDurability(TgdbDurability Value);

  // Read-only: the next opening reads the set without creating, changing or
  // locking it against writers, and every change raises EZYLGeoDBError. Such
  // a database may be open beside a writer: it waits (about two seconds)
  // for a change under way to end and raises EZYLGeoDBError if it does not.
  // It reads the state committed when it was opened (its data file stays
  // open, so garbage collection by the writer moves nothing under it), and
  // completes an interrupted transaction of a writer that died, if it may
  // write the files.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }

  // Progress of long operations (0..100), called only when assigned and
  // OnPercDoneEnabled is true.
  TOnPercentDoneEvent OnPercentDone;
  bool OnPercDoneEnabled() const { return FOnPercDoneEnabled; }
  void SetOnPercDoneEnabled(bool Value) { FOnPercDoneEnabled = Value; }

  // Description: at most 60 characters are kept. Writing with no database
  // open is ignored; a failing header write raises EZYLGeoDBError.
  std::string Description() const { return GetDescription(); }
  std::string GetDescription() const;
  void SetDescription(const std::string& Value);
  int32_t Revision() const { return GetRevision(); }
  int32_t GetRevision() const { return FSystemData.Revision; }
  void SetRevision(int32_t Value);
  // Version stored in the data file (4 for databases created here).
  int32_t DBVersion() const { return GetDBVersion(); }
  int32_t GetDBVersion() const { return FSystemData.DBVersion; }
  // Highest item ID assigned so far.
  int32_t HighestID() const { return FSystemData.HighestID; }

  // Copy of the record of entry i (1-based, clamped to 1..NumEntries). With
  // no entries: a cleared record (ItemId 0, kind gitUndefined, BlobOffset
  // -1, Date 0).
  TgdbData Data(int i) const { return GetSumdata(i); }
  TgdbData GetSumdata(int i) const;

  // ---- Indexes ----------------------------------------------------------

  // Entry ix (1-based, clamped to 1..NumEntries) of index 0..4. With no
  // entries: a zero key and index -1.
  TIxItemIDRec IxItemID(int ix) const { return GetIxItemID(ix); }
  TIxLLRec IxLatLow(int ix) const { return GetIxLatLow(ix); }
  TIxLLRec IxLatHigh(int ix) const { return GetIxLatHigh(ix); }
  TIxLLRec IxLongLow(int ix) const { return GetIxLongLow(ix); }
  TIxLLRec IxLongHigh(int ix) const { return GetIxLongHigh(ix); }
  TIxItemIDRec GetIxItemID(int ix) const;
  TIxLLRec GetIxLatLow(int ix) const;
  TIxLLRec GetIxLatHigh(int ix) const;
  TIxLLRec GetIxLongLow(int ix) const;
  TIxLLRec GetIxLongHigh(int ix) const;

  // Entry number of the item with this ID, 0 when there is none.
  int SearchForItemID(int32_t ItemID) const;
  // 1-based position in the index of an entry with key v if there is one
  // (not necessarily the first of equal keys), else of the first greater
  // key (n + 1 past all keys); 1 for an empty index.
  int GetClosestItemIDIx(int32_t ItemID) const;
  int GetClosestLatLowIx(double Latit) const;
  int GetClosestLatHighIx(double Latit) const;
  int GetClosestLongLowIx(double Longit) const;
  int GetClosestLongHighIx(double Longit) const;

  // Entry number of the first item at or after StartSearchAt (below 1 taken
  // as 1) whose name equals Name exactly (after conversion to 8-bit
  // characters and cutting to 59), whose kind is ItemType and whose class is
  // ClassNumber; 0 when none. Linear in the entries searched.
  int SearchData(const std::string& Name, TgdbItem ItemType, int StartSearchAt,
                 uint8_t ClassNumber) const;
  // Entry number of the first item named Name (any kind and class), 0 when
  // none.
  int SearchData(const std::string& Name) const;

  // Rebuilds the five indexes from the item records by sorting,
  // O(n log n); the index files are written unless lazy writing is on.
  void RecalcIndexes();

  // Entry numbers (ascending) of all items whose bounding box meets the
  // rectangle LatLow..LatHigh, LongLow..LongHigh (degrees, edges included).
  // LongLow > LongHigh denotes a rectangle across the 180° meridian;
  // LatLow > LatHigh gives no items. Items without points (empty bounding
  // box, LatLow > LatHigh) never match.
  //
  // Cost: eight binary searches, O(log n), give four candidate ranges, one
  // per bound index: items whose southern bound lies within the tallest
  // item's height south of the rectangle up to its northern edge, and the
  // three analogues. Only the shortest range, k candidates, is tested against
  // the item records, O(k), and the m items found are put in entry order:
  // sorted, O(m log m), or, when they are many, marked and read back,
  // O(n / 64 + m). A shortest range of more than a quarter of the items is
  // not used: every record is tested in order instead, O(n).
  // With items small against the rectangle, k is about the items of a band
  // as tall (or wide) as the rectangle; one item spanning much of the globe
  // widens every band (the extents are upper bounds kept since opening).
  // A bound index holding a NaN bound gives no range; with all four so, every
  // item is tested, O(n).
  std::vector<int> FindItemsInArea(double LatLow, double LatHigh, double LongLow,
                                   double LongHigh) const;

  // ---- Items --------------------------------------------------------------

  // Adders answer the new entry number, -1 when no database is open. Names
  // are cut to 59 characters. Polygon items take their bounding box from
  // their points (the bound arguments are not used). A point (polygon kinds)
  // or a bound (other kinds) that is NaN or infinite raises EZYLGeoDBError
  // before anything is written, here and in the replacers and
  // UpdateBasicData; files already holding such items still open.
  int AddBorder(const std::string& Name, const TgdbPolygon& Polygon, bool ClosedLine,
                TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                float LongHigh, float Altitude, uint8_t ClassNumber, int32_t UserTag);
  int AddCity(const std::string& Name, const TgdbPolygon& Polygon, bool ClosedLine, TDateTime Date,
              int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
              float Altitude, uint8_t ClassNumber, int32_t UserTag);
  int AddLake(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
              int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
              float Altitude, uint8_t ClassNumber, int32_t UserTag);
  int AddRiver(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
               int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
               float Altitude, uint8_t ClassNumber, int32_t UserTag);
  int AddRoad(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
              int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
              float Altitude, uint8_t ClassNumber, int32_t UserTag);
  int AddRoute(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
               int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
               float Altitude, uint8_t ClassNumber, int32_t UserTag);
  int AddTown(const std::string& Name, TDateTime Date, int32_t StateFlag, TSCoords Location,
              float Altitude, uint8_t ClassNumber, int32_t UserTag);

  // BLOB from the file FileName: Name is its file-name part, FilePath of the
  // stored meta information its first 127 characters (the file itself is
  // read under its full name), Date its modification time.
  int AddBLOB(const std::string& FileName, TDateTime Date, int32_t StateFlag, float LatLow,
              float LatHigh, float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
              int32_t UserTag, const TMetaInfo& MInfo);
  // As above, with Name the file-name part of FNameInDB.
  int AddBLOB(const std::string& FileName, const std::string& FNameInDB, TDateTime Date,
              int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
              float Altitude, uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo);
  // As above, then records OrgFilePath (first 127 characters) as FilePath.
  int AddBLOB(const std::string& FileName, const std::string& FNameInDB,
              const std::string& OrgFilePath, TDateTime Date, int32_t StateFlag, float LatLow,
              float LatHigh, float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
              int32_t UserTag, const TMetaInfo& MInfo);
  // BLOB from memory (SizeOfBLOBData bytes at PBLOBData).
  int AddBLOB(const std::string& Name, TDateTime Date, int32_t StateFlag, float LatLow,
              float LatHigh, float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
              int32_t UserTag, const TMetaInfo& MInfo, const void* PBLOBData,
              int32_t SizeOfBLOBData);
  // BLOB from the whole contents of a memory stream.
  int AddBLOB(const std::string& Name, TDateTime Date, int32_t StateFlag, float LatLow,
              float LatHigh, float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
              int32_t UserTag, const TMetaInfo& MInfo, TMemoryStream& Data);

  // Replacers keep the entry number and the item ID and append a new data
  // block; nothing happens outside 1..NumEntries or with no database open.
  void ReplaceBorder(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                     bool ClosedLine, TDateTime Date, int32_t StateFlag, float LatLow,
                     float LatHigh, float LongLow, float LongHigh, float Altitude,
                     uint8_t ClassNumber, int32_t UserTag);
  void ReplaceCity(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                   bool ClosedLine, TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh,
                   float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
                   int32_t UserTag);
  void ReplaceLake(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
                   int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                   float Altitude, uint8_t ClassNumber, int32_t UserTag);
  void ReplaceRiver(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                    TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                    float LongHigh, float Altitude, uint8_t ClassNumber, int32_t UserTag);
  void ReplaceRoad(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
                   int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                   float Altitude, uint8_t ClassNumber, int32_t UserTag);
  void ReplaceRoute(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                    TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                    float LongHigh, float Altitude, uint8_t ClassNumber, int32_t UserTag);
  void ReplaceTown(int DBEntry, const std::string& Name, TDateTime Date, int32_t StateFlag,
                   TSCoords Location, float Altitude, uint8_t ClassNumber, int32_t UserTag);
  void ReplaceBLOB(int DBEntry, const std::string& FileName, TDateTime Date, int32_t StateFlag,
                   float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
                   uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo);
  void ReplaceBLOB(int DBEntry, const std::string& Name, TDateTime Date, int32_t StateFlag,
                   float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
                   uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo,
                   const void* PBLOBData, int32_t SizeOfBLOBData);
  void ReplaceBLOB(int DBEntry, const std::string& Name, TDateTime Date, int32_t StateFlag,
                   float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
                   uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo,
                   TMemoryStream& Data);

  // Removes an entry: the last entry moves into its place. The data file is
  // not changed (its block becomes unreferenced) and HighestID stays. The
  // index entries of both items are found by their keys: O(log n + r) per
  // index, r the entries sharing the key (O(n) in an index with a NaN key).
  void DeleteData(int DbEntry);

  // Overwrites the record of an entry with GdbData and re-sorts its index
  // entries. The entry keeps its item ID (GdbData.ItemId is ignored) so IDs
  // stay unique; a length byte beyond the name field is clamped.
  void UpdateBasicData(int DbEntry, const TgdbData& GdbData);

  // ---- Reading data blocks --------------------------------------------------
  // Entry numbers below 1 are taken as 1. A data block that does not lie
  // within the data file raises EZYLGeoDBError naming the file.

  // Points of a polygon item; false for other kinds or outside NumEntries.
  bool RetrievePolygon(int DBEntry, TgdbPolygon& Polygon);
  // BLOB to a file: Filepath, or, when Filepath is empty or ends with a
  // directory separator, the item's name reduced to file-name characters
  // appended to it. An existing file is replaced, except a file of the open
  // database (EZYLGeoDBError).
  bool RetrieveBLOB(int DBEntry, const std::string& Filepath, TMetaInfo& MetaInfo);
  // BLOB to caller memory of SizeOfBLOBData bytes; raises EZYLGeoDBError when
  // the BLOB is larger.
  bool RetrieveBLOB(int DBEntry, TMetaInfo& MetaInfo, void* PBLOBData, int32_t SizeOfBLOBData);
  // BLOB into a memory stream (size set to the BLOB's, position 0). For an
  // entry of another kind the stream is emptied and the result is false.
  bool RetrieveBLOB(int DBEntry, TMetaInfo& MetaInfo, TMemoryStream& BlobStream);

  // Meta information of a BLOB entry; false for other kinds or outside
  // NumEntries.
  bool GetMetaInfo(int DBEntry, TMetaInfo& MetaInfo);
  // Overwrites the meta information of a BLOB entry in place; false for
  // other kinds or outside NumEntries.
  bool UpdateMetaInfo(int DBEntry, const TMetaInfo& MetaInfo);

  // ---- Maintenance ------------------------------------------------------------

  // Rewrites the data file without unreferenced blocks. The compacted data
  // file and item table are written under temporary names and then put in
  // place by rename behind a commit marker, so an interruption at any point
  // leaves either the old or the new database (completed on next opening).
  // Not within a transaction (EZYLGeoDBError).
  // A block that does not lie within the data file raises EZYLGeoDBError and
  // leaves the database unchanged. Answers the number of bytes freed.
  int64_t GarbageCollection();

  // Writes a readable dump (header, items, indexes, consistency findings) to
  // the named file (UTF-8); a file of the open database is refused
  // (EZYLGeoDBError).
  void ExportDataDebug(const std::string& FName) const;

 protected:
  // Workers of the adders and replacers. FromFile: the BLOB bytes come from
  // SourceFile, or from MInfo.FilePath when SourceFile is empty.
  int AddData(const std::string& Name, const TgdbPolygon& Polygon, bool ClosedLine,
              TgdbItem ItemKind, uint8_t ClassNumber, TDateTime Date, int32_t StateFlag,
              float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
              int32_t UserTag, const TMetaInfo& MInfo, const void* PBLOBData,
              int32_t SizeOfBLOBData, bool FromFile, const std::string& SourceFile = {});
  void ReplaceData(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                   bool ClosedLine, TgdbItem ItemKind, uint8_t ClassNumber, TDateTime Date,
                   int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                   float Altitude, int32_t UserTag, const TMetaInfo& MInfo, const void* PBLOBData,
                   int32_t SizeOfBLOBData, bool FromFile, const std::string& SourceFile = {});

  // Index upkeep, O(log n) per index. InsertIntoIndex adds the entries of
  // the record now at DbEntry; RemoveIndexEntries removes those of the record
  // at DbEntry, so it runs before that record is overwritten.
  void InsertIntoIndex(int DbEntry, const TgdbData& GdbData);
  void RemoveIndexEntries(int DbEntry);
  // Points the entries of Moved, found by its keys, from entry From to To.
  void RenumberIndexEntries(const TgdbData& Moved, int From, int To);
  static void SortIxItemIDInto(TItemIDIndex& Ix, TIxItemIDRec Rec);
  static void SortIxInto(TBoundIndex& Ix, TIxLLRec Rec);
  // Writes index file 0..4 from its array; nothing when no database is open
  // or it is open read-only. Inside a transaction the index files are all
  // written when it commits.
  void SaveIndex(int Index);

 private:
  bool IsOpen() const { return !FNameGDD.empty(); }
  // EZYLGeoDBError when the open database is read-only.
  void RequireWritable(const char* Operation) const;
  // The writes of one operation: its own transaction outside
  // BeginTransaction (answers true then). EndChange commits that one.
  // FailChange, after an exception: undoes the own transaction, or brings
  // memory back to the files when a failed batch ended the explicit one;
  // closes the database when the store is broken.
  bool BeginChange(const char* Operation);
  void EndChange(bool Own);
  void FailChange(bool Own) noexcept;
  void AfterFailedTransaction() noexcept;
  // Reads the item table and the header again and rebuilds the indexes in
  // memory (HighestID is kept when higher).
  void ReloadFromFiles();
  void ReadItemTable();
  void ReadDataHeader();
  // Closes without writing anything (pending index changes are dropped).
  void CloseAfterFailure() noexcept;
  void RollbackOnClose() noexcept;
  void OpenForWriting(const std::string& Base);
  // Reads the seven files (creating missing ones unless read-only).
  void ReadFileSet(const std::string& Base);
  // Repairs, raises HighestID to the items, checks the indexes.
  void FinishOpening(bool RolledBack);
  void OpenForReading(const std::string& Base);
  // Completes an interrupted transaction or garbage collection for a
  // read-only opening; answers false when a writer holds the set.
  bool RecoverForReader(const std::string& Base);
  void RepairInterruptedDeletion();
  // Reader of the data file for one operation: through the transaction when
  // one is under way; for a read-only database its own descriptor, under
  // its shared lock.
  std::unique_ptr<gdb::TDataReader> DataReader(const char* Operation);
  std::string ErrorPrefix() const;
  [[noreturn]] void Fail(const std::string& Operation, const std::string& Text) const;
  void ReportProgress(int Percent);
  void SaveAllIndexes();
  // Index files First..Last, under the lock that makes readers wait.
  void SaveIndexes(int First, int Last);
  void SaveIndexesUnlessLazy();
  // Writes the in-memory header through the change under way; a file error
  // becomes EZYLGeoDBError "cannot open database.".
  void WriteHeader(const char* Operation);
  void ChangeHeader(const char* Operation);
  void CloseDatabase();
  void ResetState();
  void OpenFileSet(const std::string& Base);
  void OpenIndexFile(int Index);
  void OpenItemTable();
  void OpenDataFile(const std::string& FileName);
  bool IndexesConsistent() const;
  TBoundIndex& BoundIndex(int Index);
  const TBoundIndex& BoundIndex(int Index) const;

  // Record of a new or replaced item from the arguments (no ID, no block).
  TgdbData BuildItem(const std::string& Name, TgdbItem ItemKind, uint8_t ClassNumber,
                     TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                     float LongHigh, float Altitude, int32_t UserTag);
  // EZYLGeoDBError when a point (polygon kinds) or a bound (other kinds) is
  // NaN or infinite.
  void CheckCoordinates(const char* Operation, TgdbItem ItemKind, const TgdbPolygon& Polygon,
                        float LatLow, float LatHigh, float LongLow, float LongHigh) const;
  void CheckBlobArgs(const char* Operation, TgdbItem ItemKind, const void* PBLOBData,
                     int32_t SizeOfBLOBData, bool FromFile, const std::string& SourceFile) const;
  int32_t StreamBlobSize(const char* Operation, TMemoryStream& Data) const;
  // Appends the data block of Rec's kind to the data file and completes Rec
  // (BlobOffset, NumPoints/Size, Closed, the box of a polygon).
  void AppendDataBlock(TgdbData& Rec, const TgdbPolygon& Polygon, bool ClosedLine,
                       const TMetaInfo& MInfo, const void* PBLOBData, int32_t SizeOfBLOBData,
                       bool FromFile, const std::string& SourceFile);
  void WriteItemRecord(int DbEntry, const TgdbData& Rec);
  // Checks that the data block of an entry lies within a data file of
  // FileBytes bytes; raises EZYLGeoDBError naming the file otherwise.
  void CheckBlock(const char* Operation, int DbEntry, const TgdbData& Rec, int64_t FileBytes) const;
  // Length in bytes of an entry's data block (0 without block).
  static int64_t BlockLength(const TgdbData& Rec);
  // Checks the block of BLOB entry e + 1 and reads its meta information;
  // false when the entry is not a BLOB.
  bool SeekBlob(const char* Operation, gdb::TDataReader& F, int e, TMetaInfo& MetaInfo);
  // Copies the Size bytes of the BLOB of entry e + 1 to ToSink.
  template <class Sink>
  void CopyBlob(gdb::TDataReader& F, int e, Sink&& ToSink);
  void RecoverGarbageCollection(const std::string& Base);
  // True when FileName names one of the seven files of the open database
  // or its journal (under any spelling or link); writing there would
  // destroy it.
  bool IsFileOfSet(const std::string& FileName) const;
  void RebuildIndexArrays();
  // Raises the largest item height and width seen to cover Rec.
  void NoteExtent(const TgdbData& Rec);

  std::string FNameGDS;
  std::string FNameGDD;
  std::array<std::string, 5> FNameIX;
  std::vector<TgdbData> FSumData;
  uint64_t FChanges = 0;  // see Changes; raised with every change of FSumData
  int FNumSumItems = 0;
  bool FLazyWrite = false;
  TItemIDIndex FIx0ItemId;
  TBoundIndex FIx1LatLo;
  TBoundIndex FIx2LatHi;
  TBoundIndex FIx3LongLo;
  TBoundIndex FIx4LongHi;
  bool FOnPercDoneEnabled = true;
  TgdbSystemData FSystemData;
  // Upper bounds of LatHigh - LatLow and LongHigh - LongLow over the items,
  // degrees; they narrow the area query.
  double FMaxLatExtent = 0;
  double FMaxLongExtent = 0;

  TgdbDurability FDurability = gdbDefaultDurability;
  bool FReadOnly = false;        // setting for the next opening
  bool FOpenReadOnly = false;    // the open database is read-only
  bool FIndexesPending = false;  // index files to write when the transaction commits
  // The locks of the open set, and its writer (none when read-only).
  std::unique_ptr<gdb::TSetLock> FLock;
  std::unique_ptr<gdb::TFileStore> FStore;
  // A read-only database's data file, open from opening to closing: its
  // blocks stay where the item records say even when a writer replaces the
  // file by collecting garbage.
  std::unique_ptr<gdb::TRawFile> FReaderData;
};

}  // namespace marovia
