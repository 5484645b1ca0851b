// Views asked for as values: placing one on a map control, drawing one from
// a map source, and writing the picture as an image file.
#include "marovia/geomap/view_request.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "marovia/platform/files.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

struct TPlacement {
  double Magnification;
  double CenterX;  // image pixel at the view's centre
  double CenterY;
};

std::string PositionText(const TCoords& P) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.5f,%.5f", P.Latit, P.Longit);
  return buf;
}

TPlacement Place(const TGeoMap& Map, const TViewRequest& View) {
  TPlacement p{1.0, Map.MapImgWidth() / 2.0, Map.MapImgHeight() / 2.0};
  if (View.Center) {
    const TCoords& c = *View.Center;
    if (!Map.IsPositionWithinMap(c.Latit, c.Longit))
      throw EZYLGeoMapError("position " + PositionText(c) + " is not on the map");
    int32_t x = 0, y = 0;
    if (!Map.CalcPixelCoords(c.Latit, c.Longit, x, y))
      throw EZYLGeoMapError("the map's calibration cannot place position " + PositionText(c));
    p.CenterX = x;
    p.CenterY = y;
  }
  if (View.Magnification) {
    p.Magnification = *View.Magnification;
  } else if (!View.Center && Map.MapImgWidth() > 0 && Map.MapImgHeight() > 0) {
    p.Magnification = std::min(static_cast<double>(View.Width) / Map.MapImgWidth(),
                               static_cast<double>(View.Height) / Map.MapImgHeight());
  }
  return p;
}

}  // namespace

std::optional<TShowGrat> GridFromName(const std::string& Name) {
  struct TEntry {
    const char* Name;
    TShowGrat Grid;
  };
  static const TEntry kGrids[] = {{"none", sgNone},   {"points", sgPoints},
                                  {"lines", sgLines}, {"lines+points", sgPointsAndLines},
                                  {"utm", sgUTMGrid}, {"utm+points", sgPointsAndUTMGrid}};
  for (const TEntry& e : kGrids)
    if (Name == e.Name) return e.Grid;
  return std::nullopt;
}

void ApplyView(TGeoMap& Map, const TViewRequest& View) {
  const TPlacement p = Place(Map, View);
  Map.SetSuppressPaint(true);
  Map.SetBounds(0, 0, View.Width, View.Height);
  Map.SetFrameStyle(fsNone);
  Map.SetAntiAlias(View.AntiAlias);
  Map.SetShowGraticule(View.Grid);
  Map.SetPlaceLabels(View.PlaceLabels);
  Map.SetMagnification(p.Magnification);
  // The control may have clamped the magnification: place with its value.
  const double mag = Map.Magnification();
  Map.SetGratLineDist(View.GridStepDegrees > 0 ? View.GridStepDegrees : Map.GratLineDistFor(mag));
  Map.SetUTMGridDist(View.UtmStepMetres > 0 ? View.UtmStepMetres : Map.UTMGridDistFor(mag));
  Map.SetTopLeft(TPoint{static_cast<int32_t>(std::lround(p.CenterX - View.Width / mag / 2)),
                        static_cast<int32_t>(std::lround(p.CenterY - View.Height / mag / 2))});
  Map.SetSuppressPaint(false);
}

void RenderView(const std::shared_ptr<const TMapSource>& Source, const TViewRequest& View,
                const std::vector<TLandMark>* Landmarks, TBitmap& Picture,
                const std::function<void(TGeoMap&)>& Prepare) {
  TGeoMap map(nullptr);
  map.SetName("Map");
  map.SetSuppressPaint(true);
  map.SetMaxMapPixels(kMaxTiledMapPixels);  // the source has applied its own limit
  map.SetMapSource(Source);
  if (Landmarks) map.AssignLandMarks(*Landmarks);
  if (Prepare) Prepare(map);
  ApplyView(map, View);
  CopyTopLeft(map.ComposedView(), View.Width, View.Height, Picture);
}

std::optional<TViewImageFormat> ViewImageFormatOf(const std::string& FileName) {
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext == ".png") return TViewImageFormat::Png;
  if (ext == ".bmp") return TViewImageFormat::Bmp;
  if (ext == ".jpg" || ext == ".jpeg") return TViewImageFormat::Jpeg;
  return std::nullopt;
}

void CopyTopLeft(const TBitmap& Source, int Width, int Height, TBitmap& Dest) {
  Dest.SetPixelFormat(pf24bit);
  Dest.SetSize(Width, Height);
  const int w = std::min(Width, Source.Width());
  const int h = std::min(Height, Source.Height());
  for (int y = 0; y < h; ++y)
    std::memcpy(Dest.ScanLine(y), Source.ScanLine(y), static_cast<size_t>(w) * sizeof(uint32_t));
}

void SaveViewImage(const TBitmap& Picture, const std::string& FileName, TViewImageFormat Format,
                   int JpegQuality) {
  switch (Format) {
    case TViewImageFormat::Bmp:
      Picture.SaveToFile(FileName);
      break;
    case TViewImageFormat::Jpeg: {
      TJPEGImage jpeg;
      jpeg.SetCompressionQuality(JpegQuality);
      jpeg.Assign(Picture);
      jpeg.SaveToFile(FileName);
      break;
    }
    case TViewImageFormat::Png: {
      TPngImage png;
      png.Assign(Picture);
      png.SaveToFile(FileName);
      break;
    }
  }
}

}  // namespace marovia
