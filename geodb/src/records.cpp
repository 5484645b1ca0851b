// Free functions and text helpers of the database records.
#include <algorithm>
#include <cstring>

#include "marovia/geodb/gdbrecords.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

const char* const GDB_ITEMNAMES[9] = {"Border", "Town",  "City", "Lake",     "River",
                                      "Road",   "Route", "BLOB", "Undefined"};

const char* ItemKindName(TgdbItem Kind) {
  return Kind <= gitUndefined ? GDB_ITEMNAMES[Kind] : GDB_ITEMNAMES[gitUndefined];
}

template <int N>
std::string TShortString<N>::Text() const {
  return Cp1252ToUtf8(Bytes());
}

template <int N>
void TShortString<N>::SetBytes(std::string_view Cp1252, int MaxChars, char Fill) {
  const size_t limit = static_cast<size_t>(std::clamp(MaxChars, 0, N));
  const size_t len = std::min(Cp1252.size(), limit);
  if (len > 0) std::memcpy(Chars, Cp1252.data(), len);
  std::memset(Chars + len, Fill, static_cast<size_t>(N) - len);
  Len = static_cast<uint8_t>(len);
}

template <int N>
void TShortString<N>::SetText(std::string_view Utf8, int MaxChars, char Fill) {
  // Windows-1252 has one byte per character, so cutting the converted text
  // cuts characters.
  SetBytes(Utf8ToCp1252(Utf8), MaxChars, Fill);
}

template struct TShortString<59>;
template struct TShortString<63>;
template struct TShortString<127>;
template struct TShortString<255>;

std::string GetMetaItem(const TMetaInfo& MetaInfo, TMetaItem Item) {
  switch (Item) {
    case miKwd:
      return MetaInfo.Keywords.Text();
    case miCaption:
      return MetaInfo.Caption.Text();
    case miFilePath:
      return MetaInfo.FilePath.Text();
    case miDescriptor:
      return MetaInfo.Descriptor.Text();
    case miComment:
      return MetaInfo.Comment.Text();
  }
  return {};
}

void SetMetaItem(TMetaInfo& MetaInfo, TMetaItem Item, std::string_view Utf8) {
  switch (Item) {
    case miKwd:
      MetaInfo.Keywords.SetText(Utf8);
      break;
    case miCaption:
      MetaInfo.Caption.SetText(Utf8);
      break;
    case miFilePath:
      MetaInfo.FilePath.SetText(Utf8);
      break;
    case miDescriptor:
      MetaInfo.Descriptor.SetText(Utf8);
      break;
    case miComment:
      MetaInfo.Comment.SetText(Utf8);
      break;
  }
}

void ClearGdbData(TgdbData& GdbData) {
  GdbData.Name.SetBytes({}, gdbNameMaxChars, ' ');
  GdbData.ItemId = 0;
  GdbData.Altitude = 0;
  GdbData.ClassFlag = 0;
  GdbData.Tag = 0;
  GdbData.BlobOffset = -1;
  GdbData.Date = Now();
  GdbData.StateFlag = 0;
  GdbData.LatLow = 0;
  GdbData.LatHigh = 0;
  GdbData.LongLow = 0;
  GdbData.LongHigh = 0;
  GdbData.ItemKind = gitUndefined;
  GdbData.Closed = 0;
}

void ClearMetaInfo(TMetaInfo& MetaInfo) {
  MetaInfo.Keywords.Len = 0;
  MetaInfo.Caption.Len = 0;
  MetaInfo.FilePath.Len = 0;
  MetaInfo.Descriptor.Len = 0;
  MetaInfo.Comment.Len = 0;
}

TSCoords ExtractLocation(const TgdbData& GdbData) {
  return TSCoords{GdbData.LatLow, GdbData.LongLow};
}

std::string GeoLatitude(double Latit, TDegreeFormat Format, int Decimals) {
  const double v = std::clamp(Latit, -90.0, 90.0);
  return DegreeToStr(std::abs(v), Format, Decimals) + (v < 0 ? " S" : " N");
}

std::string GeoLongitude(double Longit, TDegreeFormat Format, int Decimals) {
  const double v = std::clamp(Longit, -180.0, 180.0);
  return DegreeToStr(std::abs(v), Format, Decimals) + (v < 0 ? " W" : " E");
}

}  // namespace marovia
