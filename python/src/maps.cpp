// Rendered views of a calibrated map or of an atlas folder, as numpy arrays
// and as image files, drawn by the library's view request (RenderView) from
// a map source, the atlas map chosen by the atlas index's rule: what the
// geomap tool's render command draws.
//
// A view is drawn into a map control made for the call alone; the GIL is
// held throughout, as the drawing shares the platform's font cache.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "bindings.h"
#include "errors.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geodb/geodb.h"
#include "marovia/geomap/geodb_layer.h"
#include "marovia/geomap/landmark.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/overlay_layer.h"
#include "marovia/geomap/track_files.h"
#include "marovia/geomap/view_request.h"
#include "marovia/platform/graphics.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

constexpr int kMaxViewSide = 8192;

TViewRequest ViewRequest(py::object Center, py::object Mag, std::pair<int, int> Size,
                         const std::string& Grid, double GridStep, int UtmStep, bool AntiAlias) {
  TViewRequest v;
  if (Size.first < 16 || Size.second < 16 || Size.first > kMaxViewSide ||
      Size.second > kMaxViewSide) {
    throw py::value_error("size (" + std::to_string(Size.first) + ", " +
                          std::to_string(Size.second) + ") needs sides from 16 to " +
                          std::to_string(kMaxViewSide));
  }
  v.Width = Size.first;
  v.Height = Size.second;
  if (!Center.is_none()) {
    const auto c = Center.cast<std::pair<double, double>>();
    if (!(c.first >= -90 && c.first <= 90 && c.second >= -180 && c.second <= 180)) {
      throw py::value_error("center must be (latitude -90..90, longitude -180..180)");
    }
    v.Center = TCoords{c.first, c.second};
  }
  if (!Mag.is_none()) {
    const double m = Mag.cast<double>();
    if (!(m >= 0.001 && m <= 64)) throw py::value_error("mag must be from 0.001 to 64");
    v.Magnification = m;
  }
  const auto grid = GridFromName(Grid);
  if (!grid) {
    throw py::value_error("grid '" + Grid +
                          "' is not one of none, points, lines, lines+points, utm, utm+points");
  }
  v.Grid = *grid;
  if (!(GridStep >= 0 && GridStep <= 60)) throw py::value_error("grid_step must be 0..60 degrees");
  if (UtmStep < 0 || UtmStep > 10000000) throw py::value_error("utm_step must be 0..10000000 m");
  v.GridStepDegrees = GridStep;
  v.UtmStepMetres = UtmStep;
  v.AntiAlias = AntiAlias;
  return v;
}

// Lines of problems as one Python warning.
void Warn(const std::vector<std::string>& Problems) {
  if (Problems.empty()) return;
  std::string text;
  for (const std::string& p : Problems) text += (text.empty() ? "" : "\n") + p;
  PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1);
}

// The map a view is drawn from: a map file (a calibration file or another
// program's map file), or the atlas map of a folder that suits the view
// best. Maps of an atlas that cannot be used are passed over with a warning.
std::shared_ptr<const TMapSource> ViewSource(const std::string& Source, const TViewRequest& View) {
  if (Source.empty()) throw py::value_error("source names no calibration file or atlas folder");
  TMapSourceOptions options;  // images of any size: large ones through their pyramid
  if (!std::filesystem::is_directory(Source)) return OpenMapFile(Source, options);
  if (!View.Center) throw py::value_error("an atlas folder needs a center");
  const TMapFiles files = ScanMapFiles({Source});
  std::vector<std::string> problems = files.Problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  const TCoords c = *View.Center;
  auto source = OpenForView(index, c.Latit, c.Longit, View.Width, View.Height,
                            View.Magnification.value_or(1), options, problems);
  if (!source) {
    problems.push_back(Source + ": no map of the atlas contains position " +
                       std::to_string(c.Latit) + "," + std::to_string(c.Longit));
    std::string text;
    for (const std::string& p : problems) text += (text.empty() ? "" : "\n") + p;
    ThrowMapError(text);
  }
  Warn(problems);
  return source;
}

// The overlay layers of the tracks argument (track files, or TrackData
// objects) and of the db argument (item databases, opened read-only), in
// that order: a list, or one of them alone.
std::vector<std::shared_ptr<TMapLayer>> OverlayLayers(py::object Tracks, py::object Dbs) {
  std::vector<std::shared_ptr<TMapLayer>> layers;
  auto each = [](py::object Items, auto Take) {
    if (Items.is_none()) return;
    if (py::isinstance<py::str>(Items) || TrackDataOf(Items) || py::hasattr(Items, "__fspath__")) {
      Take(py::handle(Items));
      return;
    }
    for (py::handle item : Items) Take(item);
  };
  each(Tracks, [&](py::handle Item) {
    if (auto data = TrackDataOf(Item)) {
      layers.push_back(std::make_shared<TOverlayLayer>(*data, data->Source));
    } else {
      const std::string file = py::str(py::module_::import("os").attr("fspath")(Item));
      layers.push_back(std::make_shared<TOverlayLayer>(ReadTrackFile(file), file));
    }
  });
  each(Dbs, [&](py::handle Item) {
    const std::string base = py::str(py::module_::import("os").attr("fspath")(Item));
    auto db = std::make_shared<TGeoDB>(nullptr);
    db->SetReadOnly(true);
    db->SetDBName(base);
    layers.push_back(std::make_shared<TGeoDBLayer>(std::move(db), base));
  });
  return layers;
}

