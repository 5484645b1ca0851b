// Every reader against gpsbabel: files of each format, written here or by
// gpsbabel itself from one GPX file, read by the library and by gpsbabel;
// both must find the same waypoints and the same lines, coordinates within
// 1e-7 degrees, times within a millisecond.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "gpsbabel_oracle.h"
#include "marovia/geomap/track_files.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::TAgreement;

std::string Time(int Seconds, int Millis = 0) {
  char b[64];
  const int h = 10 + Seconds / 3600, m = Seconds / 60 % 60, s = Seconds % 60;
  std::snprintf(b, sizeof b, "2021-05-01T%02d:%02d:%02d%sZ", h, m, s,
                Millis ? ("." + std::to_string(1000 + Millis).substr(1)).c_str() : "");
  return b;
}

// The master file: waypoints in all four quadrants and beside the
// antimeridian, one without a time; a route; a track of two segments, the
// second crossing the antimeridian south of the equator, some points
// without times, with heart rate and cadence extensions and fix data (so
// that gpsbabel writes NMEA fixes).
std::string MasterGpx() {
  std::string g =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
      "     xmlns:tp=\"urn:test:trackpoint\">\n"
      "<wpt lat=\"47.1234567\" lon=\"8.7654321\"><ele>512.5</ele><time>" +
      Time(0) +
      "</time><name>NE</name><sym>Flag</sym></wpt>\n"
      "<wpt lat=\"-33.9000001\" lon=\"-70.6500001\"><name>SW</name></wpt>\n"
      "<wpt lat=\"-16.5\" lon=\"179.99\"><time>" +
      Time(60) +
      "</time><name>AM</name></wpt>\n"
      "<wpt lat=\"64.1\" lon=\"-21.9\"><time>" +
      Time(61) +
      "</time><name>NW</name></wpt>\n"
      "<rte><name>R</name>\n";
  for (int i = 0; i < 4; ++i)
    g += "<rtept lat=\"" + std::to_string(47 + i * 0.01) + "\" lon=\"" +
         std::to_string(8 + i * 0.02) + "\"><name>R" + std::to_string(i) + "</name></rtept>\n";
  g += "</rte>\n<trk><name>Ride</name><trkseg>\n";
  char b[512];
  for (int i = 0; i < 60; ++i) {
    std::snprintf(b, sizeof b,
                  "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele><time>%s</time><fix>3d</fix>"
                  "<sat>8</sat><extensions><tp:x><tp:hr>%d</tp:hr><tp:cad>%d</tp:cad></tp:x>"
                  "</extensions></trkpt>\n",
                  46.5 + i * 1.234567e-4, 7.25 + i * 2.345678e-4, 400.0 + i,
                  Time(i * 5, i % 3 ? 0 : 500).c_str(), 120 + i % 7, 80 + i % 5);
    g += b;
  }
  g += "</trkseg><trkseg>\n";
  for (int i = 0; i < 20; ++i) {
    std::snprintf(b, sizeof b,
                  "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>%s<fix>3d</fix><sat>8</sat>"
                  "</trkpt>\n",
                  -17.0 - i * 1e-3, i < 10 ? 179.99 + i * 1e-3 : -179.99 - (19 - i) * 1e-3,
                  10.0 + i, i == 7 ? "" : ("<time>" + Time(400 + i * 5) + "</time>").c_str());
    g += b;
  }
  return g + "</trkseg></trk>\n</gpx>\n";
}

// Files written here for what gpsbabel does not write itself.
const char* const kKmlTracks = R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2">
<Document><name>d</name><Folder>
<Placemark><name>P</name><TimeStamp><when>2021-05-01T10:00:00Z</when></TimeStamp>
  <Point><coordinates>-8.5,-47.5,400</coordinates></Point></Placemark>
<Placemark><name>L</name><LineString><coordinates>
  8.5,47.5 8.6,47.6,10
  179.999,-10 -179.999,-10.001</coordinates></LineString></Placemark>
<Placemark><name>G</name><gx:Track>
  <when>2021-05-01T10:00:00Z</when><gx:coord>8.1 47.1 100</gx:coord>
  <gx:coord>8.2 47.2 110</gx:coord><when>2021-05-01T10:00:10.250Z</when>
  <gx:coord>8.3 47.3</gx:coord><when>2021-05-01T10:00:20Z</when></gx:Track></Placemark>
<Placemark><name>M</name><gx:MultiTrack><gx:Track>
  <when>2021-05-01T11:00:00Z</when><when>2021-05-01T11:00:10Z</when>
  <gx:coord>9.1 48.1 100</gx:coord><gx:coord>9.2 48.2 110</gx:coord></gx:Track>
  <gx:Track><gx:coord>9.3 48.3</gx:coord><when>2021-05-01T12:00:00Z</when></gx:Track>
</gx:MultiTrack></Placemark>
<Placemark><name>Poly</name><Polygon><outerBoundaryIs><LinearRing><coordinates>
  1,1 2,1 2,2 1,1</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>
