// Bad input of every reader: files that are not what they claim give a
// clear error naming the file and the line; damaged records of the line
// formats are left out, counted and noted, and the rest is read.
#include <gtest/gtest.h>
#include <zip.h>

#include "marovia/geomap/track_files.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

const std::string kGpxHead =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

std::string Gpx(const std::string& Body) {
  return kGpxHead + Body + "\n</gpx>\n";
}

std::string Kml(const std::string& Placemark) {
  return "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Placemark>\n" + Placemark +
         "\n</Placemark>\n</kml>\n";
}

std::string Deep(const std::string& Open, const std::string& Close, int N, const std::string& In) {
  std::string s;
  for (int i = 0; i < N; ++i) s += Open;
  s += In;
  for (int i = 0; i < N; ++i) s += Close;
  return s;
}

struct TRefusal {
  const char* Name;
  std::string Bytes;
  int64_t Line;  // 0: the format has no lines here
  const char* Why;
};

std::vector<TRefusal> Refusals() {
  const std::string pt =
      "<trk><trkseg><trkpt lat=\"47\" lon=\"8\"><time>2021-01-01T00:00:00Z</time></trkpt>";
  return {
      {"cut.gpx", Gpx(pt).substr(0, kGpxHead.size() + 40), 3, "ends inside"},
      {"nesting.gpx", Gpx("<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\">\n</trkseg></trk>"), 5,
       "does not close 'trkpt' (opened at line 4)"},
      {"huge.gpx", Gpx("\n<wpt lat=\"1e400\" lon=\"2\"/>"), 4, "lat '1e400' is no number"},
      {"north.gpx", Gpx("<wpt lat=\"90.0001\" lon=\"2\"/>"), 3,
       "latitude 90.0001 is outside -90..90"},
      {"east.gpx", Gpx("<wpt lat=\"0\" lon=\"-180.5\"/>"), 3, "longitude -180.5 is outside"},
      {"nolat.gpx", Gpx("<wpt lon=\"2\"/>"), 3, "'wpt' has no lat attribute"},
      {"date.gpx", Gpx("<wpt lat=\"1\" lon=\"2\">\n<time>2021-02-29T00:00:00Z</time></wpt>"), 4,
       "time '2021-02-29T00:00:00Z' is no time"},
      {"ele.gpx", Gpx("<wpt lat=\"1\" lon=\"2\"><ele>12 m</ele></wpt>"), 3,
       "ele '12 m' is no number"},
      {"entity.gpx", Gpx("<wpt lat=\"1\" lon=\"2\"><name>a&nbsp;b</name></wpt>"), 3,
       "the entity '&nbsp;' is not defined"},
      {"tworoots.gpx", Gpx("") + "<gpx/>", 5, "a second root element"},
      {"trailing.gpx", Gpx("") + "x", 5, "text outside the root element"},
      {"notgpx.gpx", Kml(""), 1, "the root element is 'kml', not gpx"},
      {"encoding.gpx", "<?xml version=\"1.0\" encoding=\"EBCDIC\"?><gpx/>", 1, "encoding 'ebcdic'"},
      {"empty.gpx", "", 1, "holds no XML element"},
      {"track.kml",
       Kml("<gx:Track><when>2021-01-01T00:00:00Z</when>\n<gx:coord>1 2 3</gx:coord>"
           "<gx:coord>1 2 3</gx:coord></gx:Track>"),
       3, "a track of 2 coord and 1 when elements"},
      {"coords.kml", Kml("<LineString><coordinates>8.5;47.5</coordinates></LineString>"), 3,
       "tuple 1: '8.5;47.5' is no number"},
      {"lonely.kml", Kml("<LineString><coordinates>8.5</coordinates></LineString>"), 3,
       "a longitude without a latitude"},
      {"deep.kml", Kml(Deep("<MultiGeometry>", "</MultiGeometry>", 20, "")), 3,
       "nested deeper than 16"},
      {"twopoints.kml", Kml("<Point><coordinates>1,2 3,4</coordinates></Point>"), 3,
       "a Point of 2 coordinates"},
      {"cut.geojson", R"({"type":"LineString","coordinates":[[1,2],)", 1,
       "the file ends where a value should be"},
      {"short.geojson", R"({"type":"Point","coordinates":[1]})", 1,
       "needs a longitude and a latitude"},
      {"huge.geojson", "{\"type\":\"Point\",\n\"coordinates\":[1e999,2]}", 2,
       "'1e999' is no number"},
      {"south.geojson", R"({"type":"Point","coordinates":[1,-95]})", 1, "latitude -95 is outside"},
      {"circle.geojson", R"({"type":"Circle","coordinates":[1,2]})", 1, "'Circle' is not GeoJSON"},
      {"deep.geojson",
       "{\"type\":\"LineString\",\"coordinates\":" + Deep("[", "]", 100000, "1") + "}", 1,
       "is no number"},
      {"nesting.geojson", R"({"type":"Point","coordinates":[1,2}})", 1, "',' or ']' expected"},
      {"garbage.geojson", R"({"type":"Point","coordinates":[1,2]} x)", 1, "more text after"},
      {"notype.geojson", R"({"coordinates":[1,2]})", 1, "without a \"type\" string"},
      {"time.tcx",
       "<TrainingCenterDatabase><Courses><Course><Track><Trackpoint>\n<Time>yesterday</Time>"
       "</Trackpoint></Track></Course></Courses></TrainingCenterDatabase>",
       2, "Time 'yesterday' is no time"},
      {"half.tcx",
       "<TrainingCenterDatabase><Courses><Course><Track><Trackpoint>\n<Position>"
       "<LatitudeDegrees>1</LatitudeDegrees></Position></Trackpoint></Track></Course></Courses>"
       "</TrainingCenterDatabase>",
       2, "without its latitude or longitude"},
      {"datum.plt", "Track Point File\nPotsdam Rauenberg DHDN\nx\nx\n0,2,255,t\n0\n1,2,0,0,0\n", 2,
       "is not WGS 84"},
      {"short.plt", "Track Point File\nWGS 84\n", 3, "ends inside the header"},
      {"nottrack.plt", "Hello\nWGS 84\nx\nx\nx\nx\n", 1, "not a PLT track file"},
      {"zip.kmz", "PK\x03\x04 this is no archive", 0, "not a KMZ (zip) archive"},
      {"noise.dat", "\x01\x02\x03 binary", 0, "not a track file of a known format"},
  };
}

