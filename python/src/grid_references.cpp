// UTM and MGRS over arrays, each a batch of the library's vectorised
// conversions run with the GIL released.
//
// Arguments broadcast (arrays.h) and are checked per point: with
// errors="raise" the first one that is no position (NaN, a latitude outside
// -90..90, a longitude outside -180..180) or no reference raises ValueError
// naming it and its index; with errors="nan" its results are NaN (an empty
// reference). Positions that are valid but outside the UTM area (beyond
// 84 N and 80 S) never raise: their UTM results are NaN and their validity
// flag false.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "marovia/geobasics/mgrs.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsPosition(double Lat, double Lon) {
  return Lat >= -90 && Lat <= 90 && Lon >= -180 && Lon <= 180;
}

py::tuple UTMForward(py::handle Lat, py::handle Lon, py::handle Ellipsoid,
                     const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in({{Lat, "latitude"}, {Lon, "longitude"}});
  auto zone = in.Output<int32_t>();
  auto south = in.Output<bool>();
  auto easting = in.Output<double>();
  auto northing = in.Output<double>();
  auto valid = in.Output<bool>();
  {
    int32_t* z = zone.mutable_data();
    bool* s = south.mutable_data();
    double* e = easting.mutable_data();
    double* nn = northing.mutable_data();
    bool* ok = valid.mutable_data();
    const TReader lat = in.Reader(0), lon = in.Reader(1);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    // Checked first, then converted in one batch straight into the zone
    // array; single values are spread so that the batch reads plain spans.
    std::vector<double> spreadLat, spreadLon;
    const double* la = Contiguous(lat, n, spreadLat);
    const double* lo = Contiguous(lon, n, spreadLon);
    if (raise)
      for (std::size_t i = 0; i < n; ++i) CheckPosition(la[i], lo[i], i, n, true);
    static_assert(sizeof(int32_t) == sizeof(int));
    LatLongToUTM(std::span(la, n), std::span(lo, n), ell, std::span(reinterpret_cast<int*>(z), n),
                 std::span(e, n), std::span(nn, n));
    for (std::size_t i = 0; i < n; ++i) {
      // A position that is none (errors="nan") has no zone either.
      const int32_t zn = IsPosition(la[i], lo[i]) ? z[i] : 0;
      ok[i] = zn != 0;
      z[i] = zn;
      s[i] = zn != 0 && la[i] < 0;
      if (!zn) e[i] = nn[i] = kNaN;
    }
  }
  return py::make_tuple(zone, south, easting, northing, valid);
}

py::tuple UTMInverse(py::handle Easting, py::handle Northing, py::handle Zone, py::handle South,
                     py::handle Ellipsoid, const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const TBroadcast in(
      {{Easting, "easting"}, {Northing, "northing"}, {Zone, "zone"}, {South, "south", true}});
  auto lat = in.Output<double>();
  auto lon = in.Output<double>();
  {
    double* la = lat.mutable_data();
    double* lo = lon.mutable_data();
    const TReader e = in.Reader(0), no = in.Reader(1), z = in.Reader(2), s = in.Reader(3);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    std::vector<uint8_t> good(n, 1);
    for (std::size_t i = 0; i < n; ++i) {
      const double zone = z[i];
      if (!(zone >= 1 && zone <= 60 && zone == std::floor(zone))) {
        if (raise) ThrowBadPoint("zone", zone, i, n, "is not a zone 1..60");
        good[i] = 0;
      } else if (!CheckFinite("easting", e[i], i, n, raise) ||
                 !CheckFinite("northing", no[i], i, n, raise)) {
        good[i] = 0;
      }
    }
    std::vector<double> spreadE, spreadN;
    const double* pe = Contiguous(e, n, spreadE);
    const double* pn = Contiguous(no, n, spreadN);
    if (!z.Data && !s.Data) {
      // One zone and hemisphere for all.
      const int zone = (z.Value >= 1 && z.Value <= 60) ? static_cast<int>(z.Value) : 1;
      UTMToLatLong(std::span(pe, n), std::span(pn, n), zone, s.Value != 0, ell, std::span(la, n),
                   std::span(lo, n));
    } else {
      // A zone and hemisphere per point (bad zones are never read back).
      std::vector<int> zones(n);
      std::vector<uint8_t> souths(n);
      for (std::size_t i = 0; i < n; ++i) {
        zones[i] = good[i] ? static_cast<int>(z[i]) : 1;
        souths[i] = s[i] != 0;
      }
      UTMToLatLong(std::span(pe, n), std::span(pn, n), std::span<const int>(zones),
                   std::span<const uint8_t>(souths), ell, std::span(la, n), std::span(lo, n));
    }
    for (std::size_t i = 0; i < n; ++i)
      if (!good[i]) la[i] = lo[i] = kNaN;
  }
  return py::make_tuple(lat, lon);
}

