// The atlas's registered maps: registering calibration files, selecting a
// map, and switching to a finer or coarser map at a position. The maps are
// an atlas index (atlas_index.h), whose rules choose the map to switch to.
#include <optional>

#include "marovia/geoatlas/geoatlas.h"
#include "marovia/platform/strutils.h"

namespace marovia {

bool TGeoAtlas::RegisterMap(const std::string& MapFName) {
  TAtlasMap map;
  if (!ReadAtlasMap(MapFName, "", map)) return false;
  return RegisterMap(map);
}

bool TGeoAtlas::RegisterMap(const TAtlasMap& Map) {
  // The name is kept as given for every file access; only finding an entry
  // to update ignores case, so "Maps/Alps.xml" opens on any file system.
  const std::string& name = Map.File;
  if (name.empty()) return false;
  int32_t slot = 0;
  for (int32_t i = 1; i <= FNumRegMaps && slot == 0; ++i)
    if (SameText(FRegMaps[static_cast<size_t>(i - 1)].MapFName, name)) slot = i;
  if (slot == 0 && FNumRegMaps >= kMaxRegMaps) return false;
  TMapDefinition def;
  def.MapFName = name;
  def.Caption = Map.Caption;
  def.Resolution = Map.Resolution;
  def.Corners = Map.Corners;
  def.Border = Map.Border;
  if (slot == 0) {
    slot = ++FNumRegMaps;
    FIndex.Add(Map);
  } else {
    FIndex.Replace(static_cast<size_t>(slot - 1), Map);
  }
  FRegMaps[static_cast<size_t>(slot - 1)] = std::move(def);
  RebuildSelector();
  return true;
}

void TGeoAtlas::UnregisterMap(int32_t Index) {
  if (Index < 1 || Index > FNumRegMaps) return;
  for (int32_t i = Index; i < FNumRegMaps; ++i)
    FRegMaps[static_cast<size_t>(i - 1)] = FRegMaps[static_cast<size_t>(i)];
  FRegMaps[static_cast<size_t>(FNumRegMaps - 1)] = TMapDefinition{};
  --FNumRegMaps;
  FIndex.Remove(static_cast<size_t>(Index - 1));
  const int shown = FCboxMaps->ItemIndex();
  RebuildSelector();
  if (Index == shown + 1)
    SelectMap(shown + 1);
  else
    FGeoMap->Paint();
}

void TGeoAtlas::RebuildSelector() {
  TStringList& items = FCboxMaps->Items();
  items.Clear();
  for (int32_t i = 0; i < FNumRegMaps; ++i) {
    const TMapDefinition& def = FRegMaps[static_cast<size_t>(i)];
    items.Add(def.Caption.empty() ? def.MapFName : def.Caption);
  }
}

bool TGeoAtlas::LoadMap(int32_t Index) {
  if (Index < 1 || Index > FNumRegMaps) return false;
  return FGeoMap->LoadCalDataFromXML(FRegMaps[static_cast<size_t>(Index - 1)].MapFName, "");
}

bool TGeoAtlas::SelectMap(int32_t Index) {
  if (Index < 1 || Index > FNumRegMaps) return false;
  // The index is the new map's while it loads (its image is looked for
  // beside its calibration). The map control takes a calibration and its
  // image whole or not at all, so after a failure the previous map shows
  // with its own calibration, and the index goes back to it.
  const int32_t previous = FCurrentMapIdx;
  FCurrentMapIdx = Index;
  bool loaded = false;
  try {
    loaded = LoadMap(Index);
  } catch (...) {
    FCurrentMapIdx = previous;
    throw;
  }
  if (loaded) FCboxMaps->SetItemIndex(Index - 1);
  return loaded;
}

void TGeoAtlas::ReportLoadError(int32_t Index, const Exception& Error) {
  if (OnMapLoadError) OnMapLoadError(this, Index, Error.what());
}

bool TGeoAtlas::SwitchTo(int32_t Index, double Lat, double Long) {
  if (Index == 0) return false;
  try {
    SelectMap(Index);
  } catch (const Exception& e) {
    // The previous map stays, and so does the view.
    ReportLoadError(Index, e);
    return false;
  }
  FGeoMap->BringLocationToCenter(Lat, Long);
  return true;
}

// Index positions are registered map numbers less one.
static int32_t MapNumber(const std::optional<size_t>& Index) {
  return Index ? static_cast<int32_t>(*Index) + 1 : 0;
}

bool TGeoAtlas::ZoomIn(double CurrentLat, double CurrentLong, double CurrentResolution) {
  return SwitchTo(MapNumber(FIndex.Finer(CurrentLat, CurrentLong, CurrentResolution, FMinResDiff)),
                  CurrentLat, CurrentLong);
}

bool TGeoAtlas::ZoomOut(double CurrentLat, double CurrentLong, double CurrentResolution) {
  return SwitchTo(MapNumber(FIndex.Coarser(CurrentLat, CurrentLong, CurrentResolution)), CurrentLat,
                  CurrentLong);
}

TMapDefinition TGeoAtlas::GetMapDef(int32_t ix) const {
  if (ix < 1 || ix > kMaxRegMaps) return TMapDefinition{};
  return FRegMaps[static_cast<size_t>(ix - 1)];
}

}  // namespace marovia
