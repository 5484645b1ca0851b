// GPX 1.0 and 1.1: waypoints, routes and tracks.
//
//   gpx            version, xmlns:p declarations (kept for writing back)
//   |- metadata    name, desc (1.1; 1.0 has them directly below gpx)
//   |- wpt         a point (below)
//   |- rte         name cmt desc src link number type extensions, rtept*
//   `- trk         name cmt desc src link number type extensions, trkseg*
//                  trkseg: trkpt*
// A point (wpt, rtept, trkpt): attributes lat and lon (required), children
// ele time magvar geoidheight name cmt desc src link sym type fix sat hdop
// vdop pdop ageofdgpsdata dgpsid (1.0 adds course speed url urlname) and
// extensions. ele and time go to their columns; every other child becomes a
// field of its own name (a number when it reads as one), each leaf below
// <extensions> a field of its path. Elements of no GPX version found where
// a point's children are kept the same way.
#include "marovia/geomap/track_files.h"
#include "tracks/field_slots.h"
#include "tracks/track_style.h"
#include "tracks/track_text.h"
#include "tracks/xml_scanner.h"

namespace marovia {

using namespace tracks;

namespace {

using TToken = TXmlScanner::TToken;

// One value of a point other than its position, elevation and time.
struct TPointValue {
  std::string Name;  // local name
  std::string Path;  // below <extensions>; empty for the point's own
  std::string Text;
};

struct TPointRecord {
  double Lat = 0, Lon = 0, Ele = kNoValue, Time = kNoValue;
  std::vector<TPointValue> Values;  // the first Count are this point's
  std::size_t Count = 0;
  TPointValue& Add() {
    if (Count == Values.size()) Values.emplace_back();
    return Values[Count++];
  }
};

// Values that are texts even when they look like numbers (a waypoint named
// "101" keeps its name as written).
bool TextElement(std::string_view Name) {
  return Name == "name" || Name == "cmt" || Name == "desc" || Name == "src" || Name == "sym" ||
         Name == "type" || Name == "fix" || Name == "link" || Name == "url" || Name == "urlname";
}

class TGpxReader {
 public:
  TGpxReader(std::string_view Text, const std::string& FileName)
      : x_(Text, FileName), fileName_(FileName), slots_(data_.Points) {}

  TTrackData Read() {
    data_.Source = fileName_;
    if (x_.Next() != TToken::Start || x_.LocalName() != "gpx")
      x_.Fail("the root element is " + Quoted(x_.Name()) + ", not gpx");
    std::string version;
    x_.Attribute("version", version);
    data_.Format = "GPX " + (version.empty() ? std::string("1.1") : version);
    CollectNamespaces(x_, data_.Namespaces);
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "wpt") {
        ReadWaypoint();
      } else if (name == "rte") {
        ReadRoute();
      } else if (name == "trk") {
        ReadTrack();
      } else if (name == "metadata") {
        ReadMetadata();
      } else if (name == "name") {
        data_.Name = x_.ReadText();
      } else if (name == "desc") {
        data_.Description = x_.ReadText();
      } else {
        x_.SkipElement();
      }
    }
    // Whatever follows the root element must still be well formed.
    while (x_.Next() != TToken::Eof) {
    }
    return std::move(data_);
  }

 private:
  void ReadMetadata() {
    while (x_.Next() == TToken::Start) {
      if (x_.LocalName() == "name") {
        data_.Name = x_.ReadText();
      } else if (x_.LocalName() == "desc") {
        data_.Description = x_.ReadText();
      } else {
        x_.SkipElement();
      }
    }
  }

  double Coordinate(const char* Name) {
    std::string text;
    double v;
    if (!x_.Attribute(Name, text)) x_.Fail(Quoted(x_.Name()) + " has no " + Name + " attribute");
    if (!ParseNumber(text, v)) x_.Fail(std::string(Name) + " " + Quoted(text) + " is no number");
    return v;
  }

