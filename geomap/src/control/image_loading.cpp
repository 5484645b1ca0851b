// The map image: loading it from a BMP, JPEG, PNG or TIFF file, taking a copy of
// a bitmap or a map source, and the size limit every map image must respect.
//
// A file's declared size is checked against the limit before it is decoded,
// so a header claiming 16000 x 16000 pixels costs no gigabyte; the decoded
// image is checked again, whatever its header said.
//
// Images above kMaxMapPixels (when the host raised MaxMapPixels) are never
// decoded whole: a file is opened as a tile pyramid (built once into a
// cache file), a bitmap handed over is turned into one.
#include <algorithm>
#include <memory>
#include <string>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/strutils.h"
#include "source/map_image_file.h"

namespace marovia {

namespace {

constexpr int64_t kTileMemoryBudget = int64_t{128} << 20;

// Width x Height in 64 bits, so that no declared size can wrap around
// (each side is checked first: a header may claim anything).
bool ExceedsLimit(int64_t Width, int64_t Height, int64_t Limit) {
  constexpr int64_t kSide = int64_t{1} << 31;
  if (Width > kSide || Height > kSide) return true;
  return Width * Height > Limit;
}

// What the map control reads a map image file as: by its extension (case
// ignored); any other name is taken without an image.
mapsource::TImageFormat FormatOfName(const std::string& FileName) {
  using mapsource::TImageFormat;
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext == ".jpg" || ext == ".jpeg") return TImageFormat::Jpeg;
  if (ext == ".bmp") return TImageFormat::Bmp;
  if (ext == ".png") return TImageFormat::Png;
  if (ext == ".tif" || ext == ".tiff") return TImageFormat::Tiff;
  return TImageFormat::Unknown;
}

}  // namespace

void TGeoMap::CheckMapImageSize(int64_t Width, int64_t Height, int64_t Limit) const {
  if (!ExceedsLimit(Width, Height, Limit)) return;
  RaiseError("Cannot use map image, maximum of " + IntToStr(Limit) +
             " pixels exceeded (size of map is " + IntToStr(Width) + " x " + IntToStr(Height) +
             ")");
}

void TGeoMap::SetMaxMapPixels(int64_t Value) {
  FMaxMapPixels = std::clamp(Value, kMaxMapPixels, kMaxTiledMapPixels);
}

void TGeoMap::SetSampleDisplay(const TSampleDisplay& Value) {
  const std::string problem = SampleDisplayProblem(Value);
  if (!problem.empty()) RaiseError("cannot show map image samples so: " + problem);
  FSampleDisplay = Value;
}

void TGeoMap::RefuseOnTiledMap(const std::string& What) const {
  if (!FPyramid) return;
  RaiseError("cannot " + What + ": the map image (" + IntToStr(FMapImgWidth) + " x " +
             IntToStr(FMapImgHeight) + " pixels) is held as tiles, not as one bitmap");
}

const TBitmap& TGeoMap::MapBitmap() const {
  RefuseOnTiledMap("hand out the map bitmap");
  return *GrafBmp;
}

std::shared_ptr<const TImagePyramid> TGeoMap::OpenMapPyramid(const std::string& FileName) {
  TPyramidOptions options;
  options.CacheDir = FPyramidCacheDir;
  // Decoded tiles kept for the views: several screens' worth, while the
  // whole process stays well below a few hundred megabytes.
  options.MemoryBudget = kTileMemoryBudget;
  options.SampleDisplay = FSampleDisplay;
  TProgressEvent progress;
  if (OnDataLoading)
    progress = [this](TObject*, TProgressStage Stage, uint8_t Percent, bool Redraw, const TRect& R,
                      const std::string& Msg) {
      if (OnDataLoading) OnDataLoading(this, Stage, Percent, Redraw, R, Msg);
    };
  return TImagePyramid::Open(FileName, options, progress);
}

void TGeoMap::AcceptTiledImage(const std::string& Name,
                               std::shared_ptr<const TImagePyramid> Pyramid) {
  FPyramid = std::move(Pyramid);
  GrafBmp->SetSize(0, 0);
  FMapImgName = Name;
  FMapImgWidth = FPyramid->Width();
  FMapImgHeight = FPyramid->Height();
  SyncCalibImageSize();
  // The composed view never needs more than the control's size.
  AuxBmp->SetSize(std::max(Width(), 1), std::max(Height(), 1));
  FTopLeft = TPoint{0, 0};
}