</Folder></Document></kml>
)";

const char* const kGeoJson = R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"name":"W"},"geometry":{"coordinates":[-122.5,37.75,12],"type":"Point"}},
{"type":"Feature","geometry":{"type":"MultiPoint","coordinates":[[1,1],[2,-1]]},"properties":null},
{"type":"Feature","properties":{"name":"L"},"geometry":{"type":"LineString","coordinates":[[179.9,-5.5],[-179.9,-5.6],[-179.8,-5.7]]}},
{"type":"Feature","geometry":{"type":"MultiLineString","coordinates":[[[1,2],[3,4]],[[5,6],[7,8.125]]]},"properties":{"stroke":"#ff0000"}},
{"geometry":{"type":"Polygon","coordinates":[[[10,10],[11,10],[11,11],[10,10]]]},"type":"Feature","properties":{}}
]})";

// NMEA from two talkers, with two to seven decimals of the minute and of
// the second, past midnight, both hemispheres, each epoch's GGA before its
// RMC; the checksums are added below. (GNS is left to the sentence tests:
// gpsbabel does not read it.)
const char* const kNmeaBodies[] = {
    "GPGGA,235958.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
    "GPRMC,235958.00,A,4807.038,N,01131.000,E,022.4,084.4,301221,003.1,W",
    "GNGGA,235959.5,4807.03812,N,01131.00021,E,2,09,0.8,546.1,M,46.9,M,,",
    "GNRMC,235959.5,A,4807.03812,N,01131.00021,E,022.4,084.4,301221,003.1,W,D",
    "GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00",
    "GPGGA,000001,3354.12,S,07039.05,W,1,05,1.5,600,M,,M,,",
    "GPRMC,000001,A,3354.12,S,07039.05,W,1.0,180.0,311221,,",
    "GPGGA,000002.25,3354.1234567,S,07039.0512345,W,1,05,1.5,600,M,,M,,",
    "GPRMC,000002.25,A,3354.1234567,S,07039.0512345,W,1.0,180.0,311221,,",
};

std::string Checksummed(const std::string& Body) {
  unsigned sum = 0;
  for (const char c : Body) sum ^= static_cast<unsigned char>(c);
  char b[8];
  std::snprintf(b, sizeof b, "*%02X", sum);
  return "$" + Body + b;
}

const char* const kTcx = R"(<?xml version="1.0" encoding="UTF-8"?>
<TrainingCenterDatabase>
<Activities><Activity Sport="Biking"><Id>2021-05-01T10:00:00Z</Id>
<Lap StartTime="2021-05-01T10:00:00Z"><Track>
<Trackpoint><Time>2021-05-01T10:00:00Z</Time><Position><LatitudeDegrees>45.1234567</LatitudeDegrees>
<LongitudeDegrees>-6.7654321</LongitudeDegrees></Position><AltitudeMeters>100.5</AltitudeMeters>
<HeartRateBpm><Value>120</Value></HeartRateBpm><Cadence>80</Cadence></Trackpoint>
<Trackpoint><Time>2021-05-01T10:00:01Z</Time><HeartRateBpm><Value>121</Value></HeartRateBpm></Trackpoint>
<Trackpoint><Time>2021-05-01T10:00:02.250Z</Time><Position><LatitudeDegrees>45.1235</LatitudeDegrees>
<LongitudeDegrees>-6.7655</LongitudeDegrees></Position>
<Extensions><TPX><Speed>5.5</Speed><Watts>210</Watts></TPX></Extensions></Trackpoint>
</Track></Lap>
<Lap StartTime="2021-05-01T10:05:00Z"><Track>
<Trackpoint><Time>2021-05-01T10:05:00Z</Time><Position><LatitudeDegrees>45.2</LatitudeDegrees>
<LongitudeDegrees>-6.8</LongitudeDegrees></Position></Trackpoint>
</Track></Lap></Activity></Activities></TrainingCenterDatabase>
)";

// An IGC flight past midnight UTC with declared B-record extensions and a
// task; one 2D fix.
const char* const kIgc =
    "AXXX001\r\nHFDTE311221\r\nHFPLTPILOTINCHARGE:A Pilot\r\nI023638FXA3940SIU\r\n"
    "C311221235900000000000102Task\r\nC4700000N00800000ETAKEOFF\r\nC4710000S00810000WTURN\r\n"
    "B2359584707407N00807407EA00100005100120\r\n"
    "B2359594707413S00807419WA00200005110121\r\n"
    "B0000014707420N00807430EV-001000000\r\n"
    "B0000024707425N00807436EA0010000512\r\n";

const char* const kGpx10 = R"(<?xml version="1.0"?>
<gpx version="1.0" creator="x" xmlns="http://www.topografix.com/GPX/1/0">
<trk><trkseg><trkpt lat="10.5" lon="-20.25"><ele>1</ele><time>2020-02-29T23:59:59.999Z</time>
<course>12.5</course><speed>3.25</speed></trkpt><trkpt lat="10.6" lon="-20.35"/></trkseg></trk>
</gpx>
)";

