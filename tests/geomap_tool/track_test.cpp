// geomap track: statistics with the method named, in metres or kilometres;
// a bad file reported while the others are read; -o writes what was read.
#include <gtest/gtest.h>

#include "marovia/geomap/track_files.h"
#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

// One degree of the equator: a pi / 180 = 111319.4908 m on WGS 84.
const char* const kEquator = R"(<gpx version="1.1"><trk><name>Equator</name><trkseg>
<trkpt lat="0" lon="10"><ele>0</ele><time>2021-01-01T00:00:00Z</time></trkpt>
<trkpt lat="0" lon="11"><ele>0</ele><time>2021-01-01T01:00:00Z</time></trkpt>
</trkseg></trk><wpt lat="0" lon="10"><name>Start</name></wpt></gpx>
)";

TEST(GeomapTrack, PrintsStatisticsWithTheirMethod) {
  const marovia::test::TempDir dir;
  const std::string gpx = dir.Write("e.gpx", kEquator);
  const TResult m = RunTool({"track", gpx, "--stats", "--units", "m"});
  EXPECT_EQ(m.Status, kExitOk) << m.Err;
  EXPECT_NE(m.Out.find("track \"Equator\"\n    2 points, 111319.5 m"), std::string::npos) << m.Out;
  EXPECT_NE(m.Out.find("1:00:00 (moving 1:00:00, 0 stops"), std::string::npos) << m.Out;
  EXPECT_NE(m.Out.find("method:\nlength: sum of WGS 84 geodesic distances"), std::string::npos);
  EXPECT_NE(m.Out.find("hysteresis filter of 10 m"), std::string::npos);
  const TResult km = RunTool({"track", gpx, "--stats", "--hysteresis", "2"});
  EXPECT_NE(km.Out.find("111.319 km"), std::string::npos) << km.Out;
  EXPECT_NE(km.Out.find("hysteresis filter of 2 m"), std::string::npos);
  const TResult plain = RunTool({"track", gpx});
  EXPECT_NE(plain.Out.find("1 waypoints, 0 routes (0 points), 1 tracks (1 segments, 2 points)"),
            std::string::npos)
      << plain.Out;
  EXPECT_EQ(plain.Out.find("method:"), std::string::npos);
  EXPECT_EQ(RunTool({"track", gpx, "--units", "miles"}).Status, kExitUsage);
  EXPECT_EQ(RunTool({"track", gpx, "-o", dir.File("x.kml")}).Status, kExitUsage);
  EXPECT_EQ(RunTool({"track"}).Status, kExitUsage);
}

TEST(GeomapTrack, ReportsBadFilesAndWritesTheRest) {
  const marovia::test::TempDir dir;
  const std::string good = dir.Write("e.gpx", kEquator);
  const std::string bad = dir.Write("bad.gpx", "<gpx><wpt lat=\"x\"/></gpx>");
  const std::string log = dir.Write("l.nmea", "$GPGGA,1*00\n");
  const std::string out = dir.File("all.geojson");
  const TResult r = RunTool({"track", bad, good, log, "-o", out});
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_NE(r.Err.find("geomap: " + bad + ": line 1, column 6: lat 'x' is no number"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find(log + ": line 1: bad checksum"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(log + ": 1 records left out"), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find(good + " (GPX 1.1)"), std::string::npos);
  const TTrackData written = ReadTrackFile(out);
  EXPECT_EQ(written.Points.Size(), 2u);
  EXPECT_EQ(written.Waypoints.size(), 1u);
  const TResult unwritable = RunTool({"track", good, "-o", dir.File("no/such.gpx")});
  EXPECT_EQ(unwritable.Status, kExitIo);
}

}  // namespace
}  // namespace marovia::geomaptool::test
