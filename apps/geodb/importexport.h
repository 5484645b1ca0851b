// Moving items between a TGeoDB and text files: the tool's own text format
// and GeoJSON (RFC 7946) in, GeoJSON out.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geodb/geodb.h"

namespace geodbtool {

// Bad input in an imported file; the message names the place.
class ImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ImportOptions {
  marovia::TgdbItem LineKind = marovia::gitRoad;       // kind of GeoJSON LineStrings
  marovia::TgdbItem PolygonKind = marovia::gitBorder;  // kind of GeoJSON Polygons
};

struct ImportReport {
  int Towns = 0;
  int Polygons = 0;
  std::vector<std::string> Warnings;
  // Lines that could not be used, each naming the file and line; the
  // rest of the file was imported.
  std::vector<std::string> Errors;
};

// Kind from its name ("border", "Town", ... without regard to case); false
// when the name is not a kind.
bool KindFromName(std::string_view Name, marovia::TgdbItem& Kind);

// Text format, one record per line (blank lines and lines starting with '#'
// are skipped, fields separated by ';' and trimmed):
//   town;NAME;LAT;LON[;ALTITUDE[;CLASS]]
//   KIND;NAME[;closed|open[;CLASS]]     KIND: border city lake river road route
//   LAT;LON                             points of the item, one per line ...
//   end                                 ... up to this line
// Degrees, '.' as decimal separator. A line that cannot be used is listed
// in the report's Errors (naming SourceName and the line) and the import
// goes on: a bad record line is passed over, an item with a bad point is
// left out. Only a missing 'end' at the end of the file raises ImportError.
ImportReport ImportText(marovia::TGeoDB& Db, std::istream& In, const std::string& SourceName,
                        const ImportOptions& Options);

// GeoJSON: a FeatureCollection, a Feature or a bare geometry. Points and
// MultiPoints become towns; LineStrings and MultiLineStrings items of
// Options.LineKind (closed when the first point equals the last); Polygons and
// MultiPolygons closed items of Options.PolygonKind from their exterior rings
// (holes are dropped with a warning). A feature's "kind" property naming a
// polygon kind overrides the option; "name", "class", "tag", "state" and
// "altitude" properties are stored. Features without geometry are skipped
// with a warning. Positions are [longitude, latitude(, altitude)].
ImportReport ImportGeoJson(marovia::TGeoDB& Db, std::string_view Text,
                           const ImportOptions& Options);

struct ExportReport {
  int Features = 0;
  std::vector<std::string> Warnings;
};

// Writes the given entries as a GeoJSON FeatureCollection. Towns are Points,
// closed polygon items with three or more points Polygons (exterior ring
// closed and counterclockwise), other polygon items LineStrings (a single
// point: Point), BLOBs and undefined items features without geometry. The
// properties carry entry, id, name, kind, class, tag, state, altitude and
// date; BLOBs also size, caption, keywords and file path. An item whose data
// block cannot be read is written without geometry, with a warning.
ExportReport ExportGeoJson(marovia::TGeoDB& Db, const std::vector<int>& Entries, std::ostream& Out);

}  // namespace geodbtool
