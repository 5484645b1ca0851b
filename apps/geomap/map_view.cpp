#include "map_view.h"

#include <algorithm>
#include <cmath>

#include "map_loading.h"
#include "marovia/geomap/calxml.h"
#include "marovia/platform/sysutils.h"

namespace marovia::geomaptool {

const TOptionDef kViewOptions[9] = {
    {"size", 0, true},   {"center", 0, true},        {"mag", 0, true},
    {"grid", 0, true},   {"grid-step", 0, true},     {"utm-step", 0, true},
    {"labels", 0, true}, {"no-antialias", 0, false}, {"max-pixels", 0, true}};

int64_t MaxPixelsFromArguments(const TArguments& Args) {
  const auto n = Args.Number("max-pixels", static_cast<double>(kMaxMapPixels),
                             static_cast<double>(kMaxTiledMapPixels));
  if (!n) return kMaxMapPixels;
  if (*n != std::floor(*n)) throw TUsageError("--max-pixels must be a whole number");
  return static_cast<int64_t>(*n);
}

// Views larger than this many pixels a side are refused before anything is
// allocated.
constexpr int kMaxViewSide = 8192;

std::optional<TShowGrat> GridFromName(const std::string& Name) {
  struct Entry {
    const char* Name;
    TShowGrat Grid;
  };
  static const Entry kGrids[] = {{"none", sgNone},   {"points", sgPoints},
                                 {"lines", sgLines}, {"lines+points", sgPointsAndLines},
                                 {"utm", sgUTMGrid}, {"utm+points", sgPointsAndUTMGrid}};
  for (const Entry& e : kGrids)
    if (Name == e.Name) return e.Grid;
  return std::nullopt;
}

TViewRequest ViewFromArguments(const TArguments& Args) {
  TViewRequest v;
  if (const auto s = Args.Value("size")) {
    const auto size = apps::ParseSize(*s, 16, kMaxViewSide);
    if (!size) {
      throw TUsageError("--size '" + apps::Printable(*s) +
                        "' is not WIDTHxHEIGHT with sides from 16 to " +
                        std::to_string(kMaxViewSide));
    }
    v.Width = size->Width;
    v.Height = size->Height;
  }
  if (const auto c = Args.Value("center")) {
    v.Center = apps::ParseLatLon(*c);
    if (!v.Center) {
      throw TUsageError("--center '" + apps::Printable(*c) +
                        "' is not LAT,LON in degrees (latitude -90..90, longitude -180..180)");
    }
  }
  v.Magnification = Args.Number("mag", 0.001, 64);
  if (v.Magnification && *v.Magnification <= 0) throw TUsageError("--mag must be above 0");
  if (const auto g = Args.Value("grid")) {
    const auto grid = GridFromName(*g);
    if (!grid) {
      throw TUsageError("--grid '" + apps::Printable(*g) +
                        "' is not one of none, points, lines, lines+points, utm, utm+points");
    }
    v.Grid = *grid;
  }
  v.GridStepDegrees = Args.Number("grid-step", 0, 60).value_or(0);
  v.UtmStepMetres = Args.Integer("utm-step", 0, 10000000).value_or(0);
  v.AntiAlias = !Args.Has("no-antialias");
  v.MaxPixels = MaxPixelsFromArguments(Args);
  if (const auto l = Args.Value("labels")) {
    if (*l != "place" && *l != "all")
      throw TUsageError("--labels '" + apps::Printable(*l) + "' is not place or all");
    v.PlaceLabels = *l == "place";
  }
  return v;
}

namespace {

struct TPlacement {
  double Magnification;
  double CenterX;  // image pixel at the view's centre
  double CenterY;
};

TPlacement Place(const TGeoMap& Map, const TViewRequest& View) {
  TPlacement p{1.0, Map.MapImgWidth() / 2.0, Map.MapImgHeight() / 2.0};
  if (View.Center) {
    if (!Map.IsPositionWithinMap(View.Center->Lat, View.Center->Lon)) {
      throw TViewError("position " + apps::Fixed(View.Center->Lat, 5) + "," +
                       apps::Fixed(View.Center->Lon, 5) + " is not on the map");
    }
    int32_t x = 0, y = 0;
    if (!Map.CalcPixelCoords(View.Center->Lat, View.Center->Lon, x, y)) {
      throw TViewError("the map's calibration cannot place position " +
                       apps::Fixed(View.Center->Lat, 5) + "," + apps::Fixed(View.Center->Lon, 5));
    }
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

double ViewCoverage(const TGeoMap& Map, const TViewRequest& View) {
  const TPlacement p = Place(Map, View);
  const double halfW = View.Width / p.Magnification / 2;
  const double halfH = View.Height / p.Magnification / 2;
  const double w = std::max(0.0, std::min(p.CenterX + halfW, double(Map.MapImgWidth())) -
                                     std::max(p.CenterX - halfW, 0.0));
  const double h = std::max(0.0, std::min(p.CenterY + halfH, double(Map.MapImgHeight())) -
                                     std::max(p.CenterY - halfH, 0.0));
  return (w * h) / (4 * halfW * halfH);
}

std::string ChooseAtlasMap(const std::vector<std::string>& Calibrations, const TViewRequest& View,
                           std::vector<std::string>& Problems) {
  struct TCandidate {
    std::string File;
    double Coverage;
    double Resolution;  // metres per pixel; 0 when unknown
  };
  std::vector<TCandidate> candidates;
  for (const std::string& file : Calibrations) {
    try {
      // The stored corners tell cheaply whether the map can be a candidate.
      TCalibData data;
      TCalibModel model = cmUndefined;
      if (!ParseCalibData(file, "", data, model)) continue;
      if (View.Center && !PositionInMap(View.Center->Lat, View.Center->Lon, data.Corners)) continue;
      TGeoMap map(nullptr);
      map.SetName("Map");
      map.SetSuppressPaint(true);
      map.SetMaxMapPixels(View.MaxPixels);
      apps::LoadCalibratedMap(map, file);
      if (View.Center && !map.IsPositionWithinMap(View.Center->Lat, View.Center->Lon)) continue;
      candidates.push_back({file, ViewCoverage(map, View), map.CalibData().Resolution});
    } catch (const apps::TMapFileError& e) {
      Problems.push_back(e.what());
    } catch (const std::exception& e) {
      Problems.push_back(apps::Printable(file) + ": " + apps::Printable(e.what()));
    }
  }
  auto finer = [](const TCandidate& A, const TCandidate& B) {
    return A.Resolution > 0 && (B.Resolution <= 0 || A.Resolution < B.Resolution);
  };
  const TCandidate* best = nullptr;
  for (const TCandidate& c : candidates) {
    if (c.Coverage >= kFilledView && (!best || finer(c, *best))) best = &c;
  }
  for (const TCandidate& c : candidates) {
    if (best && best->Coverage >= kFilledView) break;
    if (!best || c.Coverage > best->Coverage + 1e-3 ||
        (c.Coverage > best->Coverage - 1e-3 && finer(c, *best))) {
      best = &c;
    }
  }
  return best ? best->File : std::string();
}

}  // namespace marovia::geomaptool
