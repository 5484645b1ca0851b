// An atlas entry from a calibration file and its image's header, or from a
// map source: no image is decoded, and a calibration is fitted only to
// take a border into degrees or to compute what the file does not give.
#include <algorithm>
#include <utility>

#include "atlas_geometry.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_source.h"
#include "marovia/platform/files.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

// The border of a fitted calibration as positions: each pixel edge in
// pieces, so that straight edges in latitude and longitude follow a curved
// image edge closely. Empty without a border or when a vertex does not
// convert.
std::vector<TCoords> BorderPositions(const TMapCalibration& Calibration) {
  const std::vector<TBorderVertex>& border = Calibration.Border();
  if (border.size() < 3 || !Calibration.Converts()) return {};
  constexpr int kPiecesPerEdge = 8;
  std::vector<TCoords> positions;
  for (size_t i = 0; i < border.size(); ++i) {
    const TBorderVertex& a = border[i];
    const TBorderVertex& b = border[(i + 1) % border.size()];
    for (int k = 0; k < kPiecesPerEdge; ++k) {
      const double t = static_cast<double>(k) / kPiecesPerEdge;
      const TPixelPosition p = Calibration.PixelToGeo(a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y));
      if (!p.Valid()) return {};
      positions.push_back({p.Latit, p.Longit});
    }
  }
  atlasgeo::UnwrapLongitudes(positions);
  return positions;
}

bool NoCorners(const TCornerArray& Corners) {
  return std::all_of(Corners.begin(), Corners.end(),
                     [](const TCoords& c) { return c.Latit == 0 && c.Longit == 0; });
}

// The image beside the calibration and its declared size, or why not.
void FindImage(TAtlasMap& Map, const std::string& StoredName) {
  Map.ImageFile = MapImageBeside(Map.File, StoredName);
  if (Map.ImageFile.empty()) {
    Map.ImageProblem = "the calibration names no map image";
    return;
  }
  int64_t w = 0, h = 0;
  try {
    if (!ReadImageDimensions(Map.ImageFile, w, h) || w > INT32_MAX || h > INT32_MAX) {
      Map.ImageProblem = "map image " + Map.ImageFile +
                         ": not a BMP, JPEG, PNG or TIFF image, or its header is damaged";
      return;
    }
  } catch (const EInOutError&) {
    // Opening it is the one test of its existence.
    Map.ImageProblem = "map image " + Map.ImageFile + " not found";
    return;
  }
  Map.ImageWidth = static_cast<int32_t>(w);
  Map.ImageHeight = static_cast<int32_t>(h);
}

}  // namespace

bool ReadAtlasMap(const std::string& CalibrationFile, const std::string& DataID, TAtlasMap& Map) {
  TMapCalibration cal;
  if (!ParseCalibration(CalibrationFile, DataID, cal)) return false;
  const TCalibData& data = cal.Data();
  TAtlasMap map;
  map.File = CalibrationFile;
  map.DataID = DataID;
  map.Caption = data.Caption;
  map.Model = cal.Model();
  map.Resolution = data.Resolution;
  map.Corners = data.Corners;
  FindImage(map, data.MapFName);
  const bool noCorners = NoCorners(map.Corners);
  if ((cal.Border().size() >= 3 || noCorners || !(map.Resolution > 0)) && map.ImageWidth > 0) {
    cal.SetImageSize(map.ImageWidth, map.ImageHeight);
    try {
      cal.Fit();
    } catch (const EZYLGeoMapError&) {
      // A CRS that PROJ does not know: the map keeps what the file says,
      // and fails where it is opened.
    }
    if (cal.Converts()) {
      if (noCorners) map.Corners = cal.Data().Corners;
      if (!(map.Resolution > 0)) map.Resolution = cal.Data().Resolution;
      map.Border = BorderPositions(cal);
    }
  }
  Map = std::move(map);
  return true;
}

TAtlasMap TAtlasIndex::MapOf(const std::shared_ptr<const TMapSource>& Source) {
  if (!Source) throw EZYLGeoMapError("no map source given");
  const TMapCalibration& cal = Source->Calibration();
  TAtlasMap map;
  map.File = Source->CalibrationFile();
  map.DataID = Source->DataID();
  map.Caption = cal.Data().Caption;
  map.Model = cal.Model();
  map.ImageFile = Source->ImageFile();
  map.ImageWidth = Source->Width();
  map.ImageHeight = Source->Height();
  map.Resolution = cal.Data().Resolution;
  map.Corners = cal.Data().Corners;
  map.Border = BorderPositions(cal);
  map.Source = Source;
  return map;
}

}  // namespace marovia
