// Geodesy over arrays: UPS, earth-centred cartesian coordinates and datum
// shifts, with the tables of ellipsoids, datums and countries (UTM and MGRS:
// grid_references.cpp).
//
// Every array function broadcasts its numeric arguments (arrays.h), works
// with the GIL released, and checks each point: with errors="raise" the
// first position that is no position (NaN, a latitude outside -90..90, a
// longitude outside -180..180) raises ValueError naming it and its index;
// with errors="nan" its results are NaN. Positions that are valid but
// outside a projection's area (UTM beyond 84 N and 80 S) never raise: their
// results are NaN and their validity flag false.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>

#include "arrays.h"
#include "bindings.h"
#include "marovia/geobasics/cartesian.h"
#include "marovia/geobasics/countries.h"
#include "marovia/geobasics/datums.h"
#include "marovia/geobasics/ups.h"
#include "marovia/platform/strutils.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

py::tuple UPSForward(py::handle Lat, py::handle Lon, py::handle Ellipsoid,
                     const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in({{Lat, "latitude"}, {Lon, "longitude"}});
  auto x = in.Output<double>();
  auto y = in.Output<double>();
  auto south = in.Output<bool>();
  {
    double* xs = x.mutable_data();
    double* ys = y.mutable_data();
    bool* s = south.mutable_data();
    const TReader lat = in.Reader(0), lon = in.Reader(1);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    for (std::size_t i = 0; i < n; ++i) {
      xs[i] = ys[i] = kNaN;
      s[i] = lat[i] < 0;
      if (CheckPosition(lat[i], lon[i], i, n, raise))
        LatLongToUPS(lat[i], lon[i], ell, xs[i], ys[i]);
    }
  }
  return py::make_tuple(x, y, south);
}

py::tuple UPSInverse(py::handle X, py::handle Y, py::handle South, py::handle Ellipsoid,
                     const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in({{X, "x"}, {Y, "y"}, {South, "south", true}});
  auto lat = in.Output<double>();
  auto lon = in.Output<double>();
  {
    double* la = lat.mutable_data();
    double* lo = lon.mutable_data();
    const TReader x = in.Reader(0), y = in.Reader(1), s = in.Reader(2);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    for (std::size_t i = 0; i < n; ++i) {
      la[i] = lo[i] = kNaN;
      if (CheckFinite("x", x[i], i, n, raise) && CheckFinite("y", y[i], i, n, raise))
        UPSToLatLong(x[i], y[i], s[i] != 0, ell, la[i], lo[i]);
    }
  }
  return py::make_tuple(lat, lon);
}

py::tuple GeoToCartesianArrays(py::handle Lat, py::handle Lon, py::handle Height,
                               py::handle Ellipsoid, const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in({{Lat, "latitude"}, {Lon, "longitude"}, {Height, "height"}});
  auto x = in.Output<double>();
  auto y = in.Output<double>();
  auto z = in.Output<double>();
  {
    double *xs = x.mutable_data(), *ys = y.mutable_data(), *zs = z.mutable_data();
    const TReader lat = in.Reader(0), lon = in.Reader(1), h = in.Reader(2);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    for (std::size_t i = 0; i < n; ++i) {
      xs[i] = ys[i] = zs[i] = kNaN;
      if (CheckPosition(lat[i], lon[i], i, n, raise) && CheckFinite("height", h[i], i, n, raise))
        GeoToCartesian(lat[i], lon[i], h[i], ell, xs[i], ys[i], zs[i]);
    }
  }
  return py::make_tuple(x, y, z);
}

py::tuple CartesianToGeoArrays(py::handle X, py::handle Y, py::handle Z, py::handle Ellipsoid,
                               const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in({{X, "x"}, {Y, "y"}, {Z, "z"}});
  auto lat = in.Output<double>();
  auto lon = in.Output<double>();
  auto height = in.Output<double>();
  {
    double *la = lat.mutable_data(), *lo = lon.mutable_data(), *h = height.mutable_data();
    const TReader x = in.Reader(0), y = in.Reader(1), z = in.Reader(2);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    for (std::size_t i = 0; i < n; ++i) {
      la[i] = lo[i] = h[i] = kNaN;
      if (CheckFinite("x", x[i], i, n, raise) && CheckFinite("y", y[i], i, n, raise) &&
          CheckFinite("z", z[i], i, n, raise))
        CartesianToGeo(x[i], y[i], z[i], ell, la[i], lo[i], h[i]);
    }
  }
  return py::make_tuple(lat, lon, height);
}

std::string DatumLabel(const TDatumData& d) {
  return d.Name.Text() + " (" + d.Region.Text() + ")";
}

// A datum number 1..271, or a datum's "NAME (REGION)" label or the start of
// exactly one label, without regard to case.
int DatumArgument(py::handle Value) {
  if (py::isinstance<py::int_>(Value)) {
    const long no = Value.cast<long>();
    if (no < 1 || no > DatumCount) {
      throw py::value_error("datum number " + std::to_string(no) + " is not 1.." +
                            std::to_string(DatumCount));
    }
    return static_cast<int>(no);
  }
  if (!py::isinstance<py::str>(Value)) throw py::type_error("a datum is a number or a name");
  const std::string text = Lower(Value.cast<std::string>());
  std::vector<int> hits;
  for (int no = 1; no <= DatumCount; ++no) {
    const std::string label = Lower(DatumLabel(*GetDatumData(no)));
    if (label == text) return no;
    if (!text.empty() && label.compare(0, text.size(), text) == 0) hits.push_back(no);
  }
  if (hits.size() == 1) return hits[0];
  if (hits.empty())
    throw py::value_error("no datum starts with '" + Value.cast<std::string>() + "'");
  std::string msg = "datum '" + Value.cast<std::string>() + "' is ambiguous (" +
                    std::to_string(hits.size()) + " datums start so, e.g. ";
  msg += DatumLabel(*GetDatumData(hits[0]));
  msg += " and ";
  msg += DatumLabel(*GetDatumData(hits[1]));
  throw py::value_error(msg + "); give its number or more of its name");
}