void TGeoMap::AcceptMapImage(const std::string& Name) {
  FPyramid.reset();
  FMapImgName = Name;
  FMapImgWidth = GrafBmp->Width();
  FMapImgHeight = GrafBmp->Height();
  SyncCalibImageSize();
  AuxBmp->SetHeight(FMapImgHeight);
  AuxBmp->SetWidth(FMapImgWidth);
  FTopLeft = TPoint{0, 0};
}

std::unique_ptr<TBitmap> TGeoMap::LoadMapImageFile(const std::string& FileName) {
  const mapsource::TImageFormat format = FormatOfName(FileName);
  if (format == mapsource::TImageFormat::Unknown) return nullptr;  // the name is taken alone
  // The size the header declares is refused before any decoder allocates
  // pixels for it; a header the probe cannot read is left to the decoder.
  int64_t w = 0, h = 0;
  if (ReadImageDimensions(FileName, w, h)) {
    CheckMapImageSize(w, h);
    if (ExceedsLimit(w, h, kMaxMapPixels)) return nullptr;  // read as tiles
  }
  if (format == mapsource::TImageFormat::Bmp) GrafBmp->OnProgress = OnDataLoading;
  return mapsource::DecodeImageFileAs(FileName, format, OnDataLoading, FSampleDisplay);
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
    int64_t w = 0, h = 0;
    const bool large = FormatOfName(fileName) != mapsource::TImageFormat::Unknown &&
                       ReadImageDimensions(fileName, w, h) && ExceedsLimit(w, h, kMaxMapPixels);
    if (large) {
      CheckMapImageSize(w, h);
      AcceptTiledImage(asPassed, OpenMapPyramid(fileName));
    } else if (std::unique_ptr<TBitmap> image = LoadMapImageFile(fileName)) {
      CheckMapImageSize(image->Width(), image->Height());
      // A file whose header the probe could not read may still decode large.
      if (ExceedsLimit(image->Width(), image->Height(), kMaxMapPixels))
        AcceptTiledImage(asPassed, TImagePyramid::FromBitmap(*image));
      else {
        GrafBmp->Assign(*image);
        AcceptMapImage(asPassed);
      }
    } else {
      CheckMapImageSize(GrafBmp->Width(), GrafBmp->Height());
      AcceptMapImage(asPassed);
    }
  }
  Paint();
}

void TGeoMap::SetMapBitMap(const TBitmap& Value) {
  FCacheMag = 0;
  CheckMapImageSize(Value.Width(), Value.Height());
  if (ExceedsLimit(Value.Width(), Value.Height(), kMaxMapPixels)) {
    AcceptTiledImage("$unknown$", TImagePyramid::FromBitmap(Value));
    Paint();
    return;
  }
  GrafBmp->Assign(Value);
  CheckMapImageSize(GrafBmp->Width(), GrafBmp->Height());
  AcceptMapImage("$unknown$");
  Paint();
}

// Everything that can fail (the size check, the decoding) happens before
// the control changes, so a refused source leaves the map as it was.
void TGeoMap::SetMapSource(const std::shared_ptr<const TMapSource>& Source) {
  SetMapSource(Source, nullptr);
}

void TGeoMap::SetMapSource(const std::shared_ptr<const TMapSource>& Source,
                           std::shared_ptr<const TImagePyramid> Levels) {
  if (!Source) RaiseError("no map source given");
  if (Levels && (Levels->Width() != Source->Width() || Levels->Height() != Source->Height()))
    RaiseError("the levels given for " + Source->ImageFile() + " are " +
               std::to_string(Levels->Width()) + " x " + std::to_string(Levels->Height()) +
               " pixels, the image " + std::to_string(Source->Width()) + " x " +
               std::to_string(Source->Height()));
  FCacheMag = 0;
  CheckMapImageSize(Source->Width(), Source->Height());
  std::shared_ptr<const TImagePyramid> pyramid;
  std::shared_ptr<const TBitmap> image;
  if (Source->Tiled())
    pyramid = Levels ? std::move(Levels) : Source->Levels();
  else
    image = Source->Bitmap();
  FCalib = Source->Calibration();
  if (pyramid) {
    AcceptTiledImage(Source->ImageFile(), std::move(pyramid));
  } else {
    GrafBmp->Assign(*image);
    AcceptMapImage(Source->ImageFile());
  }
  FCalDatName = Source->CalibrationFile();
  Paint();
}

}  // namespace marovia
