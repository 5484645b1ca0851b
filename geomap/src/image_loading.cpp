// The map image: loading it from a BMP or JPEG file or taking a copy of a
// bitmap, and the size limit every map image must respect.
#include <string>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

// Width x Height in 64 bits, so that no declared size can wrap around.
bool ExceedsMapLimit(int64_t Width, int64_t Height) {
  return Width * Height > kMaxMapPixels;
}

}  // namespace

void TGeoMap::CheckMapImageSize(int64_t Width, int64_t Height) const {
  if (!ExceedsMapLimit(Width, Height)) return;
  RaiseError("Cannot use map image, maximum of " + IntToStr(kMaxMapPixels) +
             " pixels exceeded (size of map is " + IntToStr(Width) + " x " + IntToStr(Height) +
             ")");
}

void TGeoMap::AcceptMapImage(const std::string& Name) {
  FMapImgName = Name;
  FMapImgWidth = GrafBmp->Width();
  FMapImgHeight = GrafBmp->Height();
  AuxBmp->SetHeight(FMapImgHeight);
  AuxBmp->SetWidth(FMapImgWidth);
  FTopLeft = TPoint{0, 0};
}

void TGeoMap::SetMapImgName(const std::string& Value) {
  const std::string asPassed = Value;
  std::string fileName = Value;
  if (OnMapImageRequest) OnMapImageRequest(this, fileName);
  FCacheMag = 0;
  if (!FileExists(fileName)) {
    FMapImgName.clear();
    FMapImgWidth = 0;
    FMapImgHeight = 0;
  } else {
    const std::string ext = LowerCase(ExtractFileExt(fileName));
    if (ext == ".jpg" || ext == ".jpeg") {
      TJPEGImage jpeg;
      jpeg.OnProgress = OnDataLoading;
      jpeg.LoadFromFile(fileName);
      CheckMapImageSize(jpeg.Width(), jpeg.Height());
      GrafBmp->Assign(jpeg);
    } else if (ext == ".bmp") {
      GrafBmp->OnProgress = OnDataLoading;
      GrafBmp->LoadFromFile(fileName);
    }
    CheckMapImageSize(GrafBmp->Width(), GrafBmp->Height());
    AcceptMapImage(asPassed);
  }
  Paint();
}

void TGeoMap::SetMapBitMap(const TBitmap& Value) {
  FCacheMag = 0;
  CheckMapImageSize(Value.Width(), Value.Height());
  GrafBmp->Assign(Value);
  CheckMapImageSize(GrafBmp->Width(), GrafBmp->Height());
  AcceptMapImage("$unknown$");
  Paint();
}

}  // namespace marovia
