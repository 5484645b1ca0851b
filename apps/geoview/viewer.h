// The viewer without its window system: a form holding an atlas aligned to
// the client area and a status line below it, the maps and landmarks of the
// files it was opened with, and the keyboard commands. A host shows
// Picture(), posts the user's mouse input to Form() through Application()
// and calls Pump(); it turns Cursor() into the system's cursor.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/geoatlas.h"
#include "marovia/geomap/position.h"
#include "marovia/geomap/position_layer.h"
#include "marovia/platform/extctrls.h"
#include "marovia/platform/forms.h"
#include "marovia/platform/host_window.h"
#include "status_panel.h"

namespace marovia::geoview {

// The commands of the keyboard.
enum class TViewerKey {
  ZoomIn,   // + : closer, about the centre of the map
  ZoomOut,  // -
  PanLeft,  // arrows: a quarter of the view
  PanRight,
  PanUp,
  PanDown,
  FitPage,            // Home: the whole map
  Back,               // Backspace: the view before, in the zoom history
  CycleGrid,          // G: none, graticule lines, lines and points, UTM grid
  ToggleLandmarks,    // L
  Copy,               // Ctrl+C: the view to the clipboard
  Print,              // P: the view to a PDF file
  Save,               // S: the view to a PNG file
  ToggleFollowWheel,  // M: the wheel switches maps past the shown map's range, or not
  DenserGrid,         // [ : graticule and UTM grid lines one round step closer
  SparserGrid,        // ] : one round step further apart
  ToggleFollow        // F: the view follows the live position, or not
};

// The viewer's command for a key, by the text it types ('+', '=', '-', '[',
// ']') or its virtual key code (arrows, Home, Backspace, letters; Ctrl+C
// copies); none for other keys.
std::optional<TViewerKey> ViewerKeyFor(const TKeyEvent& Key);

// Height of the status line in pixels.
constexpr int kStatusHeight = 22;

class TViewer {
 public:
  TViewer(int Width, int Height);
  ~TViewer();
  TViewer(const TViewer&) = delete;
  TViewer& operator=(const TViewer&) = delete;

  // Registers the calibration files among Paths (a folder stands for its
  // .xml files) and loads the landmark files, then shows the coarsest map
  // whole. Every file that cannot be used is reported through OnMessage
  // and passed over. Answers the number of maps registered.
  int Open(const std::vector<std::string>& Paths);
  // Overlays (viewer_overlays.cpp): a track, route, waypoint or GeoJSON
  // file, or an item database opened read-only, as a layer over every map;
  // false, reported through OnMessage, when it cannot be read. A click on
  // database items names them on the status line.
  bool AddTrackFile(const std::string& File);
  bool AddDatabase(const std::string& Base);
  // Whether a path on the command line is a track file (by its name; a
  // KML or KMZ file that imports as a map is a map).
  static bool IsTrackFile(const std::string& Path);
  // Centres the view on a position at a magnification (when given, else
  // the current one), on the map shown; false when it is not on the map.
  bool CenterOn(double Lat, double Lon, double Magnification);

  // The window's client area changed size.
  void Resize(int Width, int Height);
  // Delivers the posted input, repaints, and brings the status line, the
  // title and the selector up to date. A map that turns out to be damaged
  // while being loaded is reported, dropped from the atlas, and the map
  // shown before comes back.
  void Pump();
  void Key(TViewerKey Key);
  // Zooms by Factor about a point of the map control (client coordinates),
  // keeping the map position under it in place.
  void ZoomAbout(TPoint Point, double Factor);
  // A wheel turn: ZoomAbout, and when the view has gone past the shown
  // map's range (zooming in: beyond one image pixel per view pixel; out:
  // the whole image smaller than the view both ways), the atlas's next
  // finer or coarser map at the position under the pointer, by the atlas's
  // own choice rules (ZoomIn, ZoomOut), at the same scale (metres per view
  // pixel) with that position kept under the pointer. Not while switching
  // is turned off (M).
  void WheelZoom(TPoint Point, double Factor);
  bool FollowsWheel() const { return followWheel_; }
  // Answers true (once) when a file turned out to be unusable after
  // opening: a damaged map the user chose, dropped from the atlas.
  bool FileProblemSeen() const { return fileProblem_; }

  // ---- Live position (viewer_position.cpp) --------------------------------

