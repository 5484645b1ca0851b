// geoview: a desktop viewer for calibrated maps and atlases.
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli_text.h"
#include "marovia/platform/sample_display.h"
#include "sdl_host.h"
#include "viewer.h"

namespace {

const char* const kHelp = R"HELP(Usage: geoview [OPTIONS] PATH...

Shows calibrated maps in an atlas. Each PATH is a calibration file or a
folder; every calibration file of a folder is registered, and its landmark
files are shown on the maps. The coarsest map opens first. A PATH that is a
track file (.gpx, .kml, .kmz, .geojson, .json, .nmea, .tcx, .igc, .plt,
.wpt; a KML or KMZ that is a map's overlay stays a map) is drawn over the
maps like --track.

Options:
  --size WxH          window size in pixels (default 1024x768)
  --center LAT,LON    centre the first map on this position (decimal degrees)
  --mag M             magnification of the first view (with --center)
  --max-pixels N      take map images of up to N pixels (default: any size up
                      to 16 gigapixels); images above 3000000 pixels are
                      read as tiles through a cache in the user's cache
                      folder
  --bands N or R,G,B  bands of a TIFF image whose samples are not 8-bit
                      colours: one shown grey, or three as red, green, blue,
                      numbered from 1 (default: the first three, or the first)
  --stretch KIND      how those samples map to 0..255: auto (the default),
                      full, minmax, percentile[:LOW,HIGH] or range:LOW,HIGH
  --labels place|all  place: captions that would overlap another caption or
                      a symbol are moved around it or left out (default);
                      all: every caption where its landmark puts it
  --track FILE        draw a track, route, waypoint or GeoJSON file over the
                      maps (repeatable), in the colours the file gives
  --db BASE           draw the items of an item database over the maps
                      (repeatable; opened read-only); a click names the
                      items within 5 pixels on the status line
  --out DIR           folder for saved views, prints and copies (default: the
                      current folder); files are named geoview-<n>.png/.pdf
  --gpsd [HOST:PORT]  show the live position from a gpsd daemon (default
                      localhost:2947; an IPv6 address in brackets)
  --nmea SOURCE       show the live position from NMEA 0183 sentences:
                      tcp://HOST:PORT, a serial device (/dev/ttyUSB0, at
                      4800 baud, or /dev/ttyUSB0@9600), or a log file
                      replayed at the pace of its times
                      The position is drawn as a marker (an arrow along the
                      course when moving) with its accuracy circle and the
                      track so far; the status line shows the fix, speed
                      and satellites, and when the source is lost or back.
  -h, --help          this text

Mouse:
  pointer button      drag pans the map
  zoom button         a left click switches to the next finer map at that
                      position, another button to the next coarser one
  map selector        choose a map by its caption
  wheel               zoom about the pointer; past the shown map's range
                      (finer than its pixels, or smaller than the window)
                      the atlas's next finer or coarser map at the pointer
                      takes over at the same scale

Keys:
  + and -             zoom in and out        arrows      pan
  Home                the whole map          Backspace   the view before
  G                   graticule, points, UTM grid, none
  [ and ]             grid lines denser or sparser (they follow the scale:
                      60 to 150 pixels apart at round steps)
  M                   the wheel switches maps, or stays on the map shown
  F                   the view follows the live position (switching to the
                      atlas's map there when it leaves the map shown), or not
  L                   show or hide landmarks
  Ctrl+C              copy the view: the clipboard gets the name of a PNG
                      file of it (the system clipboard holds text only)
  P                   print the view to a PDF file
  S                   save the view as a PNG file
  Ctrl+Q              quit

Exit status: 0 when every file could be used, 1 when some could not (each is
reported on standard error; when no map can be shown at all, no window
opens), 2 for a bad option, 3 when no window could be opened (no display).

Example:
  geoview samples/atlas
  geoview --center 47.37,8.54 --mag 1 samples/atlas
  geoview --gpsd samples/atlas
  geoview samples/atlas walk.gpx --db places
)HELP";

int Usage(const std::string& Text) {
  std::cerr << "geoview: " << Text << "\n";
  return 2;
}

// The command line, or the exit status of a bad one (or of --help).
struct TOptions {
  int Width = 1024, Height = 768;
  std::optional<marovia::apps::TLatLon> Center;
  double Mag = 0;
  std::string Out;
  bool PlaceLabels = true;
  int64_t MaxPixels = marovia::kMaxTiledMapPixels;
  // The live position: gpsd's address, or an NMEA source.
  std::optional<std::pair<std::string, int>> Gpsd;
  std::string Nmea;
  marovia::TSampleDisplay Display;
  std::string Bands, Stretch;
  std::vector<std::string> Paths;
  std::vector<std::string> Tracks, Databases;
};

// The value of one option that takes a value into Options; the status of a
// bad one.
std::optional<int> TakeValue(const std::string& Option, const std::string& V, TOptions& O) {
  using namespace marovia;
  if (Option == "--size") {
    const auto s = apps::ParseSize(V, 320, 8192);
    if (!s)
      return Usage("--size '" + apps::Printable(V) + "' is not WIDTHxHEIGHT from 320 to 8192");
    O.Width = s->Width;
    O.Height = s->Height;
  } else if (Option == "--center") {
    O.Center = apps::ParseLatLon(V);
    if (!O.Center) return Usage("--center '" + apps::Printable(V) + "' is not LAT,LON in degrees");
  } else if (Option == "--mag") {
    const auto m = apps::ParseNumber(V);
    if (!m || *m < 0.001 || *m > 64)
      return Usage("--mag '" + apps::Printable(V) + "' is not from 0.001 to 64");
    O.Mag = *m;
  } else if (Option == "--max-pixels") {
    const auto m = apps::ParseNumber(V);
    if (!m || *m != std::floor(*m) || *m < static_cast<double>(kMaxMapPixels) ||
        *m > static_cast<double>(kMaxTiledMapPixels))
      return Usage("--max-pixels '" + apps::Printable(V) + "' is not a whole number from " +
                   std::to_string(kMaxMapPixels) + " to " + std::to_string(kMaxTiledMapPixels));
    O.MaxPixels = static_cast<int64_t>(*m);
  } else if (Option == "--nmea") {
    if (V.empty()) return Usage("--nmea needs a source");
    O.Nmea = V;
  } else if (Option == "--bands") {
    O.Bands = V;
  } else if (Option == "--stretch") {
    O.Stretch = V;
  } else if (Option == "--track") {
    O.Tracks.push_back(V);
  } else if (Option == "--db") {
    O.Databases.push_back(V);
  } else if (Option == "--labels") {
    if (V != "place" && V != "all")
      return Usage("--labels '" + apps::Printable(V) + "' is not place or all");
    O.PlaceLabels = V == "place";
  } else {
    O.Out = V;
  }
  return std::nullopt;
}

std::optional<int> ParseOptions(const std::vector<std::string>& Args, TOptions& O) {
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    if (a == "-h" || a == "--help") {
      std::cout << kHelp;
      return 0;
    }
    if (a == "--gpsd") {
      // The address is optional: the next word is taken for it when it
      // reads as one and names no file or folder.
      std::string host;
      int port = 0;
      if (i + 1 < Args.size() && !std::filesystem::exists(Args[i + 1]) &&
          Args[i + 1].compare(0, 1, "-") != 0) {
        if (!marovia::ParseHostPort(Args[i + 1], 2947, host, port))
          return Usage("--gpsd '" + marovia::apps::Printable(Args[i + 1]) +
                       "' is not HOST[:PORT] with a port from 1 to 65535");
        ++i;
      } else {
        host = "localhost";
        port = 2947;
      }
      O.Gpsd.emplace(host, port);
      continue;
    }
    if (a == "--size" || a == "--center" || a == "--mag" || a == "--out" || a == "--labels" ||
        a == "--max-pixels" || a == "--nmea" || a == "--bands" || a == "--stretch" ||
        a == "--track" || a == "--db") {
      if (i + 1 >= Args.size()) return Usage("option " + a + " needs a value");
      if (const auto bad = TakeValue(a, Args[++i], O)) return bad;
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + marovia::apps::Printable(a) + " (see --help)");
    } else if (marovia::geoview::TViewer::IsTrackFile(a)) {
      O.Tracks.push_back(a);
    } else {
      O.Paths.push_back(a);
    }
  }
  if (O.Paths.empty()) return Usage("no calibration file or folder given (see --help)");
  if (O.Gpsd && !O.Nmea.empty()) return Usage("--gpsd and --nmea: choose one position source");
  try {
    O.Display = marovia::ParseSampleDisplay(O.Bands, O.Stretch);
  } catch (const std::exception& e) {
    return Usage(std::string("--bands/--stretch: ") + e.what());
  }
  const std::string problem = marovia::SampleDisplayProblem(O.Display);
  if (!problem.empty()) return Usage("--bands/--stretch: " + problem);
  return std::nullopt;
}

