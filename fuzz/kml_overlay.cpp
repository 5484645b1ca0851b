// KML ground overlays (LatLonBox with rotation, gx:LatLonQuad, across 180
// degrees), read for an image of 400 x 300 pixels.
//
// Invariants checked: an overlay read gives a fitted calibration whose
// conversions of the image's corners, when they succeed, give finite
// longitudes within -180..180 and latitudes within -90..90 (up to the
// fit's rounding), and reading the same bytes again converts the same.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/kml_import.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::Refusing([&] {
    const TImportedMap m = ParseKmlOverlay(bytes, "fuzz.kml", 400, 300);
    fuzz::Check(m.Calibration.Converts(), "an overlay that does not convert");
    const TImportedMap again = ParseKmlOverlay(bytes, "fuzz.kml", 400, 300);
    for (const double x : {0.0, 400.0})
      for (const double y : {0.0, 300.0}) {
        const TPixelPosition p = m.Calibration.PixelToGeo(x, y);
        if (!p.Valid()) continue;
        fuzz::Check(std::isfinite(p.Latit) && std::fabs(p.Longit) <= 180,
                    "a corner outside -180..180");
        const TPixelPosition q = again.Calibration.PixelToGeo(x, y);
        fuzz::Check(q.Latit == p.Latit && q.Longit == p.Longit, "the same bytes read differently");
      }
  });
  return 0;
}
