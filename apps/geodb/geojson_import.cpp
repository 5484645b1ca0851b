// GeoJSON features into database items.
#include <cmath>

#include "importexport.h"
#include "json.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/strutils.h"

namespace geodbtool {

using namespace marovia;

namespace {

class GeoJsonImporter {
 public:
  GeoJsonImporter(TGeoDB& db, const ImportOptions& opt) : db_(db), opt_(opt), now_(Now()) {}

  void Root(const JsonValue& v) {
    const std::string type = TypeOf(v, "the document");
    if (type == "FeatureCollection") {
      const JsonValue* features = v.Find("features");
      if (!features || !features->IsArray()) Fail("FeatureCollection without a 'features' array");
      for (size_t i = 0; i < features->array.size(); ++i) {
        where_ = std::string("feature ") + std::to_string(i + 1);
        Feature(features->array[i]);
      }
    } else if (type == "Feature") {
      where_ = "the feature";
      Feature(v);
    } else {
      where_ = "the geometry";
      Properties none;
      Geometry(v, none);
    }
  }

  ImportReport report;

 private:
  struct Properties {
    std::string name;
    bool hasKind = false;
    TgdbItem kind = gitUndefined;
    uint8_t cls = 0;
    int32_t tag = 0;
    int32_t state = 0;
    bool hasAltitude = false;
    float altitude = 0;
  };

  [[noreturn]] void Fail(const std::string& what) const {
    throw ImportError("GeoJSON, " + where_ + ": " + what);
  }

  std::string TypeOf(const JsonValue& v, const char* what) const {
    const JsonValue* t = v.Find("type");
    if (!t || !t->IsString()) Fail(std::string(what) + " has no \"type\"");
    return t->string;
  }

  double Integer(const JsonValue& v, const char* name, double lo, double hi) const {
    if (!v.IsNumber() || v.number != std::floor(v.number) || v.number < lo || v.number > hi)
      Fail(std::string("property \"") + name + "\" must be an integer in " + FloatToStr(lo) + ".." +
           FloatToStr(hi));
    return v.number;
  }

  // Altitudes are stored as singles; a number beyond their range has no
  // single to become (the conversion would be undefined), so the same bounds
  // as in the text format apply.
  float Altitude(double v) const {
    if (!(v >= -1e6 && v <= 1e6)) Fail("altitude " + FloatToStr(v) + " outside -1000000..1000000");
    return static_cast<float>(v);
  }

  void Feature(const JsonValue& f) {
    if (TypeOf(f, "a feature") != "Feature") Fail("a member of 'features' is not a Feature");
    Properties p;
    if (const JsonValue* props = f.Find("properties"); props && props->IsObject()) {
      if (const JsonValue* n = props->Find("name"); n && n->IsString()) p.name = n->string;
      if (const JsonValue* k = props->Find("kind"); k && k->IsString())
        p.hasKind = KindFromName(k->string, p.kind);
      if (const JsonValue* c = props->Find("class"); c && !c->IsNull())
        p.cls = static_cast<uint8_t>(Integer(*c, "class", 0, 255));
      if (const JsonValue* t = props->Find("tag"); t && !t->IsNull())
        p.tag = static_cast<int32_t>(Integer(*t, "tag", INT32_MIN, INT32_MAX));
      if (const JsonValue* s = props->Find("state"); s && !s->IsNull())
        p.state = static_cast<int32_t>(Integer(*s, "state", INT32_MIN, INT32_MAX));
      if (const JsonValue* a = props->Find("altitude"); a && a->IsNumber()) {
        p.hasAltitude = true;
        p.altitude = Altitude(a->number);
      }
    }
    const JsonValue* g = f.Find("geometry");
    if (!g || g->IsNull()) {
      report.Warnings.push_back(where_ + " has no geometry: skipped");
      return;
    }
    Geometry(*g, p);
  }

  TSCoords Position(const JsonValue& v, float* altitude = nullptr) const {
    if (!v.IsArray() || v.array.size() < 2 || !v.array[0].IsNumber() || !v.array[1].IsNumber())
      Fail("a position must be an array [longitude, latitude]");
    const double lon = v.array[0].number, lat = v.array[1].number;
    if (!(lat >= -90 && lat <= 90) || !(lon >= -180 && lon <= 180))
      Fail(std::string("position [") + FloatToStr(lon) + ", " + FloatToStr(lat) +
           "] outside longitude -180..180, latitude -90..90");
    if (altitude && v.array.size() > 2 && v.array[2].IsNumber())
      *altitude = Altitude(v.array[2].number);
    return TSCoords{static_cast<float>(lat), static_cast<float>(lon)};
  }

