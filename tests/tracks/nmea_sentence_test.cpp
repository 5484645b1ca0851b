// The NMEA 0183 sentence parser, one row per sentence: what a fix holds
// (values worked out by hand from the fields) and why a line gives none.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "marovia/geomap/nmea.h"

namespace marovia {
namespace {

// The sentence with its checksum appended (XOR of the bytes between '$'
// and '*').
std::string Sum(const std::string& Body) {
  unsigned sum = 0;
  for (std::size_t i = 1; i < Body.size(); ++i) sum ^= static_cast<unsigned char>(Body[i]);
  char b[8];
  std::snprintf(b, sizeof b, "*%02X", sum);
  return Body + b;
}

struct TRow {
  std::string Line;
  TNmeaSkip Skip;
  double Lat = 0, Lon = 0, Time = kNoValue, Alt = kNoValue;
  const char* Why = "";  // part of the message of a malformed sentence
};

std::vector<TRow> Rows() {
  const double lat = 48 + 7.038 / 60, lon = 11 + 31.0 / 60;
  using S = TNmeaSkip;
  return {
      // The classic examples with their published checksums.
      {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", S::None, lat, lon,
       45319, 545.4},
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", S::None, lat,
       lon, 45319},
      // Any talker, any number of decimals, south and west, GNS.
      {Sum("$GNGNS,014035.25,4332.69262,S,17235.48549,W,RR,13,0.9,25.63,11.24,,"), S::None,
       -(43 + 32.69262 / 60), -(172 + 35.48549 / 60), 6035.25, 25.63},
      {Sum("$GLGGA,000000,0000.0000000001,S,00000.0,W,1,04,2.0,-12.5,M,,M,,"), S::None,
       -0.0000000001 / 60, 0, 0, -12.5},
      {Sum("$BDRMC,235959.999,A,8959.9999,N,17959.9999,E,,,010100,,"), S::None, 89 + 59.9999 / 60,
       179 + 59.9999 / 60, 86399.999},
      {Sum("$GPGGA,101010,4807,N,131.5,E,1,08,,,,,,,"), S::None, 48 + 7.0 / 60, 1 + 31.5 / 60,
       36610},
      {Sum("$GPRMC,101010,A,4807.038,N,01131.000,E,,,010121,,,A").append("  "), S::None, lat, lon,
       36610},
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6a", S::None, lat, lon,
       45319},
      // Damage.
      {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48", S::BadChecksum},
      {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", S::NoChecksum},
      {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*4", S::NoChecksum},
      {"$GPGGA,123519,4807.038,N,011", S::NoChecksum},
      {"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", S::NotASentence},
      {"$", S::NotASentence},
      {"$gpgga,1*00", S::NotASentence},
      {"hello world", S::NotASentence},
      {Sum("$GPGGA,123519,4860.000,N,01131.000,E,1,08,,,,,,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "60 minutes"},
      {Sum("$GPGGA,123519,9100.000,N,01131.000,E,1,08,,,,,,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "out of range"},
      {Sum("$GPGGA,123519,4807.038,X,01131.000,E,1,08,,,,,,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "hemisphere 'X'"},
      {Sum("$GPGGA,123519,4807.0-8,N,01131.000,E,1,08,,,,,,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "not degrees and minutes"},
      {Sum("$GPGGA,250000,4807.038,N,01131.000,E,1,08,,,,,,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "no time of day"},
      {Sum("$GPGGA,12351,4807.038,N,01131.000,E,1,08,,,,,,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "not hhmmss"},
      {Sum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,1e9x,M,,M,,"), S::Malformed, 0, 0,
       kNoValue, kNoValue, "altitude '1e9x'"},
      {Sum("$GPRMC,123519,A,4807.038,N,01131.000,E,1,2,310294,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "is no date"},
      {Sum("$GPRMC,123519,A,4807.038,N,01131.000,E,1,400,010194,,"), S::Malformed, 0, 0, kNoValue,
       kNoValue, "outside 0..360"},
      {Sum("$GPGGA,123519,4807.038,N"), S::Malformed, 0, 0, kNoValue, kNoValue, "of 3 fields"},
      // No fix, other sentences.
      {Sum("$GPGGA,123519,,,,,0,00,,,,,,,"), S::NoFix},
      {Sum("$GPGGA,123519,4807.038,N,01131.000,E,0,00,,,,,,,"), S::NoFix},
      {Sum("$GPRMC,123519,V,4807.038,N,01131.000,E,,,230394,,"), S::NoFix},
      {Sum("$GPRMC,123519,A,4807.038,N,01131.000,E,,,230394,,,N"), S::NoFix},
      {Sum("$GNGNS,123519,4807.038,N,01131.000,E,NNN,00,,,,,"), S::NoFix},
      {Sum("$GPGSV,3,1,11,03,03,111,00"), S::Unsupported},
      {Sum("$PGRME,15.0,M,45.0,M,25.0,M"), S::Unsupported},
      {Sum("!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0"), S::Unsupported},
      {"   \r\n", S::Empty},
  };
}

TEST(NmeaSentence, FixesAndSkipReasonsByTable) {
  for (const TRow& r : Rows()) {
    SCOPED_TRACE(r.Line);
    const TNmeaSentence s = ParseNmeaSentence(r.Line);
    EXPECT_EQ(s.Skip, r.Skip) << NmeaSkipText(s.Skip) << ": " << s.Why;
    if (r.Skip == TNmeaSkip::Malformed) {
      EXPECT_NE(s.Why.find(r.Why), std::string::npos) << s.Why;
    }
    if (r.Skip != TNmeaSkip::None || s.Skip != TNmeaSkip::None) continue;
    EXPECT_NEAR(s.Fix.Lat, r.Lat, 1e-12);
    EXPECT_NEAR(s.Fix.Lon, r.Lon, 1e-12);
    EXPECT_NEAR(s.Fix.TimeOfDay, r.Time, 1e-9);
    if (std::isnan(r.Alt)) {
      EXPECT_TRUE(std::isnan(s.Fix.Altitude));
    } else {
      EXPECT_DOUBLE_EQ(s.Fix.Altitude, r.Alt);
    }
  }
}

TEST(NmeaSentence, KeepsWhatEachSentenceAdds) {
  const TNmeaSentence gga =
      ParseNmeaSentence("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");
  EXPECT_EQ(std::string(gga.Fix.Talker), "GP");
  EXPECT_EQ(gga.Fix.Quality, 1);
  EXPECT_EQ(gga.Fix.Satellites, 8);
  EXPECT_DOUBLE_EQ(gga.Fix.Hdop, 0.9);
  EXPECT_DOUBLE_EQ(gga.Fix.GeoidSeparation, 46.9);
  EXPECT_EQ(gga.Fix.Year, 0);  // GGA has no date
  const TNmeaSentence rmc =
      ParseNmeaSentence("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A");
  EXPECT_EQ(rmc.Fix.Kind, TNmeaKind::RMC);
  EXPECT_EQ(rmc.Fix.Year * 10000 + rmc.Fix.Month * 100 + rmc.Fix.Day, 19940323);
  EXPECT_NEAR(rmc.Fix.Speed, 22.4 * 1852 / 3600, 1e-12);
  EXPECT_DOUBLE_EQ(rmc.Fix.Course, 84.4);
  EXPECT_EQ(ParseNmeaSentence(Sum("$GPRMC,000001,A,0000,N,00000,E,,,010179,,")).Fix.Year, 2079);
  EXPECT_EQ(ParseNmeaSentence(Sum("$GPRMC,000001,A,0000,N,00000,E,,,010180,,")).Fix.Year, 1980);
  const TNmeaSentence gns = ParseNmeaSentence(Sum("$GNGNS,000001,0000,N,00000,E,DA,13,0.9,5,-1,,"));
  EXPECT_EQ(gns.Fix.Mode, 'D');
  EXPECT_EQ(gns.Fix.Satellites, 13);
}

}  // namespace
}  // namespace marovia
