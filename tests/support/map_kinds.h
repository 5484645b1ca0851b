// Every kind of map a front end is given, made once into one folder: a
// calibration file with a BMP, JPEG, PNG, small TIFF or large TIFF (above
// the in-memory limit) image, and the files of other programs' formats that
// are imported (GeoTIFF, world file, .map file with a border, .points list).
//
// Every map shows the same place, 46..48 N, 8..11 E, as a plate carree
// image of four coloured quadrants (north-west red, north-east green,
// south-west blue, south-east yellow), so one view and one tile serve all
// of them. The .map file's border leaves out the image's outer eighth on
// every side.
#pragma once

#include <string>
#include <vector>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/geotiff_export.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/map_source.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/tiffimage.h"
#include "support/temp_dir.h"

namespace marovia::test {

struct TMapKind {
  std::string Name;
  std::string File;  // what a front end is given: a calibration or a file to import
  bool Imported = false;
  bool Large = false;   // above kMaxMapPixels: read through the pyramid
  bool Border = false;  // the map has a border
};

constexpr double kKindNorth = 48, kKindSouth = 46, kKindWest = 8, kKindEast = 11;

// The quadrant colour (0x00RRGGBB) at a fraction of the image across (U) and
// down (V).
inline uint32_t KindColour(double U, double V) {
  if (V < 0.5) return U < 0.5 ? 0xFF0000 : 0x00FF00;
  return U < 0.5 ? 0x0000FF : 0xFFFF00;
}

inline void FillQuadrants(TBitmap& Image) {
  for (int y = 0; y < Image.Height(); ++y) {
    uint32_t* row = Image.ScanLine(y);
    for (int x = 0; x < Image.Width(); ++x)
      row[x] = KindColour((x + 0.5) / Image.Width(), (y + 0.5) / Image.Height());
  }
}

inline TMapCalibration KindCalibration(int Width, int Height, const std::string& Image) {
  TCalibData data;
  data.MapFName = Image;
  data.Caption = "kind " + Image;
  TMapCalibration cal(cmEquiRect, data, Width, Height);
  cal.AddPoint(kKindNorth, kKindWest, 0, 0);
  cal.AddPoint(kKindNorth, kKindEast, Width, 0);
  cal.AddPoint(kKindSouth, kKindWest, 0, Height);
  cal.AddPoint(kKindSouth, kKindEast, Width, Height);
  cal.Fit();
  return cal;
}

// Shows a white Width x Height image of the kinds' place, unframed, on a
// control of the same size: the blank map that overlays are drawn on.
inline void ShowWhiteKindMap(TGeoMap& Map, int Width, int Height) {
  TBitmap image(Width, Height);
  image.SetPixelFormat(pf24bit);
  image.Canvas().Brush().SetColor(clWhite);
  image.Canvas().FillRect(Rect(0, 0, Width, Height));
  Map.SetBounds(0, 0, Width, Height);
  Map.SetFrameStyle(fsNone);
  Map.SetMapSource(TMapSource::FromBitmap(KindCalibration(Width, Height, "white"), image));
}

// Writes every kind into Dir; answers them.
inline std::vector<TMapKind> WriteMapKinds(const TempDir& Dir) {
  constexpr int kW = 300, kH = 200;
  TBitmap image(kW, kH);
  image.SetPixelFormat(pf24bit);
  FillQuadrants(image);
  std::vector<TMapKind> kinds;
  const auto calibrated = [&](const std::string& Name, const std::string& ImageFile, int W, int H) {
    SaveCalibrationAsXML(Dir.File(Name + ".xml"), Name, KindCalibration(W, H, ImageFile));
    kinds.push_back({Name, Dir.File(Name + ".xml")});
  };
  image.SaveToFile(Dir.File("bmp.bmp"));
  calibrated("bmp", "bmp.bmp", kW, kH);
  {
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(95);
    jpeg.Assign(image);
    jpeg.SaveToFile(Dir.File("jpeg.jpg"));
    calibrated("jpeg", "jpeg.jpg", kW, kH);
    TPngImage png;
    png.Assign(image);
    png.SaveToFile(Dir.File("png.png"));
    calibrated("png", "png.png", kW, kH);
    TTiffImage tiff;
    tiff.Assign(image);
    tiff.SaveToFile(Dir.File("tiff.tif"));
    calibrated("tiff", "tiff.tif", kW, kH);
  }
  {
    // 3.15 megapixels: above the limit of images decoded whole.
    TBitmap large(2100, 1500);
    large.SetPixelFormat(pf24bit);
    FillQuadrants(large);
    TTiffImage tiff;
    tiff.Assign(large);
    tiff.SaveToFile(Dir.File("large.tif"));
    calibrated("large", "large.tif", 2100, 1500);
    kinds.back().Large = true;
  }
  const TMapCalibration cal = KindCalibration(kW, kH, "geo.tif");
  ExportGeoTiff(cal, image, Dir.File("geo.tif"));
  kinds.push_back({"geotiff", Dir.File("geo.tif"), true});
  {
    TPngImage png;
    png.Assign(image);
    png.SaveToFile(Dir.File("world.png"));
    ExportWorldFile(cal, Dir.File("world.png"));
    kinds.push_back({"worldfile", Dir.File("world.png"), true});
  }
  {
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(95);
    jpeg.Assign(image);
    jpeg.SaveToFile(Dir.File("sheet.jpg"));
    TMapCalibration bordered = cal;
    bordered.SetBorder({{kW / 8.0, kH / 8.0},
                        {kW * 7 / 8.0, kH / 8.0},
                        {kW * 7 / 8.0, kH * 7 / 8.0},
                        {kW / 8.0, kH * 7 / 8.0}});
    ExportMapFile(bordered, Dir.File("sheet.map"), "sheet.jpg", 3);
    kinds.push_back({"map-with-border", Dir.File("sheet.map"), true, false, true});
  }
  {
    TPngImage png;
    png.Assign(image);
    png.SaveToFile(Dir.File("pts.png"));
    ExportControlPoints(cal, Dir.File("pts.png.points"), 3);
    kinds.push_back({"points", Dir.File("pts.png.points"), true});
  }
  return kinds;
}

}  // namespace marovia::test
