// Georeference annotations read: the target's image and size, the border
// from the SVG selector, the points and the transformation into the model
// that converts as a reader of the annotation does (see iiif_annotation.h).
#include <algorithm>
#include <cctype>
#include <cmath>

#include "interop/iiif_annotation_support.h"
#include "interop/interop_support.h"
#include "marovia/geomap/iiif_annotation.h"
#include "marovia/platform/files.h"
#include "tracks/json_scanner.h"

namespace marovia {

using namespace interop;
using tracks::TJsonScanner;
using TSpan = TJsonScanner::TSpan;

namespace {

constexpr std::size_t kMaxPoints = 10000;
constexpr std::size_t kMaxBorderVertices = 4096;
constexpr double kMaxImageSide = 2e9;
// The grid of a cubic polynomial's spline: a few hundredths of a pixel
// between its nodes on a strongly warped map, far less on most.
constexpr int kCubicGrid = 24;

class TAnnotationParser {
 public:
  TAnnotationParser(std::string_view Text, const std::string& FileName)
      : json_(Text, FileName), file_(FileName) {}

  TImportedMap Parse(int32_t Width, int32_t Height, TAnnotationTarget& Target) {
    TSpan root = json_.Validate();
    if (root.Kind != '{') json_.Fail(root.Begin, "an annotation is a JSON object");
    if (StringMember(root, "type") == "AnnotationPage") {
      const TSpan items = Need(root, "items", '[');
      TSpan first;
      json_.Elements(items, [&](TSpan v) {
        if (first.Kind == 0) first = v;
      });
      if (first.Kind != '{') json_.Fail(items.Begin, "the page holds no annotation");
      root = first;
    }
    const std::string type = StringMember(root, "type");
    if (type != "Annotation")
      json_.Fail(root.Begin, "not an annotation (its type is \"" + type.substr(0, 40) + "\")");
    const TSpan motivation = json_.Member(root, "motivation");
    if (motivation.Kind != 0 &&
        (motivation.Kind != '"' || json_.String(motivation) != "georeferencing"))
      json_.Fail(motivation.Begin, "the motivation is not \"georeferencing\"");

    const TSpan target = Need(root, "target", '{');
    const TSpan source = Need(target, "source", '{');
    Target.Id = StringMember(source, "id");
    if (Target.Id.empty()) Target.Id = StringMember(source, "@id");
    Target.Type = StringMember(source, "type");
    if (Target.Id.empty()) json_.Fail(source.Begin, "the target's source has no id");
    const double w = OptionalNumber(source, "width"), h = OptionalNumber(source, "height");
    if (w != 0 || h != 0) {
      if (!(w >= 1 && w <= kMaxImageSide && h >= 1 && h <= kMaxImageSide) || w != std::floor(w) ||
          h != std::floor(h))
        json_.Fail(source.Begin, "the image's width and height are not whole numbers of pixels");
      Width = static_cast<int32_t>(w);
      Height = static_cast<int32_t>(h);
    }
    if (Width <= 0 || Height <= 0)
      json_.Fail(source.Begin, "the target gives no image size and there is no image to read it");
    std::vector<TBorderVertex> border;
    const TSpan selector = json_.Member(target, "selector");
    if (selector.Kind == '{' && StringMember(selector, "type") == "SvgSelector")
      border = Polygon(Need(selector, "value", '"'));

    const TSpan body = Need(root, "body", '{');
    if (StringMember(body, "type") != "FeatureCollection")
      json_.Fail(body.Begin, "the body is not a GeoJSON FeatureCollection");
    const TAnnotationTransform transform = Transformation(body);
    const TSpan features = Need(body, "features", '[');
    std::vector<TGroundPoint> points;
    json_.Elements(features, [&](TSpan f) {
      if (points.size() == kMaxPoints) json_.Fail(f.Begin, "more than 10000 control points");
      points.push_back(Point(f));
    });
    if (points.size() < static_cast<std::size_t>(TransformMinPoints(transform)))
      json_.Fail(features.Begin, TransformName(transform) + " needs at least " +
                                     std::to_string(TransformMinPoints(transform)) +
                                     " control points, the annotation has " +
                                     std::to_string(points.size()));
    TImportedMap result{Calibrate(points, transform, Width, Height), Target.Id};
    bool outline = true;
    for (const TBorderVertex& v : border)
      outline = outline && (v.X == 0 || v.X == Width) && (v.Y == 0 || v.Y == Height);
    if (!outline && border.size() >= 3) result.Calibration.SetBorder(border);
    return result;
  }

