// TGeoDB: a geographic item database of seven files (layouts in
// gdbrecords.h), held entirely in memory while open.
//
// The item table and the data file are written through on every change; the
// five index files are rewritten after every change, or, with LazyWrite on,
// when lazy writing is switched off, the database is closed or another one
// opened, and when the component is destroyed. No file stays open between
// calls.
//
// Entries are numbered 1..NumEntries in item-table order. Deleting an entry
// moves the last one into its place, so entry numbers are not stable; item
// IDs are, and are never reused.
//
// Sources, by concern: open_close.cpp (file set, header, lazy writing),
// indexes.cpp (index upkeep, index files and lookups), items.cpp (adding,
// replacing, deleting), blobs.cpp (data blocks: polygons, BLOBs, meta
// information), index_rebuild.cpp (index rebuild, consistency on opening),
// maintenance.cpp (garbage collection), area_query.cpp, export_debug.cpp.
// The indexes live in memory as TSortedIndex (sorted_index.h), a B+-tree
// with counts (rank_tree.h): adding and deleting an item cost O(log n) there,
// and writing an index file O(n).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "marovia/geodb/gdbrecords.h"
#include "marovia/geodb/sorted_index.h"
#include "marovia/platform/classes.h"
#include "marovia/platform/streams.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

class TBinaryFile;

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
  // removed), creating missing files. Empty: closes. Pending index changes of
  // a database already open are written first. File errors raise EInOutError.
  void SetDBName(const std::string& Value) { SetGDBName(Value); }
  void SetGDBName(const std::string& Value);

  bool LazyWrite() const { return FLazyWrite; }
  // Switching lazy writing off writes all five index files.
  void SetLazyWrite(bool Value);

  int NumEntries() const { return FNumSumItems; }

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
  // the item records, O(k), and the m items found are sorted, O(m log m).
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
  // Writes index file 0..4 from its array; nothing when no database is open.
  void SaveIndex(int Index);

 private:
  bool IsOpen() const { return !FNameGDD.empty(); }
  std::string ErrorPrefix() const;
  [[noreturn]] void Fail(const std::string& Operation, const std::string& Text) const;
  void ReportProgress(int Percent);
  void SaveAllIndexes();
  void SaveIndexesUnlessLazy();
  void WriteHeader(const char* Operation);
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
  bool SeekBlob(const char* Operation, TBinaryFile& F, int e, TMetaInfo& MetaInfo);
  template <class Sink>
  void CopyBlob(TBinaryFile& F, int32_t Size, Sink&& ToSink);
  void RecoverGarbageCollection(const std::string& Base);
  // True when FileName names one of the seven files of the open database
  // (under any spelling or link); writing there would destroy it.
  bool IsFileOfSet(const std::string& FileName) const;
  void RebuildIndexArrays();
  // Raises the largest item height and width seen to cover Rec.
  void NoteExtent(const TgdbData& Rec);

  std::string FNameGDS;
  std::string FNameGDD;
  std::array<std::string, 5> FNameIX;
  std::vector<TgdbData> FSumData;
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
};

}  // namespace marovia
