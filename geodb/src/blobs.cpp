// TGeoDB: data blocks in the data file — writing the block of a new or
// replaced item, reading polygons and BLOBs back, and the meta information
// of BLOBs.
//
// Offsets, counts and sizes in item records are untrusted: before a block is
// read, it is checked to lie within the data file, so a damaged record can
// neither make a read leave a buffer nor size an allocation.
#include <fcntl.h>

#include <algorithm>
#include <vector>

#include "file_store.h"
#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/stringl.h"
#include "raw_file.h"
#include "set_lock.h"

namespace marovia {

using gdb::kCopyBufferSize;

namespace {

// Through the transaction under way: sees its own writes.
class TStoreReader : public gdb::TDataReader {
 public:
  explicit TStoreReader(gdb::TFileStore& Store) : store_(Store) {}
  int64_t Size() override { return store_.Size(gdb::kData); }
  void ReadAt(int64_t Offset, void* Buffer, int64_t Count) override {
    store_.Read(gdb::kData, Offset, Buffer, Count);
  }

 private:
  gdb::TFileStore& store_;
};

// From the file, for one operation; a read-only database's shared lock is
// held meanwhile, so that no writer's change is seen half done.
class TFileReader : public gdb::TDataReader {
 public:
  ~TFileReader() override {
    if (lock_) lock_->UnlockBusyQuietly();
  }
  int64_t Size() override { return file_->Size(); }
  void ReadAt(int64_t Offset, void* Buffer, int64_t Count) override {
    file_->ReadAt(Offset, Buffer, Count);
  }
  gdb::TRawFile own_;
  gdb::TRawFile* file_ = &own_;
  gdb::TSetLock* lock_ = nullptr;
};

}  // namespace

std::unique_ptr<gdb::TDataReader> TGeoDB::DataReader(const char* Operation) {
  if (FStore && FStore->Active()) return std::make_unique<TStoreReader>(*FStore);
  auto reader = std::make_unique<TFileReader>();
  if (!FReaderData) {
    reader->own_.Open(FNameGDD, O_RDONLY);
    return reader;
  }
  reader->file_ = FReaderData.get();
  if (FLock && FLock->IsOpen()) {
    if (!FLock->TryLockReading(gdb::kReaderWaitMs))
      Fail(Operation, "the database is being changed by another program; try again later.");
    reader->lock_ = FLock.get();
  }
  return reader;
}

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

void TGeoDB::AppendDataBlock(TgdbData& Rec, const TgdbPolygon& Polygon, bool ClosedLine,
                             const TMetaInfo& MInfo, const void* PBLOBData, int32_t SizeOfBLOBData,
                             bool FromFile, const std::string& SourceFile) {
  const char* op = "AddData";
  int64_t at = 0;  // where the next bytes of the block go
  auto startBlock = [&]() {
    at = FStore->Size(gdb::kData);
    if (at > gdb::kMaxBlobOffset)
      Fail(op, "data file \"" + FNameGDD + "\" is full (offsets are limited to 2 GiB).");
    Rec.BlobOffset = static_cast<int32_t>(at);
  };
  auto append = [&](const void* Bytes, int64_t Count) {
    FStore->Write(gdb::kData, at, Bytes, Count);
    at += Count;
  };

  if (Rec.ItemKind == gitBLOB && FromFile) {
    TDateTime age;
    if (FileAge(SourceFile, age)) Rec.Date = age;
    TBinaryFile src(SourceFile, 1);
    src.Reset(TFileAccess::faReadOnly);
    const int64_t size = src.FileSize();
    if (size > INT32_MAX) Fail(op, "BLOB file \"" + SourceFile + "\" larger than 2 GiB.");
    startBlock();
    append(&MInfo, sizeof MInfo);
    std::vector<uint8_t> buf(kCopyBufferSize);
    int64_t copied = 0;
    // The copy stops at the size measured above: a source that grows while
    // it is read (the data file itself, a log being written) would otherwise
    // be chased without end.
    for (int64_t k = 1; copied < size; ++k) {
      int64_t got = 0;
      src.BlockRead(buf.data(), std::min(kCopyBufferSize, size - copied), got);
      if (got == 0) break;
      append(buf.data(), got);
      copied += got;
      ReportProgress(
          gdb::Percent(static_cast<double>(k * kCopyBufferSize), static_cast<double>(size)));
    }
    // The bytes actually copied, should the file have changed meanwhile.
    Rec.Size = static_cast<int32_t>(copied);
  } else if (Rec.ItemKind == gitBLOB) {
    Rec.Size = SizeOfBLOBData;
    startBlock();
    append(&MInfo, sizeof MInfo);
    const auto* bytes = static_cast<const uint8_t*>(PBLOBData);
    const int64_t total = SizeOfBLOBData;
    int64_t k = 0;
    for (; (k + 1) * kCopyBufferSize <= total; ++k) {
      append(bytes + k * kCopyBufferSize, kCopyBufferSize);
      ReportProgress(
          gdb::Percent(static_cast<double>((k + 1) * kCopyBufferSize), static_cast<double>(total)));
    }
    // A final partial buffer goes without a report.
    if (total > k * kCopyBufferSize)
      append(bytes + k * kCopyBufferSize, total - k * kCopyBufferSize);
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
    append(Polygon.data(), static_cast<int64_t>(n) * sizeof(TSCoords));
  } else {
    // Towns and undefined items have no block.
    Rec.NumPoints = 0;
    Rec.Closed = 0;
  }
}

bool TGeoDB::RetrievePolygon(int DBEntry, TgdbPolygon& Polygon) {
  if (!IsOpen()) return false;
  ReportProgress(0);
  const auto f = DataReader("RetrievePolygon");
  const int e = std::max(DBEntry - 1, 0);
  bool ok = false;
  if (e < FNumSumItems) {
    const TgdbData& rec = FSumData[static_cast<size_t>(e)];
    if (IsPolygonKind(rec.ItemKind) && rec.BlobOffset >= 0) {
      CheckBlock("RetrievePolygon", e + 1, rec, f->Size());
      const int n = rec.NumPoints;
      Polygon.assign(static_cast<size_t>(n), TSCoords{});
      // Read in about a hundred steps, reporting the share read after each.
      const int step = n / 100 + 1;
      for (int i = 0; i < n; i += step) {
        const int cnt = std::min(step, n - i);
        f->ReadAt(rec.BlobOffset + static_cast<int64_t>(i) * sizeof(TSCoords), Polygon.data() + i,
                  static_cast<int64_t>(cnt) * sizeof(TSCoords));
        ReportProgress(gdb::Percent(i + cnt, n));
      }
      ok = true;
    }
  }
  ReportProgress(100);
  return ok;
}

bool TGeoDB::SeekBlob(const char* Operation, gdb::TDataReader& F, int e, TMetaInfo& MetaInfo) {
  if (e >= FNumSumItems) return false;
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  if (rec.ItemKind != gitBLOB) return false;
  CheckBlock(Operation, e + 1, rec, F.Size());
  F.ReadAt(rec.BlobOffset, &MetaInfo, sizeof MetaInfo);
  return true;
}

// Copies the Size bytes following the meta information to Sink in blocks of
// the copy buffer, reporting the share done after each block.
template <class Sink>
void TGeoDB::CopyBlob(gdb::TDataReader& F, int e, Sink&& ToSink) {
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  const int32_t size = rec.Size;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(size, kCopyBufferSize)));
  int64_t at = static_cast<int64_t>(rec.BlobOffset) + sizeof(TMetaInfo);
  int64_t remaining = size;
  while (remaining > 0) {
    const int64_t n = std::min(remaining, kCopyBufferSize);
    F.ReadAt(at, buf.data(), n);
    ToSink(buf.data(), n);
    at += n;
    remaining -= n;
    ReportProgress(gdb::Percent(static_cast<double>(size - remaining), size));
  }
}

