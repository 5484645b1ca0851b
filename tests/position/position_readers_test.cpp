// The readers behind the position sources: gpsd's JSON reports line by
// line, and NMEA bytes split anywhere, against the track reader's own
// reading of the same log.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "marovia/geomap/gpsd_reports.h"
#include "marovia/geomap/nmea_stream.h"
#include "marovia/geomap/track_files.h"
#include "nmea_log_maker.h"

namespace marovia {
namespace {

using test::NmeaLog;

struct TReportCase {
  const char* Name;
  const char* Line;
  TGpsdReportKind Kind;
  bool HasPosition;
  double Lat, Lon, Speed, Course, Error;
};

// Reports as gpsd 3.22 writes them (taken from a session with gpsfake),
// and damaged or odd variants of them.
const TReportCase kReports[] = {
    {"tpv3d",
     R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":"2026-12-09T12:00:33.000Z","ept":0.005,"lat":47.3755,"lon":8.5455,"altHAE":457.0,"altMSL":410.0,"alt":410.0,"track":45.0,"speed":5.144,"eph":17.1})",
     TGpsdReportKind::Tpv, true, 47.3755, 8.5455, 5.144, 45, 17.1},
    {"tpv2d-epx-epy", R"({"class":"TPV","mode":2,"lat":-33.9,"lon":151.2,"epx":4,"epy":9})",
     TGpsdReportKind::Tpv, true, -33.9, 151.2, NAN, NAN, 9},
    {"tpv-nofix", R"({"class":"TPV","mode":1,"lat":47,"lon":8})", TGpsdReportKind::Tpv, false, 0, 0,
     NAN, NAN, NAN},
    // A mode gpsd does not define places nothing (a fuzzing finding).
    {"tpv-unknown-mode", R"({"class":"TPV","mode":8,"lat":47,"lon":8})", TGpsdReportKind::Tpv,
     false, 0, 0, NAN, NAN, NAN},
    {"tpv-lat-out-of-range", R"({"class":"TPV","mode":3,"lat":91,"lon":8})", TGpsdReportKind::Tpv,
     false, 0, 0, NAN, NAN, NAN},
    {"tpv-lat-as-text", R"({"class":"TPV","mode":3,"lat":"47","lon":8})", TGpsdReportKind::Tpv,
     false, 0, 0, NAN, NAN, NAN},
    {"tpv-negative-speed-bad-track",
     R"({"class":"TPV","mode":3,"lat":1,"lon":2,"speed":-1,"track":400})", TGpsdReportKind::Tpv,
     true, 1, 2, NAN, NAN, NAN},
    {"unknown-members-ignored", R"({"class":"TPV","mode":3,"x":{"y":[1,2]},"lat":1,"lon":2})",
     TGpsdReportKind::Tpv, true, 1, 2, NAN, NAN, NAN},
    {"version", R"({"class":"VERSION","release":"3.22","proto_major":3})", TGpsdReportKind::Version,
     false, 0, 0, NAN, NAN, NAN},
    {"pps", R"({"class":"PPS","device":"/dev/pps0"})", TGpsdReportKind::Other, false, 0, 0, NAN,
     NAN, NAN},
    {"cut-short", R"({"class":"TPV","mode":3,"lat":47.37)", TGpsdReportKind::Malformed, false, 0, 0,
     NAN, NAN, NAN},
    {"no-class", R"({"mode":3,"lat":1,"lon":2})", TGpsdReportKind::Malformed, false, 0, 0, NAN, NAN,
     NAN},
    {"array", R"([1,2,3])", TGpsdReportKind::Malformed, false, 0, 0, NAN, NAN, NAN},
    {"two-objects", R"({"class":"TPV"}{"class":"SKY"})", TGpsdReportKind::Malformed, false, 0, 0,
     NAN, NAN, NAN},
    {"empty", "", TGpsdReportKind::Malformed, false, 0, 0, NAN, NAN, NAN},
};

void ExpectSame(double Want, double Got, const char* What) {
  if (std::isnan(Want))
    EXPECT_TRUE(std::isnan(Got)) << What << " = " << Got;
  else
    EXPECT_DOUBLE_EQ(Want, Got) << What;
}

TEST(GpsdReports, ReadsEveryKindOfLine) {
  for (const TReportCase& c : kReports) {
    SCOPED_TRACE(c.Name);
    const TGpsdReport r = ParseGpsdReport(c.Line);
    EXPECT_EQ(c.Kind, r.Kind) << r.Why;
    EXPECT_EQ(c.HasPosition, r.HasPosition);
    if (c.Kind == TGpsdReportKind::Malformed) {
      EXPECT_FALSE(r.Why.empty());
    }
    if (!r.HasPosition) continue;
    EXPECT_DOUBLE_EQ(c.Lat, r.Fix.Lat);
    EXPECT_DOUBLE_EQ(c.Lon, r.Fix.Lon);
    ExpectSame(c.Speed, r.Fix.Speed, "speed");
    ExpectSame(c.Course, r.Fix.Course, "course");
    ExpectSame(c.Error, r.Fix.HorizontalError, "error");
  }
}

TEST(GpsdReports, TakesTimeAltitudeAndMode) {
  const TGpsdReport r = ParseGpsdReport(kReports[0].Line);
  EXPECT_EQ(TFixMode::Fix3D, r.Fix.Mode);
  EXPECT_DOUBLE_EQ(410.0, r.Fix.Altitude);     // above mean sea level, not the ellipsoid
  EXPECT_DOUBLE_EQ(1796817633.0, r.Fix.Time);  // 2026-12-09T12:00:33Z by date(1)
  EXPECT_EQ("/dev/pts/1", r.Device);
}

TEST(GpsdReports, CountsSatellitesOfTheSky) {
  const TGpsdReport withCounts = ParseGpsdReport(
      R"({"class":"SKY","hdop":0.9,"nSat":3,"uSat":2,"satellites":[{"PRN":5,"el":45,"az":120,"ss":40,"used":true},{"PRN":7,"el":10,"az":300,"ss":22,"used":false},{"PRN":9,"used":true}]})");
  ASSERT_EQ(TGpsdReportKind::Sky, withCounts.Kind);
  EXPECT_EQ(3, withCounts.Sky.Visible);
  EXPECT_EQ(2, withCounts.Sky.Used);
  ASSERT_EQ(3u, withCounts.Sky.Satellites.size());
  EXPECT_EQ(7, withCounts.Sky.Satellites[1].Prn);
  EXPECT_FALSE(withCounts.Sky.Satellites[1].Used);
  EXPECT_DOUBLE_EQ(0.9, withCounts.Sky.Hdop);
  // Older daemons give only the list: the counts come from it.
  const TGpsdReport listOnly = ParseGpsdReport(
      R"({"class":"SKY","satellites":[{"PRN":5,"used":true},{"PRN":7,"used":false}]})");
  EXPECT_EQ(2, listOnly.Sky.Visible);
  EXPECT_EQ(1, listOnly.Sky.Used);
}

TEST(GpsdReports, RefusesOverlongLinesAndDeepNestingWithoutCrashing) {
  EXPECT_EQ(TGpsdReportKind::Malformed, ParseGpsdReport(std::string(kMaxGpsdLine + 1, ' ')).Kind);
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(TGpsdReportKind::Malformed, ParseGpsdReport(deep).Kind);
  EXPECT_EQ(TGpsdReportKind::Error,
            ParseGpsdReport(R"({"class":"ERROR","message":"Unrecognized request"})").Kind);
}

// ------------------------------------------------------------ NMEA streams

std::vector<TPositionFix> FeedInChunks(const std::string& Bytes, std::size_t Chunk,
                                       TNmeaStream& Stream) {
  std::vector<TPositionFix> all;
  for (std::size_t i = 0; i < Bytes.size(); i += Chunk) {
    auto more = Stream.Feed(std::string_view(Bytes).substr(i, Chunk));
    all.insert(all.end(), more.begin(), more.end());
  }
  auto rest = Stream.Finish();
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

TEST(NmeaStream, GivesTheLogReadersEpochsHoweverTheBytesAreSplit) {
  const std::string log = NmeaLog(47.0, 8.0, 47.01, 8.02, 30, "091226");
  const TTrackData track = ParseNmeaLog(log, "route.nmea");
  ASSERT_EQ(1u, track.Tracks.size());
  const TTrackPoints& p = track.Points;
  ASSERT_EQ(30u, p.Size());
  for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
    SCOPED_TRACE(chunk);
    TNmeaStream stream;
    const std::vector<TPositionFix> fixes = FeedInChunks(log, chunk, stream);
    // Two sentences an epoch, a fix each: the epoch's last fix has both.
    ASSERT_EQ(60u, fixes.size());
    for (std::size_t i = 0; i < p.Size(); ++i) {
      const TPositionFix& f = fixes[2 * i + 1];
      EXPECT_DOUBLE_EQ(p.Lat[i], f.Lat);
      EXPECT_DOUBLE_EQ(p.Lon[i], f.Lon);
      EXPECT_DOUBLE_EQ(p.Time[i], f.Time);
      EXPECT_DOUBLE_EQ(p.Ele[i], f.Altitude);
      EXPECT_EQ(8, f.SatellitesUsed);
      EXPECT_NEAR(10 * 0.514444, f.Speed, 1e-3);  // 10 knots
    }
    EXPECT_EQ(60, stream.Lines());
    EXPECT_EQ(0, stream.Damaged());
  }
}

TEST(NmeaStream, SkipsAndCountsDamagedSentences) {
  const std::string good = "$GPGGA,120000.00,4700.000,N,00800.000,E,1,08,0.9,410.0,M,47.0,M,,*";
  struct TCase {
    const char* Name;
    std::string Line;
    TNmeaSkip Reason;
  };
  const std::string valid = test::WithChecksum(good.substr(1, good.size() - 2));
  std::string flipped = valid;
  flipped[20] = '1';  // a digit of the latitude changed under the checksum
  const std::vector<TCase> cases = {
      {"bad checksum", flipped, TNmeaSkip::BadChecksum},
      {"cut short", valid.substr(0, 40), TNmeaSkip::NoChecksum},
      {"no dollar", valid.substr(1), TNmeaSkip::NotASentence},
      {"two decimal points",
       test::WithChecksum("GPGGA,120000.00,4700.00.0,N,00800.000,E,1,08,0.9,410.0,M,47.0,M,,"),
       TNmeaSkip::Malformed},
      {"minutes beyond 60",
       test::WithChecksum("GPGGA,120000.00,4775.000,N,00800.000,E,1,08,0.9,410.0,M,47.0,M,,"),
       TNmeaSkip::Malformed},
      {"other sentence", test::WithChecksum("GPGSV,1,1,01,05,45,120,40"), TNmeaSkip::Unsupported},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TNmeaStream stream;
    // The damaged line between two good ones: only it is lost.
    const auto fixes = FeedInChunks(valid + "\r\n" + c.Line + "\r\n" + valid + "\r\n", 5, stream);
    EXPECT_EQ(2u, fixes.size());
    EXPECT_EQ(1, stream.Count(c.Reason));
    EXPECT_EQ(NmeaSkipIsDamage(c.Reason) ? 1 : 0, stream.Damaged());
  }
  // More decimals than receivers usually send are precision, not damage.
  TNmeaStream precise;
  const auto fix = FeedInChunks(
      test::WithChecksum(
          "GPGGA,120000.0000,4700.0000001,N,00800.0000001,E,1,08,0.9,410.0,M,47.0,M,,") +
          "\n",
      64, precise);
  ASSERT_EQ(1u, fix.size());
  EXPECT_NEAR(47.0 + 0.0000001 / 60, fix[0].Lat, 1e-12);
}

TEST(NmeaStream, DropsOverlongLinesWithBoundedMemory) {
  TNmeaStream stream;
  const std::string noise(5 * kMaxNmeaLine, 'x');
  const std::string valid =
      test::WithChecksum("GPGGA,120000.00,4700.000,N,00800.000,E,1,08,0.9,410.0,M,47.0,M,,");
  // A valid sentence glued to the end of the noise is part of the long line.
  auto fixes = FeedInChunks(noise + valid + "\n" + valid + "\n", 100, stream);
  EXPECT_EQ(1u, fixes.size());
  EXPECT_EQ(2, stream.Lines());
  EXPECT_EQ(1, stream.Damaged());
}

}  // namespace
}  // namespace marovia