// References as a numpy array of str of fixed width ("<U15", or "<U18"
// spaced), empty where there is none. The batch writes bytes a chunk at a
// time, widened here to the array's 4-byte characters.
py::array MGRSForward(py::handle Lat, py::handle Lon, int Precision, bool Spaced,
                      py::handle Ellipsoid, const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  if (Precision < 0 || Precision > MGRS_MaxPrecision)
    throw py::value_error("precision must be 0 (100 km) to 5 (1 m), not " +
                          std::to_string(Precision));
  const TBroadcast in({{Lat, "latitude"}, {Lon, "longitude"}});
  const std::size_t width = Spaced ? USNG_MaxLength : MGRS_MaxLength;
  py::array out(py::dtype("<U" + std::to_string(width)), in.Shape());
  {
    auto* text = static_cast<uint32_t*>(out.mutable_data());
    const TReader lat = in.Reader(0), lon = in.Reader(1);
    const std::size_t n = in.Size();
    py::gil_scoped_release unlocked;
    std::vector<double> spreadLat, spreadLon;
    const double* la = Contiguous(lat, n, spreadLat);
    const double* lo = Contiguous(lon, n, spreadLon);
    if (raise)
      for (std::size_t i = 0; i < n; ++i) CheckPosition(la[i], lo[i], i, n, true);
    constexpr std::size_t kChunk = 4096;
    std::vector<char> bytes(kChunk * width);
    for (std::size_t s = 0; s < n; s += kChunk) {
      const std::size_t m = std::min(kChunk, n - s);
      LatLongToMGRS(std::span(la + s, m), std::span(lo + s, m), Precision, ell,
                    std::span(bytes.data(), m * width), width, Spaced);
      for (std::size_t k = 0; k < m * width; ++k)
        text[s * width + k] = static_cast<unsigned char>(bytes[k]);
    }
  }
  return out;
}

// Positions (centres of the squares) of references given as a numpy array
// of str or bytes of fixed width. A character beyond ASCII makes its
// reference none.
py::tuple MGRSInverse(py::array References, py::handle Ellipsoid, const std::string& Errors) {
  const TGeoEllipsoid ell = EllipsoidArgument(Ellipsoid);
  const bool raise = RaiseOnBadPoints(Errors);
  const char kind = References.dtype().kind();
  if (kind != 'S' && kind != 'U') throw py::type_error("references must be text (str or bytes)");
  py::array refs = py::array::ensure(References, py::array::c_style);
  const std::size_t width = static_cast<std::size_t>(refs.itemsize()) / (kind == 'U' ? 4 : 1);
  const std::size_t n = static_cast<std::size_t>(refs.size());
  std::vector<py::ssize_t> shape(refs.shape(), refs.shape() + refs.ndim());
  py::array_t<double> lat(shape), lon(shape);
  {
    const void* data = refs.data();
    double* la = lat.mutable_data();
    double* lo = lon.mutable_data();
    py::gil_scoped_release unlocked;
    std::vector<uint8_t> ok(n);
    // The fields as bytes, a chunk at a time (str narrowed, anything
    // beyond ASCII a byte no reference holds).
    const std::size_t w = std::max<std::size_t>(width, 1);
    constexpr std::size_t kChunk = 4096;
    std::vector<char> bytes(kChunk * w);
    auto field = [&](std::size_t i, char* out) {
      for (std::size_t k = 0; k < w; ++k) {
        uint32_t c = 0;
        if (k < width) {
          c = kind == 'U' ? static_cast<const uint32_t*>(data)[i * width + k]
                          : static_cast<const unsigned char*>(data)[i * width + k];
        }
        out[k] = c < 128 ? static_cast<char>(c) : '\x7f';
      }
    };
    for (std::size_t s = 0; s < n; s += kChunk) {
      const std::size_t m = std::min(kChunk, n - s);
      for (std::size_t i = 0; i < m; ++i) field(s + i, &bytes[i * w]);
      MGRSToLatLong(std::span(bytes.data(), m * w), w, ell, std::span(la + s, m),
                    std::span(lo + s, m), std::span(ok.data() + s, m));
    }
    if (raise) {
      for (std::size_t i = 0; i < n; ++i) {
        if (ok[i]) continue;
        std::vector<char> one(w);
        field(i, one.data());
        std::string ref(one.begin(), std::find(one.begin(), one.end(), '\0'));
        std::string why = "not a grid reference";
        if (ref.find('\x7f') != std::string::npos) {
          why = "a character is not ASCII";
          std::replace(ref.begin(), ref.end(), '\x7f', '?');
        } else {
          double a = 0, b = 0;
          int digits = 0;
          MGRSToLatLong(ref, ell, a, b, digits, &why);
        }
        throw py::value_error("reference '" + ref + "'" +
                              (n > 1 ? " at index " + std::to_string(i) : std::string()) + ": " +
                              why);
      }
    }
  }
  return py::make_tuple(lat, lon);
}

}  // namespace

void RegisterGridReferences(py::module_& m) {
  using py::arg;
  m.def("utm_zone", [](double lat, double lon) { return GeoToUTMZone(lat, lon); });
  m.def("utm_forward", &UTMForward, arg("lat"), arg("lon"), arg("ellipsoid"), arg("errors"));
  m.def("utm_inverse", &UTMInverse, arg("easting"), arg("northing"), arg("zone"), arg("south"),
        arg("ellipsoid"), arg("errors"));
  m.def("mgrs_forward", &MGRSForward, arg("lat"), arg("lon"), arg("precision"), arg("spaced"),
        arg("ellipsoid"), arg("errors"));
  m.def("mgrs_inverse", &MGRSInverse, arg("references"), arg("ellipsoid"), arg("errors"));
}

}  // namespace marovia::python
