// The atlas's registered maps: registering calibration files, selecting a
// map, and switching to a finer or coarser map at a position.
#include <functional>

#include "marovia/geoatlas/geoatlas.h"
#include "marovia/geomap/calxml.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

// The border of a calibration as a polygon of positions: each edge in
// pixels is divided into pieces, so that the straight edges in latitude
// and longitude follow a curved image edge closely. Empty without a border
// or when the model does not convert every vertex.
std::vector<TCoords> BorderPositions(const TMapCalibration& Calibration) {
  const std::vector<TBorderVertex>& border = Calibration.Border();
  if (border.size() < 3) return {};
  TMapCalibration cal = Calibration;
  cal.Fit();
  if (!cal.Converts()) return {};
  constexpr int kPiecesPerEdge = 8;
  std::vector<TCoords> positions;
  for (std::size_t i = 0; i < border.size(); ++i) {
    const TBorderVertex& a = border[i];
    const TBorderVertex& b = border[(i + 1) % border.size()];
    for (int k = 0; k < kPiecesPerEdge; ++k) {
      const double t = static_cast<double>(k) / kPiecesPerEdge;
      const TPixelPosition p = cal.PixelToGeo(a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y));
      if (!p.Valid()) return {};
      positions.push_back({p.Latit, p.Longit});
    }
  }
  return positions;
}

// Even-odd rule in latitude and longitude, as the pixel border's own test.
bool InsidePositions(double Lat, double Long, const std::vector<TCoords>& Polygon) {
  bool inside = false;
  for (std::size_t i = 0, j = Polygon.size() - 1; i < Polygon.size(); j = i++) {
    const TCoords& a = Polygon[i];
    const TCoords& b = Polygon[j];
    if ((a.Latit > Lat) == (b.Latit > Lat)) continue;
    const double crossLong =
        a.Longit + (Lat - a.Latit) * (b.Longit - a.Longit) / (b.Latit - a.Latit);
    if (Long < crossLong) inside = !inside;
  }
  return inside;
}

// Whether a registered map covers a position: inside its border when it has
// one, else inside its corners.
bool Covers(const TMapDefinition& Def, double Lat, double Long) {
  return Def.Border.size() >= 3 ? InsidePositions(Lat, Long, Def.Border)
                                : PositionInMap(Lat, Long, Def.Corners);
}

}  // namespace

bool TGeoAtlas::RegisterMap(const std::string& MapFName) {
  // The name is kept as given for every file access; only finding an entry
  // to update ignores case, so "Maps/Alps.xml" opens on any file system.
  TMapCalibration cal;
  if (!ParseCalibration(MapFName, "", cal)) return false;
  const TCalibData& data = cal.Data();

  int32_t slot = 0;
  for (int32_t i = 1; i <= FNumRegMaps && slot == 0; ++i)
    if (SameText(FRegMaps[static_cast<size_t>(i - 1)].MapFName, MapFName)) slot = i;
  if (slot == 0) {
    if (FNumRegMaps >= kMaxRegMaps) return false;
    slot = ++FNumRegMaps;
  }
  TMapDefinition& def = FRegMaps[static_cast<size_t>(slot - 1)];
  def.MapFName = MapFName;
  def.Caption = data.Caption;
  def.Resolution = data.Resolution;
  def.Corners = data.Corners;
  def.Border = BorderPositions(cal);
  RebuildSelector();
  return true;
}

void TGeoAtlas::UnregisterMap(int32_t Index) {
  if (Index < 1 || Index > FNumRegMaps) return;
  for (int32_t i = Index; i < FNumRegMaps; ++i)
    FRegMaps[static_cast<size_t>(i - 1)] = FRegMaps[static_cast<size_t>(i)];
  FRegMaps[static_cast<size_t>(FNumRegMaps - 1)] = TMapDefinition{};
  --FNumRegMaps;
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

int32_t TGeoAtlas::ChooseMap(double Lat, double Long,
                             const std::function<bool(double Resolution, double Best)>& Better,
                             double Best) const {
  int32_t chosen = 0;
  for (int32_t i = 1; i <= FNumRegMaps; ++i) {
    const TMapDefinition& def = FRegMaps[static_cast<size_t>(i - 1)];
    if (!Covers(def, Lat, Long) || !Better(def.Resolution, Best)) continue;
    Best = def.Resolution;
    chosen = i;
  }
  return chosen;
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

bool TGeoAtlas::ZoomIn(double CurrentLat, double CurrentLong, double CurrentResolution) {
  // The coarsest map more than MinResDiff per cent finer than the current
  // resolution; strict comparisons leave ties to the lowest index.
  const double minStep = FMinResDiff / 100;
  const auto finer = [&](double res, double best) {
    return (CurrentResolution - res) / CurrentResolution > minStep && res > best;
  };
  return SwitchTo(ChooseMap(CurrentLat, CurrentLong, finer, 0), CurrentLat, CurrentLong);
}

bool TGeoAtlas::ZoomOut(double CurrentLat, double CurrentLong, double CurrentResolution) {
  // The finest map coarser than the current resolution.
  const auto coarser = [&](double res, double best) {
    return res > CurrentResolution && res < best;
  };
  return SwitchTo(ChooseMap(CurrentLat, CurrentLong, coarser, 1e10), CurrentLat, CurrentLong);
}

TMapDefinition TGeoAtlas::GetMapDef(int32_t ix) const {
  if (ix < 1 || ix > kMaxRegMaps) return TMapDefinition{};
  return FRegMaps[static_cast<size_t>(ix - 1)];
}

}  // namespace marovia
