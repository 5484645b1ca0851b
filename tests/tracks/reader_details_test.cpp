// What the readers keep beyond positions and times, which gpsbabel does not
// show: styles of KML and GeoJSON, sensor values of TCX, KML and IGC, the
// merging of NMEA sentences into epochs and their dates, and merging
// readings into one.
#include <gtest/gtest.h>

#include <cstdio>

#include "marovia/geomap/track_files.h"

namespace marovia {
namespace {

const TPointField& Field(const TTrackData& D, std::string_view Name) {
  const TPointField* f = D.Points.FindField(Name);
  if (f == nullptr) throw std::runtime_error("no field " + std::string(Name));
  return *f;
}

TEST(TrackReaders, KmlStylesByIdByMapAndInline) {
  const TTrackData d = ParseKml(R"(<kml><Document>
<Placemark><styleUrl>#m</styleUrl><LineString><coordinates>1,1 2,2</coordinates></LineString></Placemark>
<StyleMap id="m"><Pair><key>highlight</key><styleUrl>#other</styleUrl></Pair>
  <Pair><key>normal</key><styleUrl>#s</styleUrl></Pair></StyleMap>
<Style id="s"><LineStyle><color>80ff0000</color><width>4</width></LineStyle>
  <PolyStyle><color>ff00ff00</color><fill>0</fill></PolyStyle><IconStyle><color>ff0000ff</color></IconStyle></Style>
<Style id="other"><LineStyle><color>ffffffff</color></LineStyle></Style>
<Placemark><styleUrl>#s</styleUrl><Style><LineStyle><color>ff00ffff</color></LineStyle></Style>
  <Point><coordinates>1,1</coordinates></Point></Placemark>
<Placemark><styleUrl>#s</styleUrl><Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>
<Placemark><styleUrl>elsewhere.kml#s</styleUrl><Point><coordinates>3,3</coordinates></Point></Placemark>
</Document></kml>)",
                                "s.kml");
  // aabbggrr: 80ff0000 is blue at half opacity.
  const TOverlayStyle& line = d.Tracks.at(0).Style;
  EXPECT_EQ(line.LineColor, 0xff0000);
  EXPECT_NEAR(*line.LineOpacity, 128 / 255.0, 1e-12);
  EXPECT_EQ(line.Width, 4);
  EXPECT_EQ(d.Shapes.at(0).Style.FillColor, 0x00ff00);
  EXPECT_EQ(d.Shapes[0].Style.FillOpacity, 0);  // <fill>0</fill>
  EXPECT_EQ(d.Shapes[0].Kind, TShapeKind::Polygon);
  EXPECT_EQ(d.Waypoints.at(0).Style.LineColor, 0x00ffff);  // the inline style wins
  EXPECT_TRUE(d.Waypoints.at(1).Style.Empty());            // styles of other files: unknown
}

TEST(TrackReaders, GeoJsonSimplestyleAndProperties) {
  const TTrackData d = ParseGeoJson(R"({"type":"Feature","properties":{"stroke":"#0f8",
    "stroke-width":2.5,"stroke-opacity":0.25,"fill":"#102030","fill-opacity":"x","title":"T",
    "n":[1,2]},"geometry":{"type":"Polygon","coordinates":[[[0,0],[1,0],[1,1],[0,0]]]}})",
                                    "s.geojson");
  const TShape& s = d.Shapes.at(0);
  EXPECT_EQ(s.Style.LineColor, 0x88ff00);
  EXPECT_EQ(s.Style.Width, 2.5);
  EXPECT_EQ(s.Style.LineOpacity, 0.25);
  EXPECT_EQ(s.Style.FillColor, 0x302010);
  EXPECT_FALSE(s.Style.FillOpacity);  // not a number: left to the layer
  const std::vector<std::pair<std::string, std::string>> extras = {{"title", "T"}, {"n", "[1,2]"}};
  EXPECT_EQ(s.Extras, extras);
}

