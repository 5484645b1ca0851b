// Map borders: kept by calibration files (and absent from files without
// one, byte for byte), the even-odd test, the clipped view against that
// test pixel by pixel, and the atlas choosing among the maps whose border
// holds a position.
#include <gtest/gtest.h>

#include <filesystem>

#include "geomap_render/render_fixture.h"
#include "marovia/geoatlas/geoatlas.h"
#include "marovia/geomap/calxml.h"
#include "marovia/platform/forms.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

TMapCalibration PlateCarree(double Lat0, double Lat1, double Long0, double Long1, int W, int H) {
  TCalibData d;
  d.NumCalQuads = 3;
  d.CalQuads[0] = {Lat1, Long0, 0, 0};
  d.CalQuads[1] = {Lat1, Long1, W, 0};
  d.CalQuads[2] = {Lat0, Long0, 0, H};
  TMapCalibration cal(cmEquiRect, d, W, H);
  cal.Fit();
  return cal;
}

// An L-shaped (concave) border with vertices between pixels.
const std::vector<TBorderVertex> kBorder = {{10.5, 5.25}, {90, 5.25},  {90, 30},
                                            {40.75, 30},  {40.75, 70}, {10.5, 70}};

TEST(BorderFile, RoundTripsAndFilesWithoutOneStayAsTheyWere) {
  test::TempDir dir;
  TMapCalibration cal = PlateCarree(45, 46, 7, 8, 300, 200);
  cal.Data().MapFName = "map.bmp";
  // Without a border the file is what the record writer has always written.
  SaveCalibrationAsXML(dir.File("plain.xml"), "m", cal);
  {
    TCalibData d = cal.Data();
    TMapCalibration c = cal;
    c.CalcExtentsAndResolution();
    TTextFile f(dir.File("old.xml"));
    f.Rewrite();
    WriteRawCalDataToOpenXMLFile(f, true, "m", c.Data(), cmEquiRect);
    f.CloseFile();
  }
  EXPECT_EQ(dir.Read("plain.xml"), dir.Read("old.xml"));

  cal.SetBorder(kBorder);
  SaveCalibrationAsXML(dir.File("border.xml"), "m", cal);
  TMapCalibration back;
  ASSERT_TRUE(ParseCalibration(dir.File("border.xml"), "", back));
  EXPECT_EQ(back.Border(), kBorder);
  EXPECT_EQ(back.Data().CalQuads, cal.Data().CalQuads);
  // The record reader skips the element, as older readers do.
  TCalibData record;
  TCalibModel model = cmUndefined;
  EXPECT_TRUE(ParseCalibData(dir.File("border.xml"), "", record, model));

  // A malformed vertex is refused rather than read as 0.
  std::string text = dir.Read("border.xml");
  text.replace(text.find("90,30"), 5, "90;30");
  dir.Write("bad.xml", text);
  EXPECT_THROW(ParseCalibration(dir.File("bad.xml"), "", back), EZYLGeoMapError);
}

TEST(Border, InsideByTheEvenOddRule) {
  TMapCalibration cal;
  EXPECT_TRUE(cal.InsideBorder(-5, 1e9));  // no border: everywhere
  cal.SetBorder(kBorder);
  const struct {
    double X, Y;
    bool Inside;
  } kPoints[] = {{20, 20, true},  {80, 20, true},   {80, 50, false}, {30, 60, true},
                 {5, 20, false},  {20, 4, false},   {95, 10, false}, {40, 69.9, true},
                 {41, 69, false}, {10.5, 40, true}, {90, 20, false}};
  for (const auto& p : kPoints)
    EXPECT_EQ(cal.InsideBorder(p.X, p.Y), p.Inside) << p.X << "," << p.Y;
}

TEST(BorderClip, ViewOutsideTheBorderIsBackgroundAndInsideIsTheImage) {
  using test::MapView;
  MapView v;
  std::unique_ptr<TBitmap> image(test::NewPatternImage(300, 200));
  v.map.SetMapBitmap(*image);
  v.map.SetAntiAlias(false);
  const TColor background = 0x203040;
  v.map.SetColorBackGnd(background);
  TMapCalibration cal = v.map.Calibration();
  cal.SetBorder(kBorder);
  v.map.SetCalibration(cal);
  for (const double mag : {1.0, 2.0}) {
    v.map.SetMagnification(mag);
    v.map.SetTopLeft({3, 2});
    v.map.SetClipToBorder(false);
    std::vector<TColor> unclipped;
    for (int y = 0; y < test::kViewH; ++y)
      for (int x = 0; x < test::kViewW; ++x) unclipped.push_back(v.At(x, y));
    v.map.SetClipToBorder(true);
    int outside = 0, wrong = 0;
    for (int y = 0; y < test::kViewH; ++y)
      for (int x = 0; x < test::kViewW; ++x) {
        const bool in = cal.InsideBorder(3 + (x + 0.5) / mag, 2 + (y + 0.5) / mag);
        const TColor want =
            in ? unclipped[static_cast<size_t>(y * test::kViewW + x)] : MapView::Stored(background);
        wrong += v.At(x, y) != want;
        outside += !in;
      }
    EXPECT_GT(outside, 1000);
    EXPECT_EQ(wrong, 0) << "magnification " << mag;
  }
}

TEST(AtlasBorder, PositionOutsideAFineMapsBorderGoesToTheMapAround) {
  test::TempDir dir;
  const int w = 200, h = 100;
  const auto write = [&](const std::string& name, TMapCalibration cal) {
    TBitmap bmp(w, h);
    bmp.SetPixelFormat(pf24bit);
    bmp.SaveToFile(dir.File(name + ".bmp"));
    cal.Data().MapFName = name + ".bmp";
    SaveCalibrationAsXML(dir.File(name + ".xml"), name, cal);
  };
  write("Around", PlateCarree(40, 50, 0, 10, w, h));
  TMapCalibration fine = PlateCarree(44, 46, 4, 6, w, h);
  fine.SetBorder({{0, 0}, {100, 0}, {100, 100}, {0, 100}});  // the western half
  write("Fine", fine);

  TForm form(nullptr);
  form.SetBounds(0, 0, 600, 400);
  auto* atlas = new TGeoAtlas(&form);
  atlas->SetParent(&form);
  atlas->SetAlign(alClient);
  Application().ProcessMessages();
  ASSERT_TRUE(atlas->RegisterMap(dir.File("Around.xml")));
  ASSERT_TRUE(atlas->RegisterMap(dir.File("Fine.xml")));
  EXPECT_FALSE(atlas->Maps(2).Border.empty());
  EXPECT_TRUE(atlas->Maps(1).Border.empty());
  // The finest map coarser than 10 m per pixel: the fine map in its west,
  // the map around in its east, which the fine map's corners still hold.
  ASSERT_TRUE(atlas->ZoomOut(45, 4.5, 10));
  EXPECT_EQ(atlas->CurrentMapIndex(), 2);
  ASSERT_TRUE(atlas->ZoomOut(45, 5.5, 10));
  EXPECT_EQ(atlas->CurrentMapIndex(), 1);
}

}  // namespace
}  // namespace marovia
