// Every kind of map through every command of the tool: a result each time,
// with the colours and positions the map has, and a border honoured where it
// is set (tiles transparent outside it). The kinds (tests/support/map_kinds.h)
// show one place as four coloured quadrants, so one set of expectations
// serves them all.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "png_reader.h"
#include "run_tool.h"
#include "support/map_kinds.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

namespace fs = std::filesystem;
using marovia::test::TMapKind;

// The folder of kinds, made once for the whole program (the large TIFF and
// its pyramid cost a second).
class MapKinds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new marovia::test::TempDir;
    ::setenv("XDG_CACHE_HOME", dir_->File("cache").c_str(), 1);
    kinds_ = marovia::test::WriteMapKinds(*dir_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Out(const TMapKind& K, const std::string& Ext) {
    return dir_->File("out_" + K.Name + Ext);
  }
  static marovia::test::TempDir* dir_;
  static std::vector<TMapKind> kinds_;
};
marovia::test::TempDir* MapKinds::dir_ = nullptr;
std::vector<TMapKind> MapKinds::kinds_;

// Whether a pixel is the quadrant colour within what JPEG leaves.
bool Near(const TRgbImage::TPixel& P, uint32_t Colour) {
  return std::abs(P.R - static_cast<int>(Colour >> 16 & 0xFF)) < 40 &&
         std::abs(P.G - static_cast<int>(Colour >> 8 & 0xFF)) < 40 &&
         std::abs(P.B - static_cast<int>(Colour & 0xFF)) < 40;
}

TEST_F(MapKinds, InfoConvertRenderPrintAndExportEachGiveTheirResult) {
  for (const TMapKind& k : kinds_) {
    SCOPED_TRACE(k.Name);
    const int w = k.Large ? 2100 : 300, h = k.Large ? 1500 : 200;
    const TResult info = RunTool({"info", k.File});
    EXPECT_EQ(info.Status, kExitOk) << info.Err;
    EXPECT_NE(info.Out.find(std::to_string(w) + " x " + std::to_string(h) + " pixels"),
              std::string::npos)
        << info.Out;

    // 47 N 9.5 E is the image's centre.
    const TResult convert = RunTool({"convert", k.File}, "47 9.5\n");
    ASSERT_EQ(convert.Status, kExitOk) << convert.Err;
    double x = 0, y = 0;
    std::istringstream(convert.Out) >> x >> y;
    EXPECT_NEAR(x, w / 2.0, 0.6) << convert.Out;
    EXPECT_NEAR(y, h / 2.0, 0.6) << convert.Out;

    // A view of the middle of each quadrant.
    const TResult render = RunTool({"render", k.File, "--center", "47,9.5", "--size", "64x48",
                                    "--mag", std::to_string(64.0 / w), "-o", Out(k, ".png")});
    ASSERT_EQ(render.Status, kExitOk) << render.Err;
    TRgbImage view;
    ASSERT_TRUE(ReadPng(Out(k, ".png"), view));
    EXPECT_TRUE(Near(view.At(16, 12), 0xFF0000));
    EXPECT_TRUE(Near(view.At(48, 12), 0x00FF00));
    EXPECT_TRUE(Near(view.At(16, 36), 0x0000FF));
    EXPECT_TRUE(Near(view.At(48, 36), 0xFFFF00));

    const TResult print = RunTool({"print", k.File, "-o", Out(k, ".pdf")});
    EXPECT_EQ(print.Status, kExitOk) << print.Err;
    EXPECT_GT(fs::file_size(Out(k, ".pdf")), 1000u);
    const TResult kml = RunTool({"export", k.File, "--to", "kml", "-o", Out(k, ".kml")});
    EXPECT_EQ(kml.Status, kExitOk) << kml.Err;
  }
}

// The tile (level Z) and the pixel in it of a position, worked out here.
struct TTilePixel {
  int X, Y, Col, Row;
};
TTilePixel TilePixelAt(double Lat, double Lon, int Z) {
  const double n = std::ldexp(1.0, Z), phi = Lat * std::numbers::pi / 180;
  const double tx = (Lon + 180) / 360 * n;
  const double ty = (1 - std::asinh(std::tan(phi)) / std::numbers::pi) / 2 * n;
  return {static_cast<int>(tx), static_cast<int>(ty), static_cast<int>((tx - std::floor(tx)) * 256),
          static_cast<int>((ty - std::floor(ty)) * 256)};
}

TEST_F(MapKinds, TilesOfEveryKindAndNothingOutsideABorder) {
  // Inside every map (north-west quadrant), and inside the image but outside
  // the .map file's border (which leaves out the outer eighth).
  constexpr int kZoom = 9;
  const TTilePixel inside = TilePixelAt(47.5, 8.75, kZoom);
  const TTilePixel margin = TilePixelAt(47.95, 8.9, kZoom);
  for (const TMapKind& k : kinds_) {
    SCOPED_TRACE(k.Name);
    const std::string out = Out(k, "_tiles");
    const TResult r = RunTool({"tiles", k.File, "-o", out, "--zoom", std::to_string(kZoom)});
    ASSERT_EQ(r.Status, kExitOk) << r.Err;
    const auto tile = [&](const TTilePixel& P) {
      return out + "/" + std::to_string(kZoom) + "/" + std::to_string(P.X) + "/" +
             std::to_string(P.Y) + ".png";
    };
    TRgbImage a, b;
    ASSERT_TRUE(ReadPngWithAlpha(tile(inside), a));
    const size_t ia = static_cast<size_t>(inside.Row) * 256 + inside.Col;
    EXPECT_EQ(a.Alpha[ia], 255);
    EXPECT_TRUE(Near(a.At(inside.Col, inside.Row), 0xFF0000));
    ASSERT_TRUE(ReadPngWithAlpha(tile(margin), b));
    const size_t ib = static_cast<size_t>(margin.Row) * 256 + margin.Col;
    EXPECT_EQ(b.Alpha[ib], k.Border ? 0 : 255);
  }
}

}  // namespace
}  // namespace marovia::geomaptool::test