py::tuple DatumShift(py::handle Lat, py::handle Lon, py::handle Height, py::handle Source,
                     py::handle Target, const std::string& Errors) {
  const int source = DatumArgument(Source);
  const int target = DatumArgument(Target);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in({{Lat, "latitude"}, {Lon, "longitude"}, {Height, "height"}});
  auto lat = in.Output<double>();
  auto lon = in.Output<double>();
  auto height = in.Output<double>();
  {
    double *la = lat.mutable_data(), *lo = lon.mutable_data(), *h = height.mutable_data();
    const TReader la0 = in.Reader(0), lo0 = in.Reader(1), h0 = in.Reader(2);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    for (std::size_t i = 0; i < n; ++i) {
      la[i] = lo[i] = h[i] = kNaN;
      if (CheckPosition(la0[i], lo0[i], i, n, raise) && CheckFinite("height", h0[i], i, n, raise))
        HelmertTransform(source, la0[i], lo0[i], h0[i], target, la[i], lo[i], h[i]);
    }
  }
  return py::make_tuple(lat, lon, height);
}

py::list EllipsoidTable() {
  py::list out;
  for (int i = 0; i < GeoEllipsoidCount; ++i) {
    const auto e = static_cast<TGeoEllipsoid>(i);
    out.append(py::make_tuple(i, GeoEllipsoidId[i], Cp1252ToUtf8(GeoEllipsoidName[i]),
                              GeoEllipsoidData[i].MajorAxis, GeoEllipsoidData[i].MinorAxis,
                              RecipFlattening(e), GeoEllEccSquared(e)));
  }
  return out;
}

py::list DatumTable() {
  py::list out;
  for (int no = 1; no <= DatumCount; ++no) {
    const TDatumData& d = *GetDatumData(no);
    out.append(py::make_tuple(no, d.Name.Text(), d.Region.Text(), static_cast<int>(d.Ellipsoid),
                              d.DX, d.DY, d.DZ, d.Scale, d.RotX, d.RotY, d.RotZ));
  }
  return out;
}

py::list CountryTable() {
  py::list out;
  for (const TCountryData& c : CountryData) {
    out.append(py::make_tuple(c.Name.Text(), c.Fips10.Text(), c.ISO3166_2.Text(),
                              c.ISO3166_3.Text(), c.CLat, c.CLong, c.Capital.Text(), c.CapLat,
                              c.CapLong, c.CapAlt));
  }
  return out;
}

}  // namespace

TGeoEllipsoid EllipsoidArgument(py::handle Value) {
  if (py::isinstance<py::int_>(Value)) {
    const long i = Value.cast<long>();
    if (i < 0 || i >= GeoEllipsoidCount) {
      throw py::value_error("ellipsoid index " + std::to_string(i) + " is not 0.." +
                            std::to_string(GeoEllipsoidCount - 1));
    }
    return static_cast<TGeoEllipsoid>(i);
  }
  if (py::hasattr(Value, "index") && !py::isinstance<py::str>(Value))
    return EllipsoidArgument(Value.attr("index"));
  if (!py::isinstance<py::str>(Value))
    throw py::type_error("an ellipsoid is an index, an identifier or a name");
  const std::string text = Value.cast<std::string>();
  if (auto e = FindGeoEllipsoid(text)) return *e;
  if (auto e = FindGeoEllipsoid("gel" + text)) return *e;
  for (int i = 0; i < GeoEllipsoidCount; ++i)
    if (Lower(Cp1252ToUtf8(GeoEllipsoidName[i])) == Lower(text))
      return static_cast<TGeoEllipsoid>(i);
  throw py::value_error("unknown ellipsoid '" + text + "'");
}

void RegisterGeodesy(py::module_& m) {
  using py::arg;
  m.def("ellipsoid_table", &EllipsoidTable);
  m.def("datum_table", &DatumTable);
  m.def("country_table", &CountryTable);
  m.def("ellipsoid_index", [](py::handle e) { return static_cast<int>(EllipsoidArgument(e)); });
  m.def("datum_number", &DatumArgument);
  m.def("ups_forward", &UPSForward, arg("lat"), arg("lon"), arg("ellipsoid"), arg("errors"));
  m.def("ups_inverse", &UPSInverse, arg("x"), arg("y"), arg("south"), arg("ellipsoid"),
        arg("errors"));
  m.def("geo_to_cartesian", &GeoToCartesianArrays, arg("lat"), arg("lon"), arg("height"),
        arg("ellipsoid"), arg("errors"));
  m.def("cartesian_to_geo", &CartesianToGeoArrays, arg("x"), arg("y"), arg("z"), arg("ellipsoid"),
        arg("errors"));
  m.def("datum_shift", &DatumShift, arg("lat"), arg("lon"), arg("height"), arg("source"),
        arg("target"), arg("errors"));
}

}  // namespace marovia::python
