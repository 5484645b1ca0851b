// GDAL virtual rasters (a GeoTransform or GCPs in a CRS), read without
// their image.
//
// Invariants checked: a file read gives a fitted calibration of the
// raster's size, whose conversions of the image's corners give finite
// positions when they succeed.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/vrt_import.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::Refusing([&] {
    const TImportedMap m = ParseVrt(bytes, "fuzz.vrt");
    const TMapCalibration& cal = m.Calibration;
    fuzz::Check(cal.Converts(), "a raster that does not convert");
    fuzz::Check(cal.ImageWidth() > 0 && cal.ImageHeight() > 0, "a raster without a size");
    for (const double x : {0.0, double(cal.ImageWidth())})
      for (const double y : {0.0, double(cal.ImageHeight())}) {
        const TPixelPosition p = cal.PixelToGeo(x, y);
        if (p.Valid())
          fuzz::Check(std::isfinite(p.Latit) && std::isfinite(p.Longit), "a position not finite");
      }
  });
  return 0;
}
