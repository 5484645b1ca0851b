#include "arrays.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace py = pybind11;

namespace marovia::python {

namespace {

py::module_ Numpy() {
  return py::module_::import("numpy");
}

// Input as a numpy array of a numeric dtype; TypeError otherwise.
py::array AsNumeric(py::handle Input, const char* Name, bool Flag = false) {
  py::array a = Numpy().attr("asarray")(Input);
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u' && kind != 'f' && !(Flag && kind == 'b')) {
    std::string got = py::str(a.dtype()).cast<std::string>();
    if (kind == 'b') got = "bool";
    if (kind == 'O') got = "object";
    if (kind == 'U' || kind == 'S') got = "text";
    if (kind == 'c') got = "complex numbers";
    throw py::type_error(std::string(Name) + " must be numbers (integers or reals), not " + got);
  }
  return a;
}

bool IsContiguousDoubles(const py::array& a) {
  return a.dtype().kind() == 'f' && a.itemsize() == 8 &&
         (a.flags() & py::array::c_style) == py::array::c_style;
}

}  // namespace

TBroadcast::TBroadcast(std::initializer_list<TInput> Inputs) {
  std::vector<py::array> arrays;
  py::list shapes;
  for (const TInput& input : Inputs) {
    arrays.push_back(AsNumeric(input.Value, input.Name, input.Flag));
    shapes.append(arrays.back().attr("shape"));
  }
  py::tuple shape;
  try {
    shape = Numpy().attr("broadcast_shapes")(*shapes);
  } catch (py::error_already_set&) {
    std::ostringstream text;
    text << "the arguments do not broadcast together: shapes";
    std::size_t k = 0;
    for (const auto& input : Inputs) {
      text << (k ? ", " : " ") << input.Name << " "
           << py::str(arrays[k].attr("shape")).cast<std::string>();
      ++k;
    }
    throw py::value_error(text.str());
  }
  for (py::handle extent : shape) {
    shape_.push_back(extent.cast<py::ssize_t>());
    size_ *= static_cast<std::size_t>(shape_.back());
  }
  for (py::array& a : arrays) {
    TReader reader;
    if (a.size() == 1) {
      reader.Value = a.attr("astype")("float64").attr("reshape")(-1).attr("item")(0).cast<double>();
    } else if (IsContiguousDoubles(a) && static_cast<std::size_t>(a.size()) == size_) {
      reader.Data = static_cast<const double*>(a.data());
      holders_.push_back(a);
    } else {
      py::array full = Numpy().attr("ascontiguousarray")(Numpy().attr("broadcast_to")(a, shape),
                                                         py::arg("dtype") = "float64");
      reader.Data = static_cast<const double*>(full.data());
      holders_.push_back(full);
    }
    readers_.push_back(reader);
  }
}

py::array_t<double> AsDoubleVector(py::handle Input, const char* Name) {
  py::array a = AsNumeric(Input, Name);
  if (a.ndim() > 1) throw py::value_error(std::string(Name) + " must be one-dimensional");
  if (!IsContiguousDoubles(a)) {
    a = Numpy().attr("ascontiguousarray")(a, py::arg("dtype") = "float64").attr("reshape")(-1);
  }
  return a.attr("reshape")(-1);
}

bool RaiseOnBadPoints(const std::string& Errors) {
  if (Errors == "raise") return true;
  if (Errors == "nan") return false;
  throw py::value_error("errors must be 'raise' or 'nan', not '" + Errors + "'");
}

void ThrowBadPoint(const char* Name, double Value, std::size_t Index, std::size_t Size,
                   const std::string& What) {
  std::ostringstream text;
  text.precision(17);
  text << Name << " " << Value;
  if (Size > 1) text << " at index " << Index;
  text << " " << What;
  throw py::value_error(text.str());
}

bool CheckPosition(double Lat, double Lon, std::size_t i, std::size_t n, bool Raise) {
  if (Lat >= -90 && Lat <= 90 && Lon >= -180 && Lon <= 180) return true;
  if (!Raise) return false;
  if (!(Lat >= -90 && Lat <= 90)) ThrowBadPoint("latitude", Lat, i, n, "is outside -90..90");
  ThrowBadPoint("longitude", Lon, i, n, "is outside -180..180");
}

bool CheckFinite(const char* Name, double V, std::size_t i, std::size_t n, bool Raise) {
  if (std::isfinite(V)) return true;
  if (Raise) ThrowBadPoint(Name, V, i, n, "is not a finite number");
  return false;
}

const double* Contiguous(const TReader& R, std::size_t n, std::vector<double>& Spread) {
  if (R.Data) return R.Data;
  Spread.assign(n, R.Value);
  return Spread.data();
}

}  // namespace marovia::python
