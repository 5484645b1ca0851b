// geoview: a desktop viewer for calibrated maps and atlases.
#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli_text.h"
#include "sdl_host.h"
#include "viewer.h"

namespace {

const char* const kHelp = R"HELP(Usage: geoview [OPTIONS] PATH...

Shows calibrated maps in an atlas. Each PATH is a calibration file or a
folder; every calibration file of a folder is registered, and its landmark
files are shown on the maps. The coarsest map opens first.

Options:
  --size WxH          window size in pixels (default 1024x768)
  --center LAT,LON    centre the first map on this position (decimal degrees)
  --mag M             magnification of the first view (with --center)
  --max-pixels N      take map images of up to N pixels (default 3000000);
                      larger ones are read as tiles through a cache in the
                      user's cache folder
  --labels place|all  place: captions that would overlap another caption or
                      a symbol are moved around it or left out (default);
                      all: every caption where its landmark puts it
  --out DIR           folder for saved views, prints and copies (default: the
                      current folder); files are named geoview-<n>.png/.pdf
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
)HELP";

int Usage(const std::string& Text) {
  std::cerr << "geoview: " << Text << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace marovia;
  int width = 1024, height = 768;
  std::optional<apps::TLatLon> center;
  double mag = 0;
  std::string out;
  bool placeLabels = true;
  int64_t maxPixels = kMaxMapPixels;
  std::vector<std::string> paths;
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "-h" || a == "--help") {
      std::cout << kHelp;
      return 0;
    } else if (a == "--size" || a == "--center" || a == "--mag" || a == "--out" ||
               a == "--labels" || a == "--max-pixels") {
      const auto v = value();
      if (!v) return Usage("option " + a + " needs a value");
      if (a == "--size") {
        const auto s = apps::ParseSize(*v, 320, 8192);
        if (!s)
          return Usage("--size '" + apps::Printable(*v) + "' is not WIDTHxHEIGHT from 320 to 8192");
        width = s->Width;
        height = s->Height;
      } else if (a == "--center") {
        center = apps::ParseLatLon(*v);
        if (!center)
          return Usage("--center '" + apps::Printable(*v) + "' is not LAT,LON in degrees");
      } else if (a == "--mag") {
        const auto m = apps::ParseNumber(*v);
        if (!m || *m < 0.001 || *m > 64)
          return Usage("--mag '" + apps::Printable(*v) + "' is not from 0.001 to 64");
        mag = *m;
      } else if (a == "--max-pixels") {
        const auto m = apps::ParseNumber(*v);
        if (!m || *m != std::floor(*m) || *m < static_cast<double>(kMaxMapPixels) ||
            *m > static_cast<double>(kMaxTiledMapPixels))
          return Usage("--max-pixels '" + apps::Printable(*v) + "' is not a whole number from " +
                       std::to_string(kMaxMapPixels) + " to " + std::to_string(kMaxTiledMapPixels));
        maxPixels = static_cast<int64_t>(*m);
      } else if (a == "--labels") {
        if (*v != "place" && *v != "all")
          return Usage("--labels '" + apps::Printable(*v) + "' is not place or all");
        placeLabels = *v == "place";
      } else {
        out = *v;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + apps::Printable(a) + " (see --help)");
    } else {
      paths.push_back(a);
    }
  }
  if (paths.empty()) return Usage("no calibration file or folder given (see --help)");

  geoview::TViewer viewer(width, height);
  viewer.SetOutputFolder(out);
  viewer.Map().SetPlaceLabels(placeLabels);
  viewer.Map().SetMaxMapPixels(maxPixels);
  bool problems = false;
  viewer.OnMessage = [&problems](const std::string& Text) {
    std::cerr << "geoview: " << Text << "\n";
    problems = true;
  };
  try {
    viewer.Open(paths);
  } catch (const std::exception& e) {
    std::cerr << "geoview: " << apps::Printable(e.what()) << "\n";
    problems = true;
  }
  if (center && !viewer.CenterOn(center->Lat, center->Lon, mag)) {
    std::cerr << "geoview: position " << apps::Fixed(center->Lat, 5) << ","
              << apps::Fixed(center->Lon, 5) << " is not on the first map\n";
    problems = true;
  } else if (!center && mag > 0) {
    const TGeoMap& map = viewer.Map();
    viewer.ZoomAbout(TPoint{map.Width() / 2, map.Height() / 2}, mag / map.Magnification());
  }
  if (viewer.Atlas().NumRegMaps() == 0) {
    std::cerr << "geoview: no map to show\n";
    return 1;
  }
  const int status = problems ? 1 : 0;
  // From here on messages are about what the user does: they go to the
  // status line and the error stream, but do not change the exit status.
  viewer.OnMessage = [](const std::string& Text) { std::cerr << "geoview: " << Text << "\n"; };
  std::string error;
  if (!geoview::RunSdlWindow(viewer, error)) {
    std::cerr << "geoview: cannot open a window: " << apps::Printable(error) << "\n";
    return 3;
  }
  // A map found damaged while the window was open was reported then.
  return viewer.FileProblemSeen() ? 1 : status;
}
