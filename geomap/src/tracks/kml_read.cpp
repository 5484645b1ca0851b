// KML: the Placemarks of a document, wherever its Folders put them.
//
//   Placemark      name description styleUrl Style TimeStamp/when
//                  ExtendedData (Data/value, SchemaData/SimpleData)
//                  and one geometry:
//     Point               a waypoint
//     LineString          a segment of the placemark's track
//     LinearRing          a line shape
//     Polygon             a polygon shape: outerBoundaryIs and
//                         innerBoundaryIs (holes), each a LinearRing
//     MultiGeometry       any of these, nested up to kMaxGeometryDepth
//     Track               a segment with times: when and coord elements in
//                         any order, paired by their order; the arrays of
//                         ExtendedData/SchemaData/SimpleArrayData become
//                         point fields of their names
//     MultiTrack          its Tracks, one segment each
//   Style          id; LineStyle color width, PolyStyle color fill,
//                  IconStyle color
//   StyleMap       id; the Pair whose key is "normal" names the style
// Coordinates are "lon,lat[,alt]" tuples separated by white space; a coord
// is "lon lat [alt]". Elements are matched by local name, so that any
// prefix the file gives the extension namespace works.
#include <map>

#include "marovia/geomap/track_files.h"
#include "tracks/field_slots.h"
#include "tracks/track_style.h"
#include "tracks/track_text.h"
#include "tracks/xml_scanner.h"

namespace marovia {

using namespace tracks;

namespace {

using TToken = TXmlScanner::TToken;

constexpr int kMaxGeometryDepth = 16;

std::string_view LocalOf(std::string_view Qualified) {
  const std::size_t colon = Qualified.find(':');
  return colon == std::string_view::npos ? Qualified : Qualified.substr(colon + 1);
}

// The local name of the parent of a ReadLeaves path's leaf ("" at the top).
std::string_view ParentOf(std::string_view Path) {
  const std::size_t slash = Path.rfind('/');
  if (slash == std::string_view::npos) return std::string_view();
  const std::string_view parents = Path.substr(0, slash);
  const std::size_t before = parents.rfind('/');
  return LocalOf(before == std::string_view::npos ? parents : parents.substr(before + 1));
}

// What a placemark made, to be styled once every style is known.
struct TPlacemarkOutput {
  std::string StyleUrl;
  std::optional<TOverlayStyle> Inline;
  std::vector<std::size_t> Waypoints, Tracks, Shapes;
};

class TKmlReader {
 public:
  TKmlReader(std::string_view Text, const std::string& FileName)
      : x_(Text, FileName), slots_(data_.Points) {
    data_.Source = FileName;
    data_.Format = "KML";
  }

  TTrackData Read() {
    if (x_.Next() != TToken::Start || x_.LocalName() != "kml")
      x_.Fail("the root element is " + Quoted(x_.Name()) + ", not kml");
    // Containers (Document, Folder, ...) are walked into, not read: the
    // placemarks and styles anywhere below them are what counts.
    bool named = false;
    for (TToken t; (t = x_.Next()) != TToken::Eof;) {
      if (t != TToken::Start) continue;
      const std::string_view name = x_.LocalName();
      if (name == "Placemark") {
        ReadPlacemark();
      } else if (name == "Style") {
        std::string id;
        x_.Attribute("id", id);
        styles_[id] = ReadStyle();
      } else if (name == "StyleMap") {
        ReadStyleMap();
      } else if (name == "name" && !named && x_.Depth() == 3) {
        data_.Name = x_.ReadText();
        named = true;
      } else if (name == "Schema" || name == "NetworkLink" || name == "GroundOverlay" ||
                 name == "ScreenOverlay" || name == "PhotoOverlay" || name == "LookAt" ||
                 name == "Camera" || name == "Region" || name == "description" ||
                 name == "snippet" || name == "Snippet" || name == "ExtendedData") {
        x_.SkipElement();
      }
    }
    ApplyStyles();
    return std::move(data_);
  }

 private:
  TOverlayStyle ReadStyle() {
    TOverlayStyle s;
    ReadLeaves(x_, [&](const std::string& Path, std::string_view Local, const std::string& Text) {
      const std::string_view parent = ParentOf(Path);
      TColor color;
      double opacity, v;
      if (Local == "color" && ParseKmlColor(Text, color, opacity)) {
        if (parent == "LineStyle") {
          s.LineColor = color;
          s.LineOpacity = opacity;
        } else if (parent == "PolyStyle") {
          s.FillColor = color;
          s.FillOpacity = opacity;
        } else if (parent == "IconStyle") {
          s.MarkerColor = color;
        }
      } else if (Local == "width" && parent == "LineStyle" && ParseNumber(Text, v) && v >= 0 &&
                 v < 1000) {
        s.Width = v;
      } else if (Local == "fill" && parent == "PolyStyle" && TrimSpace(Text) == "0") {
        s.FillOpacity = 0;
      }
    });
    return s;
  }

