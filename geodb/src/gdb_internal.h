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

// A deletion that an older version of this library had interrupted between
// its two writes to the item table (the last record copied over the deleted
// one, then cut off) leaves an earlier record holding the ID of the last
// one. Answers the position of that record, or -1. Completing the deletion
// means writing the last record there whole (its copy may have been cut
// short) and cutting it off the table.
int FindInterruptedDeletion(const std::vector<TgdbData>& Items);

// The bytes of the data file as one operation reads them: through the
// transaction under way, or from the file.
class TDataReader {
 public:
  virtual ~TDataReader() = default;
  virtual int64_t Size() = 0;
  // Exactly Count bytes at Offset, or EInOutError.
  virtual void ReadAt(int64_t Offset, void* Buffer, int64_t Count) = 0;
};

// How long a read-only database waits for a writer's change to end.
constexpr int kReaderWaitMs = 2000;

}  // namespace marovia::gdb
