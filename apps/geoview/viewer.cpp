#include "viewer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cli_text.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/grid_steps.h"
#include "marovia/geomap/landmark.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/view_request.h"
#include "marovia/platform/clipbrd.h"
#include "marovia/platform/files.h"
#include "status_line.h"
#include "view_output.h"

namespace marovia::geoview {

namespace {

// One wheel notch and one + or - key zoom by these factors.
constexpr double kWheelStep = 1.25;
constexpr double kKeyStep = 1.5;
// The view never gets coarser or finer than this; beyond it a map is a dot
// or a blur of single pixels.
constexpr double kMinViewMagnification = 1.0 / 64;
constexpr double kMaxViewMagnification = 32;
// How long a message stays on the status line.
constexpr auto kNoticeTime = std::chrono::seconds(4);

// A graticule step as a person reads it: degrees, minutes or seconds.
std::string DegreesText(double Step) {
  if (Step >= 1) return apps::Fixed(Step, Step == std::floor(Step) ? 0 : 1) + " degrees";
  if (Step * 60 >= 1) return apps::Fixed(Step * 60, 0) + " minutes";
  const double seconds = Step * 3600;
  return apps::Fixed(seconds, seconds >= 1 ? 0 : 1) + " seconds";
}

}  // namespace

std::optional<TViewerKey> ViewerKeyFor(const TKeyEvent& Key) {
  if (Key.Shift.Contains(ssCtrl)) {
    if (Key.Key == 'C') return TViewerKey::Copy;
    return std::nullopt;
  }
  if (Key.Text == "+" || Key.Text == "=") return TViewerKey::ZoomIn;  // = is + without Shift
  if (Key.Text == "-") return TViewerKey::ZoomOut;
  if (Key.Text == "[") return TViewerKey::DenserGrid;
  if (Key.Text == "]") return TViewerKey::SparserGrid;
  switch (Key.Key) {
    case VK_ADD:
      return TViewerKey::ZoomIn;
    case VK_SUBTRACT:
      return TViewerKey::ZoomOut;
    case VK_LEFT:
      return TViewerKey::PanLeft;
    case VK_RIGHT:
      return TViewerKey::PanRight;
    case VK_UP:
      return TViewerKey::PanUp;
    case VK_DOWN:
      return TViewerKey::PanDown;
    case VK_HOME:
      return TViewerKey::FitPage;
    case VK_BACK:
      return TViewerKey::Back;
    case 'G':
      return TViewerKey::CycleGrid;
    case 'L':
      return TViewerKey::ToggleLandmarks;
    case 'P':
      return TViewerKey::Print;
    case 'S':
      return TViewerKey::Save;
    case 'M':
      return TViewerKey::ToggleFollowWheel;
    case 'F':
      return TViewerKey::ToggleFollow;
    default:
      return std::nullopt;
  }
}

TViewer::TViewer(int Width, int Height) : form_(std::make_unique<TForm>(nullptr)) {
  form_->SetCaption("geoview");
  form_->SetBounds(0, 0, Width, Height);
  noticeTimer_ = new TTimer(form_.get());
  noticeTimer_->SetEnabled(false);
  noticeTimer_->OnTimer = [this](TObject*) {
    noticeTimer_->SetEnabled(false);
    UpdateStatus();
  };

  statusPanel_ = new TStatusPanel(form_.get());
  statusPanel_->SetParent(form_.get());
  statusPanel_->SetHeight(kStatusHeight);
  statusPanel_->SetAlign(alBottom);
  statusPanel_->SetAlignment(taLeftJustify);
  statusPanel_->SetBevelOuter(bvLowered);

  atlas_ = new TGeoAtlas(form_.get());
  atlas_->SetParent(form_.get());
  atlas_->SetAlign(alClient);

  TGeoMap& map = Map();
  // Overviews carry hundreds of captions: placed, they stay readable.
  map.SetPlaceLabels(true);
  map.OnMouseWheel = [this](TObject*, TShiftState, int WheelDelta, TPoint MousePos, bool& Handled) {
    WheelZoom(Map().ScreenToClient(MousePos), std::pow(kWheelStep, WheelDelta / 120.0));
    Handled = true;
  };
  map.OnMouseLeave = [this](TObject*) { pointerOnMap_ = false; };
  atlas_->OnMouseMove = [this](TObject*, TShiftState, int X, int Y) { PointerMoved(X, Y); };
  // A map the atlas fails to switch to (on a zoom click or in its selector)
  // is dealt with after the messages, not inside the atlas's own call.
  atlas_->OnMapLoadError = [this](TObject*, int32_t Index, const std::string& Why) {
    failedMap_ = Index;
    failedWhy_ = Why;
  };
  // The atlas looks for a map image beside the calibration file of the map
  // it loads; this does the same by the map sources' rule, which also finds
  // an image whose name differs in case from the stored one (calibrations
  // written where case does not matter).
  map.OnMapImageRequest = [this](TObject*, std::string& FileName) {
    const int32_t i = atlas_->CurrentMapIndex();
    if (i >= 1 && i <= atlas_->NumRegMaps()) {
      FileName = MapImageBeside(atlas_->Maps(i).MapFName, FileName);
    }
  };
  Clipboard().OnChange = [this](TClipboard&) { ClipboardChanged(); };
  Pump();
}

TViewer::~TViewer() {
  Clipboard().OnChange = nullptr;
}

// ------------------------------------------------------------ opening

int TViewer::Open(const std::vector<std::string>& Paths) {
  const TMapFiles files = ScanMapFiles(Paths);
  std::vector<std::string> problems = files.Problems;
  // The calibrations and their images' headers are read once, into the
  // atlas's index; no image is decoded before its map is shown.
  const TAtlasIndex index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  index_ = index;
  for (const TAtlasMap& m : index.Maps())
    if (!atlas_->RegisterMap(m))
      problems.push_back(m.File + ": not registered (more than " + std::to_string(kMaxRegMaps) +
                         " maps)");
  for (const std::string& p : problems) Message(apps::Printable(p));

  // Every landmark file adds its landmarks to those of the files before.
  std::vector<TLandMark> landmarks;
  for (const std::string& file : files.LandmarkFiles) {
    try {
      const std::vector<TLandMark> more = ReadLandMarkFile(file);
      landmarks.insert(landmarks.end(), more.begin(), more.end());
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Message(apps::Printable(what.find(file) != std::string::npos ? what : file + ": " + what));
    }
  }
  Map().AssignLandMarks(landmarks);

  // The coarsest map first: the overview from which clicks zoom in. A map
  // whose image turns out to be damaged is dropped and the next one tried.
  while (atlas_->NumRegMaps() > 0) {
    int32_t coarsest = 1;
    for (int32_t i = 2; i <= atlas_->NumRegMaps(); ++i)
      if (atlas_->Maps(i).Resolution > atlas_->Maps(coarsest).Resolution) coarsest = i;
    try {
      atlas_->SelectMap(coarsest);
      break;
    } catch (const std::exception& e) {
      Message(apps::Printable(atlas_->Maps(coarsest).MapFName) + ": " + apps::Printable(e.what()));
      DropMap(coarsest);
    }
  }
  AfterMapChange();
  Map().ZoomFitPage();
  Push();
  UpdateStatus();
  return atlas_->NumRegMaps();
}

bool TViewer::CenterOn(double Lat, double Lon, double Magnification) {
  TGeoMap& map = Map();
  int32_t x = 0, y = 0;
  if (map.MapImgFile().empty() || !map.IsPositionWithinMap(Lat, Lon) ||
      !map.CalcPixelCoords(Lat, Lon, x, y)) {
    return false;
  }
  map.SetSuppressPaint(true);
  if (Magnification > 0) map.SetMagnification(Magnification);
  const double m = map.Magnification();
  map.SetTopLeft(TPoint{x - static_cast<int32_t>(std::lround(map.Width() / m / 2)),
                        y - static_cast<int32_t>(std::lround(map.Height() / m / 2))});
  map.SetSuppressPaint(false);
  Push();
  UpdateStatus();
  return true;
}

void TViewer::DropMap(int32_t Index) {
  try {
    atlas_->UnregisterMap(Index);
  } catch (const std::exception&) {
    // Unregistering selects the map moving into the dropped one's place;
    // when that one is damaged too, the next pump deals with it.
  }
}

// ------------------------------------------------------------ the loop

void TViewer::Resize(int Width, int Height) {
  form_->SetBounds(0, 0, Width, Height);
}

void TViewer::Pump() {
  try {
    Application().ProcessMessages();
  } catch (const std::exception& e) {
    RecoverFromFailedInput(atlas_->CurrentMapIndex(), e.what());
  }
  if (failedMap_ != 0) RecoverFromFailedInput(std::exchange(failedMap_, 0), failedWhy_);
  if (atlas_->CurrentMapIndex() != shownMap_) AfterMapChange();
  // A view the map pushed itself (the end of a pan) ends a walk back
  // through the history.
  if (Map().GetZoomStackEntry(0) != newestView_) {
    newestView_ = Map().GetZoomStackEntry(0);
    historyDepth_ = 0;
  }
  UpdateGridSpacing();
  UpdateStatus();
  if (form_->Caption() != Title()) form_->SetCaption(Title());
}

void TViewer::RecoverFromFailedInput(int32_t failed, const std::string& Why) {
  if (failed == lastGoodMap_ || failed < 1) {
    Message(apps::Printable(Why));
    return;
  }
  // Loading the map the user chose raised: its calibration or image is
  // damaged. It leaves the atlas, and the map shown before comes back with
  // the view it had (the failed load stopped before changing the view).
  fileProblem_ = true;
  Message(apps::Printable(atlas_->Maps(failed).MapFName) + ": " + apps::Printable(Why) +
          " (map dropped)");
  TGeoMap& map = Map();
  const TPoint topLeft = map.TopLeft();
  const double magnification = map.Magnification();
  DropMap(failed);
  const int32_t back = lastGoodMap_ > failed ? lastGoodMap_ - 1 : lastGoodMap_;
  if (back >= 1 && back <= atlas_->NumRegMaps()) {
    try {
      atlas_->SelectMap(back);
    } catch (const std::exception& e) {
      Message(apps::Printable(e.what()));
    }
  }
  AfterMapChange();
  map.SetSuppressPaint(true);
  map.SetMagnification(magnification);
  map.SetTopLeft(topLeft);
  map.SetSuppressPaint(false);
  Push();
}

void TViewer::AfterMapChange() {
  const int32_t current = atlas_->CurrentMapIndex();
  shownMap_ = current;
  if (current >= 1 && current <= atlas_->NumRegMaps() && !Map().MapImgFile().empty()) {
    lastGoodMap_ = current;
    // Selecting a map calibrated by points leaves the selector as it was;
    // the viewer keeps it showing the map on screen.
    atlas_->MapSelector().SetItemIndex(current - 1);
  } else {
    lastGoodMap_ = 0;
  }
  // Views of another map mean nothing on this one.
  Map().ClearZoomHistory();
  newestView_ = Map().GetZoomStackEntry(0);
  historyDepth_ = 0;
}

void TViewer::PointerMoved(int X, int Y) {
  pointer_ = TPoint{X, Y};
  pointerOnMap_ = true;
}

void TViewer::UpdateStatus() {
  TGeoMap& map = Map();
  std::optional<TPointerPosition> position;
  if (pointerOnMap_ && !map.MapImgFile().empty()) {
    const TPoint p = map.ControlToMapImage(pointer_);
    bool latOk = false, lonOk = false;
    const double lat = map.CalcLatitude(p, latOk);
    const double lon = map.CalcLongitude(p, lonOk);
    if (latOk && lonOk && std::isfinite(lat) && std::isfinite(lon)) position = {lat, lon};
  }
  std::string text = StatusLine(position, map.CalibData().Ellipsoid, map.Magnification(),
                                map.MapImgFile().empty() ? "no map" : map.Caption());
  // The live position's state first: it changes while the user looks, and a
  // narrow window cuts the line's end (the caption is in the selector too).
  const std::string gps = GpsStatus(positionLayer_->Current(), gpsState_, gpsWhy_);
  if (!gps.empty()) text = gps + "    " + text;
  int lines = 1;
  if (!notice_.empty() && std::chrono::steady_clock::now() < noticeUntil_) {
    TBitmap scratch(1, 1);
    scratch.Canvas().Font().Assign(statusPanel_->Font());
    const int width = form_->Width() - 8;
    if (scratch.Canvas().TextWidth(notice_ + "    " + text) <= width) {
      text = notice_ + "    " + text;
    } else {
      // The message whole, over the lines it needs, above the position:
      // the status line grows for as long as it is shown.
      std::string wrapped;
      for (const std::string& line : WrapText(scratch.Canvas(), notice_, width)) {
        wrapped += line + "\n";
        ++lines;
      }
      text = wrapped + text;
    }
  }
  if (text == status_) return;
  status_ = text;
  const int height = kStatusHeight + (lines - 1) * TStatusPanel::kLineHeight;
  if (statusPanel_->Height() != height) statusPanel_->SetHeight(height);
  statusPanel_->SetText(text);
}

std::string TViewer::Title() const {
  const TGeoMap& map = atlas_->CurrentMap();
  if (map.MapImgFile().empty()) return "geoview";
  return "geoview - " + apps::Printable(map.Caption().empty() ? map.MapImgFile() : map.Caption());
}

void TViewer::Message(const std::string& Text) {
  notice_ = Text;
  noticeUntil_ = std::chrono::steady_clock::now() + kNoticeTime;
  // The message leaves the status line when its time is up, even when
  // nothing else happens meanwhile.
  noticeTimer_->SetInterval(
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kNoticeTime).count()) +
      50);
  noticeTimer_->SetEnabled(true);
  if (OnMessage) OnMessage(Text);
}