 private:
  TSpan Need(TSpan Object, const char* Key, char Kind) {
    const TSpan v = json_.Member(Object, Key);
    if (v.Kind == 0) json_.Fail(Object.Begin, std::string("no \"") + Key + "\" here");
    if (v.Kind != Kind)
      json_.Fail(v.Begin, std::string("\"") + Key + "\" is not " +
                              (Kind == '{'   ? "an object"
                               : Kind == '[' ? "an array"
                                             : "a string"));
    return v;
  }

  std::string StringMember(TSpan Object, const char* Key) {
    const TSpan v = json_.Member(Object, Key);
    if (v.Kind == 0) return std::string();
    if (v.Kind != '"') json_.Fail(v.Begin, std::string("\"") + Key + "\" is not a string");
    return json_.String(v);
  }

  double Number(TSpan V, const char* What) {
    double d = 0;
    if (V.Kind != '0' || !json_.Number(V, d) || !std::isfinite(d))
      json_.Fail(V.Begin, std::string(What) + " is not a finite number");
    return d;
  }

  double OptionalNumber(TSpan Object, const char* Key) {
    const TSpan v = json_.Member(Object, Key);
    return v.Kind == 0 ? 0 : Number(v, Key);
  }

  // Two numbers of an array [a, b] (more are ignored, as GeoJSON allows).
  std::array<double, 2> Pair(TSpan V, const char* What) {
    if (V.Kind != '[') json_.Fail(V.Begin, std::string(What) + " is not an array of two numbers");
    std::array<double, 2> r{};
    int n = 0;
    json_.Elements(V, [&](TSpan e) {
      if (n < 2) r[static_cast<std::size_t>(n)] = Number(e, What);
      ++n;
    });
    if (n < 2) json_.Fail(V.Begin, std::string(What) + " has fewer than two numbers");
    return r;
  }

  TGroundPoint Point(TSpan F) {
    if (F.Kind != '{') json_.Fail(F.Begin, "a feature is not an object");
    const TSpan properties = Need(F, "properties", '{');
    const TSpan geometry = Need(F, "geometry", '{');
    if (StringMember(geometry, "type") != "Point")
      json_.Fail(geometry.Begin, "a control point's geometry is not a Point");
    TSpan resource = json_.Member(properties, "resourceCoords");
    if (resource.Kind == 0) resource = json_.Member(properties, "pixelCoords");  // older files
    if (resource.Kind == 0) json_.Fail(properties.Begin, "no \"resourceCoords\" here");
    const auto px = Pair(resource, "resourceCoords");
    const auto geo = Pair(Need(geometry, "coordinates", '['), "the point's coordinates");
    if (!(std::fabs(geo[1]) <= 90 && std::fabs(geo[0]) <= 360) || std::fabs(px[0]) > 1e10 ||
        std::fabs(px[1]) > 1e10)
      json_.Fail(geometry.Begin, "the control point lies outside the globe or the image plane");
    TGroundPoint p;
    p.X = px[0];
    p.Y = px[1];
    p.Lon = geo[0];
    p.Lat = geo[1];
    return p;
  }

