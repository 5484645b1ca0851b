// Calibrations from Python: loaded from calibration files or fitted from
// arrays of points, converting arrays both ways through the batch
// conversions, with residuals and leave-one-out residuals as arrays.
//
// A Calibration object is immutable once made, so any number of Python
// threads may convert with it at once; every batch runs with the GIL
// released.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>

#include "arrays.h"
#include "bindings.h"
#include "errors.h"
#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/map_source.h"
#include "marovia/platform/files.h"
#include "marovia/platform/imageprobe.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TCalibModel ModelFromName(const std::string& Name) {
  for (int m = 0; m < kNumCalibModels; ++m)
    if (CalibModelNames[m] == Name && m != cmUndefined) return static_cast<TCalibModel>(m);
  std::string known;
  for (int m = 0; m < kNumCalibModels; ++m) {
    if (m == cmUndefined) continue;
    if (!known.empty()) known += ", ";
    known += CalibModelNames[m];
  }
  throw py::value_error("unknown calibration model '" + Name + "' (one of " + known + ")");
}

// A str or os.PathLike argument as a file name.
std::string FileSystemPath(py::handle Path) {
  return py::module_::import("os").attr("fspath")(Path).cast<std::string>();
}

class TPyCalibration {
 public:
  explicit TPyCalibration(TMapCalibration Cal) : cal_(std::move(Cal)) {}

