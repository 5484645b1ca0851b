// TGeoDB: data blocks in the data file — writing the block of a new or
// replaced item, reading polygons and BLOBs back, and the meta information
// of BLOBs.
//
// Offsets, counts and sizes in item records are untrusted: before a block is
// read, it is checked to lie within the data file, so a damaged record can
// neither make a read leave a buffer nor size an allocation.
#include <algorithm>
#include <vector>

#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/stringl.h"

namespace marovia {

using gdb::kCopyBufferSize;

int64_t TGeoDB::BlockLength(const TgdbData& Rec) {
  if (IsPolygonKind(Rec.ItemKind)) return static_cast<int64_t>(Rec.NumPoints) * sizeof(TSCoords);
  if (Rec.ItemKind == gitBLOB) return static_cast<int64_t>(sizeof(TMetaInfo)) + Rec.Size;
  return 0;
}

void TGeoDB::CheckBlock(const char* Operation, int DbEntry, const TgdbData& Rec,
                        int64_t FileBytes) const {
  const int64_t count = Rec.NumPoints;  // also Size
  const int64_t start = Rec.BlobOffset;
  const int64_t length = BlockLength(Rec);
  if (count >= 0 && start >= static_cast<int64_t>(sizeof(TgdbSystemData)) &&
      start + length <= FileBytes)
    return;
  Fail(Operation, std::string("damaged database: the data block of entry ") + IntToStr(DbEntry) +
                      " (offset " + IntToStr(start) + ", " +
                      (Rec.ItemKind == gitBLOB ? "size " : "points ") + IntToStr(count) +
                      ") does not lie within the data file \"" + FNameGDD + std::string("\" of ") +
                      IntToStr(FileBytes) + " bytes.");
}

// Opens the data file for appending and answers the offset of the new block.
static int64_t OpenForAppend(TBinaryFile& F, const std::string& FileName) {
  F.AssignFile(FileName, 1);
  F.Reset(TFileAccess::faReadWrite);
  const int64_t end = F.FileSize();
  F.Seek(end);
  return end;
}

void TGeoDB::AppendDataBlock(TgdbData& Rec, const TgdbPolygon& Polygon, bool ClosedLine,
                             const TMetaInfo& MInfo, const void* PBLOBData, int32_t SizeOfBLOBData,
                             bool FromFile, const std::string& SourceFile) {
  const char* op = "AddData";
  TBinaryFile data;
  auto startBlock = [&]() {
    const int64_t offset = OpenForAppend(data, FNameGDD);
    if (offset > gdb::kMaxBlobOffset)
      Fail(op, "data file \"" + FNameGDD + "\" is full (offsets are limited to 2 GiB).");
    Rec.BlobOffset = static_cast<int32_t>(offset);
  };

  if (Rec.ItemKind == gitBLOB && FromFile) {
    TDateTime age;
    if (FileAge(SourceFile, age)) Rec.Date = age;
    TBinaryFile src(SourceFile, 1);
    src.Reset(TFileAccess::faReadOnly);
    const int64_t size = src.FileSize();
    if (size > INT32_MAX) Fail(op, "BLOB file \"" + SourceFile + "\" larger than 2 GiB.");
    startBlock();
    data.BlockWrite(&MInfo, sizeof MInfo);
    std::vector<uint8_t> buf(kCopyBufferSize);
    int64_t copied = 0;
    // The copy stops at the size measured above: a source that grows while
    // it is read (the data file itself, a log being written) would otherwise
    // be chased without end.
    for (int64_t k = 1; copied < size; ++k) {
      int64_t got = 0;
      src.BlockRead(buf.data(), std::min(kCopyBufferSize, size - copied), got);
      if (got == 0) break;
      data.BlockWrite(buf.data(), got);
      copied += got;
      ReportProgress(
          gdb::Percent(static_cast<double>(k * kCopyBufferSize), static_cast<double>(size)));
    }
    // The bytes actually copied, should the file have changed meanwhile.
    Rec.Size = static_cast<int32_t>(copied);
  } else if (Rec.ItemKind == gitBLOB) {
    Rec.Size = SizeOfBLOBData;
    startBlock();
    data.BlockWrite(&MInfo, sizeof MInfo);
    const auto* bytes = static_cast<const uint8_t*>(PBLOBData);
    const int64_t total = SizeOfBLOBData;
    int64_t k = 0;
    for (; (k + 1) * kCopyBufferSize <= total; ++k) {
      data.BlockWrite(bytes + k * kCopyBufferSize, kCopyBufferSize);
      ReportProgress(
          gdb::Percent(static_cast<double>((k + 1) * kCopyBufferSize), static_cast<double>(total)));
    }
    // A final partial buffer goes without a report.
    if (total > k * kCopyBufferSize)
      data.BlockWrite(bytes + k * kCopyBufferSize, total - k * kCopyBufferSize);
  } else if (IsPolygonKind(Rec.ItemKind)) {
    if (Polygon.size() > static_cast<size_t>(INT32_MAX / sizeof(TSCoords)))
      Fail(op, "polygon has too many points.");
    Rec.Closed = ClosedLine ? 1 : 0;
    // The box comes from the points; an empty polygon keeps the inverted
    // start box, which no area meets.
    Rec.LatLow = 90;
    Rec.LatHigh = -90;
    Rec.LongLow = 180;
    Rec.LongHigh = -180;
    const int n = static_cast<int>(Polygon.size());
    for (int i = 0; i < n; ++i) {
      const TSCoords& p = Polygon[static_cast<size_t>(i)];
      if (p.Latit < Rec.LatLow) Rec.LatLow = p.Latit;
      if (p.Latit > Rec.LatHigh) Rec.LatHigh = p.Latit;
      if (p.Longit < Rec.LongLow) Rec.LongLow = p.Longit;
      if (p.Longit > Rec.LongHigh) Rec.LongHigh = p.Longit;
    }
    startBlock();
    Rec.NumPoints = n;
    for (int i = 0; i < n; ++i) ReportProgress(gdb::Percent(i * 100.0, n * 100.0));
    data.BlockWrite(Polygon.data(), static_cast<int64_t>(n) * sizeof(TSCoords));
  } else {
    // Towns and undefined items have no block.
    Rec.NumPoints = 0;
    Rec.Closed = 0;
    return;
  }
  data.CloseFile();
}

bool TGeoDB::RetrievePolygon(int DBEntry, TgdbPolygon& Polygon) {
  if (!IsOpen()) return false;
  ReportProgress(0);
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadOnly);
  const int e = std::max(DBEntry - 1, 0);
  bool ok = false;
  if (e < FNumSumItems) {
    const TgdbData& rec = FSumData[static_cast<size_t>(e)];
    if (IsPolygonKind(rec.ItemKind) && rec.BlobOffset >= 0) {
      CheckBlock("RetrievePolygon", e + 1, rec, f.FileSize());
      const int n = rec.NumPoints;
      Polygon.assign(static_cast<size_t>(n), TSCoords{});
      f.Seek(rec.BlobOffset);
      // Read in about a hundred steps, reporting the share read after each.
      const int step = n / 100 + 1;
      for (int i = 0; i < n; i += step) {
        const int cnt = std::min(step, n - i);
        f.BlockRead(Polygon.data() + i, static_cast<int64_t>(cnt) * sizeof(TSCoords));
        ReportProgress(gdb::Percent(i + cnt, n));
      }
      ok = true;
    }
  }
  f.CloseFile();
  ReportProgress(100);
  return ok;
}

