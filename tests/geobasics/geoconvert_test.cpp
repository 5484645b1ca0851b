// The geoconvert tool, run in-process on string streams.
#include <gtest/gtest.h>

#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "geoconvert_cli.h"

namespace marovia::geoconvert {
namespace {

struct Result {
  int status;
  std::string out, err;
};

Result RunTool(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = Run(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(Geoconvert, ConvertsBetweenFormats) {
  struct Case {
    std::vector<std::string> args;
    const char* out;
  };
  const Case cases[] = {
      {{"-t", "utm", "50", "10"}, "32U 571666.448 5539109.815\n"},
      {{"--to", "utm", "-33.9", "18.4"}, "34H 259583.222 6245888.045\n"},
      {{"-t", "utm", "33.9S", "18.4E"}, "34H 259583.222 6245888.045\n"},
      {{"-t", "utm", "18.4E", "33.9S"},
       "34H 259583.222 6245888.045\n"},  // letters say which is which
      {{"-t", "utm", "-p", "4", "0", "3"}, "31N 500000.0000 0.0000\n"},
      {{"-f", "utm", "-p", "4", "32U", "571666.4475", "5539109.8153"},
       "50.0000000000 10.0000000000\n"},
      {{"-f", "utm", "32", "u", "571666.4475,", "5539109.8153"}, "50.000000000 10.000000000\n"},
      {{"-t", "ups", "85", "0"}, "N 2000000.000 1444542.609\n"},
      {{"-t", "ups", "-85", "0"}, "S 2000000.000 2555457.391\n"},
      {{"-f", "ups", "-p", "2", "Z", "2235568.725", "1764431.275"}, "87.00000000 45.00000000\n"},
      {{"-t", "cart", "0", "0"}, "6378137.000 0.000 0.000\n"},
      {{"-f", "cart", "0", "0", "6356762.314245"}, "90.000000000 0.000000000 10.000\n"},
      {{"-f", "ups", "S", "2000000", "2000000"}, "-90.000000000 0.000000000\n"},
      {{"-e", "Int24", "-t", "cart", "0", "90"}, "0.000 6378388.000 0.000\n"},
      {{"-t", "utm", "10", "180"}, "1P 171071.264 1106908.854\n"},  // 180 is -180, zone 1
      {{"-t", "mgrs", "50", "10"}, "32UNA7166639109\n"},
      {{"-t", "usng", "-g", "2", "50", "10"}, "32U NA 71 39\n"},
      {{"-t", "mgrs", "-g", "0", "89", "0"}, "ZAF\n"},
      {{"-f", "mgrs", "-p", "2", "32una7166639109"}, "49.99999716 10.00000067\n"},
      {{"-f", "usng", "32U", "NA", "71666", "39109"}, "49.999997158 10.000000674\n"},
      {{"-s", "269", "-d", "WORLD GEODETIC SYSTEM 1984", "45", "7", "100"},
       "45.000000000 7.000000000 100.000\n"},
  };
  for (const auto& c : cases) {
    const Result r = RunTool(c.args);
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, c.out) << c.args.back();
    EXPECT_EQ(r.err, "");
  }
}

TEST(Geoconvert, ShiftsBetweenDatums) {
  // Into WGS 84 by default (reference from an independent Helmert
  // implementation: 51.500511308 -0.121606858 46.1007), and back with -d.
  Result r = RunTool({"-s", "ordnance gb", "51.5", "-0.12"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "51.500511308 -0.121606858 46.101\n");
  r = RunTool({"-d", "183"}, r.out);
  ASSERT_EQ(r.status, kExitOk) << r.err;
  double lat = 0, lon = 0, h = 0;
  std::istringstream(r.out) >> lat >> lon >> h;
  EXPECT_NEAR(lat, 51.5, 1e-7);
  EXPECT_NEAR(lon, -0.12, 1e-7);
  EXPECT_NEAR(h, 0, 0.05);
}

TEST(Geoconvert, ReportsBadLinesAndGoesOn) {
  const std::string input =
      "50 10\n"
      "\n"
      "# a comment\n"
      "95 10\n"
      "50 ten\n"
      "-20 30\r\n"
      "1 2 3 4\n"
      "85 0\n"
      "50N 10N\n"
      "inf 0\n";
  const Result r = RunTool({"-t", "utm"}, input);
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_EQ(r.out, "32U 571666.448 5539109.815\n36K 186073.680 7785705.974\n");
  EXPECT_EQ(r.err,
            "geoconvert: line 4: latitude 95 is outside -90 to 90\n"
            "geoconvert: line 5: angle 'ten' is not a number\n"
            "geoconvert: line 7: expected latitude longitude [height], got 4 values\n"
            "geoconvert: line 8: latitude 85.000000 is outside the UTM area (-80 to 84); use "
            "--to ups\n"
            "geoconvert: line 9: both angles are latitudes\n"
            "geoconvert: line 10: angle 'inf' is not a number\n");
}

TEST(Geoconvert, ReportsReferencesThatNameNoSquare) {
  const Result r = RunTool({"-f", "mgrs"}, "32UNJ\n32UNA713\n32UNA7139\n");
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_EQ(r.out, "50.003528800 9.997750469\n");  // the centre of the 1 km square
  EXPECT_EQ(r.err,
            "geoconvert: line 1: square 32U NJ does not lie in band U\n"
            "geoconvert: line 2: '32UNA713' needs two halves of equal length (up to 5 digits "
            "each)\n");
}

TEST(Geoconvert, LineOfStrayCarriageReturnsIsBlankNotAnError) {
  // Doubled CR line ends, a lone CR and a form feed all leave lines that
  // hold nothing but white space.
  const Result r = RunTool({}, "50 10\r\r\n\r\n\r\r\n\f\n \v\t\n-20 30\r\r\n");
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "50.000000000 10.000000000\n-20.000000000 30.000000000\n");
}

TEST(Geoconvert, ByteOrderMarkBeforeTheFirstLineIsNotPartOfTheNumber) {
  const Result r = RunTool({"-t", "utm"},
                           "\xEF\xBB\xBF"
                           "50 10\r\n-20 30\r\n");
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "32U 571666.448 5539109.815\n36K 186073.680 7785705.974\n");
}

TEST(Geoconvert, NumbersBeyondTheRangeOfADouble) {
  // Too small to hold is zero, not "not a number".
  Result r = RunTool({"-t", "utm", "1e-400", "-3e-999"});
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "31N 166021.443 0.000\n");
  // Too large is refused as such.
  r = RunTool({}, "1e400 0\n10 -1E+999W\n-f\n");
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_EQ(r.err,
            "geoconvert: line 1: angle '1e400' is out of range\n"
            "geoconvert: line 2: '-1E+999W' has both a sign and a hemisphere letter\n"
            "geoconvert: line 3: expected latitude longitude [height], got 1 value\n");
  r = RunTool({"-f", "cart", "1", "2", "+1e400"});
  EXPECT_EQ(r.err, "geoconvert: Z '+1e400' is out of range\n");
}

TEST(Geoconvert, ControlBytesOfBadInputAreNotEchoedRaw) {
  Result r = RunTool({}, std::string("50 1\x1b[2J0\n50 10 ") + '\0' + "\n");
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_EQ(r.err,
            "geoconvert: line 1: angle '1\\x1B[2J0' is not a number\n"
            "geoconvert: line 2: height '\\x00' is not a number\n");
  r = RunTool({"-e", "x\a"});
  EXPECT_EQ(r.err, "geoconvert: unknown ellipsoid 'x\\x07' (see --list-ellipsoids)\n");
  r = RunTool({"--country", "\x7f"});
  EXPECT_EQ(r.err, "geoconvert: no country has the code or a name starting with '\\x7F'\n");
}

// A stream buffer that fails: reading throws after the given text, writing
// accepts nothing.
class FailingBuf : public std::streambuf {
 public:
  explicit FailingBuf(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::ios_base::failure("read error"); }
  int_type overflow(int_type) override { return traits_type::eof(); }