// The view drawn into Picture (24-bit, the view's size); answers the map
// file drawn (its calibration file, or its image for an imported map).
std::string DrawView(const std::string& Source, const TViewRequest& View, py::object Landmarks,
                     py::object Tracks, py::object Dbs, TBitmap& Picture) {
  const std::vector<std::shared_ptr<TMapLayer>> layers = OverlayLayers(Tracks, Dbs);
  const std::shared_ptr<const TMapSource> source = ViewSource(Source, View);
  std::vector<TLandMark> landmarks;
  if (!Landmarks.is_none()) landmarks = ReadLandMarkFile(py::str(Landmarks).cast<std::string>());
  const std::string name =
      source->CalibrationFile().empty() ? source->ImageFile() : source->CalibrationFile();
  try {
    RenderView(source, View, Landmarks.is_none() ? nullptr : &landmarks, Picture,
               [&layers](TGeoMap& Map) {
                 for (const auto& layer : layers) Map.AddOverlayLayer(layer);
               });
  } catch (const EZYLGeoMapError& e) {
    ThrowMapError(name + ": " + e.what());
  }
  return name;
}

// The view as an (H, W, 3) RGB array, and the seconds the drawing itself
// took (for the benchmark of what the binding adds).
std::pair<py::array_t<uint8_t>, double> RenderTimed(const std::string& Source, py::object Center,
                                                    py::object Mag, std::pair<int, int> Size,
                                                    const std::string& Grid, double GridStep,
                                                    int UtmStep, py::object Landmarks,
                                                    bool AntiAlias, py::object Tracks,
                                                    py::object Dbs) {
  const TViewRequest view = ViewRequest(Center, Mag, Size, Grid, GridStep, UtmStep, AntiAlias);
  TBitmap picture;
  const auto start = std::chrono::steady_clock::now();
  DrawView(Source, view, Landmarks, Tracks, Dbs, picture);
  const std::chrono::duration<double> drawing = std::chrono::steady_clock::now() - start;
  py::array_t<uint8_t> out({view.Height, view.Width, 3});
  uint8_t* rgb = out.mutable_data();
  for (int y = 0; y < view.Height; ++y) {
    const uint32_t* row = picture.ScanLine(y);
    for (int x = 0; x < view.Width; ++x, rgb += 3) {
      rgb[0] = static_cast<uint8_t>(row[x] >> 16);
      rgb[1] = static_cast<uint8_t>(row[x] >> 8);
      rgb[2] = static_cast<uint8_t>(row[x]);
    }
  }
  return {out, drawing.count()};
}

std::string RenderToFile(const std::string& Source, const std::string& FileName, py::object Center,
                         py::object Mag, std::pair<int, int> Size, const std::string& Grid,
                         double GridStep, int UtmStep, py::object Landmarks, bool AntiAlias,
                         int Quality, py::object Tracks, py::object Dbs) {
  const auto format = ViewImageFormatOf(FileName);
  if (!format) {
    throw py::value_error("'" + FileName + "' needs the extension .png, .bmp, .jpg or .jpeg");
  }
  if (Quality < 1 || Quality > 100) throw py::value_error("quality must be 1..100");
  const TViewRequest view = ViewRequest(Center, Mag, Size, Grid, GridStep, UtmStep, AntiAlias);
  TBitmap picture;
  const std::string file = DrawView(Source, view, Landmarks, Tracks, Dbs, picture);
  SaveViewImage(picture, FileName, *format, Quality);
  return file;
}

}  // namespace

void RegisterMaps(py::module_& m) {
  using py::arg;
  m.def("render_timed", &RenderTimed, arg("source"), arg("center"), arg("mag"), arg("size"),
        arg("grid"), arg("grid_step"), arg("utm_step"), arg("landmarks"), arg("antialias"),
        arg("tracks") = py::none(), arg("db") = py::none());
  m.def("render_to_file", &RenderToFile, arg("source"), arg("filename"), arg("center"), arg("mag"),
        arg("size"), arg("grid"), arg("grid_step"), arg("utm_step"), arg("landmarks"),
        arg("antialias"), arg("quality"), arg("tracks") = py::none(), arg("db") = py::none());
}

}  // namespace marovia::python