  // At the Start of a point element: reads it whole.
  void ReadPoint(TPointRecord& R) {
    R.Lat = Coordinate("lat");
    R.Lon = Coordinate("lon");
    if (const std::string why = PositionProblem(R.Lat, R.Lon); !why.empty()) x_.Fail(why);
    R.Ele = R.Time = kNoValue;
    R.Count = 0;
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "extensions") {
        ReadLeaves(
            x_,
            [&](const std::string& Path, std::string_view Local, const std::string& Text) {
              TPointValue& v = R.Add();
              v.Name.assign(Local);
              v.Path = Path;
              v.Text = Text;
            },
            &data_.Namespaces);
        continue;
      }
      if (name == "link") {
        std::string href;
        x_.Attribute("href", href);
        x_.SkipElement();
        TPointValue& v = R.Add();
        v.Name = "link";
        v.Path.clear();
        v.Text = std::move(href);
        continue;
      }
      const std::size_t at = x_.Offset();
      const std::string local(name);
      const std::string& text = x_.ReadText();
      if (local == "ele") {
        if (TrimSpace(text).empty()) continue;
        if (!ParseNumber(text, R.Ele)) FailAt(at, "ele " + Quoted(text) + " is no number");
      } else if (local == "time") {
        if (TrimSpace(text).empty()) continue;
        if (!ParseIsoTime(text, R.Time)) FailAt(at, "time " + Quoted(text) + " is no time");
      } else {
        TPointValue& v = R.Add();
        v.Name = local;
        v.Path.clear();
        v.Text = text;
      }
    }
  }

  [[noreturn]] void FailAt(std::size_t Offset, const std::string& Why) { x_.FailAt(Offset, Why); }

  // Appends a route or track point with its values; answers its index.
  std::size_t AppendPoint(const TPointRecord& R) {
    const std::size_t i = data_.Points.Append(R.Lat, R.Lon, R.Ele, R.Time);
    for (std::size_t k = 0; k < R.Count; ++k) {
      const TPointValue& v = R.Values[k];
      if (v.Path.empty() && TextElement(v.Name)) {
        slots_.Text(k, i, v.Name, v.Path, v.Text);
      } else {
        slots_.Value(k, i, v.Name, v.Path, v.Text);
      }
    }
    return i;
  }

  void ReadWaypoint() {
    ReadPoint(point_);
    TWaypoint w;
    w.Lat = point_.Lat;
    w.Lon = point_.Lon;
    w.Ele = point_.Ele;
    w.Time = point_.Time;
    for (std::size_t k = 0; k < point_.Count; ++k) {
      TPointValue& v = point_.Values[k];
      if (!v.Path.empty()) {
        w.Extras.emplace_back("extensions/" + v.Path, std::move(v.Text));
      } else if (v.Name == "name") {
        w.Name = std::move(v.Text);
      } else if (v.Name == "cmt") {
        w.Comment = std::move(v.Text);
      } else if (v.Name == "desc") {
        w.Description = std::move(v.Text);
      } else if (v.Name == "sym") {
        w.Symbol = std::move(v.Text);
      } else if (v.Name == "type") {
        w.Type = std::move(v.Text);
      } else {
        w.Extras.emplace_back(v.Name, std::move(v.Text));
      }
    }
    data_.Waypoints.push_back(std::move(w));
  }

  // A child of rte or trk that describes the feature; false for others.
  bool ReadFeatureChild(TFeatureInfo& F) {
    const std::string_view name = x_.LocalName();
    if (name == "extensions") {
      ReadLeaves(
          x_,
          [&](const std::string& Path, std::string_view, const std::string& Text) {
            ApplyGpxStyleLeaf(F.Style, Path, Text);
            F.Extras.emplace_back("extensions/" + Path, Text);
          },
          &data_.Namespaces);
    } else if (name == "link") {
      std::string href;
      x_.Attribute("href", href);
      x_.SkipElement();
      F.Extras.emplace_back("link", std::move(href));
    } else if (name == "name") {
      F.Name = x_.ReadText();
    } else if (name == "cmt") {
      F.Comment = x_.ReadText();
    } else if (name == "desc") {
      F.Description = x_.ReadText();
    } else if (name == "type") {
      F.Type = x_.ReadText();
    } else if (name == "src" || name == "number" || name == "url" || name == "urlname") {
      const std::string key(name);
      F.Extras.emplace_back(key, x_.ReadText());
    } else {
      return false;
    }
    return true;
  }

  void ReadRoute() {
    TRoute r;
    r.Points.Begin = data_.Points.Size();
    while (x_.Next() == TToken::Start) {
      if (x_.LocalName() == "rtept") {
        ReadPoint(point_);
        AppendPoint(point_);
      } else if (!ReadFeatureChild(r)) {
        x_.SkipElement();
      }
    }
    r.Points.End = data_.Points.Size();
    data_.Routes.push_back(std::move(r));
  }

  void ReadTrack() {
    TTrack t;
    while (x_.Next() == TToken::Start) {
      if (x_.LocalName() == "trkseg") {
        TPointRange s{data_.Points.Size(), 0};
        while (x_.Next() == TToken::Start) {
          if (x_.LocalName() == "trkpt") {
            ReadPoint(point_);
            AppendPoint(point_);
          } else {
            x_.SkipElement();
          }
        }
        s.End = data_.Points.Size();
        t.Segments.push_back(s);
      } else if (!ReadFeatureChild(t)) {
        x_.SkipElement();
      }
    }
    data_.Tracks.push_back(std::move(t));
  }

  TXmlScanner x_;
  const std::string& fileName_;
  TTrackData data_;
  TFieldSlots slots_;
  TPointRecord point_;
};

}  // namespace

TTrackData ParseGpx(std::string_view Bytes, const std::string& FileName) {
  std::string storage;
  const std::string_view text = XmlAsUtf8(Bytes, FileName, storage);
  return TGpxReader(text, FileName).Read();
}

}  // namespace marovia
