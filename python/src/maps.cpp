// Rendered views of a calibrated map or of an atlas folder, as numpy arrays
// and as image files, drawn exactly as the geomap tool's render command
// draws them (same placement, same choice of the atlas map).
//
// A view is drawn into a map control made for the call alone; the GIL is
// held throughout, as the drawing shares the platform's font cache.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>

#include "bindings.h"
#include "errors.h"
#include "image_files.h"
#include "map_loading.h"
#include "map_view.h"
#include "marovia/platform/graphics.h"
#include "render_source.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

using geomaptool::TViewRequest;

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
    v.Center = apps::TLatLon{c.first, c.second};
  }
  if (!Mag.is_none()) {
    const double m = Mag.cast<double>();
    if (!(m >= 0.001 && m <= 64)) throw py::value_error("mag must be from 0.001 to 64");
    v.Magnification = m;
  }
  const auto grid = geomaptool::GridFromName(Grid);
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

// The view drawn into Picture (24-bit, the view's size); answers the
// calibration file drawn. Warnings (atlas maps passed over) go to Python's
// warnings; a view that cannot be drawn raises.
std::string DrawView(const std::string& Source, const TViewRequest& View, py::object Landmarks,
                     TBitmap& Picture) {
  if (Source.empty()) throw py::value_error("source names no calibration file or atlas folder");
  if (std::filesystem::is_directory(Source) && !View.Center)
    throw py::value_error("an atlas folder needs a center");
  TGeoMap map(nullptr);
  map.SetName("Map");
  map.SetSuppressPaint(true);
  std::string file = Source;
  if (std::filesystem::is_directory(Source)) {
    // The atlas map that covers the view best; maps that cannot be read are
    // passed over with a warning.
    std::ostringstream err;
    int status = 0;
    const bool loaded = geomaptool::LoadRenderSource(Source, View, map, file, err, status);
    std::string messages = err.str();
    for (std::size_t at; (at = messages.find("geomap: ")) != std::string::npos;)
      messages.erase(at, 8);
    while (!messages.empty() && messages.back() == '\n') messages.pop_back();
    if (!loaded) ThrowMapError(messages.empty() ? Source + ": no map to draw" : messages);
    if (!messages.empty()) PyErr_WarnEx(PyExc_RuntimeWarning, messages.c_str(), 1);
  } else {
    apps::LoadCalibratedMap(map, Source);
  }
  if (!Landmarks.is_none()) apps::LoadLandmarkFile(map, py::str(Landmarks).cast<std::string>());
  try {
    geomaptool::ApplyView(map, View);
  } catch (const geomaptool::TViewError& e) {
    ThrowMapError(file + ": " + e.what());
  }
  apps::CopyTopLeft(map.ComposedView(), View.Width, View.Height, Picture);
  return file;
}

// The view as an (H, W, 3) RGB array, and the seconds the drawing itself
// took (for the benchmark of what the binding adds).
std::pair<py::array_t<uint8_t>, double> RenderTimed(const std::string& Source, py::object Center,
                                                    py::object Mag, std::pair<int, int> Size,
                                                    const std::string& Grid, double GridStep,
                                                    int UtmStep, py::object Landmarks,
                                                    bool AntiAlias) {
  const TViewRequest view = ViewRequest(Center, Mag, Size, Grid, GridStep, UtmStep, AntiAlias);
  TBitmap picture;
  const auto start = std::chrono::steady_clock::now();
  DrawView(Source, view, Landmarks, picture);
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
                         int Quality) {
  const auto format = apps::ImageFormatOf(FileName);
  if (!format) {
    throw py::value_error("'" + FileName + "' needs the extension .png, .bmp, .jpg or .jpeg");
  }
  if (Quality < 1 || Quality > 100) throw py::value_error("quality must be 1..100");
  const TViewRequest view = ViewRequest(Center, Mag, Size, Grid, GridStep, UtmStep, AntiAlias);
  TBitmap picture;
  const std::string file = DrawView(Source, view, Landmarks, picture);
  apps::SaveImage(picture, FileName, *format, Quality);
  return file;
}

}  // namespace

void RegisterMaps(py::module_& m) {
  using py::arg;
  m.def("render_timed", &RenderTimed, arg("source"), arg("center"), arg("mag"), arg("size"),
        arg("grid"), arg("grid_step"), arg("utm_step"), arg("landmarks"), arg("antialias"));
  m.def("render_to_file", &RenderToFile, arg("source"), arg("filename"), arg("center"), arg("mag"),
        arg("size"), arg("grid"), arg("grid_step"), arg("utm_step"), arg("landmarks"),
        arg("antialias"), arg("quality"));
}

}  // namespace marovia::python