// ------------------------------------------------------------ the view

void TViewer::Push() {
  Map().ZoomStateOnStack();
  newestView_ = Map().GetZoomStackEntry(0);
  historyDepth_ = 0;
}

void TViewer::ZoomAbout(TPoint Point, double Factor) {
  TGeoMap& map = Map();
  if (map.MapImgFile().empty() || !std::isfinite(Factor) || Factor <= 0) return;
  const double m = map.Magnification();
  const double m2 = std::clamp(m * Factor, kMinViewMagnification, kMaxViewMagnification);
  if (m2 == m) return;
  // The image position under the point stays under it.
  const double imgX = Point.X / m + map.TopLeft().X;
  const double imgY = Point.Y / m + map.TopLeft().Y;
  map.SetSuppressPaint(true);
  map.SetMagnification(m2);
  map.SetTopLeft(TPoint{static_cast<int32_t>(std::lround(imgX - Point.X / m2)),
                        static_cast<int32_t>(std::lround(imgY - Point.Y / m2))});
  map.SetSuppressPaint(false);
  Push();
}

void TViewer::WheelZoom(TPoint Point, double Factor) {
  ZoomAbout(Point, Factor);
  if (followWheel_ && Factor != 1) SwitchMapForScale(Point, Factor > 1);
}

