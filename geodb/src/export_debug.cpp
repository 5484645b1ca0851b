// TGeoDB: a readable dump of a database, and reading the header of a
// database without opening it.
#include <cmath>
#include <fstream>
#include <sstream>

#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/stringl.h"

namespace marovia {

namespace {

std::string Num(double v) {
  return FloatToStr(v);
}

std::string DateText(TDateTime d) {
  // Dates far outside the calendar (damaged records) are shown as numbers.
  if (!std::isfinite(d) || d < -693593.0 || d > 2958465.0) return Num(d);
  return FormatDateTime("yyyy-mm-dd hh:nn:ss", d);
}

}  // namespace

void TGeoDB::ExportDataDebug(const std::string& FName) const {
  if (IsFileOfSet(FName))
    Fail("ExportDataDebug", "target \"" + FName + "\" is a file of the open database.");
  std::ostringstream o;
  o << "TGeoDB dump of component \"" << Name() << "\"\n";
  if (!IsOpen()) {
    o << "no database open\n";
  } else {
    int64_t dataBytes = FileSizeByName(FNameGDD);
    o << "base name:    " << GetGDBName() << "\n"
      << "item table:   " << FNameGDS << "\n"
      << "data file:    " << FNameGDD << " (" << dataBytes << " bytes)\n"
      << "HighestID:    " << FSystemData.HighestID << "\n"
      << "DBVersion:    " << FSystemData.DBVersion << "\n"
      << "Description:  " << FSystemData.Description.Text() << "\n"
      << "Revision:     " << FSystemData.Revision << "\n"
      << "LazyWrite:    " << (FLazyWrite ? "on" : "off") << "\n"
      << "NumEntries:   " << FNumSumItems << "\n\n";

    o << "entry;ItemId;kind;name;class;tag;state;date;altitude;LatLow;LatHigh;LongLow;LongHigh;"
         "BlobOffset;NumPoints/Size;Closed;remark\n";
    for (int e = 1; e <= FNumSumItems; ++e) {
      const TgdbData& r = FSumData[static_cast<size_t>(e - 1)];
      std::string remark;
      const bool hasBlock =
          (IsPolygonKind(r.ItemKind) && r.BlobOffset >= 0) || r.ItemKind == gitBLOB;
      if (r.ItemKind > gitUndefined) remark = std::string("unknown kind ") + IntToStr(r.ItemKind);
      if (r.Name.Len > gdbNameMaxChars)
        remark += std::string(" name length byte ") + IntToStr(r.Name.Len);
      if (hasBlock) {
        const int64_t end = static_cast<int64_t>(r.BlobOffset) + BlockLength(r);
        if (r.NumPoints < 0 || r.BlobOffset < static_cast<int32_t>(sizeof(TgdbSystemData)) ||
            end > dataBytes)
          remark += " DAMAGED: block outside the data file";
      }
      o << e << ';' << r.ItemId << ';' << ItemKindName(r.ItemKind) << ';' << r.Name.Text() << ';'
        << int(r.ClassFlag) << ';' << r.Tag << ';' << r.StateFlag << ';' << DateText(r.Date) << ';'
        << Num(r.Altitude) << ';' << Num(r.LatLow) << ';' << Num(r.LatHigh) << ';' << Num(r.LongLow)
        << ';' << Num(r.LongHigh) << ';' << r.BlobOffset << ';' << r.NumPoints << ';'
        << int(r.Closed) << ';' << remark << "\n";
    }

    const char* names[5] = {"ItemID", "LatLow", "LatHigh", "LongLow", "LongHigh"};
    for (int i = 0; i < 5; ++i) {
      o << "\nindex " << i << " (" << names[i] << "):\n";
      if (i == 0) {
        FIx0ItemId.ForEach(0, FIx0ItemId.Size(), [&](size_t, const TIxItemIDRec& x) {
          o << "  " << x.ItemID << " -> entry " << x.index + 1 << "\n";
          return true;
        });
      } else {
        BoundIndex(i).ForEach(0, BoundIndex(i).Size(), [&](size_t, const TIxLLRec& x) {
          o << "  " << Num(x.LLValue) << " -> entry " << x.index + 1 << "\n";
          return true;
        });
      }
    }
    o << "\nindexes consistent with the item table: " << (IndexesConsistent() ? "yes" : "NO")
      << "\n";
  }

  TTextFile f(FName);
  f.Rewrite();
  f.Write(o.str());
  f.CloseFile();
}

TgdbSystemInfo ReadSystemInformation(const std::string& FileName) {
  TgdbSystemInfo info;
  info.BaseName = StripExtension(FileName);
  const std::string gdd = gdb::DataFileName(info.BaseName);
  TBinaryFile f(gdd, 1);
  f.Reset(TFileAccess::faReadOnly);
  info.DataFileSize = f.FileSize();
  if (info.DataFileSize < static_cast<int64_t>(sizeof(TgdbSystemData)))
    throw EInOutError(gdd, "data file shorter than its header");
  TgdbSystemData h{};
  f.BlockRead(&h, sizeof h);
  f.CloseFile();
  info.HighestID = h.HighestID;
  info.DBVersion = h.DBVersion;
  info.Description = h.Description.Text();
  info.Revision = h.Revision;
  const int64_t tableBytes = FileSizeByName(gdb::TableFileName(info.BaseName));
  info.NumEntries = tableBytes < 0 ? -1 : tableBytes / static_cast<int64_t>(sizeof(TgdbData));
  return info;
}

}  // namespace marovia