TEST(TrackReaders, SensorValuesOfTcxKmlAndIgc) {
  const TTrackData tcx = ParseTcx(R"(<TrainingCenterDatabase><Activities><Activity><Lap><Track>
<Trackpoint><Position><LatitudeDegrees>1</LatitudeDegrees><LongitudeDegrees>2</LongitudeDegrees></Position>
<HeartRateBpm><Value>140</Value></HeartRateBpm><Cadence>90</Cadence><DistanceMeters>12.5</DistanceMeters>
<Extensions><TPX><Speed>4.5</Speed><Watts>250</Watts></TPX></Extensions></Trackpoint>
</Track></Lap></Activity></Activities></TrainingCenterDatabase>)",
                                  "t.tcx");
  EXPECT_EQ(Field(tcx, "hr").Numbers, std::vector<double>{140});
  EXPECT_EQ(Field(tcx, "cad").Numbers, std::vector<double>{90});
  EXPECT_EQ(Field(tcx, "distance").Numbers, std::vector<double>{12.5});
  EXPECT_EQ(Field(tcx, "speed").Numbers, std::vector<double>{4.5});
  EXPECT_EQ(Field(tcx, "power").Numbers, std::vector<double>{250});

  const TTrackData kml = ParseKml(R"(<kml><Placemark><Track>
<coord>1 2</coord><coord>1 3</coord><when>2021-01-01T00:00:00Z</when><when>2021-01-01T00:00:01Z</when>
<ExtendedData><SchemaData><SimpleArrayData name="hr"><value>100</value><value>101</value></SimpleArrayData>
<SimpleArrayData name="note"><value>a</value></SimpleArrayData></SchemaData></ExtendedData>
</Track></Placemark></kml>)",
                                  "t.kml");
  EXPECT_EQ(Field(kml, "hr").Numbers, (std::vector<double>{100, 101}));
  EXPECT_EQ(Field(kml, "note").TextAt(0), "a");
  EXPECT_EQ(kml.Warnings.size(), 1u);  // an array shorter than the track

  // IGC: GNSS altitude of A fixes as elevation, pressure altitude and the
  // declared extensions as fields; without GNSS altitudes, the pressure's.
  const TTrackData igc = ParseIgc(
      "AXXX\nHFDTE010121\nI023638FXA3940SIU\n"
      "B1200004700000N00800000EA0010000510012 5\nB1200014700000N00800000EV0011000000013 6\n",
      "f.igc");
  EXPECT_EQ(igc.Points.Ele[0], 510);
  EXPECT_TRUE(std::isnan(igc.Points.Ele[1]));  // a 2D fix
  EXPECT_EQ(Field(igc, "pressure_altitude").Numbers, (std::vector<double>{100, 110}));
  EXPECT_EQ(Field(igc, "FXA").Numbers, (std::vector<double>{12, 13}));
  EXPECT_EQ(Field(igc, "SIU").Numbers, (std::vector<double>{5, 6}));
  const TTrackData baro =
      ParseIgc("AXXX\nHFDTE010121\nB1200004700000N00800000EA0010000000\n", "b.igc");
  EXPECT_EQ(baro.Points.Ele[0], 100);
}

std::string Nmea(const std::string& Body) {
  unsigned sum = 0;
  for (const char c : Body) sum ^= static_cast<unsigned char>(c);
  char b[8];
  std::snprintf(b, sizeof b, "*%02X", sum);
  return "$" + Body + b + "\r\n";
}