  static TPyCalibration Load(py::object PathArg, const std::string& DataID, py::object ImageSize) {
    const std::string Path = FileSystemPath(PathArg);
    if (!FileExists(Path)) {
      PyErr_SetString(PyExc_FileNotFoundError, ("no calibration file '" + Path + "'").c_str());
      throw py::error_already_set();
    }
    // The record, the model and the border, as every reader of the library
    // takes them.
    TMapCalibration cal;
    if (!ParseCalibration(Path, DataID, cal)) {
      ThrowMapError(Path + ": no calibration data set" +
                    (DataID.empty() ? std::string() : " '" + DataID + "'"));
    }
    int64_t width = 0, height = 0;
    if (!ImageSize.is_none()) {
      const auto size = ImageSize.cast<std::pair<int64_t, int64_t>>();
      width = size.first;
      height = size.second;
    } else {
      const std::string image = MapImageBeside(Path, cal.Data().MapFName);
      if (image.empty() || !FileExists(image) || !ReadImageDimensions(image, width, height)) {
        const std::string text = Path + ": the size of map image '" + cal.Data().MapFName +
                                 "' is unknown (give image_size); corners and resolution are "
                                 "left as stored";
        PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1);
        width = height = 0;
      }
    }
    if (width < 0 || height < 0 || width > INT32_MAX || height > INT32_MAX)
      throw py::value_error("image_size must be two sizes of 0..2^31-1 pixels");
    cal.SetImageSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
    {
      py::gil_scoped_release unlocked;
      if (width > 0 && height > 0) {
        cal.Fit();
      } else {
        cal.FitLines();
        cal.FitModel();
      }
    }
    return TPyCalibration(std::move(cal));
  }

  static TPyCalibration FitPoints(const std::string& ModelName, py::handle Lat, py::handle Lon,
                                  py::handle X, py::handle Y, int32_t Width, int32_t Height,
                                  py::object UTMZone, bool South, py::handle Ellipsoid,
                                  const std::string& Coordinates) {
    const TCalibModel model = ModelFromName(ModelName);
    if (Coordinates != "geographic" && Coordinates != "utm")
      throw py::value_error("coordinates must be 'geographic' or 'utm', not '" + Coordinates + "'");
    const bool grid = Coordinates == "utm";
    if (grid && model != cmUTM) throw py::value_error("coordinates='utm' needs the utm model");
    if (grid && UTMZone.is_none()) throw py::value_error("coordinates='utm' needs utm_zone");
    if (model == cmParabolicIp) {
      throw py::value_error(
          "the parabolicip model is fitted to graticule lines, not points: load it from a file");
    }
    if (Width < 1 || Height < 1) throw py::value_error("width and height must be at least 1");
    const TBroadcast in({{Lat, "latitude"}, {Lon, "longitude"}, {X, "x"}, {Y, "y"}});
    if (in.Shape().size() > 1) throw py::value_error("points are given as one-dimensional arrays");
    const std::size_t n = in.Size();
    if (n > static_cast<std::size_t>(kMaxCalQuads)) {
      throw py::value_error(std::to_string(n) + " points: a calibration holds at most " +
                            std::to_string(kMaxCalQuads));
    }
    TCalibData data;
    data.Ellipsoid = EllipsoidArgument(Ellipsoid);
    const TReader lat = in.Reader(0), lon = in.Reader(1), x = in.Reader(2), y = in.Reader(3);
    int zone = 0;
    if (model == cmUTM) {
      if (!UTMZone.is_none()) {
        zone = UTMZone.cast<int>();
      } else if (n > 0) {
        char16_t band;
        GeoToUTMZone(lat[0], lon[0], zone, band);
        South = lat[0] < 0;
      }
      if (zone < 1 || zone > 60) throw py::value_error("the utm model needs a zone 1..60");
      data.UTMZone = zone;
      data.UTMSouth = South;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (grid) {
        if (!std::isfinite(lat[i])) ThrowBadPoint("northing", lat[i], i, n, "is not finite");
        if (!std::isfinite(lon[i])) ThrowBadPoint("easting", lon[i], i, n, "is not finite");
      } else {
        if (!(lat[i] >= -90 && lat[i] <= 90))
          ThrowBadPoint("latitude", lat[i], i, n, "is outside -90..90");
        if (!(lon[i] >= -180 && lon[i] <= 180))
          ThrowBadPoint("longitude", lon[i], i, n, "is outside -180..180");
      }
      for (const auto& [v, name] : {std::pair{x[i], "x"}, std::pair{y[i], "y"}}) {
        if (!(v >= INT32_MIN && v <= INT32_MAX && v == std::floor(v)))
          ThrowBadPoint(name, v, i, n, "is not a whole pixel");
      }
      TCalQuad& q = data.CalQuads[i];
      q.Latitude = lat[i];
      q.Longitude = lon[i];
      if (model == cmUTM && !grid) {
        // The point in the map's zone, also where its own zone differs (the
        // series loses accuracy beyond about 5 degrees from the zone's
        // central meridian: give far points as northing and easting).
        LatLongToUTMInZone(lat[i], lon[i], zone, South, data.Ellipsoid, q.Longitude, q.Latitude);
      }
      q.MapX = static_cast<int32_t>(x[i]);
      q.MapY = static_cast<int32_t>(y[i]);
    }
    data.NumCalQuads = static_cast<int32_t>(n);
    TMapCalibration cal(model, data, Width, Height);
    TFitOutcome fit;
    {
      py::gil_scoped_release unlocked;
      fit = cal.Fit();
    }
    if (!fit) ThrowMapError(fit.Reason);
    return TPyCalibration(std::move(cal));
  }

  void Save(py::object PathArg, const std::string& DataID) const {
    SaveCalibrationAsXML(FileSystemPath(PathArg), DataID, cal_);
  }

  std::string Model() const { return std::string(CalibModelNames[cal_.Model()]); }
  bool Fitted() const { return cal_.Converts(); }
  std::pair<int, int> ImageSize() const { return {cal_.ImageWidth(), cal_.ImageHeight()}; }
  double Resolution() const { return cal_.Data().Resolution; }
  std::string Caption() const { return cal_.Data().Caption; }
  std::string MapFile() const { return cal_.Data().MapFName; }

  py::array_t<double> Corners() const {
    py::array_t<double> out({4, 2});
    auto c = out.mutable_unchecked<2>();
    for (int i = 0; i < 4; ++i) {
      c(i, 0) = cal_.Data().Corners[i].Latit;
      c(i, 1) = cal_.Data().Corners[i].Longit;
    }
    return out;
  }

  // The calibration points as (lat, lon, x, y) rows (northing and easting
  // under the UTM model).
  py::array_t<double> Points() const {
    const int n = cal_.Data().NumCalQuads;
    py::array_t<double> out({n, 4});
    auto p = out.mutable_unchecked<2>();
    for (int i = 0; i < n; ++i) {
      const TCalQuad& q = cal_.Data().CalQuads[i];
      p(i, 0) = q.Latitude;
      p(i, 1) = q.Longitude;
      p(i, 2) = q.MapX;
      p(i, 3) = q.MapY;
    }
    return out;
  }

  py::tuple ToPixel(py::handle Lat, py::handle Lon, bool Round, const std::string& Errors) const {
    return Convert(Lat, Lon, "latitude", "longitude", true, Round, RaiseOnBadPoints(Errors));
  }

  py::tuple ToGeo(py::handle X, py::handle Y, const std::string& Errors) const {
    return Convert(X, Y, "x", "y", false, false, RaiseOnBadPoints(Errors));
  }

  std::pair<double, double> Quality() const {
    double qx = 0, qy = 0;
    cal_.CalibQuality(qx, qy);
    return {qx, qy};
  }

  py::tuple Residuals(bool LeaveOneOut) const {
    std::vector<TCalibResidual> plain, left;
    {
      py::gil_scoped_release unlocked;
      plain = cal_.Residuals();
      if (LeaveOneOut) left = cal_.LeaveOneOutResiduals();
    }
    const auto n = static_cast<py::ssize_t>(plain.size());
    py::array_t<int32_t> index(n);
    py::array_t<double> dx(n), dy(n), metres(n), ldx(n), ldy(n), lmetres(n);
    py::array_t<bool> valid(n), lvalid(n);
    for (py::ssize_t i = 0; i < n; ++i) {
      const TCalibResidual& r = plain[i];
      index.mutable_at(i) = r.Index;
      dx.mutable_at(i) = r.Valid ? r.dX : kNaN;
      dy.mutable_at(i) = r.Valid ? r.dY : kNaN;
      metres.mutable_at(i) = r.Valid ? r.DistanceMetres : kNaN;
      valid.mutable_at(i) = r.Valid;
      const bool has = LeaveOneOut && i < static_cast<py::ssize_t>(left.size()) && left[i].Valid;
      ldx.mutable_at(i) = has ? left[i].dX : kNaN;
      ldy.mutable_at(i) = has ? left[i].dY : kNaN;
      lmetres.mutable_at(i) = has ? left[i].DistanceMetres : kNaN;
      lvalid.mutable_at(i) = has;
    }
    return py::make_tuple(index, dx, dy, metres, valid, ldx, ldy, lmetres, lvalid);
  }

 private:
  // Geographic -> pixel (Forward) or pixel -> geographic over broadcast
  // arrays; outputs NaN (or 0 when rounded) where a point does not convert.
  py::tuple Convert(py::handle A, py::handle B, const char* NameA, const char* NameB, bool Forward,
                    bool Round, bool Raise) const {
    const TBroadcast in({{A, NameA}, {B, NameB}});
    const std::size_t n = in.Size();
    if (Raise) {
      // Positions that are none, and pixels that are not finite, raise
      // before anything converts; otherwise they simply do not convert.
      const TReader ra = in.Reader(0), rb = in.Reader(1);
      py::gil_scoped_release unlocked;
      for (std::size_t i = 0; i < n; ++i) {
        if (Forward) {
          if (!(ra[i] >= -90 && ra[i] <= 90))
            ThrowBadPoint(NameA, ra[i], i, n, "is outside -90..90");
          if (!(rb[i] >= -180 && rb[i] <= 180))
            ThrowBadPoint(NameB, rb[i], i, n, "is outside -180..180");
        } else {
          if (!std::isfinite(ra[i])) ThrowBadPoint(NameA, ra[i], i, n, "is not a finite number");
          if (!std::isfinite(rb[i])) ThrowBadPoint(NameB, rb[i], i, n, "is not a finite number");
        }
      }
    }
    // The batch reads contiguous spans: a single value is spread once.
    std::vector<double> spreadA, spreadB;
    const double* a = Contiguous(in.Reader(0), n, spreadA);
    const double* b = Contiguous(in.Reader(1), n, spreadB);
    auto ok = in.Output<bool>();
    std::vector<uint8_t> flags(n);
    if (Round) {
      auto x = in.Output<int32_t>();
      auto y = in.Output<int32_t>();
      {
        py::gil_scoped_release unlocked;
        cal_.GeoToPixel(std::span(a, n), std::span(b, n), std::span(x.mutable_data(), n),
                        std::span(y.mutable_data(), n), std::span(flags));
        std::copy(flags.begin(), flags.end(), ok.mutable_data());
      }
      return py::make_tuple(x, y, ok);
    }
    auto u = in.Output<double>();
    auto v = in.Output<double>();
    {
      py::gil_scoped_release unlocked;
      double* pu = u.mutable_data();
      double* pv = v.mutable_data();
      if (Forward) {
        cal_.GeoToPixel(std::span(a, n), std::span(b, n), std::span(pu, n), std::span(pv, n),
                        std::span(flags));
      } else {
        cal_.PixelToGeo(std::span(a, n), std::span(b, n), std::span(pu, n), std::span(pv, n),
                        std::span(flags));
      }
      bool* pok = ok.mutable_data();
      for (std::size_t i = 0; i < n; ++i) {
        pok[i] = flags[i] != 0;
        if (!flags[i]) pu[i] = pv[i] = kNaN;
      }
    }
    return py::make_tuple(u, v, ok);
  }

  static const double* Contiguous(const TReader& R, std::size_t n, std::vector<double>& Spread) {
    if (R.Data) return R.Data;
    Spread.assign(n, R.Value);
    return Spread.data();
  }

  TMapCalibration cal_;
};

}  // namespace