  // Shows the fixes of Source (started here; null stops the one shown):
  // its marker, accuracy circle and track over every map, and the fix,
  // speed and satellites on the status line. While following (the default;
  // F toggles) a position leaving the middle half of the view centres it,
  // and a position off the map shown switches to the atlas's map there at
  // the same scale (the coarsest covering it at least as fine as the view,
  // else the finest).
  void SetPositionSource(std::unique_ptr<TPositionSource> Source);
  TPositionSource* PositionSource() const { return position_.get(); }
  const TPositionLayer& PositionLayer() const { return *positionLayer_; }
  bool Follows() const { return follow_; }

  TForm& Form() { return *form_; }
  TGeoAtlas& Atlas() { return *atlas_; }
  TGeoMap& Map() { return atlas_->CurrentMap(); }
  const TBitmap& Picture() { return form_->ScreenImage(); }
  // The cursor the pointer shows now.
  TCursor Cursor() const { return form_->CurrentCursor(); }
  // The window's title; the form's Caption holds it after every Pump.
  std::string Title() const;
  // The status line's text: a message shown now (whole, over as many lines
  // as it needs) above the pointer's position, the scale and the map.
  const std::string& StatusText() const { return status_; }

  // Files written by Save, Print and Copy go into this folder (default:
  // the current one), named geoview-<n>.<ext> without replacing any file.
  void SetOutputFolder(const std::string& Folder) { outputFolder_ = Folder; }

  // Messages for the user: problems with files, files written. The host
  // prints them; the status line shows the last one for a while.
  std::function<void(const std::string& Text)> OnMessage;
  // The view was copied: the clipboard of the process holds it as a bitmap,
  // and File is a PNG file of it (window systems whose clipboard holds only
  // text get the file's name).
  std::function<void(const std::string& File)> OnClipboardFile;

 private:
  void Message(const std::string& Text);
  // Pushes the current view on the zoom history as its newest entry.
  void Push();
  void AfterMapChange();
  void UpdateStatus();
  // Unregisters a map whose calibration or image cannot be loaded.
  void DropMap(int32_t Index);
  // Drops map Failed, which could not be loaded, and shows the last good map.
  void RecoverFromFailedInput(int32_t failed, const std::string& Why);
  void RunKey(TViewerKey Key);
  void PanBy(int Dx, int Dy);
  void GoBack();
  void CycleGrid();
  void ToggleLandmarks();
  void CopyView();
  void PrintView();
  void SaveView();
  void ClipboardChanged();
  void PointerMoved(int X, int Y);
  // After a wheel zoom: the next map by the atlas's rules when the view is
  // past the shown map's range.
  void SwitchMapForScale(TPoint Point, bool In);
  // Graticule and UTM grid spacing for the view's magnification, moved by
  // gridShift_ round steps.
  void UpdateGridSpacing();
  void ShiftGrid(int Steps);
  void OnFix(const TPositionFix& Fix);
  void FollowFix(const TPositionFix& Fix);
  // The atlas's slot (1..) of index_'s map Index, 0 when not registered.
  int32_t AtlasSlotOf(std::size_t Index) const;

  std::unique_ptr<TForm> form_;
  TGeoAtlas* atlas_ = nullptr;  // owned by the form
  TStatusPanel* statusPanel_ = nullptr;
  std::string outputFolder_;
  std::string status_;
  std::string notice_;  // the last message, shown on the status line until noticeUntil_
  std::chrono::steady_clock::time_point noticeUntil_;
  TTimer* noticeTimer_ = nullptr;  // owned by the form; takes the message off
  int32_t shownMap_ = 0;           // the map the zoom history belongs to
  int32_t lastGoodMap_ = 0;        // the last map that loaded, 0 for none
  int32_t failedMap_ = 0;          // a map the atlas reported it could not load
  std::string failedWhy_;
  bool pointerOnMap_ = false;
  TPoint pointer_;  // map control coordinates
  bool landmarksVisible_ = true;
  int historyDepth_ = 0;  // Backspace steps taken since the newest view
  TgmZoomStackEntry newestView_;
  bool copied_ = false;
  bool followWheel_ = true;
  bool fileProblem_ = false;
  int gridShift_ = 0;  // negative: denser than the view's own step
  TAtlasIndex index_;  // the maps opened, for the live position's map choice
  std::shared_ptr<TPositionLayer> positionLayer_ = std::make_shared<TPositionLayer>();
  std::optional<TSourceState> gpsState_;
  std::string gpsWhy_;
  bool follow_ = true;
  // Declared last: its thread stops before anything it reports to goes.
  std::unique_ptr<TPositionSource> position_;
};

}  // namespace marovia::geoview
