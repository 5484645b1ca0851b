// TGeoMap: construction, the property writers, Assign and Clear.
//
// Writers follow one order: clamp or refuse, return early where the
// control keeps its state unchanged, store, repaint.
#include <algorithm>
#include <cmath>
#include <new>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"

namespace marovia {

namespace {

constexpr int32_t kLandMarkBlock = 1000;  // the landmark storage grows in blocks

// The template of new landmarks.
TLandMark DefaultLandMark() {
  TLandMark lm;
  lm.SymbolProps.FGColor = clBlue;
  lm.SymbolProps.BGColor = clWhite;
  lm.SymbolProps.Size = 7;
  lm.SymbolProps.Transparent = false;
  lm.SymbolProps.Kind = lmCross;
  lm.SymbolProps.Direction = 0;
  lm.SymbolProps.Length = 10;
  lm.Caption.Size = 8;
  lm.Caption.FontName = "MS Sans Serif";
  lm.Caption.FGColor = clBlack;
  lm.Caption.BGColor = clWhite;
  lm.Caption.Transparent = true;
  lm.Caption.Direction = 0;
  lm.Caption.dx = 0;
  lm.Caption.dy = 8;
  lm.Caption.VAlignment = vaTop;
  lm.Caption.HAlignment = taCenter;
  return lm;
}

}  // namespace

TGeoMap::TGeoMap(TComponent* AOwner) : TCustomControl(AOwner) {
  SetHeight(400);
  SetWidth(500);
  FEmptyMsg = "GeoMap: empty";
  try {
    FLandMarks.resize(kLandMarkBlock);
    FMTrace.resize(kMaxTracePoints);
  } catch (const std::bad_alloc&) {
    RaiseError("insufficient memory");
  }
  FLMClassVisible.fill(true);
  FDefaultLM = DefaultLandMark();
  ClearZoomHistory();

  GrafBmp = std::make_unique<TBitmap>();
  AuxBmp = std::make_unique<TBitmap>();
  AuxBmp->SetPixelFormat(pf15bit);
  FImgCache = std::make_unique<TBitmap>();
  FImgCache->SetPixelFormat(pf15bit);
  FTileRegion = std::make_unique<TBitmap>();
  FTileRegion->SetPixelFormat(pf24bit);
  FCacheMag = 0;
  FCacheAA = FAntiAlias;
  FCacheMagLimit = 2.0 / 3.0;
}

TGeoMap::~TGeoMap() {
  *FAlive = false;
  // Bitmaps first, in the order the control has always freed them.
  GrafBmp.reset();
  AuxBmp.reset();
  FImgCache.reset();
}

void TGeoMap::RaiseError(const std::string& Text) const {
  throw EZYLGeoMapError("Component \"" + Name() + "\": " + Text);
}

// ------------------------------------------------------------ published

void TGeoMap::SetAllowPan(bool Value) {
  FMouseAction = Value ? maPan : maNone;
}

void TGeoMap::SetAntiAlias(bool Value) {
  FAntiAlias = Value;
  Paint();
}

void TGeoMap::SetCalibModel(TCalibModel Value) {
  FCalibModel = Value;
  RecalcCalibration();
}

void TGeoMap::SetCacheMagLimit(double Value) {
  if (std::isnan(Value)) return;
  FCacheMagLimit = std::clamp(Value, 0.0, 2.0 / 3.0);
  if (FMagnify < 2.0 / 3.0) Paint();
}

void TGeoMap::SetColorBackGnd(TColor Value) {
  FColorBakGnd = Value;
  Paint();
}

void TGeoMap::SetColorGraticule(TColor Value) {
  FColorGratLine = Value;
  Paint();
}

void TGeoMap::SetColorCalibPoints(TColor Value) {
  FColorGratPoints = Value;
  Paint();
}

void TGeoMap::SetColorFrame(TColor Value) {
  FFrameColor = Value;
  Paint();
}

void TGeoMap::SetConfinePanToMapImage(bool Value) {
  FConfinePan = Value;
  if (Value) PanMapToFillWindow();
}

void TGeoMap::SetEmptyMsg(const std::string& Value) {
  FEmptyMsg = Value;
  Paint();
}

void TGeoMap::SetFrameStyle(TFrameStyle Value) {
  if (Value == FFrameStyle) return;
  FFrameStyle = Value;
  Paint();
}

void TGeoMap::SetGratLineDist(double Value) {
  if (std::isnan(Value)) return;
  FGratLineDist = std::clamp(Value, 0.0, 60.0);
  Paint();
}

void TGeoMap::SetUTMGridDist(int32_t Value) {
  FUTMGridDist = std::clamp(Value, 0, 10000000);
  Paint();
}

void TGeoMap::SetUTMZone(int32_t Value) {
  if (Value >= 1 && Value <= 60) FCalibData.UTMZone = Value;
}

void TGeoMap::SetUTMHemisphere(THemisphere Value) {
  FCalibData.UTMSouth = Value == hemiSouth;
}

void TGeoMap::SetShowGraticule(TShowGrat Value) {
  if (Value == FShowGrat) return;
  FShowGrat = Value;
  Paint();
}

// ------------------------------------------------------------ public

void TGeoMap::SetCalDatName(const std::string& Name) {
  if (FileExists(Name)) {
    FCalDatName = Name;
    LoadCalDataFromXML(Name, "");
  } else {
    FMapImgName.clear();
    FMapImgWidth = 0;
    FMapImgHeight = 0;
    SyncCalibImageSize();
  }
  Paint();
}

void TGeoMap::SetHighLM(int32_t Value) {
  if (Value < 0 || Value > FNumLandMarks) Value = 0;
  if (Value == FHighLM) return;
  FHighLM = Value;
  Paint();
}

void TGeoMap::SetHighLightProperties(TColor ColorFG, TColor ColorBG, bool Transparent) {
  FHighLMColFG = ColorFG;
  FHighLMColBG = ColorBG;
  FHighLMTrans = Transparent;
  Paint();
}

void TGeoMap::SetRandSampleLimit(int32_t Value) {
  if (Value <= 1000 || Value == FLMRandSampleLimit) return;
  FLMRandSampleLimit = Value;
  Paint();
}

void TGeoMap::SetPlaceLabels(bool Value) {
  if (Value == FPlaceLabels) return;
  FPlaceLabels = Value;
  Paint();
}

void TGeoMap::SetOverlayScale(double Value) {
  if (std::isnan(Value)) return;
  Value = std::clamp(Value, 0.25, 16.0);
  if (Value == FOverlayScale) return;
  FOverlayScale = Value;
  Paint();
}

void TGeoMap::SetSuppressPaint(bool Value) {
  if (Value == FSuppressPaint) return;
  FSuppressPaint = Value;
  if (!Value) Paint();
}

void TGeoMap::SetTopLeft(const TPoint& P) {
  FTopLeft = P;
  Paint();
}

void TGeoMap::SetClassVisibility(uint8_t Cls, bool Value) {
  FLMClassVisible[Cls] = Value;
  Paint();
}

double TGeoMap::GetLastMClickLatitude() const {
  bool valid = false;
  const double lat = CalcLatitude(FLastMClickPosX, FLastMClickPosY, valid);
  return valid ? lat : 0;
}

double TGeoMap::GetLastMClickLongitude() const {
  bool valid = false;
  const double lon = CalcLongitude(FLastMClickPosX, FLastMClickPosY, valid);
  return valid ? lon : 0;
}

void TGeoMap::DoZoomPanEvent() {
  if (OnZoomPan) OnZoomPan(this);
}

void TGeoMap::DoSelectRectEvent(int32_t Kind, double X1, double Y1, double X2, double Y2) {
  if (OnSelectRect) OnSelectRect(this, Kind, X1, Y1, X2, Y2);
}

// ------------------------------------------------------------ Assign, Clear

void TGeoMap::AssignTo(TPersistent& Dest) const {
  if (auto* map = dynamic_cast<TGeoMap*>(&Dest)) {
    map->Assign(*this);
    return;
  }
  TCustomControl::AssignTo(Dest);
}

void TGeoMap::Assign(const TPersistent& Source) {
  const auto* src = dynamic_cast<const TGeoMap*>(&Source);
  if (src == nullptr) {
    TCustomControl::Assign(Source);
    return;
  }
  if (src == this) return;

  // 1. Composition and cache.
  AuxBmp->Assign(*src->AuxBmp);
  FImgCache->Assign(*src->FImgCache);
  FCacheMag = src->FCacheMag;
  FCacheAA = src->FCacheAA;
  FCacheMagLimit = src->FCacheMagLimit;

  // 2. Landmarks, in storage blocks of 1000.
  const int32_t n = src->FNumLandMarks;
  const int64_t capacity =
      (n > 0 ? (n - 1) / kLandMarkBlock : 0) * int64_t{kLandMarkBlock} + kLandMarkBlock;
  try {
    std::vector<TLandMark> marks(src->FLandMarks.begin(), src->FLandMarks.begin() + n);
    marks.resize(static_cast<size_t>(capacity));
    FLandMarks = std::move(marks);
  } catch (const std::bad_alloc&) {
    RaiseError("insufficient memory");
  }
  FNumLandMarks = n;
  FDefaultLM = src->FDefaultLM;

  // 3. Look and image.
  FColorBakGnd = src->FColorBakGnd;
  FFrameStyle = src->FFrameStyle;
  FFrameColor = src->FFrameColor;
  FColorGratLine = src->FColorGratLine;
  FColorGratPoints = src->FColorGratPoints;
  FColBlackLine = src->FColBlackLine;
  FColGrayLine = src->FColGrayLine;
  FColWhiteLine = src->FColWhiteLine;
  FEmptyMsg = src->FEmptyMsg;
  FLButtonWasDown = src->FLButtonWasDown;
  FLMClassVisible = src->FLMClassVisible;
  FLMRandSampleLimit = src->FLMRandSampleLimit;
  FPlaceLabels = src->FPlaceLabels;
  FOverlayScale = src->FOverlayScale;
  FMapImgName = src->FMapImgName;
  FMapImgWidth = src->FMapImgWidth;
  FMapImgHeight = src->FMapImgHeight;
  FMagnify = src->FMagnify;

  // 4. Gesture state, view and calibration model.
  FZoomState = src->FZoomState;
  FMouseBoxState = src->FMouseBoxState;
  FMouseBoxX1 = src->FMouseBoxX1;
  FMouseBoxX2 = src->FMouseBoxX2;
  FMouseBoxY1 = src->FMouseBoxY1;
  FMouseBoxY2 = src->FMouseBoxY2;
  FWindOldCornerX = src->FWindOldCornerX;
  FWindOldCornerY = src->FWindOldCornerY;
  FWindAnchorX = src->FWindAnchorX;
  FWindAnchorY = src->FWindAnchorY;
  FShowGrat = src->FShowGrat;
  FShowMGRSGrid = src->FShowMGRSGrid;
  FTopLeft = src->FTopLeft;
  FCalibModel = src->FCalibModel;
  FBiQuadOops = src->FBiQuadOops;
  FParaIpOops = src->FParaIpOops;
  FRestoreBiQuadOK = src->FRestoreBiQuadOK;
  FRestoreParaIpOK = src->FRestoreParaIpOK;
  FSuppressPaint = src->FSuppressPaint;
  FConfinePan = src->FConfinePan;
  FMouseAction = src->FMouseAction;
  FRubberBandOn = src->FRubberBandOn;
  FSelectRectOn = src->FSelectRectOn;
  FRubberBAnchorX = src->FRubberBAnchorX;
  FRubberBAnchorY = src->FRubberBAnchorY;
  FRubberBandOldX = src->FRubberBandOldX;
  FRubberBandOldY = src->FRubberBandOldY;
  FAntiAlias = src->FAntiAlias;
  FGratLineDist = src->FGratLineDist;
  FUTMGridDist = src->FUTMGridDist;

  // 5. and 6. Calibration data and fitted parameters (the model came with
  // step 4 and comes again, unchanged).
  FCalib = src->FCalib;

  // 6. Highlight.
  FHighLM = src->FHighLM;
  FHighLMColFG = src->FHighLMColFG;
  FHighLMColBG = src->FHighLMColBG;
  FHighLMTrans = src->FHighLMTrans;
  FTopLeftXAnchor = src->FTopLeftXAnchor;
  FTopLeftYAnchor = src->FTopLeftYAnchor;

  // 7. Zoom history and mouse positions.
  FZoomStack = src->FZoomStack;
  FZStackPoi = src->FZStackPoi;
  FCalDatName = src->FCalDatName;
  MouseAnchorX = src->MouseAnchorX;
  MouseAnchorY = src->MouseAnchorY;
  FLastMClickPosX = src->FLastMClickPosX;
  FLastMClickPosY = src->FLastMClickPosY;
  FLastMMousePosX = src->FLastMMousePosX;
  FLastMMousePosY = src->FLastMMousePosY;

  // 8. The map image.
  GrafBmp->Assign(*src->GrafBmp);
  FPyramid = src->FPyramid;
  FMaxMapPixels = src->FMaxMapPixels;
  FPyramidCacheDir = src->FPyramidCacheDir;
  FSampleDisplay = src->FSampleDisplay;
}

void TGeoMap::Clear() {
  ClearCalibData();
  FCalibModel = cmUndefined;
  FCalibData.MapFName.clear();
  FCalibData.Caption.clear();
  FNumMTrace = 0;
  FMapImgName.clear();
  FMapImgWidth = 0;
  FMapImgHeight = 0;
  SyncCalibImageSize();
  Paint();
}

}  // namespace marovia