bool TGeoDB::RetrieveBLOB(int DBEntry, const std::string& Filepath, TMetaInfo& MetaInfo) {
  if (!IsOpen()) return false;
  const int e = std::max(DBEntry - 1, 0);
  if (e >= FNumSumItems || FSumData[static_cast<size_t>(e)].ItemKind != gitBLOB) return false;
  const auto f = DataReader("RetrieveBLOB");
  ReportProgress(0);
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  SeekBlob("RetrieveBLOB", *f, e, MetaInfo);

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
  CopyBlob(*f, e, [&](const uint8_t* p, int64_t n) { out.BlockWrite(p, n); });
  out.CloseFile();
  ReportProgress(100);
  return true;
}

bool TGeoDB::RetrieveBLOB(int DBEntry, TMetaInfo& MetaInfo, void* PBLOBData,
                          int32_t SizeOfBLOBData) {
  if (!IsOpen()) return false;
  const auto f = DataReader("RetrieveBLOB");
  ReportProgress(0);
  const int e = std::max(DBEntry - 1, 0);
  bool ok = false;
  if (e < FNumSumItems && FSumData[static_cast<size_t>(e)].ItemKind == gitBLOB) {
    const int32_t size = FSumData[static_cast<size_t>(e)].Size;
    if (SizeOfBLOBData < size)
      Fail("RetrieveBLOB", "BLOB to be retrieved is larger than SizeOfBlobData.");
    if (size > 0 && PBLOBData == nullptr) Fail("RetrieveBLOB", "no buffer for the BLOB.");
    SeekBlob("RetrieveBLOB", *f, e, MetaInfo);
    auto* dest = static_cast<uint8_t*>(PBLOBData);
    CopyBlob(*f, e, [&](const uint8_t* p, int64_t n) {
      std::copy(p, p + n, dest);
      dest += n;
    });
    ok = true;
  }
  ReportProgress(100);
  return ok;
}