// Opens the maps and places the first view; answers whether every file and
// the position could be used.
bool OpenFiles(marovia::geoview::TViewer& Viewer, const TOptions& O) {
  using namespace marovia;
  bool problems = false;
  Viewer.OnMessage = [&problems](const std::string& Text) {
    std::cerr << "geoview: " << Text << "\n";
    problems = true;
  };
  try {
    Viewer.Open(O.Paths);
  } catch (const std::exception& e) {
    std::cerr << "geoview: " << apps::Printable(e.what()) << "\n";
    problems = true;
  }
  for (const std::string& t : O.Tracks) problems |= !Viewer.AddTrackFile(t);
  for (const std::string& d : O.Databases) problems |= !Viewer.AddDatabase(d);
  if (O.Center && !Viewer.CenterOn(O.Center->Lat, O.Center->Lon, O.Mag)) {
    std::cerr << "geoview: position " << apps::Fixed(O.Center->Lat, 5) << ","
              << apps::Fixed(O.Center->Lon, 5) << " is not on the first map\n";
    problems = true;
  } else if (!O.Center && O.Mag > 0) {
    const TGeoMap& map = Viewer.Map();
    Viewer.ZoomAbout(TPoint{map.Width() / 2, map.Height() / 2}, O.Mag / map.Magnification());
  }
  // From here on messages are about what the user does: they go to the
  // status line and the error stream, but do not change the exit status.
  Viewer.OnMessage = [](const std::string& Text) { std::cerr << "geoview: " << Text << "\n"; };
  return !problems;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace marovia;
  TOptions options;
  if (const auto status = ParseOptions({argv + 1, argv + argc}, options)) return *status;

  geoview::TViewer viewer(options.Width, options.Height);
  viewer.SetOutputFolder(options.Out);
  viewer.Map().SetPlaceLabels(options.PlaceLabels);
  // Large scans are read through their tile pyramid without being asked.
  viewer.Map().SetMaxMapPixels(options.MaxPixels);
  viewer.Map().SetSampleDisplay(options.Display);
  const bool usable = OpenFiles(viewer, options);
  if (viewer.Atlas().NumRegMaps() == 0) {
    std::cerr << "geoview: no map to show\n";
    return 1;
  }
  if (options.Gpsd)
    viewer.SetPositionSource(OpenGpsdSource(options.Gpsd->first, options.Gpsd->second));
  else if (!options.Nmea.empty())
    viewer.SetPositionSource(OpenNmeaSource(options.Nmea));
  std::string error;
  if (!geoview::RunSdlWindow(viewer, error)) {
    std::cerr << "geoview: cannot open a window: " << apps::Printable(error) << "\n";
    return 3;
  }
  // A map found damaged while the window was open was reported then.
  return viewer.FileProblemSeen() || !usable ? 1 : 0;
}
