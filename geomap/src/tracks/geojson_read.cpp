// GeoJSON (RFC 7946): a FeatureCollection, a Feature or a bare geometry.
//
//   Point, MultiPoint            waypoints
//   LineString, MultiLineString  one track per feature, a segment per line;
//                                point times from the property
//                                "coordTimes" (an array of times, or an
//                                array of such arrays for several lines)
//   Polygon, MultiPolygon        one polygon shape per feature; each
//                                polygon's first ring its outline, the
//                                others holes
//   GeometryCollection           its geometries, nested up to
//                                kMaxCollectionDepth
// Positions are [longitude, latitude] or [longitude, latitude, elevation]
// (further numbers are ignored). Properties: "name"; "description" or
// "desc"; "cmt"; "type"; "time" and "sym" (symbol) of points; the simplestyle members set the
// style; every other property is kept in Extras (a string as it is, any
// other value as its JSON text). A feature without a geometry, or with a
// null one, gives nothing.
#include "marovia/geomap/track_files.h"
#include "marovia/platform/strutils.h"
#include "tracks/json_scanner.h"
#include "tracks/track_style.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

using TSpan = TJsonScanner::TSpan;

constexpr int kMaxCollectionDepth = 16;

class TGeoJsonReader {
 public:
  TGeoJsonReader(std::string_view Text, const std::string& FileName) : j_(Text, FileName) {
    data_.Source = FileName;
    data_.Format = "GeoJSON";
  }

  TTrackData Read() {
    const TSpan root = j_.Validate();
    if (root.Kind != '{') j_.Fail(root.Begin, "a GeoJSON text is an object");
    const TMembers members = MembersOf(root);
    const std::string type = TypeOf(root, members);
    if (type == "FeatureCollection") {
      const TSpan features = members.Features;
      if (features.Kind != '[') j_.Fail(root.Begin, "a FeatureCollection without a features array");
      j_.Elements(features, [&](TSpan f) {
        if (f.Kind != '{') j_.Fail(f.Begin, "a feature is an object");
        ReadFeature(f);
      });
    } else if (type == "Feature") {
      ReadFeature(root);
    } else {
      TFeature feature;
      ReadGeometry(root, feature, 0);
      Emit(feature);
    }
    return std::move(data_);
  }

 private:
  // What one feature gives, before it becomes waypoints, a track, a shape.
  struct TFeature {
    TFeatureInfo Info;
    std::string Symbol;
    double Time = kNoValue;
    TSpan CoordTimes;
    std::vector<TWaypoint> Points;
    TTrack Lines;
    TShape Polygons;
  };

  // The members of an object that the reader needs, found in one pass
  // (coordinates are long: each pass over an object scans them again).
  struct TMembers {
    TSpan Type, Coordinates, Geometries, Geometry, Properties, Features;
  };
  TMembers MembersOf(TSpan Object) {
    TMembers m;
    j_.Members(Object, [&](const std::string& Key, TSpan V) {
      TSpan* slot = Key == "type"          ? &m.Type
                    : Key == "coordinates" ? &m.Coordinates
                    : Key == "geometries"  ? &m.Geometries
                    : Key == "geometry"    ? &m.Geometry
                    : Key == "properties"  ? &m.Properties
                    : Key == "features"    ? &m.Features
                                           : nullptr;
      if (slot && slot->Kind == 0) *slot = V;
    });
    return m;
  }

  std::string TypeOf(TSpan Object, const TMembers& M) {
    if (M.Type.Kind != '"') j_.Fail(Object.Begin, "an object without a \"type\" string");
    return j_.String(M.Type);
  }

  // A position: [lon, lat] or [lon, lat, ele, ...].
  void Position(TSpan P, double& Lat, double& Lon, double& Ele) {
    if (P.Kind != '[') j_.Fail(P.Begin, "a position is an array of numbers");
    double v[3] = {0, 0, kNoValue};
    int count = 0;
    j_.Elements(P, [&](TSpan n) {
      double x;
      if (!j_.Number(n, x)) j_.Fail(n.Begin, "a coordinate " + Quoted(j_.Raw(n)) + " is no number");
      if (count < 3) v[count] = x;
      ++count;
    });
    if (count < 2) j_.Fail(P.Begin, "a position needs a longitude and a latitude");
    if (const std::string why = PositionProblem(v[1], v[0]); !why.empty()) j_.Fail(P.Begin, why);
    Lon = v[0];
    Lat = v[1];
    Ele = v[2];
  }

  // An array of positions appended to the point columns.
  TPointRange Line(TSpan A) {
    if (A.Kind != '[') j_.Fail(A.Begin, "a line's coordinates are an array of positions");
    TPointRange r{data_.Points.Size(), 0};
    j_.Elements(A, [&](TSpan p) {
      double lat, lon, ele;
      Position(p, lat, lon, ele);
      data_.Points.Append(lat, lon, ele);
    });
    r.End = data_.Points.Size();
    return r;
  }

  void Polygon(TSpan Rings, TShape& S) {
    if (Rings.Kind != '[') j_.Fail(Rings.Begin, "a polygon's coordinates are an array of rings");
    bool first = true;
    j_.Elements(Rings, [&](TSpan ring) {
      S.Parts.push_back({Line(ring), !first});
      first = false;
    });
  }