class TrackRefusal : public testing::TestWithParam<TRefusal> {};

void PrintTo(const TRefusal& R, std::ostream* Os) {
  *Os << R.Name;
}

TEST_P(TrackRefusal, NamesFileLineAndFault) {
  const TRefusal& r = GetParam();
  test::TempDir dir;
  const std::string file = dir.Write(r.Name, r.Bytes);
  try {
    ReadTrackFile(file);
    FAIL() << "read without an error";
  } catch (const ETrackFileError& e) {
    EXPECT_EQ(e.FileName(), file);
    EXPECT_EQ(e.Line(), r.Line) << e.what();
    EXPECT_NE(std::string(e.what()).find(r.Why), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find(file), 0u) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Files, TrackRefusal, testing::ValuesIn(Refusals()),
                         [](const testing::TestParamInfo<TRefusal>& i) {
                           std::string n = i.param.Name;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

std::string Nmea(const std::string& Body) {
  unsigned sum = 0;
  for (const char c : Body) sum ^= static_cast<unsigned char>(c);
  char b[8];
  std::snprintf(b, sizeof b, "*%02X", sum);
  return "$" + Body + b;
}

// Line formats: which records are left out, which are read.
struct TDamage {
  const char* Name;
  std::string Bytes;
  std::size_t Points;   // track and route points read
  std::size_t Skipped;  // records left out
  const char* FirstNote;
};

std::vector<TDamage> Damages() {
  const std::string gga = Nmea("GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
  const std::string rmc = Nmea("GPRMC,120000,A,4807.038,N,01131.000,E,1,2,010121,,");
  std::string flipped = Nmea("GPGGA,120001,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
  flipped[20] = '9';
  const std::string pltHead =
      "Track Point File\nWGS 84\nAltitude is in Feet\nReserved 3\n0,2,255,t\n3\n";
  return {
      {"log.nmea",
       gga + "\r\n" + rmc + "\r\n" + flipped + "\r\n" +
           "$GPGGA,120002,4807.038,N,011\r\n" +                              // cut short
           Nmea("GPGGA,120003,4860.000,N,01131.000,E,1,08,,,,,,,") + "\n" +  // 60 minutes
           Nmea("GPGGA,120004,4807.0381234567,N,01131.0001234567,E,1,08,0.9,545.4,M,,M,,") + "\n" +
           Nmea("GPGGA,120005,,,,,0,00,,,,,,,") + "\n" +  // no fix: passed over
           "garbage\n\n" + Nmea("GPZDA,120005,01,01,2021,,") + "\n",
       2, 4, "line 3: bad checksum"},
      {"nodate.nmea", gga + "\n", 1, 0, "no RMC sentence gives a date"},
      {"flight.igc",
       "AXXX\nHFDTE010121\nB1200004707407N00807407EA0010000510\nB12000\n"
       "B1200014707407X00807407EA0010000510\nB1200024707407N00807407EA0010000510\n",
       2, 2, "line 4: a B record"},
      {"nodate.igc", "AXXX\nB1200004707407N00807407EA0010000510\n", 1, 0, "no HFDTE record"},
      {"track.plt",
       pltHead + "47.1,8.1,1,1000,44197.5\nnot,a,point\n47.2,8.2,0,-777,\n95,8,0,0,0\n", 2, 2,
       "line 8: not latitude"},
      {"points.wpt",
       "Waypoint File\nWGS 84\nReserved 2\nReserved 3\n1,A\xD1 "
       "b,47.1,8.1,,3,1,3,0,65535,d\xE9,0,0,0,-777\n2,B,x,8\n",
       0, 1, "line 6: not number"},
  };
}

class TrackDamage : public testing::TestWithParam<TDamage> {};

void PrintTo(const TDamage& D, std::ostream* Os) {
  *Os << D.Name;
}

TEST_P(TrackDamage, SkipsCountsAndNotesDamagedRecords) {
  const TDamage& d = GetParam();
  test::TempDir dir;
  const TTrackData data = ReadTrackFile(dir.Write(d.Name, d.Bytes));
  EXPECT_EQ(data.Points.Size(), d.Points);
  EXPECT_EQ(data.Skipped, d.Skipped);
  ASSERT_FALSE(data.Warnings.empty());
  EXPECT_EQ(data.Warnings.front().find(d.FirstNote), 0u) << data.Warnings.front();
}

INSTANTIATE_TEST_SUITE_P(Files, TrackDamage, testing::ValuesIn(Damages()),
                         [](const testing::TestParamInfo<TDamage>& i) {
                           std::string n = i.param.Name;
                           for (char& c : n)
                             if (c == '.') c = '_';
                           return n;
                         });

// What the line formats keep besides positions, in their own units.
TEST(TrackDamage, WaypointFileKeepsCommasAccentsAndUnits) {
  test::TempDir dir;
  const TTrackData data = ReadTrackFile(dir.Write("p.wpt", Damages().back().Bytes));
  ASSERT_EQ(data.Waypoints.size(), 1u);
  EXPECT_EQ(data.Waypoints[0].Name, "A, b");
  EXPECT_EQ(data.Waypoints[0].Description, "d\xC3\xA9");  // Windows-1252 to UTF-8
  EXPECT_TRUE(std::isnan(data.Waypoints[0].Ele));         // -777: none
  EXPECT_EQ(data.Waypoints[0].Style.MarkerColor, 65535);
}

TEST(TrackDamage, DatelessLogsKeepTimesOfDay) {
  test::TempDir dir;
  const TTrackData igc = ReadTrackFile(dir.Write("n.igc", Damages()[3].Bytes));
  ASSERT_NE(igc.Points.FindField("time_of_day"), nullptr);
  EXPECT_EQ(igc.Points.FindField("time_of_day")->Numbers[0], 12 * 3600);
  EXPECT_TRUE(igc.Points.Time.empty());
}

// A zip archive of the given members (name, bytes).
void WriteZip(const std::string& File,
              const std::vector<std::pair<std::string, std::string>>& Members) {
  int error = 0;
  zip_t* z = zip_open(File.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, bytes] : Members) {
    zip_source_t* s = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    ASSERT_GE(zip_file_add(z, name.c_str(), s, ZIP_FL_OVERWRITE), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

// A KMZ is a zip archive; its document is doc.kml or else the first .kml.
TEST(TrackFiles, ReadsKmzArchives) {
  test::TempDir dir;
  const std::string kml = Kml("<name>in zip</name><Point><coordinates>8,47</coordinates></Point>");
  WriteZip(dir.File("a.kmz"), {{"other.txt", "x"}, {"files/x.kml", "<kml/>"}, {"doc.kml", kml}});
  WriteZip(dir.File("none.kmz"), {{"other.txt", "x"}});
  const TTrackData data = ReadTrackFile(dir.File("a.kmz"));
  ASSERT_EQ(data.Waypoints.size(), 1u);
  EXPECT_EQ(data.Waypoints[0].Name, "in zip");
  EXPECT_EQ(data.Format, "KMZ");
  EXPECT_THROW(ReadTrackFile(dir.File("none.kmz")), ETrackFileError);
}

// Encodings an XML file may declare, and UTF-16 with its byte order mark.
TEST(TrackFiles, ReadsDeclaredEncodings) {
  const std::string latin =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><gpx><wpt lat=\"1\" "
      "lon=\"2\"><name>Z\xFCrich &amp; &#x1F600;</name></wpt></gpx>";
  EXPECT_EQ(ParseGpx(latin, "l.gpx").Waypoints.at(0).Name, "Z\xC3\xBCrich & \xF0\x9F\x98\x80");
  std::string utf16 = "\xFF\xFE";
  for (const char c : std::string("<gpx><wpt lat=\"1\" lon=\"2\"><name>\xE9</name></wpt></gpx>")) {
    utf16 += c;
    utf16 += '\0';
  }
  EXPECT_EQ(ParseGpx(utf16, "u.gpx").Waypoints.at(0).Name, "\xC3\xA9");
}

// Files without a telling extension are known by their first bytes.
TEST(TrackFiles, KnowsFormatsByNameAndContent) {
  const std::pair<const char*, TTrackFormat> heads[] = {
      {"PK\x03\x04", TTrackFormat::Kmz},
      {"\xEF\xBB\xBF \n{\"type\"", TTrackFormat::GeoJson},
      {"$GPGGA,1", TTrackFormat::Nmea},
      {"<?xml version=\"1.0\"?>\n<!-- gpx? -->\n<gpx version=\"1.1\">", TTrackFormat::Gpx},
      {"<g:gpx xmlns:g=\"x\">", TTrackFormat::Gpx},
      {"<kml>", TTrackFormat::Kml},
      {"<TrainingCenterDatabase>", TTrackFormat::Tcx},
      {"<html>", TTrackFormat::Unknown},
      {"AXXX001\r\nHFDTE010121\r\n", TTrackFormat::Igc},
      {"Alice was beginning to get very tired", TTrackFormat::Unknown},
      {"Some Track Point File Version 2.1\r\nWGS 84", TTrackFormat::Plt},
      {"Some Waypoint File Version 1.1\r\n", TTrackFormat::Wpt},
      {"", TTrackFormat::Unknown},
  };
  for (const auto& [head, format] : heads) EXPECT_EQ(SniffTrackFormat(head), format) << head;
  EXPECT_EQ(TrackFormatOfName("a/B.GPX"), TTrackFormat::Gpx);
  EXPECT_EQ(TrackFormatOfName("x.json"), TTrackFormat::GeoJson);
  EXPECT_EQ(TrackFormatOfName("dir.kml/readme"), TTrackFormat::Unknown);
  test::TempDir dir;
  EXPECT_EQ(
      ReadTrackFile(dir.Write("log.txt", Nmea("GPGGA,120000,4807.038,N,01131.000,E,1,08,,,,,,,")))
          .Format,
      "NMEA 0183");
}

}  // namespace
}  // namespace marovia
