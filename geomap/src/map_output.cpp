// Saving, renaming, generated maps, clipboard and printing. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

void TGeoMap::SaveMap(const std::string&, const std::string&) {}
bool TGeoMap::RenameMapImg(const std::string&) {
  return false;
}
void TGeoMap::CopyToClipboard() {}
void TGeoMap::CopyEntireMapToClipboard() {}
void TGeoMap::CopyToBMP(TBitmap&, TPoint, double, int32_t, int32_t, int32_t, int32_t) {}
void TGeoMap::PrintIt(double) {}
void TGeoMap::CopyToOpenPrinter(int32_t&, int32_t&, double) {}
void TGeoMap::CopyToOpenPrinter(const TRect&, int32_t, int32_t, int32_t) {}
void TGeoMap::CopyToOpenPrinter(TPoint, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void TGeoMap::CalcExtentsOfPrint(const TRect&, int32_t, int32_t& Width, int32_t& Height) {
  Width = Height = 0;
}

}  // namespace marovia