void RegisterCalibration(py::module_& m) {
  using py::arg;
  py::list names;
  for (int i = 0; i < kNumCalibModels; ++i)
    if (i != cmUndefined) names.append(std::string(CalibModelNames[i]));
  m.attr("CALIBRATION_MODELS") = py::tuple(names);

  py::class_<TPyCalibration>(
      m, "Calibration", R"(A map calibration: a model fitted to calibration points, relating the
pixels of one map image (origin at the top-left corner, x right, y down) to
latitude and longitude. Made by Calibration.load or Calibration.fit; it does
not change afterwards, so threads may share it.)")
      .def_static("load", &TPyCalibration::Load, arg("path"), arg("data_id") = "",
                  arg("image_size") = py::none(),
                  R"(Reads data set data_id (the first when empty) of a calibration file
and fits it. The image size comes from the map image beside the file, or
from image_size=(width, height).)")
      .def_static("fit", &TPyCalibration::FitPoints, arg("model"), arg("lat"), arg("lon"), arg("x"),
                  arg("y"), arg("width"), arg("height"), arg("utm_zone") = py::none(),
                  arg("south") = false, arg("ellipsoid") = "WGS84",
                  arg("coordinates") = "geographic",
                  R"(Fits a point model (one of MODELS but parabolicip) to calibration points
given as arrays: positions in degrees and whole image pixels, for an image
of width x height pixels. The utm model takes the points into utm_zone
(by default the zone of the first point); with coordinates="utm", lat and
lon are the northing and easting of utm_zone in metres. MapError, saying
why, when the model cannot be fitted to the points (too few of them
included).)")
      .def("save", &TPyCalibration::Save, arg("path"), arg("data_id") = "",
           "Writes the calibration as a calibration file (replaced whole, or not at all).")
      .def_property_readonly("model", &TPyCalibration::Model, "The model's name.")
      .def_property_readonly("fitted", &TPyCalibration::Fitted,
                             "Whether the fitted model converts at all.")
      .def_property_readonly("image_size", &TPyCalibration::ImageSize,
                             "(width, height) of the map image in pixels.")
      .def_property_readonly("corners", &TPyCalibration::Corners,
                             "Latitude and longitude of the top-left, bottom-left, "
                             "bottom-right and top-right image corners, a (4, 2) array.")
      .def_property_readonly("resolution", &TPyCalibration::Resolution,
                             "Metres per pixel along the middle row.")
      .def_property_readonly("caption", &TPyCalibration::Caption, "The map's caption.")
      .def_property_readonly("map_file", &TPyCalibration::MapFile,
                             "The map image's file name as stored.")
      .def_property_readonly("points", &TPyCalibration::Points,
                             "The calibration points, an (n, 4) array of lat, lon, x, y "
                             "(northing, easting, x, y under the utm model).")
      .def("_to_pixel", &TPyCalibration::ToPixel)
      .def("_to_geo", &TPyCalibration::ToGeo)
      .def("quality", &TPyCalibration::Quality,
           "Root-mean-square whole-pixel error of the point models, (across, down).")
      .def("_residuals", &TPyCalibration::Residuals, arg("leave_one_out"));
}

}  // namespace marovia::python
