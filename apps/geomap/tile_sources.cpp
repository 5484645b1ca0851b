#include "tile_sources.h"

#include "atlas_files.h"
#include "cli_text.h"
#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geomap/calxml.h"
#include "marovia/platform/files.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/strutils.h"

namespace marovia::geomaptool {

namespace {

// The largest image decoded whole into memory (4 bytes a pixel, and a
// third more for the halved levels); larger maps are read through their
// image pyramid, tile by tile.
constexpr int64_t kMaxDecodedPixels = int64_t{16} << 20;
// What the pyramid of a large map keeps of its tiles in memory.
constexpr int64_t kPyramidBudget = int64_t{96} << 20;

std::unique_ptr<TMapRaster> LoadRaster(const std::string& Image) {
  int64_t w = 0, h = 0;
  if (ReadImageDimensions(Image, w, h) && w * h > kMaxDecodedPixels) {
    TPyramidOptions options;
    options.MemoryBudget = kPyramidBudget;
    return MakePyramidRaster(TImagePyramid::Open(Image, options));
  }
  TBitmap bitmap;
  const std::string ext = LowerCase(ExtractFileExt(Image));
  if (ext == ".jpg" || ext == ".jpeg") {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(Image);
    bitmap.Assign(jpeg);
  } else if (ext == ".png") {
    TPngImage png;
    png.LoadFromFile(Image);
    bitmap.Assign(png);
  } else {
    bitmap.LoadFromFile(Image);
  }
  return MakeBitmapRaster(bitmap);
}

}  // namespace

int AddTileMaps(const std::vector<std::string>& Calibrations, TAtlasTiles& Tiles,
                std::vector<std::string>& Problems) {
  int added = 0;
  for (const std::string& file : Calibrations) {
    try {
      TCalibData data;
      TCalibModel model = cmUndefined;
      if (!ParseCalibData(file, "", data, model)) {
        Problems.push_back(apps::Printable(file) + ": no calibration data set found");
        continue;
      }
      const std::string image = apps::MapImageBeside(file, data.MapFName);
      if (image.empty() || !FileExists(image)) {
        Problems.push_back(apps::Printable(file) + ": map image " +
                           apps::Printable(image.empty() ? "(none named)" : image) + " not found");
        continue;
      }
      int64_t w = 0, h = 0;
      std::unique_ptr<TMapRaster> raster = LoadRaster(image);
      w = raster->LevelWidth(0);
      h = raster->LevelHeight(0);
      TMapCalibration calib(model, data, static_cast<int32_t>(w), static_cast<int32_t>(h));
      calib.Fit();
      if (!calib.Converts()) {
        const std::string why =
            calib.FitMessage().empty() ? "too few points for its model" : calib.FitMessage();
        Problems.push_back(apps::Printable(file) + ": no usable calibration (" +
                           apps::Printable(why) + "); the map is left out");
        continue;
      }
      Tiles.AddMap(file, calib, std::move(raster));
      ++added;
    } catch (const std::exception& e) {
      Problems.push_back(apps::Printable(file) + ": " + apps::Printable(e.what()));
    }
  }
  return added;
}

}  // namespace marovia::geomaptool