// Positions F (the open data file) at the BLOB of entry e + 1 and reads its
// meta information; false when the entry is not a BLOB.
bool TGeoDB::SeekBlob(const char* Operation, TBinaryFile& F, int e, TMetaInfo& MetaInfo) {
  if (e >= FNumSumItems) return false;
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  if (rec.ItemKind != gitBLOB) return false;
  CheckBlock(Operation, e + 1, rec, F.FileSize());
  F.Seek(rec.BlobOffset);
  F.BlockRead(&MetaInfo, sizeof MetaInfo);
  return true;
}

// Copies the Size bytes following the meta information to Sink in blocks of
// the copy buffer, reporting the share done after each block.
template <class Sink>
void TGeoDB::CopyBlob(TBinaryFile& F, int32_t Size, Sink&& ToSink) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(Size, kCopyBufferSize)));
  int64_t remaining = Size;
  while (remaining > 0) {
    const int64_t n = std::min(remaining, kCopyBufferSize);
    F.BlockRead(buf.data(), n);
    ToSink(buf.data(), n);
    remaining -= n;
    ReportProgress(gdb::Percent(static_cast<double>(Size - remaining), Size));
  }
}

bool TGeoDB::RetrieveBLOB(int DBEntry, const std::string& Filepath, TMetaInfo& MetaInfo) {
  if (!IsOpen()) return false;
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadOnly);
  const int e = std::max(DBEntry - 1, 0);
  if (e >= FNumSumItems || FSumData[static_cast<size_t>(e)].ItemKind != gitBLOB) return false;
  ReportProgress(0);
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  SeekBlob("RetrieveBLOB", f, e, MetaInfo);

  std::string target = Filepath;
  auto endsInDir = [](const std::string& s) {
    return !s.empty() && (s.back() == '\\' || s.back() == '/');
  };
  if (target.empty() || endsInDir(target)) {
    // A directory given Windows-style ends in a backslash: it is the
    // directory separator here too.
    if (!target.empty() && target.back() == '\\') target.back() = '/';
    target += ReduceStringToFN83CompliantChars(rec.Name.Text());
  }
  if (target.empty() || endsInDir(target)) Fail("RetrieveBLOB", "invalid filename.");
  if (IsFileOfSet(target))
    Fail("RetrieveBLOB", "target \"" + target + "\" is a file of the open database.");

  TBinaryFile out(target, 1);
  out.Rewrite();
  CopyBlob(f, rec.Size, [&](const uint8_t* p, int64_t n) { out.BlockWrite(p, n); });
  out.CloseFile();
  f.CloseFile();
  ReportProgress(100);
  return true;
}