void TViewer::SwitchMapForScale(TPoint Point, bool In) {
  TGeoMap& map = Map();
  if (map.MapImgFile().empty()) return;
  const double m = map.Magnification();
  const bool past =
      In ? m > 1 : map.MapImgWidth() * m < map.Width() && map.MapImgHeight() * m < map.Height();
  const double resolution = map.CalibData().Resolution;
  if (!past || !(resolution > 0)) return;
  bool latOk = false, lonOk = false;
  const TPoint image = map.ControlToMapImage(Point);
  const double lat = map.CalcLatitude(image, latOk);
  const double lon = map.CalcLongitude(image, lonOk);
  if (!latOk || !lonOk || !std::isfinite(lat) || !std::isfinite(lon)) return;
  const double metresPerViewPixel = resolution / m;
  map.SetSuppressPaint(true);
  bool switched = false;
  try {
    switched = In ? atlas_->ZoomIn(lat, lon, resolution) : atlas_->ZoomOut(lat, lon, resolution);
  } catch (...) {
    map.SetSuppressPaint(false);
    throw;  // a damaged map: Pump drops it and shows the map before
  }
  if (switched) {
    AfterMapChange();
    // The same scale on the new map, the position under the pointer kept.
    const double r = map.CalibData().Resolution;
    const double m2 = std::clamp(r > 0 ? r / metresPerViewPixel : map.Magnification(),
                                 kMinViewMagnification, kMaxViewMagnification);
    int32_t x = 0, y = 0;
    map.SetMagnification(m2);
    if (map.CalcPixelCoords(lat, lon, x, y)) {
      const double mag = map.Magnification();
      map.SetTopLeft(TPoint{static_cast<int32_t>(std::lround(x - Point.X / mag)),
                            static_cast<int32_t>(std::lround(y - Point.Y / mag))});
    }
  }
  map.SetSuppressPaint(false);
  if (switched) Push();
}

