// Helpers shared by the sources of TGeoDB (not part of the public API).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marovia/geodb/gdbrecords.h"
#include "marovia/platform/files.h"

namespace marovia::gdb {

// BLOB bytes move through one buffer of this size.
constexpr int64_t kCopyBufferSize = 16384;

// Offsets of the data file are stored as int32.
constexpr int64_t kMaxBlobOffset = INT32_MAX;

// Names of the members of the file set with base name Base.
inline std::string TableFileName(const std::string& Base) {
  return Base + ".zylgds";
}
inline std::string DataFileName(const std::string& Base) {
  return Base + ".zylgdd";
}
inline std::string IndexFileName(const std::string& Base, int Index) {
  return Base + ".zylgi" + static_cast<char>('0' + Index);
}

// Key of a record in bound index 1..4: LatLow, LatHigh, LongLow, LongHigh.
inline float BoundOf(const TgdbData& r, int Index) {
  switch (Index) {
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

// Opens File read-only when it exists and closes it again; creates it empty
// when it does not exist. Answers true when it was created. A file that
// exists but cannot be opened raises EInOutError (it is never recreated,
// which would destroy its contents).
bool EnsureFileExists(TBinaryFile& File);

// Percentage done, rounded halves to even, clamped to 0..100.
int Percent(double Done, double Total);

// Completes a deletion that was interrupted between its two writes to the
// item table (the last record copied over the deleted one, then cut off):
// when an earlier record of Items holds the ID of the last one, the last
// record is written there whole (its copy may have been cut short), then
// removed from Items and cut off the file TableName. Answers true when it
// did so.
bool CompleteInterruptedDeletion(std::vector<TgdbData>& Items, const std::string& TableName);

}  // namespace marovia::gdb
