// GeoTIFF import of arbitrary bytes as a file: the TIFF directory, the
// georeferencing fields and the GeoKeys, the CRS they name (through PROJ)
// and the fit of the calibration.
//
// Invariants checked: an accepted file answers a calibration that converts,
// of the file's image size, whose model is one the import promises, with
// at most the calibration's capacity of points; converting the image's
// centre and corners neither raises nor answers a value that is not finite.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/geotiff_import.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::filesystem::path file = fuzz::ScratchDir() / "input.tif";
  fuzz::WriteFile(file, fuzz::AsText(Data, Size));
  TImportedMap map;
  if (!fuzz::Refusing([&] { map = ImportGeoTiff(file.string()); })) return 0;
  const TMapCalibration& cal = map.Calibration;
  const TCalibModel m = cal.Model();
  fuzz::Check(
      m == cmEquiRect || m == cmUTM || m == cmProjected || m == cmBiquadraticPn || m == cmThinPlate,
      "a model the import does not make");
  fuzz::Check(cal.Converts(), "an accepted calibration that does not convert");
  fuzz::Check(cal.ImageWidth() > 0 && cal.ImageHeight() > 0, "no image size");
  fuzz::Check(cal.Data().NumCalQuads >= 3 && cal.Data().NumCalQuads <= kMaxCalQuads,
              "points beyond the capacity");
  fuzz::Check(map.ImageName == file.string(), "the image is not the file itself");
  const double w = cal.ImageWidth(), h = cal.ImageHeight();
  for (const auto& [x, y] : {std::pair{w / 2, h / 2}, {0.0, 0.0}, {w, h}}) {
    const TPixelPosition p = cal.PixelToGeo(x, y);
    fuzz::Check(std::isfinite(p.Latit) && std::isfinite(p.Longit), "a position not finite");
    double px = 0, py = 0;
    if (p.Valid() && cal.GeoToPixelExact(p.Latit, p.Longit, px, py))
      fuzz::Check(std::isfinite(px) && std::isfinite(py), "a pixel not finite");
  }
  return 0;
}
