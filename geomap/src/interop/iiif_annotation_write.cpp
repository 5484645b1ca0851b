// Georeference annotations written: the calibration's points with the
// transformation that names its model, else the points and transformation
// whose read-back strays least (see iiif_annotation.h).
#include <cmath>
#include <cstdio>
#include <functional>

#include "interop/iiif_annotation_support.h"
#include "interop/interop_support.h"
#include "interop/read_back.h"
#include "marovia/geomap/iiif_annotation.h"

namespace marovia {

using namespace interop;

namespace {

// One way of writing the calibration: points and the transformation.
struct TCandidate {
  std::vector<TGroundPoint> Points;
  TAnnotationTransform Transform;
};

// The candidates in the order of preference: the model's own first (exact
// when it is one the annotation names), then grids of sampled points with
// each transformation.
std::vector<TCandidate> Candidates(const TMapCalibration& Cal) {
  std::vector<TCandidate> c;
  const bool own = Cal.Data().NumCalQuads >= 3 && Cal.Model() != cmUTM &&
                   Cal.Model() != cmParabolicIp && Cal.Model() != cmUndefined;
  if (own) {
    const std::vector<TGroundPoint> points = CalibrationPoints(Cal);
    if (Cal.Model() == cmEquiRect) c.push_back({points, {1, false}});
    if (Cal.Model() == cmBiquadraticPn) c.push_back({points, {2, false}});
    if (Cal.Model() == cmThinPlate) c.push_back({points, {0, true}});
  }
  for (int order = 1; order <= 3; ++order)
    for (bool crowded : {false, true}) c.push_back({GridLayout(Cal, 6, crowded), {order, false}});
  for (int n : {6, 10, 16}) c.push_back({GridLayout(Cal, n, false), {0, true}});
  return c;
}

std::string Escaped(const std::string& Text) {
  std::string s;
  for (const char ch : Text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      s += '\\';
      s += ch;
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      s += b;
    } else {
      s += ch;
    }
  }
  return s;
}

// A number for the SVG polygon: plain decimals, at most three places.
std::string SvgNumber(double V) {
  char b[64];
  std::snprintf(b, sizeof b, "%.3f", V);
  std::string s = b;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

}  // namespace

std::string MakeGeoreferenceAnnotation(const TMapCalibration& Cal, const TAnnotationTarget& Target,
                                       TReadBackError& ReadBack) {
  if (!Cal.Converts()) throw EZYLGeoMapError("the calibration is not fitted; nothing to write");
  bool found = false;
  TCandidate best;
  for (TCandidate& c : Candidates(Cal)) {
    if (c.Points.size() < static_cast<std::size_t>(TransformMinPoints(c.Transform))) continue;
    TAnnotationReader reader(c.Points, c.Transform, Cal.ImageWidth(), Cal.ImageHeight());
    if (!reader.Ok()) continue;
    TReadBackError e = MeasureReadBack(
        Cal, [&](double x, double y, double& lat, double& lon) { return reader(x, y, lat, lon); });
    e.How = TransformName(c.Transform) + " through " + std::to_string(c.Points.size()) + " points";
    if (!found || BetterReadBack(e, ReadBack)) {
      ReadBack = e;
      best = std::move(c);
      found = true;
    }
    if (ReadBack.Exact) break;
  }
  if (!found)
    throw EZYLGeoMapError("the calibration converts too few pixels of the image to write points");

  const std::string w = std::to_string(Cal.ImageWidth()), h = std::to_string(Cal.ImageHeight());
  std::vector<TBorderVertex> border = Cal.Border();
  if (border.size() < 3) {
    const double iw = Cal.ImageWidth(), ih = Cal.ImageHeight();
    border = {{0, 0}, {iw, 0}, {iw, ih}, {0, ih}};
  }
  std::string polygon;
  for (const TBorderVertex& v : border)
    polygon += (polygon.empty() ? "" : " ") + SvgNumber(v.X) + "," + SvgNumber(v.Y);
  const std::string svg = "<svg width=\\\"" + w + "\\\" height=\\\"" + h +
                          "\\\"><polygon points=\\\"" + polygon + "\\\" /></svg>";
  std::string j;
  j += "{\n  \"@context\": [\"http://iiif.io/api/extension/georef/1/context.json\", "
       "\"http://iiif.io/api/presentation/3/context.json\"],\n";
  j += "  \"type\": \"Annotation\",\n  \"motivation\": \"georeferencing\",\n";
  j += "  \"target\": {\n    \"type\": \"SpecificResource\",\n";
  j += "    \"source\": {\"id\": \"" + Escaped(Target.Id) + "\", \"type\": \"" +
       Escaped(Target.Type) + "\", \"width\": " + w + ", \"height\": " + h + "},\n";
  j += "    \"selector\": {\"type\": \"SvgSelector\", \"value\": \"" + svg + "\"}\n  },\n";
  j += "  \"body\": {\n    \"type\": \"FeatureCollection\",\n";
  j += "    \"transformation\": " +
       std::string(best.Transform.ThinPlate
                       ? "{\"type\": \"thinPlateSpline\"}"
                       : "{\"type\": \"polynomial\", \"options\": {\"order\": " +
                             std::to_string(best.Transform.Order) + "}}") +
       ",\n    \"features\": [";
  for (std::size_t i = 0; i < best.Points.size(); ++i) {
    const TGroundPoint& p = best.Points[i];
    j += std::string(i ? "," : "") +
         "\n      {\"type\": \"Feature\", \"properties\": " + "{\"resourceCoords\": [" +
         FormatNumber(p.X) + ", " + FormatNumber(p.Y) +
         "]}, \"geometry\": {\"type\": \"Point\", \"coordinates\": [" + FormatNumber(p.Lon) + ", " +
         FormatNumber(p.Lat) + "]}}";
  }
  j += "\n    ]\n  }\n}\n";
  return j;
}

TReadBackError ExportGeoreferenceAnnotation(const TMapCalibration& Cal, const std::string& FileName,
                                            const TAnnotationTarget& Target) {
  TReadBackError e;
  std::string text;
  try {
    text = MakeGeoreferenceAnnotation(Cal, Target, e);
  } catch (const EZYLGeoMapError& x) {
    throw EZYLGeoMapError(FileName + ": " + x.what());
  }
  WriteFileReplacing(FileName, text);
  return e;
}

}  // namespace marovia
