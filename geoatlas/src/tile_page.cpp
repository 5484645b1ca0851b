// The page of a directory of web tiles.
#include "marovia/geoatlas/tile_page.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geomap/landmark.h"
#include "marovia/geomap/track_files.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

std::string Deg(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

std::string LandmarksGeoJson(const std::vector<std::string>& Files,
                             std::vector<std::string>& Problems) {
  std::ostringstream js;
  js << "{\"type\":\"FeatureCollection\",\"features\":[";
  bool firstFeature = true;
  for (const std::string& file : Files) {
    std::vector<TLandMark> landmarks;
    try {
      landmarks = ReadLandMarkFile(file);
    } catch (const std::exception& e) {
      Problems.push_back(e.what());
      continue;
    }
    for (const TLandMark& lm : landmarks) {
      js << (firstFeature ? "" : ",")
         << "\n{\"type\":\"Feature\",\"properties\":{\"name\":" << JsonString(lm.Caption.Text)
         << "},\"geometry\":{\"type\":\"Point\",\"coordinates\":[" << Deg(lm.Longitude) << ","
         << Deg(lm.Latitude) << "]}}";
      firstFeature = false;
    }
  }
  js << "]}";
  return js.str();
}

std::string OutlinesGeoJson(const TAtlasTiles& Tiles) {
  std::ostringstream js;
  js << "{\"type\":\"FeatureCollection\",\"features\":[";
  bool firstFeature = true;
  for (const auto& m : Tiles.Maps()) {
    const auto outline = MapOutline(m->Calibration());
    if (outline.size() < 3) continue;
    js << (firstFeature ? "" : ",") << "\n{\"type\":\"Feature\",\"properties\":{\"name\":"
       << JsonString(m->Calibration().Data().Caption) << "},\"geometry\":{\"type\":\"Polygon\","
       << "\"coordinates\":[[";
    for (const auto& [lon, lat] : outline) js << "[" << Deg(lon) << "," << Deg(lat) << "],";
    js << "[" << Deg(outline[0][0]) << "," << Deg(outline[0][1]) << "]]]}}";
    firstFeature = false;
  }
  js << "]}";
  return js.str();
}

void CopyLeaflet(const fs::path& To, std::vector<std::string>& Problems) {
  const fs::path from = LeafletSourceDir();
  std::error_code ec;
  if (!fs::exists(from / "leaflet.js", ec)) {
    Problems.push_back(from.string() +
                       ": the map library (leaflet.js) is not there; install libjs-leaflet or set "
                       "MAROVIA_LEAFLET_DIR");
    return;
  }
  fs::create_directories(To / "images", ec);
  const auto copy = [&](const fs::path& a, const fs::path& b) {
    fs::copy_file(a, b, fs::copy_options::overwrite_existing, ec);
    if (ec) throw EInOutError(b.string(), ec.message(), ec.value());
  };
  copy(from / "leaflet.js", To / "leaflet.js");
  copy(from / "leaflet.css", To / "leaflet.css");
  for (fs::directory_iterator it(from / "images", ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".png") copy(it->path(), To / "images" / it->path().filename());
}

const char* const kPageScript = R"JS(
const map = L.map('map', {minZoom: 0, maxZoom: TILES.maxzoom + 3});
const box = [[TILES.bounds[1], TILES.bounds[0]], [TILES.bounds[3], TILES.bounds[2]]];
// One layer per finest level of the maps, coarsest below: where a fine
// map made no tile at this level, the coarser layer's tile, enlarged,
// shows through.
const tiles = L.layerGroup(TILES.levels.map(level => L.tileLayer('{z}/{x}/{y}.' + TILES.format, {
  minZoom: 0, maxZoom: TILES.maxzoom + 3, minNativeZoom: TILES.minzoom,
  maxNativeZoom: level, tileSize: 256, bounds: box
}))).addTo(map);
const marker = {radius: 6, color: '#000000', weight: 2, fillColor: '#ff00ff', fillOpacity: 1};
const landmarks = L.geoJSON(LANDMARKS, {
  pointToLayer: (f, ll) => L.circleMarker(ll, marker),
  onEachFeature: (f, layer) => layer.bindPopup(document.createTextNode(f.properties.name))
}).addTo(map);
const outlines = L.geoJSON(OUTLINES, {
  style: {color: '#ff0000', weight: 2, fill: false},
  onEachFeature: (f, layer) => layer.bindTooltip(document.createTextNode(f.properties.name))
});
// The user's tracks, routes, waypoints and shapes, in the colours their
// files gave (simplestyle properties), else the map's overlay colours.
const prop = (f, k, d) => (f.properties && f.properties[k] != null ? f.properties[k] : d);
const tracks = L.geoJSON(TRACKS, {
  style: f => ({color: prop(f, 'stroke', '#d000d0'), weight: prop(f, 'stroke-width', 3),
                opacity: prop(f, 'stroke-opacity', 1), fillColor: prop(f, 'fill', '#00b000'),
                fillOpacity: prop(f, 'fill-opacity', 0.3)}),
  pointToLayer: (f, ll) => L.circleMarker(ll, {radius: 5, color: '#ffffff', weight: 2,
                                               fillColor: prop(f, 'marker-color', '#c00000'),
                                               fillOpacity: 1}),
  onEachFeature: (f, layer) => {
    const name = prop(f, 'name', '');
    if (name) layer.bindTooltip(document.createTextNode(name));
  }
}).addTo(map);
const layers = {'Tiles': tiles, 'Landmarks': landmarks, 'Map outlines': outlines};
if (TRACKS.features.length > 0) layers['Tracks'] = tracks;
L.control.layers(null, layers, {collapsed: false}).addTo(map);
L.control.scale({imperial: false}).addTo(map);
// #zoom/lat/lon in the address opens that view; else the whole tile set.
const view = location.hash.slice(1).split('/').map(Number);
if (view.length === 3 && view.every(Number.isFinite)) {
  map.setView([view[1], view[2]], view[0]);
} else {
  map.fitBounds(box);
}
)JS";

// JSON placed inside a script element: a "</" in a name would end the
// element, so its slash is escaped (the same string to JSON).
std::string ScriptSafe(const std::string& Json) {
  std::string out;
  out.reserve(Json.size());
  for (std::size_t i = 0; i < Json.size(); ++i) {
    out += Json[i];
    if (Json[i] == '<' && i + 1 < Json.size() && Json[i + 1] == '/') out += '\\';
  }
  return out;
}

// The distinct finest levels of the maps within the run's levels, and the
// run's finest, ascending.
std::string Levels(const TAtlasTiles& Tiles, const TTileSetInfo& Info) {
  std::set<int> levels{Info.MaxZoom};
  for (const auto& m : Tiles.Maps())
    levels.insert(std::clamp(m->FinestZoom(), Info.MinZoom, Info.MaxZoom));
  std::string out;
  for (const int z : levels) out += (out.empty() ? "" : ", ") + std::to_string(z);
  return out;
}

}  // namespace

