// TGeoAtlas: a map control with a command panel and a list of up to 200
// registered calibrated maps. The user picks a map from the selector, or,
// in zoom mode, clicks on the map to switch to the registered map that
// covers the clicked position with the next finer (left button) or next
// coarser (other buttons) resolution.
//
// Layout: the command panel (pointer button, zoom button, map selector)
// along the top, the map control filling the rest. Registered maps are
// numbered 1..NumRegMaps.
//
// Which map covers a position, and which is finer or coarser, is the rule
// of the atlas index (atlas_index.h) that the atlas keeps of its maps.
//
// Sources, by concern: atlas_control.cpp (construction, panel, buttons,
// events, outlines), map_registry.cpp (registering, selecting, zooming),
// atlas_index.cpp, atlas_map_reader.cpp, box_tree.cpp (the atlas index),
// atlas_tiles.cpp, tile_job.cpp, tile_page.cpp (web tiles of an atlas).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/buttons.h"
#include "marovia/platform/controls.h"
#include "marovia/platform/extctrls.h"
#include "marovia/platform/stdctrls.h"

namespace marovia {

// Screen cursor numbers the atlas installs: zoom mode, and the hand.
constexpr TCursor crGeoZoom = 1000;
constexpr TCursor crGeoHand = 1001;

// Largest number of registered maps.
constexpr int32_t kMaxRegMaps = 200;

// A registered map failed to load: its index (1-based) and the error text.
using TMapLoadErrorEvent =
    std::function<void(TObject* Sender, int32_t Index, const std::string& Message)>;

// One registered map.
struct TMapDefinition {
  std::string MapFName;  // calibration file, as registered
  std::string Caption;
  double Resolution = 0;  // metres per pixel; smaller is finer
  TCornerArray Corners{};
  // The map's border as positions (a polygon in latitude and longitude,
  // each pixel edge divided into short straight pieces, longitudes one run
  // from the first vertex); empty when the map has none or its calibration
  // cannot convert it. A map with a border covers only the positions
  // inside it.
  std::vector<TCoords> Border;
};

class TGeoAtlas : public TCustomControl {
 public:
  explicit TGeoAtlas(TComponent* AOwner);
  ~TGeoAtlas() override;
  std::string ClassName() const override { return "TGeoAtlas"; }

  // ---- Published properties --------------------------------------------

  bool CmdPanelVisible() const { return FCPanel->Visible(); }
  void SetCmdPanelVisible(bool Value) { FCPanel->SetVisible(Value); }
  // Colour of the outlines of the other registered maps; writing repaints.
  TColor MapOutlineColor() const { return FMapOLColor; }
  void SetMapOutlineColor(TColor Value);
  bool MapOutlineVisible() const { return FMapOLVisible; }
  void SetMapOutlineVisible(bool Value);
  // Smallest resolution step, in per cent, for zooming in to another map.
  double MinResDiff() const { return FMinResDiff; }
  void SetMinResDiff(double Value) { FMinResDiff = Value; }

  TNotifyEvent OnZoomButClick;
  TNotifyEvent OnPointerButClick;
  TNotifyEvent OnCBoxMapsChange;
  // A registered map that the selector or a zoom chose could not be loaded
  // (a damaged calibration or map image): Index is that map, Message the
  // error. The previous map, its calibration and CurrentMapIndex stay.
  TMapLoadErrorEvent OnMapLoadError;

  // ---- Public properties -------------------------------------------------

  TGeoMap& CurrentMap() { return *FGeoMap; }
  const TGeoMap& CurrentMap() const { return *FGeoMap; }
  TPanel& CmdPanel() { return *FCPanel; }
  TComboBox& MapSelector() { return *FCboxMaps; }
  TSpeedButton& PointerButton() { return *FSBPoint; }
  TSpeedButton& ZoomButton() { return *FSBZoom; }
  int32_t NumRegMaps() const { return FNumRegMaps; }
  // Index (1-based) of the map last selected; 0 for none.
  int32_t CurrentMapIndex() const { return FCurrentMapIdx; }
  TMapDefinition Maps(int32_t ix) const { return GetMapDef(ix); }

  // ---- Maps ----------------------------------------------------------------

  // Registers the calibration file MapFName (its first data set), or
  // updates its entry when a file of that name (compared without regard to
  // case) is registered already. False when the file cannot be read as a
  // calibration or 200 other maps are registered.
  bool RegisterMap(const std::string& MapFName);
  // Registers a map read already (ReadAtlasMap, an index's entry) under its
  // calibration file Map.File, as the file form does; false when it names
  // no file or 200 other maps are registered.
  bool RegisterMap(const TAtlasMap& Map);
  // Removes registered map Index; when it was the map shown in the
  // selector, the map moving into its place is selected.
  void UnregisterMap(int32_t Index);
  // Loads registered map Index into the map control. True when it loaded
  // and the selector now shows it. A damaged calibration or map image
  // raises (EZYLGeoMapError, EInOutError) and leaves the previous map, its
  // calibration and CurrentMapIndex as they were.
  bool SelectMap(int32_t Index);
  // Switches to the coarsest registered map that contains the position and
  // is more than MinResDiff per cent finer than CurrentResolution; ties go
  // to the lowest index. False when none qualifies, or when the map chosen
  // fails to load (reported through OnMapLoadError; the view stays).
  bool ZoomIn(double CurrentLat, double CurrentLong, double CurrentResolution);
  // Switches to the finest registered map that contains the position and is
  // coarser than CurrentResolution.
  bool ZoomOut(double CurrentLat, double CurrentLong, double CurrentResolution);
  // A copy of slot ix (1..200); an empty definition outside.
  TMapDefinition GetMapDef(int32_t ix) const;
  // The registered maps as an atlas index: map i is entry i - 1.
  const TAtlasIndex& Index() const { return FIndex; }

 protected:
  void CreateWnd() override;

 private:
  void BuildCommandPanel();
  void BindMapEvents();
  void ButtonClick(TSpeedButton* Button);
  void SelectorChange();
  void MapMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void RedirectImageRequest(std::string& FileName) const;
  void DrawOutlines(TCanvas& Canvas);
  void RebuildSelector();
  // Loads the calibration of map Index (1-based) into the map control.
  bool LoadMap(int32_t Index);
  // Hands a failure to load map Index to OnMapLoadError.
  void ReportLoadError(int32_t Index, const Exception& Error);
  // Selects map Index and centres (Lat, Long); false for Index 0.
  bool SwitchTo(int32_t Index, double Lat, double Long);

  TGeoMap* FGeoMap = nullptr;
  TPanel* FCPanel = nullptr;
  TSpeedButton* FSBZoom = nullptr;
  TSpeedButton* FSBPoint = nullptr;
  TComboBox* FCboxMaps = nullptr;
  TColor FMapOLColor = 0xFF0000;
  bool FMapOLVisible = true;
  double FMinResDiff = 10.0;
  int32_t FNumRegMaps = 0;
  std::array<TMapDefinition, kMaxRegMaps> FRegMaps;  // maps 1..200 are [0..199]
  TAtlasIndex FIndex;                                // maps 1..NumRegMaps are [0..n-1]
  int32_t FCurrentMapIdx = 0;
};

}  // namespace marovia
