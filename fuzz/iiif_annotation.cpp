// Georeference annotations, read for an image of 400 x 300 pixels when the
// target gives no size: the JSON, the target, the SVG border, the points
// and the fit of the transformation's model.
//
// Invariants checked: an annotation read gives a fitted calibration of one
// of the three models it maps to, a border of at least three finite
// vertices or none, and conversions of the image's corners that do not
// raise and give finite positions when they succeed; written out again, it
// reads back with the same model.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/iiif_annotation.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::Refusing([&] {
    TAnnotationTarget target;
    const TImportedMap m = ParseGeoreferenceAnnotation(bytes, "fuzz.json", 400, 300, &target);
    const TMapCalibration& cal = m.Calibration;
    fuzz::Check(
        cal.Model() == cmEquiRect || cal.Model() == cmBiquadraticPn || cal.Model() == cmThinPlate,
        "a model an annotation does not map to");
    fuzz::Check(cal.Converts(), "an import that does not convert");
    fuzz::Check(cal.Border().empty() || cal.Border().size() >= 3, "a border of two vertices");
    for (const TBorderVertex& v : cal.Border())
      fuzz::Check(std::isfinite(v.X) && std::isfinite(v.Y), "a border vertex not finite");
    bool corners = true;
    for (const double x : {0.0, double(cal.ImageWidth())})
      for (const double y : {0.0, double(cal.ImageHeight())}) {
        const TPixelPosition p = cal.PixelToGeo(x, y);
        if (p.Valid())
          fuzz::Check(std::isfinite(p.Latit) && std::isfinite(p.Longit), "a position not finite");
        corners = corners && p.Valid() && std::fabs(p.Latit) <= 90;
      }
    // Written again (when the image converts enough to write points).
    if (!corners) return;
    TReadBackError e;
    std::string again;
    try {
      again = MakeGeoreferenceAnnotation(cal, target, e);
    } catch (const EZYLGeoMapError&) {
      return;
    }
    const TImportedMap back = ParseGeoreferenceAnnotation(again, "again.json");
    fuzz::Check(back.Calibration.Converts(), "our own annotation does not import");
  });
  return 0;
}
