// TGeoDB: adding, replacing, deleting and updating items.
//
// Each operation writes through a change (BeginChange .. EndChange): its own
// transaction, committed before it returns, or the part of the transaction
// under way. Memory follows only after the change was written (committed,
// outside a transaction), so a failing write leaves memory as it was. The
// new record is always the operation's last write: nothing after it can
// fail but the index files, which opening rebuilds.
#include <algorithm>
#include <cmath>

#include "file_store.h"
#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/stringl.h"

namespace marovia {

TgdbData TGeoDB::BuildItem(const std::string& Name, TgdbItem ItemKind, uint8_t ClassNumber,
                           TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh,
                           float LongLow, float LongHigh, float Altitude, int32_t UserTag) {
  TgdbData rec{};
  rec.Name.SetText(Name, gdbNameMaxChars, ' ');
  rec.BlobOffset = -1;
  rec.ClassFlag = ClassNumber;
  rec.Tag = UserTag;
  rec.ItemKind = ItemKind;
  rec.Date = Date;
  rec.StateFlag = StateFlag;
  rec.LatLow = LatLow;
  rec.LatHigh = LatHigh;
  rec.LongLow = LongLow;
  rec.LongHigh = LongHigh;
  rec.Altitude = Altitude;
  return rec;
}

void TGeoDB::WriteItemRecord(int DbEntry, const TgdbData& Rec) {
  FStore->Write(gdb::kTable, static_cast<int64_t>(DbEntry - 1) * sizeof Rec, &Rec, sizeof Rec);
}

// Rejects BLOB arguments that would make the copy read outside the caller's
// memory, before anything is written.
void TGeoDB::CheckBlobArgs(const char* Operation, TgdbItem ItemKind, const void* PBLOBData,
                           int32_t SizeOfBLOBData, bool FromFile,
                           const std::string& SourceFile) const {
  if (ItemKind != gitBLOB) return;
  if (FromFile) {
    // The source must be readable before the database is touched.
    TBinaryFile src(SourceFile, 1);
    src.Reset(TFileAccess::faReadOnly);
    src.CloseFile();
    return;
  }
  if (SizeOfBLOBData < 0)
    Fail(Operation, std::string("negative BLOB size ") + IntToStr(SizeOfBLOBData) + ".");
  if (SizeOfBLOBData > 0 && PBLOBData == nullptr) Fail(Operation, "BLOB data missing.");
}

// Rejects positions that are not finite, before anything is written: an item
// with a NaN or infinite bound sorts nowhere in the bound indexes, so no area
// query would ever find it. Polygon kinds take their box from the points,
// the other kinds from the bounds given.
void TGeoDB::CheckCoordinates(const char* Operation, TgdbItem ItemKind, const TgdbPolygon& Polygon,
                              float LatLow, float LatHigh, float LongLow, float LongHigh) const {
  if (IsPolygonKind(ItemKind)) {
    for (size_t i = 0; i < Polygon.size(); ++i)
      if (!std::isfinite(Polygon[i].Latit) || !std::isfinite(Polygon[i].Longit))
        Fail(Operation, "point " + IntToStr(static_cast<int64_t>(i) + 1) + " is not finite.");
    return;
  }
  for (const float bound : {LatLow, LatHigh, LongLow, LongHigh})
    if (!std::isfinite(bound)) Fail(Operation, "bounds are not finite.");
}

int TGeoDB::AddData(const std::string& Name, const TgdbPolygon& Polygon, bool ClosedLine,
                    TgdbItem ItemKind, uint8_t ClassNumber, TDateTime Date, int32_t StateFlag,
                    float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
                    int32_t UserTag, const TMetaInfo& MInfo, const void* PBLOBData,
                    int32_t SizeOfBLOBData, bool FromFile, const std::string& SourceFile) {
  if (!IsOpen()) return -1;
  const std::string source = SourceFile.empty() ? MInfo.FilePath.Text() : SourceFile;
  CheckBlobArgs("AddData", ItemKind, PBLOBData, SizeOfBLOBData, FromFile, source);
  CheckCoordinates("AddData", ItemKind, Polygon, LatLow, LatHigh, LongLow, LongHigh);
  if (FSystemData.HighestID == INT32_MAX) Fail("AddData", "no item IDs left.");
  if (FNumSumItems == INT32_MAX) Fail("AddData", "item table full.");

  RequireWritable("AddData");

  ReportProgress(0);
  ++FSystemData.HighestID;  // stays raised should the change fail
  TgdbData rec = BuildItem(Name, ItemKind, ClassNumber, Date, StateFlag, LatLow, LatHigh, LongLow,
                           LongHigh, Altitude, UserTag);
  rec.ItemId = FSystemData.HighestID;
  const int entry = FNumSumItems + 1;
  const bool own = BeginChange("AddData");
  try {
    WriteHeader("AddData");
    AppendDataBlock(rec, Polygon, ClosedLine, MInfo, PBLOBData, SizeOfBLOBData, FromFile, source);
    WriteItemRecord(entry, rec);
    EndChange(own);
  } catch (...) {
    FailChange(own);
    throw;
  }
  FSumData.push_back(rec);
  ++FChanges;
  FNumSumItems = entry;

  InsertIntoIndex(entry, rec);
  SaveIndexesUnlessLazy();

  ReportProgress(100);
  return entry;
}

void TGeoDB::ReplaceData(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                         bool ClosedLine, TgdbItem ItemKind, uint8_t ClassNumber, TDateTime Date,
                         int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                         float LongHigh, float Altitude, int32_t UserTag, const TMetaInfo& MInfo,
                         const void* PBLOBData, int32_t SizeOfBLOBData, bool FromFile,
                         const std::string& SourceFile) {
  if (!IsOpen() || DBEntry < 1 || DBEntry > FNumSumItems) return;
  const std::string source = SourceFile.empty() ? MInfo.FilePath.Text() : SourceFile;
  CheckBlobArgs("ReplaceData", ItemKind, PBLOBData, SizeOfBLOBData, FromFile, source);
  CheckCoordinates("ReplaceData", ItemKind, Polygon, LatLow, LatHigh, LongLow, LongHigh);
  RequireWritable("ReplaceData");

  ReportProgress(0);
  TgdbData rec = BuildItem(Name, ItemKind, ClassNumber, Date, StateFlag, LatLow, LatHigh, LongLow,
                           LongHigh, Altitude, UserTag);
  rec.ItemId = FSumData[static_cast<size_t>(DBEntry - 1)].ItemId;
  const bool own = BeginChange("ReplaceData");
  try {
    AppendDataBlock(rec, Polygon, ClosedLine, MInfo, PBLOBData, SizeOfBLOBData, FromFile, source);
    WriteItemRecord(DBEntry, rec);
    EndChange(own);
  } catch (...) {
    FailChange(own);
    throw;
  }
  RemoveIndexEntries(DBEntry);
  FSumData[static_cast<size_t>(DBEntry - 1)] = rec;
  ++FChanges;
  InsertIntoIndex(DBEntry, rec);
  SaveIndexesUnlessLazy();

  ReportProgress(100);
}

void TGeoDB::DeleteData(int DbEntry) {
  if (!IsOpen() || DbEntry < 1 || DbEntry > FNumSumItems) return;
  const int last = FNumSumItems;
  const TgdbData lastRec = FSumData[static_cast<size_t>(last - 1)];

  RequireWritable("DeleteData");

  // The last record takes the freed place; the table loses its last record.
  const bool own = BeginChange("DeleteData");
  try {
    if (DbEntry != last) WriteItemRecord(DbEntry, lastRec);
    FStore->Truncate(gdb::kTable, static_cast<int64_t>(last - 1) * sizeof lastRec);
    EndChange(own);
  } catch (...) {
    FailChange(own);
    throw;
  }

  // The deleted item's entries go while its record is still in place to
  // name their keys; the moved item's entries then point to its new place.
  RemoveIndexEntries(DbEntry);
  if (DbEntry != last) RenumberIndexEntries(lastRec, last, DbEntry);
  FSumData[static_cast<size_t>(DbEntry - 1)] = lastRec;
  FNumSumItems = last - 1;
  FSumData.pop_back();
  ++FChanges;
  SaveIndexesUnlessLazy();
}

void TGeoDB::UpdateBasicData(int DbEntry, const TgdbData& GdbData) {
  if (!IsOpen() || DbEntry < 1 || DbEntry > FNumSumItems) return;
  // The record's own box is what the indexes sort by, whatever its kind.
  CheckCoordinates("UpdateBasicData", gitUndefined, {}, GdbData.LatLow, GdbData.LatHigh,
                   GdbData.LongLow, GdbData.LongHigh);
  RequireWritable("UpdateBasicData");
  TgdbData rec = GdbData;
  rec.ItemId = FSumData[static_cast<size_t>(DbEntry - 1)].ItemId;
  rec.Name.Len = static_cast<uint8_t>(rec.Name.View().size());
  const bool own = BeginChange("UpdateBasicData");
  try {
    WriteItemRecord(DbEntry, rec);
    EndChange(own);
  } catch (...) {
    FailChange(own);
    throw;
  }
  RemoveIndexEntries(DbEntry);
  FSumData[static_cast<size_t>(DbEntry - 1)] = rec;
  ++FChanges;
  InsertIntoIndex(DbEntry, rec);
  SaveIndexesUnlessLazy();
}

// ---- Public adders ---------------------------------------------------------

namespace {
const TgdbPolygon kNoPoints;
TMetaInfo EmptyMeta() {
  TMetaInfo m{};
  ClearMetaInfo(m);
  return m;
}
const TMetaInfo kNoMeta = EmptyMeta();

// Meta information with FilePath set to the first 127 characters of Path.
TMetaInfo WithFilePath(const TMetaInfo& MInfo, const std::string& Path) {
  TMetaInfo m = MInfo;
  m.FilePath.SetText(Path, gdbFilePathMaxChars);
  return m;
}
}  // namespace

int32_t TGeoDB::StreamBlobSize(const char* Operation, TMemoryStream& Data) const {
  const int64_t n = Data.Size();
  if (n > INT32_MAX) Fail(Operation, "BLOB stream larger than 2 GiB.");
  return static_cast<int32_t>(n);
}

int TGeoDB::AddBorder(const std::string& Name, const TgdbPolygon& Polygon, bool ClosedLine,
                      TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                      float LongHigh, float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, Polygon, ClosedLine, gitBorder, ClassNumber, Date, StateFlag, LatLow,
                 LatHigh, LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

int TGeoDB::AddCity(const std::string& Name, const TgdbPolygon& Polygon, bool ClosedLine,
                    TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                    float LongHigh, float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, Polygon, ClosedLine, gitCity, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

int TGeoDB::AddLake(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
                    int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                    float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, Polygon, true, gitLake, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

int TGeoDB::AddRiver(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
                     int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                     float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, Polygon, false, gitRiver, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

int TGeoDB::AddRoad(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
                    int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                    float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, Polygon, false, gitRoad, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

int TGeoDB::AddRoute(const std::string& Name, const TgdbPolygon& Polygon, TDateTime Date,
                     int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                     float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, Polygon, false, gitRoute, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

int TGeoDB::AddTown(const std::string& Name, TDateTime Date, int32_t StateFlag, TSCoords Location,
                    float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  return AddData(Name, kNoPoints, false, gitTown, ClassNumber, Date, StateFlag, Location.Latit,
                 Location.Latit, Location.Longit, Location.Longit, Altitude, UserTag, kNoMeta,
                 nullptr, 0, false);
}

int TGeoDB::AddBLOB(const std::string& FileName, TDateTime Date, int32_t StateFlag, float LatLow,
                    float LatHigh, float LongLow, float LongHigh, float Altitude,
                    uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo) {
  return AddBLOB(FileName, FileName, Date, StateFlag, LatLow, LatHigh, LongLow, LongHigh, Altitude,
                 ClassNumber, UserTag, MInfo);
}

int TGeoDB::AddBLOB(const std::string& FileName, const std::string& FNameInDB, TDateTime Date,
                    int32_t StateFlag, float LatLow, float LatHigh, float LongLow, float LongHigh,
                    float Altitude, uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo) {
  // The bytes are read from FileName in full even when FilePath can only
  // keep its first 127 characters.
  return AddData(StripPath(FNameInDB), kNoPoints, false, gitBLOB, ClassNumber, Date, StateFlag,
                 LatLow, LatHigh, LongLow, LongHigh, Altitude, UserTag,
                 WithFilePath(MInfo, FileName), nullptr, 0, true, FileName);
}

int TGeoDB::AddBLOB(const std::string& FileName, const std::string& FNameInDB,
                    const std::string& OrgFilePath, TDateTime Date, int32_t StateFlag, float LatLow,
                    float LatHigh, float LongLow, float LongHigh, float Altitude,
                    uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo) {
  const int entry = AddBLOB(FileName, FNameInDB, Date, StateFlag, LatLow, LatHigh, LongLow,
                            LongHigh, Altitude, ClassNumber, UserTag, MInfo);
  TMetaInfo stored{};
  if (entry > 0 && GetMetaInfo(entry, stored))
    UpdateMetaInfo(entry, WithFilePath(stored, OrgFilePath));
  return entry;
}

int TGeoDB::AddBLOB(const std::string& Name, TDateTime Date, int32_t StateFlag, float LatLow,
                    float LatHigh, float LongLow, float LongHigh, float Altitude,
                    uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo,
                    const void* PBLOBData, int32_t SizeOfBLOBData) {
  return AddData(Name, kNoPoints, false, gitBLOB, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, MInfo, PBLOBData, SizeOfBLOBData, false);
}

int TGeoDB::AddBLOB(const std::string& Name, TDateTime Date, int32_t StateFlag, float LatLow,
                    float LatHigh, float LongLow, float LongHigh, float Altitude,
                    uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo,
                    TMemoryStream& Data) {
  return AddData(Name, kNoPoints, false, gitBLOB, ClassNumber, Date, StateFlag, LatLow, LatHigh,
                 LongLow, LongHigh, Altitude, UserTag, MInfo, Data.Memory(),
                 StreamBlobSize("AddData", Data), false);
}

// ---- Public replacers ------------------------------------------------------

void TGeoDB::ReplaceBorder(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                           bool ClosedLine, TDateTime Date, int32_t StateFlag, float LatLow,
                           float LatHigh, float LongLow, float LongHigh, float Altitude,
                           uint8_t ClassNumber, int32_t UserTag) {
  ReplaceData(DBEntry, Name, Polygon, ClosedLine, gitBorder, ClassNumber, Date, StateFlag, LatLow,
              LatHigh, LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceCity(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                         bool ClosedLine, TDateTime Date, int32_t StateFlag, float LatLow,
                         float LatHigh, float LongLow, float LongHigh, float Altitude,
                         uint8_t ClassNumber, int32_t UserTag) {
  ReplaceData(DBEntry, Name, Polygon, ClosedLine, gitCity, ClassNumber, Date, StateFlag, LatLow,
              LatHigh, LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceLake(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                         TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh,
                         float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
                         int32_t UserTag) {
  ReplaceData(DBEntry, Name, Polygon, true, gitLake, ClassNumber, Date, StateFlag, LatLow, LatHigh,
              LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceRiver(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                          TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh,
                          float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
                          int32_t UserTag) {
  ReplaceData(DBEntry, Name, Polygon, false, gitRiver, ClassNumber, Date, StateFlag, LatLow,
              LatHigh, LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceRoad(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                         TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh,
                         float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
                         int32_t UserTag) {
  ReplaceData(DBEntry, Name, Polygon, false, gitRoad, ClassNumber, Date, StateFlag, LatLow, LatHigh,
              LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceRoute(int DBEntry, const std::string& Name, const TgdbPolygon& Polygon,
                          TDateTime Date, int32_t StateFlag, float LatLow, float LatHigh,
                          float LongLow, float LongHigh, float Altitude, uint8_t ClassNumber,
                          int32_t UserTag) {
  ReplaceData(DBEntry, Name, Polygon, false, gitRoute, ClassNumber, Date, StateFlag, LatLow,
              LatHigh, LongLow, LongHigh, Altitude, UserTag, kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceTown(int DBEntry, const std::string& Name, TDateTime Date, int32_t StateFlag,
                         TSCoords Location, float Altitude, uint8_t ClassNumber, int32_t UserTag) {
  ReplaceData(DBEntry, Name, kNoPoints, false, gitTown, ClassNumber, Date, StateFlag,
              Location.Latit, Location.Latit, Location.Longit, Location.Longit, Altitude, UserTag,
              kNoMeta, nullptr, 0, false);
}

void TGeoDB::ReplaceBLOB(int DBEntry, const std::string& FileName, TDateTime Date,
                         int32_t StateFlag, float LatLow, float LatHigh, float LongLow,
                         float LongHigh, float Altitude, uint8_t ClassNumber, int32_t UserTag,
                         const TMetaInfo& MInfo) {
  ReplaceData(DBEntry, StripPath(FileName), kNoPoints, false, gitBLOB, ClassNumber, Date, StateFlag,
              LatLow, LatHigh, LongLow, LongHigh, Altitude, UserTag, WithFilePath(MInfo, FileName),
              nullptr, 0, true, FileName);
}

void TGeoDB::ReplaceBLOB(int DBEntry, const std::string& Name, TDateTime Date, int32_t StateFlag,
                         float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
                         uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo,
                         const void* PBLOBData, int32_t SizeOfBLOBData) {
  ReplaceData(DBEntry, Name, kNoPoints, false, gitBLOB, ClassNumber, Date, StateFlag, LatLow,
              LatHigh, LongLow, LongHigh, Altitude, UserTag, MInfo, PBLOBData, SizeOfBLOBData,
              false);
}

void TGeoDB::ReplaceBLOB(int DBEntry, const std::string& Name, TDateTime Date, int32_t StateFlag,
                         float LatLow, float LatHigh, float LongLow, float LongHigh, float Altitude,
                         uint8_t ClassNumber, int32_t UserTag, const TMetaInfo& MInfo,
                         TMemoryStream& Data) {
  ReplaceData(DBEntry, Name, kNoPoints, false, gitBLOB, ClassNumber, Date, StateFlag, LatLow,
              LatHigh, LongLow, LongHigh, Altitude, UserTag, MInfo, Data.Memory(),
              StreamBlobSize("ReplaceData", Data), false);
}

}  // namespace marovia
