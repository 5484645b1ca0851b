#include "map_loading.h"

#include <utility>

#include "atlas_files.h"
#include "cli_text.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"

namespace marovia::apps {

namespace {

[[noreturn]] void Fail(const std::string& file, const std::string& why) {
  throw TMapFileError(Printable(file) + ": " + Printable(why));
}

// A file error of the platform names its file already.
[[noreturn]] void Fail(const std::string& file, const std::exception& e) {
  if (dynamic_cast<const EInOutError*>(&e)) throw TMapFileError(Printable(e.what()));
  Fail(file, e.what());
}

// Puts a handler in place for the life of the object and the old one back.
class ScopedImageRequest {
 public:
  ScopedImageRequest(TGeoMap& Map, TMapImgRequestEvent Handler)
      : map_(Map), saved_(std::exchange(Map.OnMapImageRequest, std::move(Handler))) {}
  ~ScopedImageRequest() { map_.OnMapImageRequest = std::move(saved_); }
  ScopedImageRequest(const ScopedImageRequest&) = delete;
  ScopedImageRequest& operator=(const ScopedImageRequest&) = delete;

 private:
  TGeoMap& map_;
  TMapImgRequestEvent saved_;
};

}  // namespace

void LoadCalibratedMap(TGeoMap& Map, const std::string& CalibrationFile) {
  if (!FileExists(CalibrationFile)) Fail(CalibrationFile, "cannot open the file");
  std::string image;
  try {
    TCalibData data;
    TCalibModel model = cmUndefined;
    if (!ParseCalibData(CalibrationFile, "", data, model)) {
      Fail(CalibrationFile, "no calibration data set found");
    }
    image = MapImageBeside(CalibrationFile, data.MapFName);
  } catch (const TMapFileError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(CalibrationFile, e);
  }
  if (image.empty()) Fail(CalibrationFile, "the calibration names no map image");
  if (!FileExists(image)) Fail(CalibrationFile, "map image " + image + " not found");

  ScopedImageRequest redirect(Map, [&CalibrationFile](TObject*, std::string& FileName) {
    FileName = MapImageBeside(CalibrationFile, FileName);
  });
  try {
    Map.LoadCalDataFromXML(CalibrationFile, "");
  } catch (const std::exception& e) {
    Fail(CalibrationFile, e);
  }
  if (Map.MapImgFile().empty()) Fail(CalibrationFile, "map image " + image + " was not loaded");
}

void LoadLandmarkFile(TGeoMap& Map, const std::string& FileName) {
  if (!FileExists(FileName)) Fail(FileName, "cannot open the file");
  try {
    if (!Map.LoadLandMarks(FileName, "")) Fail(FileName, "no landmark set found");
  } catch (const TMapFileError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(FileName, e);
  }
}

}  // namespace marovia::apps