void TViewer::UpdateGridSpacing() {
  TGeoMap& map = Map();
  if (map.MapImgFile().empty() || map.ShowGraticule() == sgNone) return;
  const double m = map.Magnification();
  double step = map.GratLineDistFor(m);
  int32_t utm = map.UTMGridDistFor(m);
  for (int k = 0; k < std::abs(gridShift_); ++k) {
    step = gridShift_ < 0 ? DenserGraticuleStep(step) : SparserGraticuleStep(step);
    utm = gridShift_ < 0 ? DenserUTMGridStep(utm) : SparserUTMGridStep(utm);
  }
  if (step > 0 && step != map.GratLineDist()) map.SetGratLineDist(step);
  if (utm > 0 && utm != map.UTMGridDist()) map.SetUTMGridDist(utm);
}

void TViewer::ShiftGrid(int Steps) {
  // Beyond a few steps the lines are a blur or gone: stop there.
  gridShift_ = std::clamp(gridShift_ + Steps, -3, 3);
  UpdateGridSpacing();
  const TGeoMap& map = Map();
  if (map.ShowGraticule() == sgNone) {
    Message("no grid shown (G shows one)");
  } else if (map.ShowGraticule() == sgUTMGrid || map.ShowGraticule() == sgPointsAndUTMGrid) {
    Message("UTM grid every " + std::to_string(map.UTMGridDist()) + " m");
  } else {
    Message("graticule every " + DegreesText(map.GratLineDist()));
  }
}

