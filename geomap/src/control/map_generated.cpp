// Generated maps: a blank map image with a labelled latitude/longitude grid
// and a calibration of nine points, made in memory or as a bitmap file with
// a calibration file beside it.
//
// Layout of a generated image of W x H pixels: a solid frame 30 pixels in
// from the edges, a dotted one at 26, and dashed silver grid lines strictly
// inside the solid frame, labelled outside it. Latitudes run linearly from
// LatLow at y = H - 30 to LatHigh at y = 30, longitudes from LongLow at
// x = 30 to LongHigh at x = W - 30.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/zylbase/stringl.h"
#include "marovia/zylmath/math1.h"
#include "render/render_pixels.h"

namespace marovia {

using render::ViewPixel;

namespace {

constexpr int kMargin = 30;  // bitmap edge to the solid frame
constexpr int kMinGeneratedSize = 100;
// More grid lines than this per direction is a spacing no map can show
// (the size limit keeps every side below 30 000 pixels).
constexpr double kMaxGeneratedLines = 100000;
const char* const kGeneratedDataID = "ZYL_geomap_caldata";

struct Limits {
  double LatLow, LongLow, LatHigh, LongHigh, dLat, dLong;
  int32_t Wid, Hgt;
};

// Limits in order, spacings of at least something, sizes of at least 100.
Limits Normalise(double LatLow, double LongLow, double LatHigh, double LongHigh, double dLat,
                 double dLong, int32_t Wid, int32_t Hgt) {
  Limits l{LatLow, LongLow, LatHigh, LongHigh, dLat, dLong, Wid, Hgt};
  if (l.LatHigh < l.LatLow) ExChange(l.LatHigh, l.LatLow);
  if (l.LongHigh < l.LongLow) ExChange(l.LongHigh, l.LongLow);
  if (l.dLat <= 0) l.dLat = 1;
  if (l.dLong <= 0) l.dLong = 1;
  if (l.Wid < kMinGeneratedSize) l.Wid = kMinGeneratedSize;
  if (l.Hgt < kMinGeneratedSize) l.Hgt = kMinGeneratedSize;
  return l;
}

// The label format for a spacing: seconds for fine grids, minutes for
// fractional degrees, whole degrees otherwise.
TDegreeFormat LabelFormat(double Spacing) {
  if (Spacing <= 0.06) return dfDegMinSec;
  if (std::floor(Spacing) != Spacing) return dfDegMin;
  return dfDeg;
}

// First grid value: the multiple of the spacing next to Low toward zero.
double FirstGridValue(double Low, double Spacing) {
  return std::trunc(Low / Spacing) * Spacing;
}

std::string Label(double Value, TDegreeFormat Format, const char* Positive, const char* Negative) {
  std::string s(" ");
  s += DegreeToStr(std::fabs(Value), Format, 0);
  s += Value < 0 ? Negative : Positive;
  return s;
}

void Outline(TCanvas& Canvas, int W, int H, int Inset) {
  Canvas.MoveTo(Inset, Inset);
  Canvas.LineTo(W - Inset, Inset);
  Canvas.LineTo(W - Inset, H - Inset);
  Canvas.LineTo(Inset, H - Inset);
  Canvas.LineTo(Inset, Inset);
}

// The frames, then parallels and meridians with their labels. Lines that
// would fall on or outside the solid frame are neither drawn nor labelled.
void DrawGeneratedGrid(TBitmap& Bmp, const Limits& L) {
  TCanvas& c = Bmp.Canvas();
  const int W = Bmp.Width(), H = Bmp.Height();
  Outline(c, W, H, kMargin);  // the canvas's first pen: solid black, 1 pixel
  c.Pen().SetStyle(psDot);
  Outline(c, W, H, kMargin - 4);
  c.Pen().SetStyle(psDash);
  c.Pen().SetColor(clSilver);

  const TDegreeFormat latFormat = LabelFormat(L.dLat);
  // The counts stop a spacing too small to move the value on (far from 0).
  double lat = FirstGridValue(L.LatLow, L.dLat);
  for (int n = 0; lat < L.LatHigh && n <= kMaxGeneratedLines; ++n, lat += L.dLat) {
    const int y = L.Hgt -
                  ViewPixel((lat - L.LatLow) / (L.LatHigh - L.LatLow) * (L.Hgt - 2 * kMargin)) -
                  kMargin;
    if (y <= kMargin || y >= L.Hgt - kMargin) continue;
    c.MoveTo(kMargin, y);
    c.LineTo(W - kMargin, y);
    const std::string text = Label(lat, latFormat, " N ", " S ");
    const TSize size = c.TextExtent(text);
    c.TextOut(36, y - size.cy / 2, text);
    c.TextOut(L.Wid - size.cx - 36, y - size.cy / 2, text);
  }

  const TDegreeFormat longFormat = LabelFormat(L.dLong);
  double lon = FirstGridValue(L.LongLow, L.dLong);
  for (int n = 0; lon < L.LongHigh && n <= kMaxGeneratedLines; ++n, lon += L.dLong) {
    const int x =
        ViewPixel((lon - L.LongLow) / (L.LongHigh - L.LongLow) * (L.Wid - 2 * kMargin)) + kMargin;
    if (x <= kMargin || x >= L.Wid - kMargin) continue;
    c.MoveTo(x, kMargin);
    c.LineTo(x, H - kMargin);
    const std::string text = Label(lon, longFormat, " E ", " W ");
    const TSize size = c.TextExtent(text);
    c.TextOut(x - size.cx / 2, 24 - size.cy, text);
    c.TextOut(x - size.cx / 2, L.Hgt - 24, text);
  }
}

// The nine calibration points at the corners, edge middles and centre, from
// south to north and west to east. With the grid they sit on the solid
// frame (30 pixels in); without it on the bitmap's edges.
void SetNinePoints(TCalibData& Cal, const Limits& L, bool OnGrid) {
  Cal.NumCalQuads = 9;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      TCalQuad& q = Cal.CalQuads[static_cast<size_t>((i - 1) * 3 + (j - 1))];
      q.Latitude = L.LatLow + (i - 1) * (L.LatHigh - L.LatLow) / 2;
      q.Longitude = L.LongLow + (j - 1) * (L.LongHigh - L.LongLow) / 2;
      // The products are whole numbers, halved as reals.
      const int64_t wid = L.Wid, hgt = L.Hgt;
      if (OnGrid) {
        q.MapX = ViewPixel(static_cast<double>((j - 1) * (wid - 60)) / 2 + 30);
        q.MapY = ViewPixel(hgt - 30 - static_cast<double>((i - 1) * (hgt - 60)) / 2);
      } else {
        q.MapX = ViewPixel(static_cast<double>((j - 1) * wid) / 2);
        q.MapY = ViewPixel(hgt - static_cast<double>((i - 1) * hgt) / 2);
      }
    }
}

}  // namespace

