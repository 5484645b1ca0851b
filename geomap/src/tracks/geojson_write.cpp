// GeoJSON writer (see GeoJsonText in track_files.h): one Feature per
// waypoint, route, track and shape, in that order. Properties: name, desc,
// cmt, type, time (waypoints), coordTimes (lines whose points have times),
// the style as simplestyle members, and the Extras as strings.
#include <cstdio>

#include "files/replace_file.h"
#include "marovia/geomap/track_files.h"
#include "marovia/platform/strutils.h"
#include "tracks/track_style.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

void String(std::string& Out, std::string_view Text) {
  Out += '"';
  for (std::size_t i = 0; i < Text.size();) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    if (c >= 0x80) {
      AppendUtf8(Out, NextCodePoint(Text, i));
      continue;
    }
    ++i;
    switch (c) {
      case '"':
        Out += "\\\"";
        break;
      case '\\':
        Out += "\\\\";
        break;
      case '\n':
        Out += "\\n";
        break;
      case '\r':
        Out += "\\r";
        break;
      case '\t':
        Out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          Out += buffer;
        } else {
          Out += static_cast<char>(c);
        }
    }
  }
  Out += '"';
}

void Member(std::string& Out, bool& First, std::string_view Key) {
  Out += First ? "" : ",";
  First = false;
  String(Out, Key);
  Out += ':';
}

void Position(std::string& Out, double Lat, double Lon, double Ele) {
  Out += '[' + FormatShortest(Lon) + ',' + FormatShortest(Lat);
  if (!std::isnan(Ele)) Out += ',' + FormatShortest(Ele);
  Out += ']';
}

void Line(std::string& Out, const TTrackPoints& P, TPointRange R) {
  Out += '[';
  for (std::size_t i = R.Begin; i < R.End; ++i) {
    if (i > R.Begin) Out += ',';
    Position(Out, P.Lat[i], P.Lon[i], P.EleAt(i));
  }
  Out += ']';
}

bool AnyTime(const TTrackPoints& P, const std::vector<TPointRange>& Lines) {
  if (P.Time.empty()) return false;
  for (const TPointRange& r : Lines)
    for (std::size_t i = r.Begin; i < r.End; ++i)
      if (ValidTime(P.Time[i])) return true;
  return false;
}

void Times(std::string& Out, const TTrackPoints& P, TPointRange R) {
  Out += '[';
  for (std::size_t i = R.Begin; i < R.End; ++i) {
    if (i > R.Begin) Out += ',';
    const double t = P.TimeAt(i);
    if (!ValidTime(t)) {
      Out += "null";
    } else {
      String(Out, FormatIsoTime(t));
    }
  }
  Out += ']';
}

void Properties(std::string& Out, const TFeatureInfo& F, double Time = kNoValue) {
  Out += "\"properties\":{";
  bool first = true;
  auto text = [&](std::string_view Key, const std::string& Value) {
    if (Value.empty()) return;
    Member(Out, first, Key);
    String(Out, Value);
  };
  text("name", F.Name);
  text("desc", F.Description);
  text("cmt", F.Comment);
  text("type", F.Type);
  if (ValidTime(Time)) text("time", FormatIsoTime(Time));
  const TOverlayStyle& s = F.Style;
  auto number = [&](std::string_view Key, const std::optional<double>& V) {
    if (!V) return;
    Member(Out, first, Key);
    Out += FormatShortest(*V);
  };
  if (s.LineColor) text("stroke", CssColor(*s.LineColor));
  number("stroke-width", s.Width);
  number("stroke-opacity", s.LineOpacity);
  if (s.FillColor) text("fill", CssColor(*s.FillColor));
  number("fill-opacity", s.FillOpacity);
  if (s.MarkerColor) text("marker-color", CssColor(*s.MarkerColor));
  text("marker-symbol", s.MarkerSymbol);
  for (const auto& [key, value] : F.Extras) {
    Member(Out, first, key);
    String(Out, value);
  }
  // coordTimes, when any, follows from the caller.
}

void FeatureStart(std::string& Out, bool& FirstFeature) {
  Out += FirstFeature ? "\n" : ",\n";
  FirstFeature = false;
  Out += "{\"type\":\"Feature\",";
}