TEST(TrackReaders, NmeaEpochsMergeAndTakeTheirDates) {
  // Two epochs before midnight without a date, then an RMC after it.
  const std::string log = Nmea("GPGGA,235958,4700.000,N,00800.000,E,1,08,1.2,500.5,M,48.0,M,,") +
                          Nmea("GPGGA,235959,4700.001,N,00800.000,E,2,09,1.1,501.5,M,48.0,M,,") +
                          Nmea("GPRMC,235959,A,4700.001,N,00800.000,E,10.0,90.0,,,") +
                          Nmea("GPGGA,000001,4700.002,N,00800.000,E,1,08,,502.5,M,,M,,") +
                          Nmea("GPRMC,000001,A,4700.002,N,00800.000,E,10.0,90.0,020121,,");
  const TTrackData d = ParseNmeaLog(log, "l.nmea");
  ASSERT_EQ(d.Points.Size(), 3u);
  const double jan2 = 1609545600;  // 2021-01-02T00:00:00Z
  EXPECT_EQ(d.Points.Time[0], jan2 - 2);
  EXPECT_EQ(d.Points.Time[1], jan2 - 1);
  EXPECT_EQ(d.Points.Time[2], jan2 + 1);
  EXPECT_EQ(d.Points.Ele[1], 501.5);
  EXPECT_NEAR(Field(d, "speed").Numbers[1], 10 * 1852 / 3600.0, 1e-12);  // from the RMC
  EXPECT_EQ(Field(d, "sat").Numbers[1], 9);                              // from the GGA
  EXPECT_EQ(Field(d, "fix").TextAt(0), "3d");
  EXPECT_EQ(Field(d, "fix").TextAt(1), "dgps");
  EXPECT_TRUE(d.Warnings.empty());
}

TEST(TrackReaders, ReadingsAppendWithRangesMovedAndFieldsJoined) {
  TTrackData a = ParseGpx(R"(<gpx><trk><trkseg><trkpt lat="1" lon="1"><sat>5</sat></trkpt>
    <trkpt lat="2" lon="2"/></trkseg></trk></gpx>)",
                          "a.gpx");
  const TTrackData b = ParseGpx(R"(<gpx><rte><rtept lat="3" lon="3"><sat>none</sat>
    <ele>7</ele></rtept></rte><wpt lat="4" lon="4"/></gpx>)",
                                "b.gpx");
  a.Append(b);
  ASSERT_EQ(a.Points.Size(), 3u);
  EXPECT_EQ(a.Routes.at(0).Points, (TPointRange{2, 3}));
  EXPECT_EQ(a.Waypoints.size(), 1u);
  EXPECT_EQ(a.Points.Ele.size(), 3u);
  EXPECT_TRUE(std::isnan(a.Points.Ele[0]));
  EXPECT_EQ(a.Points.Ele[2], 7);
  const TPointField& sat = Field(a, "sat");  // numbers and a text: a text column
  EXPECT_EQ(sat.Kind, TFieldKind::Text);
  EXPECT_EQ(sat.TextAt(0), "5");
  EXPECT_EQ(sat.TextAt(1), "");
  EXPECT_EQ(sat.TextAt(2), "none");
  const TTrackBounds bounds = a.Bounds();
  EXPECT_EQ(bounds.South, 1);
  EXPECT_EQ(bounds.North, 4);
}

TEST(TrackReaders, PltTimesSnapToTheSecondTheyWereWrittenFrom) {
  // 44317.4166667 days is 2021-05-01T10:00:00.003Z; 7 decimals of a day
  // are 8.6 ms, so the writer meant 10:00:00.
  const TTrackData d = ParsePlt(
      "Track Point File\nWGS 84\nAltitude is in Feet\nReserved 3\n0,3,16711680,Walk\n2\n"
      "47,8,1,100,44317.4166667\n47.1,8.1,0,-777,44317.41667\n47.2,8.2,1,0,0\n",
      "w.plt");
  EXPECT_EQ(d.Points.Time[0], 1619863200);
  EXPECT_NEAR(d.Points.Time[1], 1619863200.288, 1e-3);  // 0.29 s away: kept as read
  EXPECT_TRUE(std::isnan(d.Points.Time[2]));
  EXPECT_NEAR(d.Points.Ele[0], 30.48, 1e-12);
  EXPECT_EQ(d.Tracks.at(0).Segments.size(), 2u);
  EXPECT_EQ(d.Tracks[0].Style.LineColor, 0xff0000);  // a Windows colour: blue
  EXPECT_EQ(d.Tracks[0].Name, "Walk");
}

}  // namespace
}  // namespace marovia