  const JsonValue& Coordinates(const JsonValue& g) const {
    const JsonValue* c = g.Find("coordinates");
    if (!c || !c->IsArray()) Fail("geometry without a 'coordinates' array");
    return *c;
  }

  TgdbPolygon Line(const JsonValue& v) const {
    if (!v.IsArray()) Fail("a line must be an array of positions");
    TgdbPolygon poly;
    poly.reserve(v.array.size());
    for (const auto& pos : v.array) poly.push_back(Position(pos));
    return poly;
  }

  static bool SamePoint(const TSCoords& a, const TSCoords& b) {
    return a.Latit == b.Latit && a.Longit == b.Longit;
  }

  void Town(const JsonValue& pos, const Properties& p) {
    float alt = p.altitude;
    const TSCoords at = Position(pos, p.hasAltitude ? nullptr : &alt);
    db_.AddTown(p.name, now_, p.state, at, alt, p.cls, p.tag);
    ++report.Towns;
  }

  void Item(TgdbPolygon poly, bool closed, TgdbItem defaultKind, const Properties& p) {
    const TgdbItem kind = p.hasKind && IsPolygonKind(p.kind) ? p.kind : defaultKind;
    // Kinds that keep a closed flag store a ring without its repeated first
    // point; rivers, roads and routes are open lines and keep every point.
    const bool keepsFlag = kind == gitBorder || kind == gitCity || kind == gitLake;
    if (keepsFlag && poly.size() > 1 && SamePoint(poly.front(), poly.back())) {
      poly.pop_back();
      closed = true;
    }
    const float a = p.altitude;
    switch (kind) {
      case gitBorder:
        db_.AddBorder(p.name, poly, closed, now_, p.state, 0, 0, 0, 0, a, p.cls, p.tag);
        break;
      case gitCity:
        db_.AddCity(p.name, poly, closed, now_, p.state, 0, 0, 0, 0, a, p.cls, p.tag);
        break;
      case gitLake:
        db_.AddLake(p.name, poly, now_, p.state, 0, 0, 0, 0, a, p.cls, p.tag);
        break;
      case gitRiver:
        db_.AddRiver(p.name, poly, now_, p.state, 0, 0, 0, 0, a, p.cls, p.tag);
        break;
      case gitRoute:
        db_.AddRoute(p.name, poly, now_, p.state, 0, 0, 0, 0, a, p.cls, p.tag);
        break;
      default:
        db_.AddRoad(p.name, poly, now_, p.state, 0, 0, 0, 0, a, p.cls, p.tag);
        break;
    }
    ++report.Polygons;
  }

  void PolygonRings(const JsonValue& rings, const Properties& p) {
    if (!rings.IsArray() || rings.array.empty()) Fail("a Polygon needs at least one ring");
    if (rings.array.size() > 1)
      report.Warnings.push_back(where_ + ": " + std::to_string(rings.array.size() - 1) +
                                " hole(s) dropped");
    Item(Line(rings.array[0]), true, opt_.PolygonKind, p);
  }

  void Geometry(const JsonValue& g, const Properties& p, int depth = 0) {
    const std::string type = TypeOf(g, "a geometry");
    if (type == "GeometryCollection") {
      const JsonValue* gs = g.Find("geometries");
      if (!gs || !gs->IsArray()) Fail("GeometryCollection without 'geometries'");
      if (depth > 16) Fail("GeometryCollections nested too deep");
      for (const auto& sub : gs->array) Geometry(sub, p, depth + 1);
      return;
    }
    const JsonValue& c = Coordinates(g);
    if (type == "Point") {
      Town(c, p);
    } else if (type == "MultiPoint") {
      for (const auto& pos : c.array) Town(pos, p);
    } else if (type == "LineString") {
      Item(Line(c), false, opt_.LineKind, p);
    } else if (type == "MultiLineString") {
      for (const auto& line : c.array) Item(Line(line), false, opt_.LineKind, p);
    } else if (type == "Polygon") {
      PolygonRings(c, p);
    } else if (type == "MultiPolygon") {
      for (const auto& rings : c.array) PolygonRings(rings, p);
    } else {
      Fail("unknown geometry type '" + type + "'");
    }
  }

  TGeoDB& db_;
  ImportOptions opt_;
  TDateTime now_;
  std::string where_ = "the document";
};

}  // namespace

ImportReport ImportGeoJson(TGeoDB& Db, std::string_view Text, const ImportOptions& Options) {
  JsonValue doc;
  try {
    doc = ParseJson(Text);
  } catch (const JsonError& e) {
    throw ImportError(e.what());
  }
  GeoJsonImporter imp(Db, Options);
  imp.Root(doc);
  return imp.report;
}

}  // namespace geodbtool
