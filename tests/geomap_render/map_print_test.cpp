// Printing the map: windows at a scale on the open page, the printed size,
// and a whole document that poppler's tools open as a PDF.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "marovia/platform/pngimage.h"
#include "marovia/platform/printers.h"
#include "render_fixture.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

std::string Output(const std::string& Command) {
  return RunCommand(Command).Out;
}

bool HavePoppler() {
  return !Output("pdfinfo -v 2>&1").empty() && !Output("pdftoppm -v 2>&1").empty();
}

// A generated 300 x 200 map with one landmark (a blue cross) at (150, 100),
// printed on pages of 100 dpi; the printer's settings are put back after.
class MapPrinting : public ::testing::Test {
 protected:
  MapPrinting() {
    GenerateBlankMap(v.map);
    v.map.AddLandMark(45, 15, 0);
    Printer().SetResolution(100);
    Printer().SetFileName(dir.File("map.pdf"));
  }
  ~MapPrinting() override {
    if (Printer().Printing()) Printer().Abort();
    Printer().SetResolution(300);
    Printer().SetFileName("");
  }
  TColor PageAt(int X, int Y) { return Printer().Canvas().Pixels(X, Y); }
  MapView v;
  TempDir dir;
};

TEST_F(MapPrinting, WholeMapGoesToThePositionAndTheCornerComesBack) {
  Printer().BeginDoc();
  int32_t x = 50, y = 60;
  v.map.CopyToOpenPrinter(x, y, 2.0);
  EXPECT_EQ(x, 650);
  EXPECT_EQ(y, 460);
  EXPECT_EQ(PageAt(50 + 300, 60 + 200), clBlue);  // the cross at twice (150, 100)
  EXPECT_EQ(PageAt(49, 60), clWhite);
  EXPECT_EQ(PageAt(50, 60), clWhite);  // the map (no frame)
}

TEST_F(MapPrinting, WindowsArePrintedAtTheirScaleAndPosition) {
  Printer().BeginDoc();
  v.map.CopyToOpenPrinter(Rect(100, 50, 200, 150), 200, 10, 20);
  EXPECT_EQ(PageAt(10 + 100, 20 + 100), clBlue);
  v.map.CopyToOpenPrinter(TPoint{100, 50}, 100, 400, 20, 100, 100);
  EXPECT_EQ(PageAt(400 + 50, 20 + 50), clBlue);
}

TEST_F(MapPrinting, LargeScalesAreCutAtThePage) {
  Printer().BeginDoc();
  int32_t x = 0, y = 0;
  EXPECT_NO_THROW(v.map.CopyToOpenPrinter(x, y, 1000.0));
  EXPECT_EQ(x, 300000);
  EXPECT_EQ(PageAt(Printer().PageWidth() - 1, Printer().PageHeight() - 1), clWhite);
}

TEST_F(MapPrinting, PrintingWithoutAnOpenDocumentIsAnError) {
  int32_t x = 0, y = 0;
  EXPECT_THROW(v.map.CopyToOpenPrinter(x, y, 1.0), EZYLGeoMapError);
  EXPECT_THROW(v.map.PrintIt(0), EZYLGeoMapError);
  EXPECT_FALSE(Printer().Printing());
}

TEST_F(MapPrinting, PrintItWritesAPdfThatAnIndependentReaderOpens) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
  v.map.PrintIt(1.0);
  EXPECT_FALSE(Printer().Printing());
  const std::string pdf = dir.File("map.pdf");
  const std::string info = Output("pdfinfo '" + pdf + "' 2>&1");
  EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
  Output("pdftoppm -r 100 -singlefile -png '" + pdf + "' '" + dir.File("page") + "' 2>&1");
  TPngImage page;
  page.LoadFromFile(dir.File("page.png"));
  EXPECT_EQ(page.Width(), Printer().PageWidth());
  TBitmap bmp;
  bmp.Assign(page);
  // The reader may render colours slightly off; blue stays blue.
  const TColor cross = bmp.Canvas().Pixels(150, 100);
  EXPECT_GT(GetBValue(cross), 0xE0) << std::hex << cross;
  EXPECT_LT(GetRValue(cross), 0x30) << std::hex << cross;
  EXPECT_LT(GetGValue(cross), 0x30) << std::hex << cross;
  EXPECT_EQ(bmp.Canvas().Pixels(10, 10), clWhite);
}

TEST_F(MapPrinting, FailedPrintLeavesNoDocumentOpen) {
  Printer().SetFileName(dir.File("no/such/dir/map.pdf"));
  EXPECT_THROW(v.map.PrintIt(1.0), EInOutError);
  EXPECT_FALSE(Printer().Printing());
}

}  // namespace
}  // namespace marovia::test