 private:
  std::string text_;
};

TEST(Geoconvert, LostOutputOrFailedReadIsNotReportedAsSuccess) {
  FailingBuf sink("");
  std::ostream full(&sink);
  std::istringstream in;
  std::ostringstream err;
  EXPECT_EQ(geoconvert::Run({"50", "10"}, in, full, err), kExitIo);
  EXPECT_EQ(err.str(), "geoconvert: cannot write the output\n");

  FailingBuf source("50 10\n");
  std::istream broken(&source);
  std::ostringstream out, err2;
  EXPECT_EQ(geoconvert::Run({}, broken, out, err2), kExitIo);
  EXPECT_EQ(out.str(), "50.000000000 10.000000000\n");
  EXPECT_EQ(err2.str(), "geoconvert: cannot read the input\n");
}

TEST(Geoconvert, RejectsInconsistentGridInput) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"-f", "utm", "32", "571666", "5539109"},
       "'32' is not a zone with its latitude band, like 32U"},
      {{"-f", "utm", "61U", "571666", "5539109"}, "zone 61 is not 1 to 60"},
      {{"-f", "utm", "32I", "571666", "5539109"},
       "'I' is not a UTM band (C to X, without I and O)"},
      {{"-f", "utm", "32U", "-5", "5539109"}, "easting -5 is outside 0 to 1000000"},
      // A southern band with a northern northing: the hemisphere is wrong.
      {{"-f", "utm", "32C", "571666", "5539109"},
       "northing 5539109 lies at latitude -40.295, outside band C"},
      {{"-f", "ups", "Q", "2000000", "2000000"}, "'Q' is not a UPS hemisphere (N or S)"},
      {{"-f", "cart", "1", "2"}, "expected X Y Z, got 2 values"},
      {{"-50S", "10"}, "'-50S' has both a sign and a hemisphere letter"},
      // Far outside the grid the series diverge; no made-up position comes out.
      {{"-f", "utm", "32X", "999999", "9999999"},
       "the grid coordinates lie outside the area the projection covers"},
      {{"-t", "ups", "70", "0"},
       "latitude 70.000000 is too far from the pole for UPS (x or y outside 0 to 4000000)"},
      {{"-t", "cart", "10", "10", "1e308"}, "height 1e308 is beyond 1e9 metres"},
  };
  for (const auto& c : cases) {
    const Result r = RunTool(c.args);
    EXPECT_EQ(r.status, kExitBadInput);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("geoconvert: ") + c.err + "\n");
  }
}