  // A StyleMap's Pairs each hold a key and a styleUrl, in either order.
  void ReadStyleMap() {
    std::string id, key, url;
    x_.Attribute("id", id);
    ReadLeaves(x_, [&](const std::string& Path, std::string_view Local, const std::string& Text) {
      if (ParentOf(Path) != "Pair") return;
      if (Local == "key") key = TrimSpace(Text);
      if (Local == "styleUrl") url = TrimSpace(Text);
      if (key.empty() || url.empty()) return;
      if (key == "normal") styleMaps_[id] = url;
      key.clear();
      url.clear();
    });
  }

  // The style a styleUrl names: "#id" of a Style, or of a StyleMap whose
  // normal pair names one. Styles in other files are not looked up.
  const TOverlayStyle* Resolve(std::string_view Url, int Hops = 0) const {
    if (Url.empty() || Url.front() != '#' || Hops > 4) return nullptr;
    const std::string id(Url.substr(1));
    if (const auto s = styles_.find(id); s != styles_.end()) return &s->second;
    if (const auto m = styleMaps_.find(id); m != styleMaps_.end())
      return Resolve(m->second, Hops + 1);
    return nullptr;
  }

  void ApplyStyles() {
    for (const TPlacemarkOutput& p : placemarks_) {
      TOverlayStyle style;
      if (const TOverlayStyle* shared = Resolve(p.StyleUrl)) style = *shared;
      if (p.Inline) style = *p.Inline;
      if (style.Empty()) continue;
      for (const std::size_t i : p.Waypoints) data_.Waypoints[i].Style = style;
      for (const std::size_t i : p.Tracks) data_.Tracks[i].Style = style;
      for (const std::size_t i : p.Shapes) data_.Shapes[i].Style = style;
    }
  }

  // Appends the tuples of a coordinates element's text; answers their range.
  TPointRange ReadCoordinates(std::size_t At, const std::string& Text) {
    TPointRange r{data_.Points.Size(), 0};
    std::size_t i = 0, tuple = 0;
    const std::size_t n = Text.size();
    auto fail = [&](const std::string& Why) {
      x_.FailAt(At, "coordinates, tuple " + std::to_string(tuple + 1) + ": " + Why);
    };
    for (;;) {
      while (i < n && IsSpace(Text[i])) ++i;
      if (i >= n) break;
      double v[3];
      int count = 0;
      for (;;) {
        std::size_t end = i;
        while (end < n && !IsSpace(Text[end]) && Text[end] != ',') ++end;
        if (count == 3) fail("more than three numbers");
        if (!ParseNumber(std::string_view(Text).substr(i, end - i), v[count]))
          fail(Quoted(std::string_view(Text).substr(i, end - i)) + " is no number");
        ++count;
        i = end;
        std::size_t look = i;
        while (look < n && IsSpace(Text[look])) ++look;
        if (look < n && Text[look] == ',') {
          i = look + 1;
          while (i < n && IsSpace(Text[i])) ++i;
          continue;
        }
        break;
      }
      if (count < 2) fail("a longitude without a latitude");
      if (const std::string why = PositionProblem(v[1], v[0]); !why.empty()) fail(why);
      data_.Points.Append(v[1], v[0], count == 3 ? v[2] : kNoValue);
      ++tuple;
    }
    r.End = data_.Points.Size();
    return r;
  }

  // At the Start of an element holding a coordinates element (Point,
  // LineString, LinearRing): the range of its tuples.
  TPointRange ReadCoordinatesChild() {
    TPointRange r{data_.Points.Size(), data_.Points.Size()};
    while (x_.Next() == TToken::Start) {
      if (x_.LocalName() == "coordinates") {
        const std::size_t at = x_.Offset();
        r = ReadCoordinates(at, x_.ReadText());
      } else {
        x_.SkipElement();
      }
    }
    return r;
  }

