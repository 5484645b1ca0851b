// Free functions and text helpers of the database records.
#include <algorithm>
#include <cmath>

#include "marovia/geodb/gdbrecords.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

const char* const GDB_ITEMNAMES[9] = {"Border", "Town",  "City", "Lake",     "River",
                                      "Road",   "Route", "BLOB", "Undefined"};

const char* ItemKindName(TgdbItem Kind) {
  return Kind <= gitUndefined ? GDB_ITEMNAMES[Kind] : GDB_ITEMNAMES[gitUndefined];
}

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
