// The landmark list. (Being written.)
#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

namespace marovia {

TLMIdentifier MakeLMIdentifier(const std::string& Text) {
  return Utf8Left(Text, kLMIdentifierLength);
}
TLMText MakeLMText(const std::string& Text) {
  return Utf8Left(Text, kLMTextLength);
}

void TGeoMap::AddLandMark(double, double, double) {}
void TGeoMap::AddLandMark(double, double, double, const TLMIdentifier&, TDateTime) {}
void TGeoMap::AddLandMark(double, double, double, const std::string&, int32_t, TColor) {}
void TGeoMap::AddLandMark(double, double, double, const TLMIdentifier&, TDateTime,
                          const std::string&, int32_t, TColor) {}
void TGeoMap::AddLandMark(double, double, double, TLandMarkElement, uint8_t, const TLMIdentifier&,
                          TDateTime, int32_t, TColor, TColor, int32_t, bool, int32_t, int32_t) {}
int32_t TGeoMap::RemoveLandMark(double, double, int32_t, double) {
  return 0;
}
int32_t TGeoMap::RemoveLandMark(const TRectDouble&, int32_t) {
  return 0;
}
int32_t TGeoMap::RemoveLandMark(double, double, int32_t) {
  return 0;
}
int32_t TGeoMap::RemoveLandMark(int32_t) {
  return 0;
}
void TGeoMap::RemoveLastLandMark() {}
void TGeoMap::RemoveAllLandMarks(uint8_t) {}
void TGeoMap::RemoveAllLandMarks() {}
int32_t TGeoMap::FindLandMark(double, double, int32_t) const {
  return 0;
}
TLandMark TGeoMap::GetLandMarkData(int32_t i) const {
  if (i < 1 || i > FNumLandMarks) RaiseError("landmark index out of range");
  return FLandMarks[static_cast<size_t>(i - 1)];
}
void TGeoMap::SetLandMarkData(int32_t, const TLandMark&) {}
void TGeoMap::ResetLandMarkCapacity() {}

}  // namespace marovia