  void ReadGeometry(TSpan G, TFeature& F, int Depth) {
    if (G.Kind == 'n') return;  // null: a feature without a place
    if (G.Kind != '{') j_.Fail(G.Begin, "a geometry is an object");
    if (Depth > kMaxCollectionDepth)
      j_.Fail(G.Begin,
              "geometry collections nested deeper than " + std::to_string(kMaxCollectionDepth));
    const TMembers members = MembersOf(G);
    const std::string type = TypeOf(G, members);
    if (type == "GeometryCollection") {
      const TSpan list = members.Geometries;
      if (list.Kind != '[') j_.Fail(G.Begin, "a GeometryCollection without a geometries array");
      j_.Elements(list, [&](TSpan g) { ReadGeometry(g, F, Depth + 1); });
      return;
    }
    const TSpan c = members.Coordinates;
    if (c.Kind != '[') j_.Fail(G.Begin, "a " + type + " without a coordinates array");
    auto point = [&](TSpan p) {
      TWaypoint w;
      Position(p, w.Lat, w.Lon, w.Ele);
      F.Points.push_back(std::move(w));
    };
    if (type == "Point") {
      point(c);
    } else if (type == "MultiPoint") {
      j_.Elements(c, point);
    } else if (type == "LineString") {
      F.Lines.Segments.push_back(Line(c));
    } else if (type == "MultiLineString") {
      j_.Elements(c, [&](TSpan l) { F.Lines.Segments.push_back(Line(l)); });
    } else if (type == "Polygon") {
      Polygon(c, F.Polygons);
    } else if (type == "MultiPolygon") {
      j_.Elements(c, [&](TSpan p) { Polygon(p, F.Polygons); });
    } else {
      j_.Fail(G.Begin, "the geometry type " + Quoted(type) + " is not GeoJSON");
    }
  }

  void ReadProperties(TSpan P, TFeature& F) {
    if (P.Kind == 'n' || P.Kind == 0) return;
    if (P.Kind != '{') j_.Fail(P.Begin, "properties are an object or null");
    j_.Members(P, [&](const std::string& Key, TSpan V) {
      const std::string text = V.Kind == '"' ? j_.String(V) : std::string(j_.Raw(V));
      if (Key == "coordTimes") {
        F.CoordTimes = V;
      } else if (Key == "name" && V.Kind == '"') {
        F.Info.Name = text;
      } else if ((Key == "description" || Key == "desc") && V.Kind == '"') {
        F.Info.Description = text;
      } else if (Key == "cmt" && V.Kind == '"') {
        F.Info.Comment = text;
      } else if (Key == "type" && V.Kind == '"') {
        F.Info.Type = text;
      } else if (Key == "sym" && V.Kind == '"') {
        F.Symbol = text;
      } else if (Key == "time" && V.Kind == '"' && ParseIsoTime(text, F.Time)) {
      } else if (!ApplySimpleStyle(F.Info.Style, Key, text)) {
        F.Info.Extras.emplace_back(Key, text);
      }
    });
  }

  // Times of a line's points from a coordTimes array of strings.
  void LineTimes(TSpan Times, TPointRange R) {
    std::size_t k = 0;
    j_.Elements(Times, [&](TSpan t) {
      double s;
      if (k < R.Size() && t.Kind == '"' && ParseIsoTime(j_.String(t), s))
        data_.Points.SetTime(R.Begin + k, s);
      ++k;
    });
    if (k != R.Size())
      data_.Note("line " + std::to_string(j_.LineOf(Times.Begin)) + ": " + std::to_string(k) +
                 " coordTimes for a line of " + std::to_string(R.Size()) + " points");
  }

  void ApplyCoordTimes(TFeature& F) {
    if (F.CoordTimes.Kind != '[' || F.Lines.Segments.empty()) return;
    // One array of strings for a single line, an array of arrays for several.
    bool nested = false;
    j_.Elements(F.CoordTimes, [&](TSpan t) { nested = nested || t.Kind == '['; });
    if (!nested) {
      LineTimes(F.CoordTimes, F.Lines.Segments.front());
      return;
    }
    std::size_t s = 0;
    j_.Elements(F.CoordTimes, [&](TSpan t) {
      if (t.Kind == '[' && s < F.Lines.Segments.size()) LineTimes(t, F.Lines.Segments[s]);
      ++s;
    });
  }

  void ReadFeature(TSpan Object) {
    const TMembers members = MembersOf(Object);
    if (TypeOf(Object, members) != "Feature")
      j_.Fail(Object.Begin, "an element of features that is no Feature");
    TFeature f;
    ReadProperties(members.Properties, f);
    if (members.Geometry.Kind != 0) ReadGeometry(members.Geometry, f, 0);
    ApplyCoordTimes(f);
    Emit(f);
  }

  void Emit(TFeature& F) {
    for (TWaypoint& w : F.Points) {
      static_cast<TFeatureInfo&>(w) = F.Info;
      w.Time = F.Time;
      w.Symbol = F.Symbol.empty() ? F.Info.Style.MarkerSymbol : F.Symbol;
      data_.Waypoints.push_back(std::move(w));
    }
    if (!F.Lines.Segments.empty()) {
      static_cast<TFeatureInfo&>(F.Lines) = F.Info;
      data_.Tracks.push_back(std::move(F.Lines));
    }
    if (!F.Polygons.Parts.empty()) {
      static_cast<TFeatureInfo&>(F.Polygons) = F.Info;
      F.Polygons.Kind = TShapeKind::Polygon;
      data_.Shapes.push_back(std::move(F.Polygons));
    }
  }

  TJsonScanner j_;
  TTrackData data_;
};

}  // namespace

TTrackData ParseGeoJson(std::string_view Bytes, const std::string& FileName) {
  if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
  std::string storage;
  if (!IsValidUtf8(Bytes)) storage = Cp1252ToUtf8(Bytes);
  return TGeoJsonReader(storage.empty() ? Bytes : storage, FileName).Read();
}

}  // namespace marovia
