// Reading and writing tracks, routes and waypoints (the model: tracks.h).
//
// Formats read
//   GPX 1.0 and 1.1   waypoints, routes, tracks; every other element of a
//                     point kept as a field, extensions (heart rate,
//                     cadence, temperature, ...) by their path
//   KML, KMZ          Placemarks: Point (waypoint), LineString and
//                     MultiGeometry lines (track), Polygon (shape), Track and
//                     MultiTrack with their when/coord lists in any order
//                     (track with times); Style and StyleMap colours
//   GeoJSON           RFC 7946: Point and MultiPoint (waypoints), LineString
//                     and MultiLineString (track, times from a "coordTimes"
//                     property), Polygon and MultiPolygon (shape), also
//                     inside GeometryCollections; simplestyle members
//   NMEA 0183         GGA, RMC and GNS of any talker (see nmea.h); one track
//   TCX               activities' laps and courses (tracks), course points
//                     (waypoints); heart rate, cadence, speed, power
//   IGC               B records (track; GNSS altitude as elevation, pressure
//                     altitude and the I-record extensions as fields), the
//                     declared task (route)
//   PLT, WPT          the desktop-GPS text files of tracks and waypoints
//                     (WGS 84 only; altitudes in feet)
// Formats written: GPX 1.1 and GeoJSON.
//
// Bad input: a file that is not of its format (XML or JSON not well formed,
// wrong nesting, a coordinate that is no number or out of range, a time that
// is no time) raises ETrackFileError naming the file and the line and column
// (or byte offset) where it went wrong. The line formats (NMEA, IGC, PLT,
// WPT) skip a record they cannot use, count it in TTrackData::Skipped and
// keep a note naming its line. No number read from a file sizes an
// allocation; a KMZ's document is read only up to kMaxTrackFileBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/tracks.h"

namespace marovia {

// A file that cannot be read as its format. Line and Column count from 1;
// both are 0 where the format has no lines (a KMZ archive's bytes: the
// message then names the byte offset).
class ETrackFileError : public EZYLGeoMapError {
 public:
  ETrackFileError(const std::string& FileName, int64_t Line, int64_t Column,
                  const std::string& Why);
  const std::string& FileName() const { return fileName_; }
  int64_t Line() const { return line_; }
  int64_t Column() const { return column_; }

 private:
  std::string fileName_;
  int64_t line_, column_;
};

// Files and KMZ members larger than this are refused (2 GiB).
inline constexpr int64_t kMaxTrackFileBytes = int64_t{1} << 31;

enum class TTrackFormat : uint8_t { Unknown, Gpx, Kml, Kmz, GeoJson, Nmea, Tcx, Igc, Plt, Wpt };

// "GPX", "KML", ... for messages; "unknown" for Unknown.
const char* TrackFormatName(TTrackFormat Format);
// The format a file name's extension says (case ignored): .gpx, .kml, .kmz,
// .geojson and .json, .nmea and .nma, .tcx, .igc, .plt, .wpt; Unknown for
// any other (ReadTrackFile then looks at the content).
TTrackFormat TrackFormatOfName(std::string_view FileName);
// The format the first bytes say, for files without a telling extension:
// "PK" (KMZ), '{' (GeoJSON), '$' or '!' (NMEA), an XML root of gpx, kml or
// TrainingCenterDatabase, an IGC A record followed by H or B records, the
// PLT and WPT title lines.
TTrackFormat SniffTrackFormat(std::string_view Bytes);

// Reads a file; Format Unknown takes the extension, else the content.
// Raises ETrackFileError, and EInOutError when the file cannot be read.
TTrackData ReadTrackFile(const std::string& FileName, TTrackFormat Format = TTrackFormat::Unknown);

// Reads many files on Threads threads (0: one per core, at most one per
// file). Each file's result or error is reported in its own entry, in the
// order given; one bad file never stops the others.
struct TTrackFileResult {
  std::string FileName;
  TTrackData Data;
  std::string Error;  // empty when the file was read
};
std::vector<TTrackFileResult> ReadTrackFiles(const std::vector<std::string>& FileNames,
                                             unsigned Threads = 0);

// The readers on bytes in memory; FileName only names the source in
// messages and in TTrackData::Source. Bytes are UTF-8 unless the file says
// otherwise (an XML declaration's encoding, a BOM; the text formats
// Windows-1252 when they are not valid UTF-8).
TTrackData ParseTrackBytes(std::string_view Bytes, TTrackFormat Format,
                           const std::string& FileName);
TTrackData ParseGpx(std::string_view Bytes, const std::string& FileName);
TTrackData ParseKml(std::string_view Bytes, const std::string& FileName);
TTrackData ParseKmz(std::string_view Bytes, const std::string& FileName);
TTrackData ParseGeoJson(std::string_view Bytes, const std::string& FileName);
TTrackData ParseNmeaLog(std::string_view Bytes, const std::string& FileName);
TTrackData ParseTcx(std::string_view Bytes, const std::string& FileName);
TTrackData ParseIgc(std::string_view Bytes, const std::string& FileName);
TTrackData ParsePlt(std::string_view Bytes, const std::string& FileName);
TTrackData ParseWpt(std::string_view Bytes, const std::string& FileName);

// A time (seconds since 1970-01-01T00:00:00Z) as the writers write it:
// YYYY-MM-DDThh:mm:ssZ, with milliseconds when it has any; "" outside the
// years 0000 to 9999 (and for NaN), whose times the writers leave out.
std::string TrackTimeText(double Seconds);

// GPX 1.1 text of the data: waypoints, routes, tracks, with every field
// (the point's own GPX elements in schema order, the others below
// <extensions> by their paths). Shapes have no GPX form and are left out:
// LeftOut, when given, receives their number.
std::string GpxText(const TTrackData& Data, std::size_t* LeftOut = nullptr);
// GeoJSON (RFC 7946) text: a FeatureCollection of waypoints (Point), routes
// and tracks (LineString, or MultiLineString for several segments, with a
// "coordTimes" property when the points have times) and shapes (LineString,
// MultiLineString, Polygon, MultiPolygon). Coordinates keep every digit a
// double needs to read back the same.
std::string GeoJsonText(const TTrackData& Data);
// Write the text to a file, replacing it only once the whole file is
// written (EInOutError naming the file otherwise). Answer what GpxText
// left out.
std::size_t WriteGpx(const TTrackData& Data, const std::string& FileName);
void WriteGeoJson(const TTrackData& Data, const std::string& FileName);

}  // namespace marovia