void TGeoMap::CheckGeneratorLimits(double LatLow, double LongLow, double LatHigh, double LongHigh,
                                   double dLat, double dLong, int32_t Wid, int32_t Hgt) const {
  if (!std::isfinite(LatLow) || !std::isfinite(LatHigh) || !std::isfinite(LongLow) ||
      !std::isfinite(LongHigh))
    RaiseError("Cannot generate a map: the latitude and longitude limits must be numbers");
  // Equal limits leave nothing to divide the grid by and no calibration.
  if (LatLow == LatHigh) RaiseError("Cannot generate a map: the latitude limits are equal");
  if (LongLow == LongHigh) RaiseError("Cannot generate a map: the longitude limits are equal");
  if ((LatHigh - LatLow) / dLat > kMaxGeneratedLines ||
      (LongHigh - LongLow) / dLong > kMaxGeneratedLines)
    RaiseError("Cannot generate a map: the grid spacing is too fine for its limits");
  // Refused before the bitmap is made, with the message of every map image.
  CheckMapImageSize(Wid, Hgt, kMaxMapPixels);
}

TCalibData TGeoMap::GeneratedCalibration(double LatLow, double LongLow, double LatHigh,
                                         double LongHigh, int32_t Wid, int32_t Hgt, bool OnGrid,
                                         const std::string& MapFName) {
  ClearCalibData();
  TCalibData cal = FCalibData;
  cal.MapFName = MapFName;
  cal.Caption = "Map generated by TGeoMap";
  cal.Corners[gcoTopLeft] = TCoords{LatHigh, LongLow};
  cal.Corners[gcoBottomLeft] = TCoords{LatLow, LongLow};
  cal.Corners[gcoBottomRight] = TCoords{LatLow, LongHigh};
  cal.Corners[gcoTopRight] = TCoords{LatHigh, LongHigh};
  cal.Resolution = 0;
  cal.NumCalLines = 0;
  cal.Ellipsoid = gelWGS84;
  SetNinePoints(cal, Limits{LatLow, LongLow, LatHigh, LongHigh, 1, 1, Wid, Hgt}, OnGrid);
  return cal;
}

