// The map image: loading it from a BMP, JPEG, PNG or TIFF file or taking a copy of
// a bitmap, and the size limit every map image must respect.
//
// A file's declared size is checked against the limit before it is decoded,
// so a header claiming 16000 x 16000 pixels costs no gigabyte; the decoded
// image is checked again, whatever its header said.
#include <memory>
#include <string>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/tiffimage.h"

namespace marovia {

namespace {

// Width x Height in 64 bits, so that no declared size can wrap around.
bool ExceedsMapLimit(int64_t Width, int64_t Height) {
  return Width * Height > kMaxMapPixels;
}

// What a map image file is read as, by its extension (case ignored).
enum class TMapImageKind { Jpeg, Bmp, Png, Tiff, None };

TMapImageKind KindOf(const std::string& FileName) {
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext == ".jpg" || ext == ".jpeg") return TMapImageKind::Jpeg;
  if (ext == ".bmp") return TMapImageKind::Bmp;
  if (ext == ".png") return TMapImageKind::Png;
  if (ext == ".tif" || ext == ".tiff") return TMapImageKind::Tiff;
  return TMapImageKind::None;
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
  SyncCalibImageSize();
  AuxBmp->SetHeight(FMapImgHeight);
  AuxBmp->SetWidth(FMapImgWidth);
  FTopLeft = TPoint{0, 0};
}

std::unique_ptr<TBitmap> TGeoMap::LoadMapImageFile(const std::string& FileName) {
  const TMapImageKind kind = KindOf(FileName);
  if (kind == TMapImageKind::None) return nullptr;  // nothing is loaded; the name is taken
  // The size the header declares is refused before any decoder allocates
  // pixels for it; a header the probe cannot read is left to the decoder.
  int64_t w = 0, h = 0;
  if (ReadImageDimensions(FileName, w, h)) CheckMapImageSize(w, h);
  auto image = std::make_unique<TBitmap>();
  switch (kind) {
    case TMapImageKind::Jpeg: {
      TJPEGImage jpeg;
      jpeg.OnProgress = OnDataLoading;
      jpeg.LoadFromFile(FileName);
      CheckMapImageSize(jpeg.Width(), jpeg.Height());
      image->Assign(jpeg);
      break;
    }
    case TMapImageKind::Png: {
      TPngImage png;
      png.OnProgress = OnDataLoading;
      png.LoadFromFile(FileName);
      image->Assign(png);
      break;
    }
    case TMapImageKind::Tiff: {
      TTiffImage tiff;
      tiff.OnProgress = OnDataLoading;
      tiff.LoadFromFile(FileName);
      image->Assign(tiff);
      break;
    }
    case TMapImageKind::Bmp:
      GrafBmp->OnProgress = OnDataLoading;
      image->OnProgress = OnDataLoading;
      image->LoadFromFile(FileName);
      break;
    case TMapImageKind::None:
      break;
  }
  return image;
}

// The image is decoded apart and checked before it replaces the map's
// bitmap, so a refused or undecodable file leaves the bitmap, and with it
// every later view, as it was.
void TGeoMap::SetMapImgName(const std::string& Value) {
  const std::string asPassed = Value;
  std::string fileName = Value;
  if (OnMapImageRequest) OnMapImageRequest(this, fileName);
  FCacheMag = 0;
  if (!FileExists(fileName)) {
    FMapImgName.clear();
    FMapImgWidth = 0;
    FMapImgHeight = 0;
    SyncCalibImageSize();
  } else {
    if (std::unique_ptr<TBitmap> image = LoadMapImageFile(fileName)) {
      CheckMapImageSize(image->Width(), image->Height());
      GrafBmp->Assign(*image);
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
