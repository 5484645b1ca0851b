// Tracks, routes, waypoints and shapes: the user's own vector data, read
// from GPS and GIS files and shown over a calibrated map.
//
// Where things are
//   tracks.h        this model (TTrackData and its parts)
//   track_files.h   readers (GPX, KML/KMZ, GeoJSON, NMEA, TCX, IGC, PLT, WPT)
//                   and writers (GPX 1.1, GeoJSON)
//   nmea.h          one NMEA 0183 sentence to a fix, for logs and live sources
//   track_stats.h   lengths, climb, moving time and stops
//
// The model
//
//   TTrackData                 what one file gives (or several, appended)
//   |- Points    TTrackPoints  every point of every track, route and shape,
//   |                          column by column, in file order
//   |- Tracks    TTrack        name, style; Segments: ranges of Points
//   |- Routes    TRoute        name, style; one range of Points
//   |- Shapes    TShape        lines and polygons (GeoJSON, KML); Parts:
//   |                          ranges of Points, polygon holes flagged
//   `- Waypoints TWaypoint     single named points, one record each
//
// Points are stored as a structure of arrays. Lat and Lon hold one double
// per point (degrees on WGS 84, latitude in [-90, 90], longitude in
// [-180, 180]), so that all points of a layer go through a calibration's
// batch conversion in one call without copying. Ele (metres) and Time
// (seconds since 1970-01-01T00:00:00Z, UTC, with fractions) are either
// empty, when no point has one, or hold one value per point with NaN for a
// point without. Every further value a file gives per point is a
// TPointField column of its own: the point's other GPX elements (hdop, sat,
// name, sym, ...), extension values (heart rate, cadence, temperature,
// power, ...), IGC's pressure altitude and declared B-record extensions.
// Number fields hold one double per point (NaN where absent); text fields
// are sparse (point index and text, by index). A point therefore costs 16
// bytes, plus 8 for elevation and 8 for time when the file has them, plus 8
// per number field present: a million points with elevation and time take
// 32 MB.
//
// Ranges are half-open [Begin, End) indexes into Points. Each point belongs
// to exactly one range of one feature; ranges appear in Points in file
// order. A track segment, route or shape part may be empty only when the
// file's was (a track with an empty segment keeps it, so that a written file
// keeps the file's structure).
//
// Styles: what the file says (KML <Style>, GeoJSON simplestyle members,
// GPX line extensions); anything it does not say is left unset, for the
// layer drawing it to choose.
//
// A TTrackData is a plain value: no shared state, copyable, safe to read
// from several threads at once and to build on a worker thread.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marovia/platform/types.h"

namespace marovia {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// Half-open range [Begin, End) of point indexes.
struct TPointRange {
  std::size_t Begin = 0;
  std::size_t End = 0;
  std::size_t Size() const { return End - Begin; }
  bool Empty() const { return End == Begin; }
  friend bool operator==(const TPointRange&, const TPointRange&) = default;
};

enum class TFieldKind : uint8_t { Number, Text };

// One further value per point. Name is the element's local name as the file
// has it ("hr", "cad", "atemp", "hdop", "sym") or the reader's name for a
// value without an element ("pressure_altitude", IGC's three-letter codes).
// Path says where a GPX file keeps it: empty for the point's own elements,
// else the qualified element names below <extensions>, separated by '/'
// ("gpxtpx:TrackPointExtension/gpxtpx:hr"); their prefixes are declared in
// TTrackData::Namespaces.
struct TPointField {
  std::string Name;
  std::string Path;
  TFieldKind Kind = TFieldKind::Number;
  std::vector<double> Numbers;                             // Number: one per point
  std::vector<std::pair<std::size_t, std::string>> Texts;  // Text: by point index
  bool Extension() const { return !Path.empty(); }
  // The text of point i ("" when it has none); for number fields the
  // number's shortest form.
  std::string TextAt(std::size_t i) const;
};

class TTrackPoints {
 public:
  std::vector<double> Lat, Lon;  // one per point
  std::vector<double> Ele;       // empty or one per point; NaN: none
  std::vector<double> Time;      // empty or one per point; NaN: none
  std::vector<TPointField> Fields;

  std::size_t Size() const { return Lat.size(); }
  void Reserve(std::size_t N);
  // Adds a point (and NaN to every number column present); answers its index.
  std::size_t Append(double Latitude, double Longitude, double Elevation = kNoValue,
                     double Seconds = kNoValue);
  double EleAt(std::size_t i) const { return Ele.empty() ? kNoValue : Ele[i]; }
  double TimeAt(std::size_t i) const { return Time.empty() ? kNoValue : Time[i]; }
  void SetEle(std::size_t i, double Metres);
  void SetTime(std::size_t i, double Seconds);