void TViewer::PanBy(int Dx, int Dy) {
  TGeoMap& map = Map();
  if (map.MapImgFile().empty()) return;
  const double m = map.Magnification();
  const TPoint tl = map.TopLeft();
  map.SetSuppressPaint(true);
  map.SetTopLeft(TPoint{tl.X + static_cast<int32_t>(std::lround(Dx / m)),
                        tl.Y + static_cast<int32_t>(std::lround(Dy / m))});
  if (map.ConfinePanToMapImage()) map.PanMapToFillWindow();
  map.SetSuppressPaint(false);
  Push();
}

void TViewer::GoBack() {
  const int32_t index = -(historyDepth_ + 1);
  if (index < -15 || Map().GetZoomStackEntry(index).Empty()) {
    Message("no earlier view");
    return;
  }
  Map().ZoomHistory(index);
  ++historyDepth_;
}

void TViewer::CycleGrid() {
  TGeoMap& map = Map();
  const bool utm = map.CalibModel() == cmUTM;
  TShowGrat next = sgNone;
  switch (map.ShowGraticule()) {
    case sgNone:
      next = sgLines;
      break;
    case sgLines:
      next = sgPointsAndLines;
      break;
    case sgPointsAndLines:
      next = utm ? sgUTMGrid : sgNone;
      break;
    default:
      next = sgNone;
      break;
  }
  map.SetShowGraticule(next);
  static const char* const kNames[] = {"none",      "calibration points",
                                       "graticule", "graticule and calibration points",
                                       "UTM grid",  "UTM grid and calibration points"};
  Message(std::string("grid: ") + kNames[next]);
}

void TViewer::ToggleLandmarks() {
  TGeoMap& map = Map();
  landmarksVisible_ = !landmarksVisible_;
  map.SetSuppressPaint(true);
  for (int c = 0; c < 256; ++c) map.SetClassVisibility(static_cast<uint8_t>(c), landmarksVisible_);
  map.SetSuppressPaint(false);
  Message(landmarksVisible_ ? "landmarks shown (" + std::to_string(map.NumLandMarks()) + ")"
                            : "landmarks hidden");
}