std::string LeafletSourceDir() {
  const char* env = std::getenv("MAROVIA_LEAFLET_DIR");
  return env && *env ? env : "/usr/share/javascript/leaflet";
}

void WriteTilePage(const std::string& Dir, const TAtlasTiles& Tiles,
                   const std::vector<std::string>& LandmarkFiles, const TTileSetInfo& Info,
                   std::vector<std::string>& Problems, const TTrackData* Tracks) {
  const fs::path dir(Dir);
  CopyLeaflet(dir / "leaflet", Problems);
  const TGeoBounds& b = Info.Bounds;
  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
  for (const char c : Info.Name) {
    if (c == '<')
      page << "&lt;";
    else if (c == '&')
      page << "&amp;";
    else
      page << c;
  }
  page << "</title>\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       << "<link rel=\"stylesheet\" href=\"leaflet/leaflet.css\">\n"
       << "<script src=\"leaflet/leaflet.js\"></script>\n"
       << "<style>html, body, #map { margin: 0; height: 100%; background: #ffffff; }</style>\n"
       << "</head>\n<body>\n<div id=\"map\"></div>\n<script>\n"
       << "const TILES = {format: \"" << TileExtension(Info.Format)
       << "\", minzoom: " << Info.MinZoom << ", maxzoom: " << Info.MaxZoom << ", bounds: ["
       << Deg(b.West) << ", " << Deg(b.South) << ", " << Deg(b.East) << ", " << Deg(b.North)
       << "], levels: [" << Levels(Tiles, Info) << "]};\n"
       << "const LANDMARKS = " << LandmarksGeoJson(LandmarkFiles, Problems) << ";\n"
       << "const OUTLINES = " << OutlinesGeoJson(Tiles) << ";\n"
       << "const TRACKS = " << ScriptSafe(GeoJsonText(Tracks ? *Tracks : TTrackData{})) << ";\n"
       << kPageScript << "</script>\n</body>\n</html>\n";
  const std::string text = page.str();
  const fs::path file = dir / "index.html";
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw EInOutError(file.string(), "cannot write the page");
}

}  // namespace marovia