// gpsbabel's identifier of the .plt/.wpt text formats (it writes and reads
// both, and the route file .rte, from one base name).
constexpr const char* kPltBabel = "ozi";

struct TCase {
  const char* Name;      // file name (its extension chooses our reader)
  const char* Babel;     // gpsbabel's input format
  const char* Generate;  // gpsbabel's output format making the file from the master
  std::string Text;      // or the file's bytes
  TAgreement Agreement;
  bool Waypoints = true;  // whether gpsbabel's waypoints are the file's
  // gpsbabel's NMEA reader pairs each RMC with the position of the GGA
  // before it, so a log that sends RMC first (as its own writer does) comes
  // out shifted by one epoch. For that log the oracle is gpsbabel's reading
  // of the master it wrote the log from, to the log's precision.
  bool MasterIsOracle = false;
};

std::vector<TCase> Cases() {
  std::string nmea;
  for (const char* b : kNmeaBodies) nmea += Checksummed(b) + "\r\n";
  TAgreement plt;
  // gpsbabel turns the day fraction of a PLT date into the time with an
  // error of up to a second; the library's reading is exact.
  plt.Seconds = 1;
  TAgreement points;
  points.Lines = false;
  TAgreement minutes = points;  // three decimals of the minute, one track
  minutes.Degrees = 1e-5;
  return {
      {"master.gpx", "gpx", nullptr, MasterGpx(), {}},
      {"made.kml", "kml", "kml", "", {}},
      {"made_tracks.kml", "kml", "kml,points=0,track=1", "", {}},
      {"made.geojson", "geojson", "geojson", "", {}},
      {"made.tcx", "gtrnctr", "gtrnctr", "", {}, false},
      {"made.igc", "igc", "igc", "", {}, false},
      {"made.plt", kPltBabel, kPltBabel, "", plt},
      {"made.wpt", kPltBabel, kPltBabel, "", plt},
      {"made.nmea", "nmea", "nmea", "", minutes, false, true},
      {"tracks.kml", "kml", nullptr, kKmlTracks, {}},
      {"mixed.geojson", "geojson", nullptr, kGeoJson, {}},
      {"log.nmea", "nmea", nullptr, nmea, {}},
      {"ride.tcx", "gtrnctr", nullptr, kTcx, points, false},
      {"flight.igc", "igc", nullptr, kIgc, {}},
      {"old.gpx", "gpx", nullptr, kGpx10, {}},
  };
}

void PrintTo(const TCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class TrackOracle : public testing::TestWithParam<TCase> {};

TEST_P(TrackOracle, ReadsWhatGpsbabelReads) {
  const TCase& c = GetParam();
  test::TempDir dir;
  const std::string master = dir.Write("master.gpx", MasterGpx());
  std::string file = dir.File(c.Name);
  if (c.Generate != nullptr) {
    // The NMEA writer writes waypoints as WPL sentences that no position
    // reader takes: only the track goes there.
    const std::string filter =
        std::string(c.Generate) == "nmea" ? " -x nuketypes,waypoints,routes" : "";
    const std::string base = file.substr(0, file.rfind('.'));
    const test::CommandResult r =
        test::RunCommand("gpsbabel -i gpx -f '" + master + "'" + filter + " -o " + c.Generate +
                         " -F '" + (std::string(c.Babel) == kPltBabel ? base : file) + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
  } else {
    file = dir.Write(c.Name, c.Text);
  }
  const TTrackData ours = ReadTrackFile(file);
  EXPECT_EQ(ours.Skipped, 0u) << (ours.Warnings.empty() ? "" : ours.Warnings.front());
  test::TOracleData theirs = test::GpsbabelRead(c.Babel, file);
  if (c.MasterIsOracle) {
    const test::CommandResult r = test::RunCommand("gpsbabel -i gpx -f '" + master +
                                                   "' -x nuketypes,waypoints,routes -o gpx -F -");
    theirs = test::ParseGpsbabelGpx(r.Out);
  }
  test::TOracleData flat = test::Flatten(ours);
  // gpsbabel's PLT reader reads the .wpt beside the .plt and the other way
  // round; each of our readers reads its own file.
  if (std::string(c.Babel) == kPltBabel) {
    if (std::string(c.Name).ends_with(".plt")) theirs.Waypoints.clear();
    if (std::string(c.Name).ends_with(".wpt")) theirs.Lines.clear();
  }
  if (!c.Waypoints) theirs.Waypoints = flat.Waypoints;
  ASSERT_FALSE(flat.Lines.empty() && flat.Waypoints.empty());
  test::ExpectAgreement(flat, theirs, c.Agreement);
}

INSTANTIATE_TEST_SUITE_P(Formats, TrackOracle, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<TCase>& i) {
                           std::string n = i.param.Name;
                           for (char& ch : n)
                             if (ch == '.') ch = '_';
                           return n;
                         });

}  // namespace
}  // namespace marovia