  TAnnotationTransform Transformation(TSpan Body) {
    const TSpan t = json_.Member(Body, "transformation");
    TAnnotationTransform r;
    if (t.Kind == 0) return r;  // readers take polynomial order 1 by default
    if (t.Kind != '{') json_.Fail(t.Begin, "\"transformation\" is not an object");
    const std::string type = StringMember(t, "type");
    if (type == "thinPlateSpline") {
      r.ThinPlate = true;
    } else if (type == "polynomial") {
      const TSpan options = json_.Member(t, "options");
      if (options.Kind == '{') {
        const TSpan order = json_.Member(options, "order");
        if (order.Kind != 0) {
          const double o = Number(order, "the polynomial's order");
          if (o != 1 && o != 2 && o != 3)
            json_.Fail(order.Begin, "the polynomial's order is not 1, 2 or 3");
          r.Order = static_cast<int>(o);
        }
      }
    } else if (type == "polynomial1" || type == "polynomial2" || type == "polynomial3") {
      r.Order = type.back() - '0';
    } else {
      json_.Fail(t.Begin, "the transformation \"" + type.substr(0, 40) +
                              "\" has no model here (polynomial of order 1 to 3 or "
                              "thinPlateSpline)");
    }
    return r;
  }

  // The vertices of the SVG's polygon points="x,y x,y ...".
  std::vector<TBorderVertex> Polygon(TSpan Value) {
    const std::string svg = json_.String(Value);
    const std::size_t at = svg.find("points=");
    if (at == std::string::npos || at + 8 > svg.size())
      json_.Fail(Value.Begin, "the SVG selector holds no polygon points");
    const char quote = svg[at + 7];
    const std::size_t end = svg.find(quote, at + 8);
    if ((quote != '"' && quote != '\'') || end == std::string::npos)
      json_.Fail(Value.Begin, "the SVG polygon's points are not quoted");
    std::string list = svg.substr(at + 8, end - at - 8);
    std::replace(list.begin(), list.end(), ',', ' ');
    std::vector<double> numbers;
    for (const std::string& field : SplitFields(list, ' ')) {
      if (field.empty()) continue;
      const auto v = ParseNumber(field);
      if (!v || std::fabs(*v) > 1e10)
        json_.Fail(Value.Begin,
                   "the SVG polygon holds \"" + field.substr(0, 20) + "\", which is no coordinate");
      if (numbers.size() == 2 * kMaxBorderVertices)
        json_.Fail(Value.Begin, "the SVG polygon has too many vertices");
      numbers.push_back(*v);
    }
    if (numbers.size() % 2 != 0 || numbers.size() < 6)
      json_.Fail(Value.Begin, "the SVG polygon needs at least three x,y pairs");
    std::vector<TBorderVertex> border;
    for (std::size_t i = 0; i < numbers.size(); i += 2)
      border.push_back({numbers[i], numbers[i + 1]});
    return border;
  }

  TMapCalibration Calibrate(const std::vector<TGroundPoint>& Points, const TAnnotationTransform& T,
                            int32_t Width, int32_t Height) {
    TCalibModel model = T.ThinPlate ? cmThinPlate : T.Order == 1 ? cmEquiRect : cmBiquadraticPn;
    std::vector<TGroundPoint> points = Points;
    if (!T.ThinPlate && T.Order == 3) {
      // No model here is a cubic: a spline through a dense grid of it.
      const TAnnotationReader cubic(Points, T, Width, Height);
      if (!cubic.Ok()) Refuse("the points determine no third-order polynomial");
      points.clear();
      for (int j = 0; j < kCubicGrid; ++j)
        for (int i = 0; i < kCubicGrid; ++i) {
          TGroundPoint p;
          p.X = Width * i / (kCubicGrid - 1.0);
          p.Y = Height * j / (kCubicGrid - 1.0);
          cubic(p.X, p.Y, p.Lat, p.Lon);
          if (std::fabs(p.Lat) <= 90) points.push_back(p);
        }
      model = cmThinPlate;
    }
    TMapCalibration cal = FittedModel(model, points, TPointFrame{}, 1, Width, Height, file_);
    if (!cal.Converts())
      Refuse("the control points determine no calibration" +
             (cal.FitMessage().empty() ? std::string() : ": " + cal.FitMessage()));
    return cal;
  }

  [[noreturn]] void Refuse(const std::string& Why) { throw EZYLGeoMapError(file_ + ": " + Why); }

