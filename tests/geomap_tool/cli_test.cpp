// The command line of geomap: help, and bad commands and options refused
// with one line and status 2 before anything is read or written.
#include <gtest/gtest.h>

#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

TEST(GeomapCli, HelpListsEveryCommandWithExamples) {
  const TResult r = RunTool({"--help"});
  EXPECT_EQ(r.Status, kExitOk);
  for (const char* word :
       {"render", "info", "calibrate", "generate", "print", "Examples:", "Exit status"}) {
    EXPECT_NE(r.Out.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(r.Err, "");
}

TEST(GeomapCli, WithoutArgumentsShowsHelpOnErrorAndFails) {
  const TResult r = RunTool({});
  EXPECT_EQ(r.Status, kExitUsage);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(r.Err.find("Usage:"), std::string::npos);
}

TEST(GeomapCli, RefusesBadCommandsAndOptionsWithOneLine) {
  const marovia::test::TempDir dir;
  const std::string map = Sample("alps_eqc.xml");
  const std::string png = dir.File("out.png");
  const std::vector<std::vector<std::string>> cases = {
      {"frobnicate"},
      {"render"},
      {"render", map},                                  // no -o
      {"render", map, "-o", dir.File("out.gif")},       // unknown format
      {"render", map, "-o", png, "--size", "10x10"},    // too small
      {"render", map, "-o", png, "--center", "95,10"},  // latitude beyond the pole
      {"render", map, "-o", png, "--mag", "0"},
      {"render", map, "-o", png, "--grid", "dots"},
      {"render", map, "-o", png, "--grid-step", "-1"},
      {"render", map, "-o", png, "--utm-step", "1.5"},
      {"render", map, "-o", png, "--quality", "101"},
      {"render", map, "-o", png, "--frob"},
      {"render", map, "-o"},                             // value missing
      {"render", map, "--no-antialias=yes", "-o", png},  // flag with a value
      {"render", Sample(), "-o", png},                   // a folder needs --center
      {"info"},
      {"info", "--verbose", map},
      {"calibrate", "points.txt", "-m", "equirect"},                 // no image
      {"calibrate", "points.txt", "-i", "x.jpg"},                    // no model
      {"calibrate", "points.txt", "-i", "x.jpg", "-m", "mercator"},  // unknown model
      {"calibrate", "points.txt", "-i", "x.jpg", "-m", "utm"},       // no zone
      {"calibrate", "points.txt", "-i", "x.jpg", "-m", "utm", "--utm-zone", "61N"},
      {"calibrate", "points.txt", "-i", "x.jpg", "-m", "equirect", "--ellipsoid", "gelMoon"},
      {"generate", dir.File("g.xml"), "--lat", "45,48"},                  // no --lon
      {"generate", dir.File("g.xml"), "--lat", "45,45", "--lon", "5,6"},  // equal limits
      {"generate", dir.File("g.xml"), "--lat", "45,48", "--lon", "5,6", "--step", "0"},
      {"generate", dir.File("g.xml"), "--lat", "45,48", "--lon", "5,6", "--size", "3000x3000"},
      {"print", map},
      {"print", map, "-o", dir.File("x.png")},
      {"print", map, "-o", dir.File("x.pdf"), "--paper", "b5"},
      {"print", map, "-o", dir.File("x.pdf"), "--size", "800x600"},
      {"print", map, "-o", dir.File("x.pdf"), "--dpi", "9000"},
  };
  for (const auto& args : cases) {
    const TResult r = RunTool(args);
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_EQ(r.Status, kExitUsage) << line << r.Err;
    EXPECT_EQ(r.Out, "") << line;
    EXPECT_EQ(Lines(r.Err), 1) << line << r.Err;
    EXPECT_EQ(r.Err.rfind("geomap: ", 0), 0u) << line << r.Err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(GeomapCli, QuotesHostileArgumentsSafely) {
  const TResult r = RunTool({"render", std::string("a\x1b[2Jb\0c", 8), "-o", "x.png"});
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_EQ(r.Err.find('\x1b'), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("\\x1B"), std::string::npos) << r.Err;
  EXPECT_EQ(Lines(r.Err), 1);
}

}  // namespace
}  // namespace marovia::geomaptool::test