  void ReadTrack(TTrack& T) {
    const std::size_t begin = data_.Points.Size(), at = x_.Offset();
    std::vector<double> times;
    std::vector<std::pair<std::string, std::vector<std::string>>> arrays;
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "when") {
        const std::size_t whenAt = x_.Offset();
        const std::string& text = x_.ReadText();
        double t = kNoValue;
        if (!TrimSpace(text).empty() && !ParseIsoTime(text, t))
          x_.FailAt(whenAt, "when " + Quoted(text) + " is no time");
        times.push_back(t);
      } else if (name == "coord") {
        const std::size_t coordAt = x_.Offset();
        const std::string& text = x_.ReadText();
        double v[3];
        int count = 0;
        std::string_view rest = TrimSpace(text);
        while (!rest.empty()) {
          std::size_t end = 0;
          while (end < rest.size() && !IsSpace(rest[end])) ++end;
          if (count == 3 || !ParseNumber(rest.substr(0, end), v[count]))
            x_.FailAt(coordAt, "coord " + Quoted(text) + " is not longitude, latitude, altitude");
          ++count;
          rest = TrimSpace(rest.substr(end));
        }
        if (count < 2) x_.FailAt(coordAt, "coord " + Quoted(text) + " has no latitude");
        if (const std::string why = PositionProblem(v[1], v[0]); !why.empty())
          x_.FailAt(coordAt, why);
        data_.Points.Append(v[1], v[0], count == 3 ? v[2] : kNoValue);
      } else if (name == "ExtendedData") {
        ReadTrackArrays(arrays);
      } else {
        x_.SkipElement();
      }
    }
    const std::size_t n = data_.Points.Size() - begin;
    if (!times.empty() && times.size() != n)
      x_.FailAt(at, "a track of " + std::to_string(n) + " coord and " +
                        std::to_string(times.size()) + " when elements");
    for (std::size_t k = 0; k < times.size(); ++k) data_.Points.SetTime(begin + k, times[k]);
    for (std::size_t a = 0; a < arrays.size(); ++a) {
      const auto& [name, values] = arrays[a];
      if (values.size() != n)
        data_.Note("line " + std::to_string(x_.LineOf(at)) + ": a track's array " + Quoted(name) +
                   " of " + std::to_string(values.size()) + " values for " + std::to_string(n) +
                   " points");
      for (std::size_t k = 0; k < values.size() && k < n; ++k)
        slots_.Value(a, begin + k, name, "", values[k]);
    }
    T.Segments.push_back({begin, data_.Points.Size()});
  }

  // At the Start of a track's ExtendedData: its SimpleArrayData, by name.
  void ReadTrackArrays(std::vector<std::pair<std::string, std::vector<std::string>>>& Arrays) {
    while (x_.Next() == TToken::Start) {
      if (x_.LocalName() != "SchemaData") {
        x_.SkipElement();
        continue;
      }
      while (x_.Next() == TToken::Start) {
        if (x_.LocalName() != "SimpleArrayData") {
          x_.SkipElement();
          continue;
        }
        std::string name;
        x_.Attribute("name", name);
        std::vector<std::string> values;
        while (x_.Next() == TToken::Start) {
          if (x_.LocalName() == "value") {
            values.push_back(x_.ReadText());
          } else {
            x_.SkipElement();
          }
        }
        Arrays.emplace_back(std::move(name), std::move(values));
      }
    }
  }

