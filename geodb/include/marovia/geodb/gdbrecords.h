// Records, enumerations and small free functions of the geographic item
// database (TGeoDB, geodb.h).
//
// File set of a database with base name B (all numbers little-endian, two's
// complement integers, IEEE 754 singles and doubles; strings are one length
// byte followed by a fixed number of Windows-1252 bytes, bytes beyond the
// length carry no meaning):
//
//   B.zylgds   item table: TgdbData records of 120 bytes, entry k (1-based) at
//              byte (k - 1) * 120, no header
//   B.zylgdd   data file: TgdbSystemData header (260 bytes) at byte 0, then
//              the data blocks of the items. Blocks are only ever appended;
//              a replaced or deleted item leaves its block unreferenced until
//              TGeoDB::GarbageCollection compacts the file.
//   B.zylgi0   item-ID index, TIxItemIDRec records ascending by ItemID
//   B.zylgi1   LatLow index, TIxLLRec records ascending by value
//   B.zylgi2   LatHigh index,  same layout
//   B.zylgi3   LongLow index,  same layout
//   B.zylgi4   LongHigh index, same layout
//   B.zylgj    rollback journal, only while a change is being written
//              (format and protocol in gdbjournal.h)
//
// Data block at TgdbData::BlobOffset:
//   polygon kinds   NumPoints TSCoords of 8 bytes
//   gitBLOB         one TMetaInfo (1024 bytes), then Size bytes of the object
//   gitTown, gitUndefined  no block, BlobOffset -1
//
// The structs below are the byte images of the records: every field sits at
// its file offset (checked by static_assert), so arrays of them are read and
// written with one block transfer. The host must be little-endian.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/platform/datetime.h"
#include "marovia/platform/shortstring.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

static_assert(std::endian::native == std::endian::little,
              "database records are stored in host byte order, which must be little-endian");

// Errors of the database unit; messages of TGeoDB methods begin with
// "Component \"<Name>\": ".
class EZYLGeoDBError : public EZYLError {
 public:
  using EZYLError::EZYLError;
};

// Item name: length byte 0..59 plus 59 character bytes.
using TgdbName = TShortString<59>;
constexpr int gdbNameMaxChars = 59;
// Characters used of the 63 of TgdbSystemData::Description.
constexpr int gdbDescriptionMaxChars = 60;
// Characters of TMetaInfo::FilePath.
constexpr int gdbFilePathMaxChars = 127;
// DBVersion of a database created by this system.
constexpr int32_t gdbCurrentVersion = 4;

// Item kinds, stored as one byte. A byte read from a damaged file may hold
// any value; code that indexes by kind checks it against gitUndefined.
enum TgdbItem : uint8_t {
  gitBorder = 0,
  gitTown = 1,
  gitCity = 2,
  gitLake = 3,
  gitRiver = 4,
  gitRoad = 5,
  gitRoute = 6,
  gitBLOB = 7,
  gitUndefined = 8
};

// Names of the item kinds, indexed by TgdbItem.
extern const char* const GDB_ITEMNAMES[9];

// True for the kinds whose data block is a list of points.
constexpr bool IsPolygonKind(TgdbItem Kind) {
  return Kind == gitBorder || Kind == gitCity || Kind == gitLake || Kind == gitRiver ||
         Kind == gitRoad || Kind == gitRoute;
}

// Name of a kind; "Undefined" for a byte outside the enumeration.
const char* ItemKindName(TgdbItem Kind);

// Header of the data file (260 bytes at byte 0).
struct TgdbSystemData {
  int32_t HighestID;             // highest item ID ever assigned, never lowered
  int32_t DBVersion;             // 4 for databases created here
  TShortString<63> Description;  // at most 60 characters used
  int32_t Revision;              // free for the user
  uint8_t Reserved[184];
};
static_assert(sizeof(TgdbSystemData) == 260);
static_assert(offsetof(TgdbSystemData, HighestID) == 0);
static_assert(offsetof(TgdbSystemData, DBVersion) == 4);
static_assert(offsetof(TgdbSystemData, Description) == 8);
static_assert(offsetof(TgdbSystemData, Revision) == 72);
static_assert(offsetof(TgdbSystemData, Reserved) == 76);