bool TGeoDB::RetrieveBLOB(int DBEntry, TMetaInfo& MetaInfo, void* PBLOBData,
                          int32_t SizeOfBLOBData) {
  if (!IsOpen()) return false;
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadOnly);
  ReportProgress(0);
  const int e = std::max(DBEntry - 1, 0);
  bool ok = false;
  if (e < FNumSumItems && FSumData[static_cast<size_t>(e)].ItemKind == gitBLOB) {
    const int32_t size = FSumData[static_cast<size_t>(e)].Size;
    if (SizeOfBLOBData < size)
      Fail("RetrieveBLOB", "BLOB to be retrieved is larger than SizeOfBlobData.");
    if (size > 0 && PBLOBData == nullptr) Fail("RetrieveBLOB", "no buffer for the BLOB.");
    SeekBlob("RetrieveBLOB", f, e, MetaInfo);
    auto* dest = static_cast<uint8_t*>(PBLOBData);
    CopyBlob(f, size, [&](const uint8_t* p, int64_t n) {
      std::copy(p, p + n, dest);
      dest += n;
    });
    ok = true;
  }
  f.CloseFile();
  ReportProgress(100);
  return ok;
}

bool TGeoDB::RetrieveBLOB(int DBEntry, TMetaInfo& MetaInfo, TMemoryStream& BlobStream) {
  if (!IsOpen()) return false;
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadOnly);
  ReportProgress(0);
  const int e = std::max(DBEntry - 1, 0);
  bool ok = false;
  if (e < FNumSumItems) {
    const TgdbData& rec = FSumData[static_cast<size_t>(e)];
    if (rec.ItemKind == gitBLOB) {
      SeekBlob("RetrieveBLOB", f, e, MetaInfo);  // checks Size before it sizes the stream
      BlobStream.SetSize(rec.Size);
      BlobStream.SetPosition(0);
      CopyBlob(f, rec.Size, [&](const uint8_t* p, int64_t n) { BlobStream.WriteBuffer(p, n); });
      BlobStream.SetPosition(0);
      ok = true;
    } else {
      // The count of another kind says nothing about a BLOB: never size the
      // stream by it.
      BlobStream.SetSize(0);
      BlobStream.SetPosition(0);
    }
  }
  f.CloseFile();
  ReportProgress(100);
  return ok;
}

bool TGeoDB::GetMetaInfo(int DBEntry, TMetaInfo& MetaInfo) {
  if (!IsOpen()) return false;
  const int e = std::max(DBEntry - 1, 0);
  if (e >= FNumSumItems || FSumData[static_cast<size_t>(e)].ItemKind != gitBLOB) return false;
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadOnly);
  SeekBlob("GetMetaInfo", f, e, MetaInfo);
  f.CloseFile();
  return true;
}

bool TGeoDB::UpdateMetaInfo(int DBEntry, const TMetaInfo& MetaInfo) {
  if (!IsOpen()) return false;
  const int e = std::max(DBEntry - 1, 0);
  if (e >= FNumSumItems || FSumData[static_cast<size_t>(e)].ItemKind != gitBLOB) return false;
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadWrite);
  CheckBlock("UpdateMetaInfo", e + 1, rec, f.FileSize());
  f.Seek(rec.BlobOffset);
  f.BlockWrite(&MetaInfo, sizeof MetaInfo);
  f.CloseFile();
  return true;
}

}  // namespace marovia