  // The field of that name and path, made (empty) when missing; its index.
  // A number field that receives a text becomes a text field (its numbers
  // turned into their shortest texts).
  std::size_t FieldIndex(std::string_view Name, std::string_view Path = {},
                         TFieldKind Kind = TFieldKind::Number);
  void SetNumber(std::size_t Field, std::size_t Point, double Value);
  void SetText(std::size_t Field, std::size_t Point, std::string Text);
  // The first field of that name (any path), or nullptr.
  const TPointField* FindField(std::string_view Name) const;

  // Appends every point of Other (fields matched by name and path).
  void AppendAll(const TTrackPoints& Other);
};

// What a file says about drawing a feature. Unset members are the layer's
// to choose. Colours are TColor values (red in the lowest byte); opacities
// are 0..1; Width is in view pixels; Dash lists dash and gap lengths in
// multiples of the width (empty: solid).
struct TOverlayStyle {
  std::optional<TColor> LineColor;
  std::optional<double> LineOpacity;
  std::optional<double> Width;
  std::optional<TColor> FillColor;
  std::optional<double> FillOpacity;
  std::optional<TColor> MarkerColor;
  std::string MarkerSymbol;
  std::vector<double> Dash;
  bool Empty() const {
    return !LineColor && !LineOpacity && !Width && !FillColor && !FillOpacity && !MarkerColor &&
           MarkerSymbol.empty() && Dash.empty();
  }
};

// Name, texts and style shared by every kind of feature. Extras keep what
// else the file says about it, as (key, text) pairs: GPX elements of the
// feature without a member here (number, link, src, extension values by
// path), GeoJSON properties (strings as they are, other values as JSON
// text), KML ExtendedData.
struct TFeatureInfo {
  std::string Name;
  std::string Description;
  std::string Comment;
  std::string Type;
  TOverlayStyle Style;
  std::vector<std::pair<std::string, std::string>> Extras;
};

struct TTrack : TFeatureInfo {
  std::vector<TPointRange> Segments;
  std::size_t PointCount() const;
};

// Route points keep their names and symbols in the text fields "name" and
// "sym" of TTrackData::Points (like every other per-point value).
struct TRoute : TFeatureInfo {
  TPointRange Points;
};

enum class TShapeKind : uint8_t { Line, Polygon };

// A shape part: a line, or a polygon ring. In a polygon shape each ring
// that is not a hole begins a new polygon; holes belong to the polygon
// before them (so a GeoJSON MultiPolygon is one shape).
struct TShapePart {
  TPointRange Points;
  bool Hole = false;
};

struct TShape : TFeatureInfo {
  TShapeKind Kind = TShapeKind::Line;
  std::vector<TShapePart> Parts;
};

// Symbol is the symbol name the file gives the point (GPX <sym>, a WPT
// file's symbol number); Style.MarkerSymbol is a GeoJSON marker-symbol.
struct TWaypoint : TFeatureInfo {
  double Lat = 0, Lon = 0;  // degrees, WGS 84
  double Ele = kNoValue;    // metres
  double Time = kNoValue;   // seconds since 1970-01-01T00:00:00Z
  std::string Symbol;
};

// Latitude and longitude limits of a set of points (West <= East, no wrap
// around the antimeridian); Valid is false for no points.
struct TTrackBounds {
  double South = 0, North = 0, West = 0, East = 0;
  bool Valid = false;
};

struct TTrackData {
  TTrackPoints Points;
  std::vector<TTrack> Tracks;
  std::vector<TRoute> Routes;
  std::vector<TShape> Shapes;
  std::vector<TWaypoint> Waypoints;

  // The file's own name and description (GPX metadata, KML Document).
  std::string Name;
  std::string Description;
  // XML namespace prefixes and URIs of the extensions (GPX), declared again
  // when the data is written.
  std::vector<std::pair<std::string, std::string>> Namespaces;

  // How the reading went: the file, its format ("GPX 1.1", "NMEA 0183"),
  // the number of records left out as unusable (malformed sentences, lines
  // that are no record) and notes on the first of them ("line 12: bad
  // checksum") and on anything else a reader had to assume.
  std::string Source;
  std::string Format;
  std::size_t Skipped = 0;
  std::vector<std::string> Warnings;
  static constexpr std::size_t kMaxWarnings = 20;
  void Warn(std::string Why);   // one record left out: counted and noted
  void Note(std::string What);  // noted only

  bool Empty() const {
    return Points.Size() == 0 && Waypoints.empty() && Tracks.empty() && Routes.empty() &&
           Shapes.empty();
  }
  // Appends everything of Other, its ranges moved past the points already
  // here; the namespaces are merged by prefix, the report added up.
  void Append(const TTrackData& Other);
  // Limits of every point and waypoint.
  TTrackBounds Bounds() const;
};

}  // namespace marovia