void TViewer::Key(TViewerKey Key) {
  try {
    RunKey(Key);
  } catch (const std::exception& e) {
    Message(apps::Printable(e.what()));
  }
  Pump();
}

void TViewer::RunKey(TViewerKey Key) {
  TGeoMap& map = Map();
  const TPoint centre{map.Width() / 2, map.Height() / 2};
  switch (Key) {
    case TViewerKey::ZoomIn:
      ZoomAbout(centre, kKeyStep);
      break;
    case TViewerKey::ZoomOut:
      ZoomAbout(centre, 1 / kKeyStep);
      break;
    case TViewerKey::PanLeft:
      PanBy(-map.Width() / 4, 0);
      break;
    case TViewerKey::PanRight:
      PanBy(map.Width() / 4, 0);
      break;
    case TViewerKey::PanUp:
      PanBy(0, -map.Height() / 4);
      break;
    case TViewerKey::PanDown:
      PanBy(0, map.Height() / 4);
      break;
    case TViewerKey::FitPage:
      if (!map.MapImgFile().empty()) {
        map.ZoomFitPage();
        Push();
      }
      break;
    case TViewerKey::Back:
      GoBack();
      break;
    case TViewerKey::CycleGrid:
      CycleGrid();
      break;
    case TViewerKey::ToggleLandmarks:
      ToggleLandmarks();
      break;
    case TViewerKey::Copy:
      CopyView();
      break;
    case TViewerKey::Print:
      PrintView();
      break;
    case TViewerKey::Save:
      SaveView();
      break;
    case TViewerKey::ToggleFollowWheel:
      followWheel_ = !followWheel_;
      Message(followWheel_ ? "the wheel switches maps" : "the wheel stays on this map");
      break;
    case TViewerKey::ToggleFollow:
      follow_ = !follow_;
      Message(follow_ ? "the view follows the position" : "the view stays where it is");
      if (follow_ && positionLayer_->Current()) FollowFix(*positionLayer_->Current());
      break;
    case TViewerKey::DenserGrid:
      ShiftGrid(-1);
      break;
    case TViewerKey::SparserGrid:
      ShiftGrid(1);
      break;
  }
}

// ------------------------------------------------------------ output

void TViewer::SaveView() {
  TGeoMap& map = Map();
  const std::string file = NextOutputFile(outputFolder_, "png");
  try {
    TBitmap picture;
    CopyTopLeft(map.ComposedView(), map.Width(), map.Height(), picture);
    SaveViewImage(picture, file, TViewImageFormat::Png);
    Message("view saved as " + apps::Printable(file));
  } catch (const std::exception& e) {
    Message(apps::Printable(e.what()));
  }
}

void TViewer::CopyView() {
  copied_ = false;
  try {
    Map().CopyToClipboard();
  } catch (const std::exception& e) {
    Message(apps::Printable(e.what()));
    return;
  }
  if (!copied_) Message("nothing was copied");
}

void TViewer::ClipboardChanged() {
  TClipboard& clipboard = Clipboard();
  if (!clipboard.HasFormat(CF_BITMAP)) return;
  copied_ = true;
  // The system clipboard of some window systems holds only text: the
  // bitmap goes to a PNG file, and the host hands over its name.
  const std::string file = NextOutputFile(outputFolder_, "png");
  try {
    TBitmap picture;
    clipboard.GetAsBitmap(picture);
    SaveViewImage(picture, file, TViewImageFormat::Png);
  } catch (const std::exception& e) {
    Message("view copied; " + apps::Printable(e.what()));
    return;
  }
  if (OnClipboardFile) OnClipboardFile(file);
  Message("view copied, and saved as " + apps::Printable(file));
}

void TViewer::PrintView() {
  const std::string file = NextOutputFile(outputFolder_, "pdf");
  try {
    PrintMapToPdf(Map(), file);
    Message("view printed to " + apps::Printable(file));
  } catch (const std::exception& e) {
    Message(apps::Printable(e.what()));
  }
}

}  // namespace marovia::geoview