TEST(Geoconvert, RejectsBadOptionsBeforeConverting) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"--to"}, "option --to needs a value"},
      {{"-t", "osgb"}, "unknown format 'osgb' (geo, utm, ups, mgrs, usng or cart)"},
      {{"-g", "6"}, "the grid digits must be a whole number from 0 to 5, not '6'"},
      {{"-e", "gelMars"}, "unknown ellipsoid 'gelMars' (see --list-ellipsoids)"},
      {{"-s", "0"}, "a datum number must be a whole number from 1 to 271, not '0'"},
      {{"-s", "NOWHERE"}, "no datum starts with 'NOWHERE' (see --list-datums)"},
      {{"-s", "ADINDAN (M"},
       "datum 'ADINDAN (M' is ambiguous: 5 ADINDAN (Mali); 6 ADINDAN (Mean); give its number "
       "or more of its name"},
      {{"-e", "WGS84", "-s", "13"},
       "-e cannot be combined with -s or -d: a datum has its own ellipsoid"},
      {{"-p", "12"}, "the precision must be a whole number from 0 to 9, not '12'"},
      {{"--frobnicate"}, "unknown option --frobnicate (see --help)"},
      {{"--list-datums", "50"}, "unexpected position '50' with a table option"},
  };
  for (const auto& c : cases) {
    const Result r = RunTool(c.args, "50 10\n");
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.out, "");  // nothing converted
    EXPECT_EQ(r.err, std::string("geoconvert: ") + c.err + "\n");
  }
}

TEST(Geoconvert, ListsAndLooksUpTables) {
  Result r = RunTool({"--list-ellipsoids"});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_NE(r.out.find("gelWGS84"), std::string::npos);
  EXPECT_NE(r.out.find("298.257223560"), std::string::npos);
  r = RunTool({"--list-datums"});
  EXPECT_NE(r.out.find("ZANDERIJ (Suriname)"), std::string::npos);
  r = RunTool({"--list-countries"});
  EXPECT_NE(r.out.find("Zimbabwe"), std::string::npos);
  // Codes win over name prefixes: "de" is Germany, not Denmark.
  r = RunTool({"--country", "DE"});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_NE(r.out.find("Berlin"), std::string::npos);
  EXPECT_EQ(r.out.find("Denmark"), std::string::npos);
  r = RunTool({"--country", "korea"});
  EXPECT_NE(r.out.find("Pyongyang"), std::string::npos);
  EXPECT_NE(r.out.find("Seoul"), std::string::npos);
  r = RunTool({"--country", "Atlantis"});
  EXPECT_EQ(r.status, kExitBadInput);
  EXPECT_EQ(r.err, "geoconvert: no country has the code or a name starting with 'Atlantis'\n");
  r = RunTool({"--help"});
  EXPECT_EQ(r.status, kExitOk);
  for (const char* opt :
       {"--from", "--to", "--ellipsoid", "--source-datum", "--target-datum", "--precision",
        "--list-ellipsoids", "--list-datums", "--list-countries", "--country", "Examples:"}) {
    EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
  }
}

}  // namespace
}  // namespace marovia::geoconvert