  void ReadPolygon(TShape& S) {
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "outerBoundaryIs" || name == "innerBoundaryIs") {
        const bool hole = name == "innerBoundaryIs";
        while (x_.Next() == TToken::Start) {
          if (x_.LocalName() == "LinearRing") {
            S.Parts.push_back({ReadCoordinatesChild(), hole});
          } else {
            x_.SkipElement();
          }
        }
      } else {
        x_.SkipElement();
      }
    }
  }

  // Geometries of one placemark, gathered before they become features.
  struct TGeometries {
    std::vector<TWaypoint> Points;
    TTrack Lines;
    TShape Polygons, Rings;
  };

  void ReadGeometry(TGeometries& G, int Depth) {
    if (Depth > kMaxGeometryDepth)
      x_.Fail("geometries nested deeper than " + std::to_string(kMaxGeometryDepth));
    const std::string_view name = x_.LocalName();
    if (name == "Point") {
      const TPointRange r = ReadCoordinatesChild();
      // A point's tuple is taken back out of the point columns.
      if (r.Size() != 1) x_.Fail("a Point of " + std::to_string(r.Size()) + " coordinates");
      TWaypoint w;
      w.Lat = data_.Points.Lat[r.Begin];
      w.Lon = data_.Points.Lon[r.Begin];
      w.Ele = data_.Points.EleAt(r.Begin);
      TruncatePoints(r.Begin);
      G.Points.push_back(std::move(w));
    } else if (name == "LineString") {
      G.Lines.Segments.push_back(ReadCoordinatesChild());
    } else if (name == "LinearRing") {
      G.Rings.Parts.push_back({ReadCoordinatesChild(), false});
    } else if (name == "Polygon") {
      ReadPolygon(G.Polygons);
    } else if (name == "Track") {
      ReadTrack(G.Lines);
    } else if (name == "MultiGeometry" || name == "MultiTrack") {
      while (x_.Next() == TToken::Start) ReadGeometry(G, Depth + 1);
    } else {
      x_.SkipElement();
    }
  }

  void TruncatePoints(std::size_t Size) {
    TTrackPoints& p = data_.Points;
    p.Lat.resize(Size);
    p.Lon.resize(Size);
    if (!p.Ele.empty()) p.Ele.resize(Size);
    if (!p.Time.empty()) p.Time.resize(Size);
    for (TPointField& f : p.Fields) {
      if (f.Kind == TFieldKind::Number) f.Numbers.resize(Size);
      while (!f.Texts.empty() && f.Texts.back().first >= Size) f.Texts.pop_back();
    }
  }

  bool IsGeometry(std::string_view Name) const {
    return Name == "Point" || Name == "LineString" || Name == "LinearRing" || Name == "Polygon" ||
           Name == "MultiGeometry" || Name == "Track" || Name == "MultiTrack";
  }

  void ReadPlacemark() {
    TFeatureInfo info;
    TPlacemarkOutput out;
    TGeometries g;
    double when = kNoValue;
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "name") {
        info.Name = x_.ReadText();
      } else if (name == "description") {
        info.Description = x_.ReadText();
      } else if (name == "styleUrl") {
        out.StyleUrl = TrimSpace(x_.ReadText());
      } else if (name == "Style") {
        out.Inline = ReadStyle();
      } else if (name == "TimeStamp") {
        while (x_.Next() == TToken::Start) {
          const std::size_t at = x_.Offset();
          if (x_.LocalName() != "when") {
            x_.SkipElement();
            continue;
          }
          const std::string& text = x_.ReadText();
          if (!TrimSpace(text).empty() && !ParseIsoTime(text, when))
            x_.FailAt(at, "when " + Quoted(text) + " is no time");
        }
      } else if (name == "ExtendedData") {
        ReadExtendedData(info);
      } else if (IsGeometry(name)) {
        ReadGeometry(g, 0);
      } else {
        x_.SkipElement();
      }
    }
    for (TWaypoint& w : g.Points) {
      static_cast<TFeatureInfo&>(w) = info;
      w.Time = when;
      out.Waypoints.push_back(data_.Waypoints.size());
      data_.Waypoints.push_back(std::move(w));
    }
    if (!g.Lines.Segments.empty()) {
      static_cast<TFeatureInfo&>(g.Lines) = info;
      out.Tracks.push_back(data_.Tracks.size());
      data_.Tracks.push_back(std::move(g.Lines));
    }
    for (TShape* s : {&g.Polygons, &g.Rings}) {
      if (s->Parts.empty()) continue;
      static_cast<TFeatureInfo&>(*s) = info;
      s->Kind = s == &g.Polygons ? TShapeKind::Polygon : TShapeKind::Line;
      out.Shapes.push_back(data_.Shapes.size());
      data_.Shapes.push_back(std::move(*s));
    }
    placemarks_.push_back(std::move(out));
  }

  void ReadExtendedData(TFeatureInfo& Info) {
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "Data") {
        std::string key;
        x_.Attribute("name", key);
        std::string value;
        while (x_.Next() == TToken::Start) {
          if (x_.LocalName() == "value") {
            value = x_.ReadText();
          } else {
            x_.SkipElement();
          }
        }
        Info.Extras.emplace_back(std::move(key), std::move(value));
      } else if (name == "SchemaData") {
        while (x_.Next() == TToken::Start) {
          if (x_.LocalName() != "SimpleData") {
            x_.SkipElement();
            continue;
          }
          std::string key;
          x_.Attribute("name", key);
          Info.Extras.emplace_back(std::move(key), x_.ReadText());
        }
      } else {
        x_.SkipElement();
      }
    }
  }

  TXmlScanner x_;
  TTrackData data_;
  TFieldSlots slots_;
  std::map<std::string, TOverlayStyle> styles_;
  std::map<std::string, std::string> styleMaps_;
  std::vector<TPlacemarkOutput> placemarks_;
};

}  // namespace

TTrackData ParseKml(std::string_view Bytes, const std::string& FileName) {
  std::string storage;
  const std::string_view text = XmlAsUtf8(Bytes, FileName, storage);
  return TKmlReader(text, FileName).Read();
}

}  // namespace marovia