void Lines(std::string& Out, bool& FirstFeature, const TFeatureInfo& F, const TTrackPoints& P,
           const std::vector<TPointRange>& L) {
  FeatureStart(Out, FirstFeature);
  Properties(Out, F);
  if (AnyTime(P, L)) {
    Out += Out.back() == '{' ? "" : ",";
    Out += "\"coordTimes\":";
    if (L.size() == 1) {
      Times(Out, P, L.front());
    } else {
      Out += '[';
      for (std::size_t k = 0; k < L.size(); ++k) {
        if (k) Out += ',';
        Times(Out, P, L[k]);
      }
      Out += ']';
    }
  }
  Out += "},\"geometry\":";
  if (L.size() == 1) {
    Out += "{\"type\":\"LineString\",\"coordinates\":";
    Line(Out, P, L.front());
  } else {
    Out += "{\"type\":\"MultiLineString\",\"coordinates\":[";
    for (std::size_t k = 0; k < L.size(); ++k) {
      if (k) Out += ',';
      Line(Out, P, L[k]);
    }
    Out += ']';
  }
  Out += "}}";
}

// Polygons of a shape: each part that is no hole starts one.
void Polygons(std::string& Out, const TShape& S, const TTrackPoints& P) {
  std::vector<std::vector<TPointRange>> polygons;
  for (const TShapePart& part : S.Parts) {
    if (!part.Hole || polygons.empty()) polygons.emplace_back();
    polygons.back().push_back(part.Points);
  }
  auto polygon = [&](const std::vector<TPointRange>& Rings) {
    Out += '[';
    for (std::size_t k = 0; k < Rings.size(); ++k) {
      if (k) Out += ',';
      Line(Out, P, Rings[k]);
    }
    Out += ']';
  };
  if (polygons.size() == 1) {
    Out += "{\"type\":\"Polygon\",\"coordinates\":";
    polygon(polygons.front());
  } else {
    Out += "{\"type\":\"MultiPolygon\",\"coordinates\":[";
    for (std::size_t k = 0; k < polygons.size(); ++k) {
      if (k) Out += ',';
      polygon(polygons[k]);
    }
    Out += ']';
  }
  Out += '}';
}

}  // namespace

std::string GeoJsonText(const TTrackData& Data) {
  std::string out;
  out.reserve(Data.Points.Size() * 48 + Data.Waypoints.size() * 160 + 256);
  out += "{\"type\":\"FeatureCollection\",\"features\":[";
  bool first = true;
  for (const TWaypoint& w : Data.Waypoints) {
    FeatureStart(out, first);
    Properties(out, w, w.Time);
    if (!w.Symbol.empty() && w.Symbol != w.Style.MarkerSymbol) {
      out += out.back() == '{' ? "" : ",";
      out += "\"sym\":";
      String(out, w.Symbol);
    }
    out += "},\"geometry\":{\"type\":\"Point\",\"coordinates\":";
    Position(out, w.Lat, w.Lon, w.Ele);
    out += "}}";
  }
  for (const TRoute& r : Data.Routes) Lines(out, first, r, Data.Points, {r.Points});
  for (const TTrack& t : Data.Tracks)
    if (!t.Segments.empty()) Lines(out, first, t, Data.Points, t.Segments);
  for (const TShape& s : Data.Shapes) {
    if (s.Parts.empty()) continue;
    if (s.Kind == TShapeKind::Line) {
      std::vector<TPointRange> lines;
      for (const TShapePart& p : s.Parts) lines.push_back(p.Points);
      Lines(out, first, s, Data.Points, lines);
      continue;
    }
    FeatureStart(out, first);
    Properties(out, s);
    out += "},\"geometry\":";
    Polygons(out, s, Data.Points);
    out += '}';
  }
  out += "\n]}\n";
  return out;
}

void WriteGeoJson(const TTrackData& Data, const std::string& FileName) {
  const std::string text = GeoJsonText(Data);
  ReplaceFileContents(FileName, [&](TTextFile& File) { File.Write(text); });
}

}  // namespace marovia