  TJsonScanner json_;
  std::string file_;
};

// The image of a target: a relative or file: URI beside the annotation, or
// for a service an image named like its last segment.
std::string ImageOfTarget(const std::string& FileName, const TAnnotationTarget& Target) {
  std::string id = Target.Id;
  const std::string folder = ExtractFilePath(FileName);
  auto decoded = [](const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
          std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
        r += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        r += s[i];
      }
    }
    return r;
  };
  const std::size_t scheme = id.find("://");
  if (id.rfind("file://", 0) == 0) return decoded(id.substr(7));
  if (scheme == std::string::npos) {
    const std::string path = decoded(id);
    if (path.find("..") != std::string::npos && Target.Type != "Image") return std::string();
    return !path.empty() && path[0] == '/' ? path : folder + path;
  }
  // A service or canvas: an image beside the annotation named like the
  // id's last segment (without a trailing info.json).
  while (!id.empty() && id.back() == '/') id.pop_back();
  if (id.size() > 10 && id.substr(id.size() - 10) == "/info.json") id.resize(id.size() - 10);
  std::string stem = decoded(id.substr(id.find_last_of('/') + 1));
  if (stem.empty() || stem.find("..") != std::string::npos) return std::string();
  for (const char* ext : {".jpg", ".jpeg", ".png", ".tif", ".tiff"})
    if (FileExists(folder + stem + ext)) return folder + stem + ext;
  return std::string();
}

}  // namespace

TImportedMap ParseGeoreferenceAnnotation(std::string_view Bytes, const std::string& FileName,
                                         int32_t Width, int32_t Height, TAnnotationTarget* Target) {
  if (Bytes.size() > kMaxExchangeFileBytes * 4)
    throw EZYLGeoMapError(FileName + ": too long for an annotation");
  TAnnotationTarget target;
  TAnnotationParser parser(Bytes, FileName);
  TImportedMap m = parser.Parse(Width, Height, target);
  if (Target) *Target = target;
  return m;
}

TImportedMap ImportGeoreferenceAnnotation(const std::string& FileName) {
  std::string bytes;
  for (const std::string& line : ReadLines(FileName)) bytes += line + "\n";
  // The size comes from the target, else from the image: read the target
  // first without a size, and again with the image's when it has none.
  TAnnotationTarget target;
  TImportedMap m;
  int32_t width = 0, height = 0;
  try {
    m = ParseGeoreferenceAnnotation(bytes, FileName, 0, 0, &target);
  } catch (const EZYLGeoMapError& e) {
    if (std::string(e.what()).find("gives no image size") == std::string::npos) throw;
    // The target's id is needed to find the image; a size of 1 x 1 reads it.
    ParseGeoreferenceAnnotation(bytes, FileName, 1, 1, &target);
    const std::string image = ImageOfTarget(FileName, target);
    if (image.empty() || !FileExists(image))
      throw EZYLGeoMapError(FileName + ": the target gives no image size and its image " +
                            (image.empty() ? target.Id : image) + " is not beside it");
    ImageSize(image, FileName, width, height);
    m = ParseGeoreferenceAnnotation(bytes, FileName, width, height, &target);
  }
  m.ImageName = ImageOfTarget(FileName, target);
  if (m.ImageName.empty() || !FileExists(m.ImageName))
    throw EZYLGeoMapError(FileName + ": the annotation's image is not there (" +
                          (m.ImageName.empty() ? "looked beside it for an image named like " +
                                                     target.Id.substr(0, 200)
                                               : m.ImageName) +
                          ")");
  m.Calibration.Data().MapFName = ExtractFileName(m.ImageName);
  m.Calibration.Data().Caption = ExtractFileName(ChangeFileExt(FileName, ""));
  return m;
}

bool IsGeoreferenceAnnotation(std::string_view Head) {
  const std::size_t start = Head.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (start == std::string_view::npos || Head[start] != '{') return false;
  return Head.find("\"georeferencing\"") != std::string_view::npos ||
         Head.find("iiif.io/api/extension/georef") != std::string_view::npos;
}

}  // namespace marovia