// One item (120 bytes): the record of the item table.
struct TgdbData {
  int32_t ItemId;  // unique, stable item ID
  TgdbName Name;   // unused character bytes are spaces when written here
  float Altitude;
  uint8_t ClassFlag;  // class number
  uint8_t Pad1[3];
  int32_t Tag;         // user tag
  int32_t BlobOffset;  // byte offset of the data block in the data file, -1: none
  TDateTime Date;      // days since 1899-12-30 00:00
  int32_t StateFlag;   // user state
  float LatLow;        // southern bound, degrees
  float LatHigh;       // northern bound
  float LongLow;       // western bound
  float LongHigh;      // eastern bound
  TgdbItem ItemKind;
  uint8_t Pad2[3];
  union {
    int32_t NumPoints;  // polygon kinds: number of points
    int32_t Size;       // gitBLOB: bytes of the object
  };
  uint8_t Closed;  // polygon kinds: 1 when the point sequence is closed
  uint8_t Pad3[3];
};
static_assert(sizeof(TgdbData) == 120);
static_assert(offsetof(TgdbData, ItemId) == 0);
static_assert(offsetof(TgdbData, Name) == 4);
static_assert(offsetof(TgdbData, Altitude) == 64);
static_assert(offsetof(TgdbData, ClassFlag) == 68);
static_assert(offsetof(TgdbData, Tag) == 72);
static_assert(offsetof(TgdbData, BlobOffset) == 76);
static_assert(offsetof(TgdbData, Date) == 80);
static_assert(offsetof(TgdbData, StateFlag) == 88);
static_assert(offsetof(TgdbData, LatLow) == 92);
static_assert(offsetof(TgdbData, LatHigh) == 96);
static_assert(offsetof(TgdbData, LongLow) == 100);
static_assert(offsetof(TgdbData, LongHigh) == 104);
static_assert(offsetof(TgdbData, ItemKind) == 108);
static_assert(offsetof(TgdbData, NumPoints) == 112);
static_assert(offsetof(TgdbData, Closed) == 116);

// A point of a polygon item (8 bytes), degrees.
struct TSCoords {
  float Latit;
  float Longit;
};
static_assert(sizeof(TSCoords) == 8);
static_assert(offsetof(TSCoords, Longit) == 4);

using TgdbPolygon = std::vector<TSCoords>;

// Meta information stored in front of a BLOB (1024 bytes).
struct TMetaInfo {
  TShortString<255> Keywords;
  TShortString<127> Caption;
  TShortString<127> FilePath;
  TShortString<255> Descriptor;
  TShortString<255> Comment;
};
static_assert(sizeof(TMetaInfo) == 1024);
static_assert(offsetof(TMetaInfo, Caption) == 256);
static_assert(offsetof(TMetaInfo, FilePath) == 384);
static_assert(offsetof(TMetaInfo, Descriptor) == 512);
static_assert(offsetof(TMetaInfo, Comment) == 768);

// The five fields of TMetaInfo, in order.
enum TMetaItem { miKwd, miCaption, miFilePath, miDescriptor, miComment };

// Text (UTF-8) of one field of a TMetaInfo, and its writer (cut to the
// field's capacity).
std::string GetMetaItem(const TMetaInfo& MetaInfo, TMetaItem Item);
void SetMetaItem(TMetaInfo& MetaInfo, TMetaItem Item, std::string_view Utf8);

// Entry of the item-ID index (8 bytes); index = entry number - 1.
struct TIxItemIDRec {
  int32_t ItemID;
  int32_t index;
};
static_assert(sizeof(TIxItemIDRec) == 8);

// Entry of a bound index (8 bytes); index = entry number - 1.
struct TIxLLRec {
  float LLValue;
  int32_t index;
};
static_assert(sizeof(TIxLLRec) == 8);

using TIxItemIDRecArray = std::vector<TIxItemIDRec>;
using TIxLLRecArray = std::vector<TIxLLRec>;

// A position with height, for callers; not used by the database itself.
struct TPositionData {
  double Latit;
  double Longit;
  double Height;
};

// Resets a record for reuse: empty name (character bytes spaces), ItemId 0,
// Altitude 0, ClassFlag 0, Tag 0, BlobOffset -1, Date now, StateFlag and the
// four bounds 0, ItemKind gitUndefined, Closed false. NumPoints/Size is left
// as it is.
void ClearGdbData(TgdbData& GdbData);

// Empties the five strings of a TMetaInfo.
void ClearMetaInfo(TMetaInfo& MetaInfo);

// South-west corner of an item (LatLow, LongLow); a town's position.
TSCoords ExtractLocation(const TgdbData& GdbData);

// Text of a latitude clamped to [-90, 90] / a longitude clamped to
// [-180, 180]: the absolute value formatted by DegreeToStr (Format and
// Decimals passed on), then " N" / " S" or " E" / " W"; zero is north / east.
std::string GeoLatitude(double Latit, TDegreeFormat Format, int Decimals);
std::string GeoLongitude(double Longit, TDegreeFormat Format, int Decimals);

// What the header and the file sizes of a database tell without opening it.
struct TgdbSystemInfo {
  std::string BaseName;  // base name of the file set
  int32_t HighestID = 0;
  int32_t DBVersion = 0;
  std::string Description;  // UTF-8
  int32_t Revision = 0;
  int64_t NumEntries = 0;    // whole records in the item table (-1: no item table)
  int64_t DataFileSize = 0;  // bytes of the data file
};

// Reads the header of the database named by FileName (any member of its file
// set, or the base name) without opening it in a component. Raises
// EInOutError naming the data file when it is missing, unreadable or shorter
// than its header.
TgdbSystemInfo ReadSystemInformation(const std::string& FileName);

}  // namespace marovia
