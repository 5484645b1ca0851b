// Opening a map source: the calibration read once with its border, the
// image found beside it and its size read from its header; the pixels
// decoded or opened as a pyramid on first use.
#include "marovia/geomap/map_source.h"

#include <algorithm>
#include <utility>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_interop.h"
#include "marovia/platform/files.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"
#include "source/map_image_file.h"

namespace marovia {

namespace {

// Width x Height in 64 bits, each side checked first so that no declared
// size can wrap around.
bool Exceeds(int64_t Width, int64_t Height, int64_t Limit) {
  constexpr int64_t kSide = int64_t{1} << 31;
  return Width >= kSide || Height >= kSide || Width * Height > Limit;
}

// The size an image file's header declares; EZYLGeoMapError when it cannot
// be read there (a file of another format, or a damaged header).
std::pair<int64_t, int64_t> HeaderSize(const std::string& ImageFile) {
  if (!FileExists(ImageFile)) throw EZYLGeoMapError("map image " + ImageFile + " not found");
  int64_t w = 0, h = 0;
  if (!ReadImageDimensions(ImageFile, w, h))
    throw EZYLGeoMapError(ImageFile +
                          ": not a BMP, JPEG, PNG or TIFF image, or its header is damaged");
  return {w, h};
}

}  // namespace

TMapSource::~TMapSource() = default;

void TMapSource::TakeImageSize(int64_t Width, int64_t Height, TMapCalibration::TExtents Extents) {
  const std::string display = SampleDisplayProblem(FOptions.SampleDisplay);
  if (!display.empty())
    throw EZYLGeoMapError(FImageFile + ": cannot show the map image's samples so: " + display);
  FOptions.MaxMapPixels = std::clamp(FOptions.MaxMapPixels, kMaxMapPixels, kMaxTiledMapPixels);
  if (Width <= 0 || Height <= 0 || Exceeds(Width, Height, FOptions.MaxMapPixels))
    throw EZYLGeoMapError(FImageFile + ": the map image has " + IntToStr(Width) + " x " +
                          IntToStr(Height) + " pixels, more than the limit of " +
                          IntToStr(FOptions.MaxMapPixels));
  FTiled = Exceeds(Width, Height, kMaxMapPixels);
  const auto w = static_cast<int32_t>(Width), h = static_cast<int32_t>(Height);
  if (FCalibration.ImageWidth() == w && FCalibration.ImageHeight() == h &&
      (FCalibration.Converts() || !FCalibration.FitMessage().empty()))
    return;  // fitted (or refused) for this size already
  FCalibration.SetImageSize(w, h);
  FCalibration.Fit(Extents);
}

std::shared_ptr<const TMapSource> TMapSource::Open(const std::string& CalibrationFile,
                                                   const std::string& DataID,
                                                   const TMapSourceOptions& Options) {
  if (!FileExists(CalibrationFile)) throw EInOutError(CalibrationFile, "cannot open the file");
  std::shared_ptr<TMapSource> source(new TMapSource);
  source->FCalibrationFile = CalibrationFile;
  source->FDataID = DataID;
  source->FOptions = Options;
  if (!ParseCalibration(CalibrationFile, DataID, source->FCalibration))
    throw EZYLGeoMapError(CalibrationFile + ": no calibration data set" +
                          (DataID.empty() ? std::string() : " '" + DataID + "'") + " found");
  const std::string& stored = source->FCalibration.Data().MapFName;
  source->FImageFile = MapImageBeside(CalibrationFile, stored);
  if (source->FImageFile.empty())
    throw EZYLGeoMapError(CalibrationFile + ": the calibration names no map image");
  try {
    const auto [w, h] = HeaderSize(source->FImageFile);
    // The corners and resolution the file gives stay, as the map control
    // keeps them when it reads the file.
    source->TakeImageSize(w, h, TMapCalibration::TExtents::KeepStored);
  } catch (const EZYLGeoMapError& e) {
    throw EZYLGeoMapError(CalibrationFile + ": " + e.what());
  }
  return source;
}

std::shared_ptr<const TMapSource> TMapSource::FromImport(const TImportedMap& Map,
                                                         const TMapSourceOptions& Options) {
  return FromCalibration(Map.Calibration, Map.ImageName, Options);
}

std::shared_ptr<const TMapSource> TMapSource::FromCalibration(const TMapCalibration& Calibration,
                                                              const std::string& ImageFile,
                                                              const TMapSourceOptions& Options) {
  std::shared_ptr<TMapSource> source(new TMapSource);
  source->FImageFile = ImageFile;
  source->FCalibration = Calibration;
  source->FOptions = Options;
  const auto [w, h] = HeaderSize(ImageFile);
  source->TakeImageSize(w, h, TMapCalibration::TExtents::Compute);
  return source;
}

std::shared_ptr<const TMapSource> TMapSource::FromBitmap(const TMapCalibration& Calibration,
                                                         const TBitmap& Image,
                                                         const std::string& Name,
                                                         const TMapSourceOptions& Options) {
  std::shared_ptr<TMapSource> source(new TMapSource);
  source->FImageFile = Name;
  source->FCalibration = Calibration;
  source->FOptions = Options;
  source->TakeImageSize(Image.Width(), Image.Height(), TMapCalibration::TExtents::Compute);
  if (source->FTiled) {
    source->FLevels = TImagePyramid::FromBitmap(Image);
  } else {
    auto copy = std::make_shared<TBitmap>();
    copy->Assign(Image);
    source->FBitmap = std::move(copy);
  }
  return source;
}

std::unique_ptr<TBitmap> TMapSource::Decode() const {
  std::unique_ptr<TBitmap> image =
      mapsource::DecodeImageFile(FImageFile, FOptions.OnProgress, FOptions.SampleDisplay);
  // The calibration was fitted for the header's size: an image that decodes
  // to another is not the one the header describes.
  if (image->Width() != Width() || image->Height() != Height())
    throw EZYLGeoMapError(FImageFile + ": the image decodes to " + IntToStr(image->Width()) +
                          " x " + IntToStr(image->Height()) + " pixels, its header says " +
                          IntToStr(Width()) + " x " + IntToStr(Height()));
  return image;
}

std::shared_ptr<const TBitmap> TMapSource::Bitmap() const {
  if (FTiled)
    throw EZYLGeoMapError(FImageFile + ": the map image (" + IntToStr(Width()) + " x " +
                          IntToStr(Height()) + " pixels) is read as tiles, not as one bitmap");
  std::lock_guard lock(FPixelsMutex);
  if (!FBitmap) FBitmap = Decode();
  return FBitmap;
}

std::shared_ptr<const TImagePyramid> TMapSource::Levels() const {
  std::lock_guard lock(FPixelsMutex);
  if (FLevels) return FLevels;
  if (!FTiled && FOptions.CacheSmallPyramids && !FBitmap && !FImageFile.empty()) {
    // A file the pyramid cannot take (or a cache that fails) falls back to
    // the whole image below, which raises what is wrong with the file.
    try {
      FLevels = OpenPyramid();
      return FLevels;
    } catch (const std::exception&) {
    }
  }
  if (!FTiled) {
    // The pyramid holds the pixels itself: a bitmap decoded for it alone is
    // not kept beside it.
    const std::shared_ptr<const TBitmap> image = FBitmap ? FBitmap : Decode();
    FLevels = TImagePyramid::FromBitmap(*image);
    return FLevels;
  }
  FLevels = OpenPyramid();
  return FLevels;
}

std::shared_ptr<const TImagePyramid> TMapSource::OpenPyramid() const {
  TPyramidOptions options;
  options.CacheDir = FOptions.PyramidCacheDir;
  options.MemoryBudget = FOptions.PyramidMemoryBudget;
  options.SampleDisplay = FOptions.SampleDisplay;
  std::shared_ptr<const TImagePyramid> pyramid =
      TImagePyramid::Open(FImageFile, options, FOptions.OnProgress);
  if (pyramid->Width() != Width() || pyramid->Height() != Height())
    throw EZYLGeoMapError(FImageFile + ": the image decodes to " + IntToStr(pyramid->Width()) +
                          " x " + IntToStr(pyramid->Height()) + " pixels, its header says " +
                          IntToStr(Width()) + " x " + IntToStr(Height()));
  return pyramid;
}

}  // namespace marovia