bool TGeoDB::RetrieveBLOB(int DBEntry, TMetaInfo& MetaInfo, TMemoryStream& BlobStream) {
  if (!IsOpen()) return false;
  const auto f = DataReader("RetrieveBLOB");
  ReportProgress(0);
  const int e = std::max(DBEntry - 1, 0);
  bool ok = false;
  if (e < FNumSumItems) {
    const TgdbData& rec = FSumData[static_cast<size_t>(e)];
    if (rec.ItemKind == gitBLOB) {
      SeekBlob("RetrieveBLOB", *f, e, MetaInfo);  // checks Size before it sizes the stream
      BlobStream.SetSize(rec.Size);
      BlobStream.SetPosition(0);
      CopyBlob(*f, e, [&](const uint8_t* p, int64_t n) { BlobStream.WriteBuffer(p, n); });
      BlobStream.SetPosition(0);
      ok = true;
    } else {
      // The count of another kind says nothing about a BLOB: never size the
      // stream by it.
      BlobStream.SetSize(0);
      BlobStream.SetPosition(0);
    }
  }
  ReportProgress(100);
  return ok;
}

bool TGeoDB::GetMetaInfo(int DBEntry, TMetaInfo& MetaInfo) {
  if (!IsOpen()) return false;
  const int e = std::max(DBEntry - 1, 0);
  if (e >= FNumSumItems || FSumData[static_cast<size_t>(e)].ItemKind != gitBLOB) return false;
  const auto f = DataReader("GetMetaInfo");
  SeekBlob("GetMetaInfo", *f, e, MetaInfo);
  return true;
}

bool TGeoDB::UpdateMetaInfo(int DBEntry, const TMetaInfo& MetaInfo) {
  if (!IsOpen()) return false;
  const int e = std::max(DBEntry - 1, 0);
  if (e >= FNumSumItems || FSumData[static_cast<size_t>(e)].ItemKind != gitBLOB) return false;
  RequireWritable("UpdateMetaInfo");
  const TgdbData& rec = FSumData[static_cast<size_t>(e)];
  const bool own = BeginChange("UpdateMetaInfo");
  try {
    CheckBlock("UpdateMetaInfo", e + 1, rec, FStore->Size(gdb::kData));
    FStore->Write(gdb::kData, rec.BlobOffset, &MetaInfo, sizeof MetaInfo);
    EndChange(own);
  } catch (...) {
    FailChange(own);
    throw;
  }
  return true;
}

}  // namespace marovia
