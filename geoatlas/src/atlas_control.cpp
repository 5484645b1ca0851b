// TGeoAtlas as a control: construction of the command panel and the map
// control, the buttons, the selector, forwarding of the map's mouse events,
// image requests and the outlines of the other registered maps.
#include "marovia/geoatlas/geoatlas.h"
#include "marovia/geomap/library_resources.h"
#include "marovia/platform/files.h"
#include "marovia/platform/forms.h"

namespace marovia {

TGeoAtlas::TGeoAtlas(TComponent* AOwner) : TCustomControl(AOwner) {
  TControlStyle style = ControlStyle();
  style.Exclude(csAcceptsControls).Exclude(csSetCaption).Include(csFramed).Include(csOpaque);
  SetControlStyle(style);
  SetBounds(100, 50, 480, 320);

  BuildCommandPanel();

  FGeoMap = new TGeoMap(this);
  FGeoMap->SetParent(this);
  FGeoMap->SetAlign(alClient);
  BindMapEvents();

  Screen().SetCursors(crGeoZoom, LoadCursorW(HInstance(), "CURGEOZOOM"));
  Screen().SetCursors(crGeoHand, LoadCursorW(HInstance(), "CURGEOHAND"));
}

TGeoAtlas::~TGeoAtlas() {
  // The map control and the buttons call back into the atlas: they go
  // first, while the atlas is whole.
  delete FGeoMap;
  delete FSBZoom;
  delete FCboxMaps;
  delete FCPanel;
  DestroyComponents();
}

void TGeoAtlas::BuildCommandPanel() {
  FCPanel = new TPanel(this);
  FCPanel->SetParent(this);
  FCPanel->SetHeight(33);
  FCPanel->SetAlign(alTop);

  auto makeButton = [&](int Left, const char* Glyph) {
    auto* b = new TSpeedButton(this);
    b->SetParent(FCPanel);
    b->SetBounds(Left, 3, 26, 26);
    b->SetFlat(true);
    b->SetGroupIndex(999);
    b->SetNumGlyphs(2);
    LoadBitmapResource(HInstance(), Glyph, b->Glyph());
    b->OnClick = [this, b](TObject*) { ButtonClick(b); };
    return b;
  };
  FSBPoint = makeButton(3, "POINTR");
  FSBPoint->SetDown(true);
  FSBZoom = makeButton(FSBPoint->Left() + FSBPoint->Width() + 3, "ZOOMIN");

  FCboxMaps = new TComboBox(this);
  FCboxMaps->SetParent(FCPanel);
  FCboxMaps->SetBounds(FSBZoom->Left() + FSBZoom->Width() + 10, 5, 300, FCboxMaps->Height());
  FCboxMaps->SetStyle(csDropDownList);
  FCboxMaps->OnChange = [this](TObject*) { SelectorChange(); };
}

void TGeoAtlas::BindMapEvents() {
  FGeoMap->OnMouseDown = [this](TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
    MapMouseDown(Button, Shift, X, Y);
  };
  FGeoMap->OnMouseUp = [this](TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
  };
  FGeoMap->OnMouseMove = [this](TObject*, TShiftState Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
  };
  FGeoMap->OnClick = [this](TObject*) {
    if (OnClick) OnClick(this);
  };
  FGeoMap->OnDblClick = [this](TObject*) {
    if (OnDblClick) OnDblClick(this);
  };
  FGeoMap->OnDataRendered = [this](TObject*, TCanvas& Canvas) { DrawOutlines(Canvas); };
  FGeoMap->OnMapImageRequest = [this](TObject*, std::string& FileName) {
    RedirectImageRequest(FileName);
  };
}

void TGeoAtlas::CreateWnd() {
  TCustomControl::CreateWnd();
  FGeoMap->SetEmptyMsg("TGeoAtlas: Empty");
}

// ------------------------------------------------------------ properties

void TGeoAtlas::SetMapOutlineColor(TColor Value) {
  FMapOLColor = Value;
  FGeoMap->Paint();
}

void TGeoAtlas::SetMapOutlineVisible(bool Value) {
  FMapOLVisible = Value;
  FGeoMap->Paint();
}

// ------------------------------------------------------------ events

void TGeoAtlas::ButtonClick(TSpeedButton* Button) {
  if (FSBZoom->Down()) {
    SetCursor(crGeoZoom);
    FGeoMap->SetAllowPan(false);
  } else {
    SetCursor(crHandPoint);
    FGeoMap->SetAllowPan(true);
  }
  Click();
  if (Button == FSBZoom) {
    if (OnZoomButClick) OnZoomButClick(this);
  } else if (OnPointerButClick) {
    OnPointerButClick(this);
  }
}

void TGeoAtlas::SelectorChange() {
  // A failure is reported, not raised through the message loop; the
  // previous map stays and the selector shows it again.
  const int32_t previous = FCurrentMapIdx;
  FCurrentMapIdx = FCboxMaps->ItemIndex() + 1;
  try {
    LoadMap(FCurrentMapIdx);
  } catch (const Exception& e) {
    const int32_t failed = FCurrentMapIdx;
    FCurrentMapIdx = previous;
    FCboxMaps->SetItemIndex(previous - 1);
    ReportLoadError(failed, e);
  }
  if (OnCBoxMapsChange) OnCBoxMapsChange(this);
}

void TGeoAtlas::MapMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
  if (!FSBZoom->Down()) return;
  const double lat = FGeoMap->GetLastMClickLatitude();
  const double lon = FGeoMap->GetLastMClickLongitude();
  const double res = FGeoMap->CalibData().Resolution;
  if (Button == mbLeft)
    ZoomIn(lat, lon, res);
  else
    ZoomOut(lat, lon, res);
}

void TGeoAtlas::RedirectImageRequest(std::string& FileName) const {
  // Map images are looked for beside the calibration file of the map being
  // loaded, whatever directory the calibration names.
  if (FCurrentMapIdx < 1 || FCurrentMapIdx > FNumRegMaps) return;
  const std::string& calib = FRegMaps[static_cast<size_t>(FCurrentMapIdx - 1)].MapFName;
  FileName = ExtractFilePath(calib) + ExtractFileName(FileName);
}

void TGeoAtlas::DrawOutlines(TCanvas& Canvas) {
  if (!FMapOLVisible) return;
  Canvas.Pen().SetColor(FMapOLColor);
  const int32_t shown = FCboxMaps->ItemIndex() + 1;
  // Outlines follow the view at any magnification: corners go through the
  // image-to-control mapping, not only the scroll offset.
  auto toControl = [&](const TCoords& c, TPoint& p) {
    int32_t x = 0, y = 0;
    if (!FGeoMap->CalcPixelCoords(c.Latit, c.Longit, x, y)) return false;
    p = FGeoMap->MapImageToControl(TPoint{x, y});
    return true;
  };
  for (int32_t i = 1; i <= FNumRegMaps; ++i) {
    if (i == shown) continue;
    const TCornerArray& corners = FRegMaps[static_cast<size_t>(i - 1)].Corners;
    TPoint p;
    if (toControl(corners[gcoTopRight], p)) Canvas.MoveTo(p.X, p.Y);
    for (TCorners c : {gcoTopLeft, gcoBottomLeft, gcoBottomRight, gcoTopRight})
      if (toControl(corners[c], p)) Canvas.LineTo(p.X, p.Y);
  }
}

}  // namespace marovia