void TGeoMap::CreateEmptyMapInMemory(double LatLow, double LongLow, double LatHigh, double LongHigh,
                                     double dLat, double dLong, int32_t Wid, int32_t Hgt,
                                     bool ShowGrid, const TOnDrawMapDataEvent& OnDrawMapData) {
  const Limits l = Normalise(LatLow, LongLow, LatHigh, LongHigh, dLat, dLong, Wid, Hgt);
  CheckGeneratorLimits(l.LatLow, l.LongLow, l.LatHigh, l.LongHigh, l.dLat, l.dLong, l.Wid, l.Hgt);
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetWidth(l.Wid);
  bmp.SetHeight(l.Hgt);
  if (ShowGrid) DrawGeneratedGrid(bmp, l);
  if (OnDrawMapData)
    OnDrawMapData(this, bmp.Canvas(), l.LatLow, l.LongLow, l.LatHigh, l.LongHigh, l.Wid, l.Hgt);
  SetMapBitMap(bmp);
  const TCalibData cal = GeneratedCalibration(l.LatLow, l.LongLow, l.LatHigh, l.LongHigh, l.Wid,
                                              l.Hgt, ShowGrid, "$unknown$");
  FCalibModel = cmEquiRect;
  FCalibData = cal;
  RecalcCalibration();
  Paint();
}

void TGeoMap::CreateAndLoadEmptyMap(const std::string& FName, double LatLow, double LongLow,
                                    double LatHigh, double LongHigh, double dLat, double dLong,
                                    int32_t Wid, int32_t Hgt,
                                    const TOnDrawMapDataEvent& OnDrawMapData) {
  const Limits l = Normalise(LatLow, LongLow, LatHigh, LongHigh, dLat, dLong, Wid, Hgt);
  CheckGeneratorLimits(l.LatLow, l.LongLow, l.LatHigh, l.LongHigh, l.dLat, l.dLong, l.Wid, l.Hgt);
  const std::string xmlName = StripExtension(FName) + ".xml";
  const std::string bmpName = StripExtension(xmlName) + ".bmp";
  {
    TBitmap bmp;
    bmp.SetPixelFormat(pf4bit);
    bmp.SetWidth(l.Wid);
    bmp.SetHeight(l.Hgt);
    DrawGeneratedGrid(bmp, l);
    if (OnDrawMapData)
      OnDrawMapData(this, bmp.Canvas(), l.LatLow, l.LongLow, l.LatHigh, l.LongHigh, l.Wid, l.Hgt);
    bmp.SaveToFile(bmpName);
  }
  // The image exists before the calibration file that names it.
  const TCalibData cal =
      GeneratedCalibration(l.LatLow, l.LongLow, l.LatHigh, l.LongHigh, l.Wid, l.Hgt, true, bmpName);
  {
    TTextFile xml(xmlName);
    xml.Rewrite();
    WriteRawCalDataToOpenXMLFile(xml, true, kGeneratedDataID, cal, cmBiquadraticPn);
    xml.CloseFile();
  }
  LoadCalDataFromXML(xmlName, kGeneratedDataID);
  Paint();
}

}  // namespace marovia
