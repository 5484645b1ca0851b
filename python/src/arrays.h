// Numeric array arguments: numbers, sequences or numpy arrays of integers
// or reals, broadcast against each other by numpy's rules and read as
// doubles.
//
// No copy is made of an input that already is a C-contiguous float64 array
// of the full broadcast shape, nor of a single value; other inputs (other
// dtypes, strided views, arrays that broadcast along an axis) are converted
// once into a contiguous float64 array. Readers may be used without the GIL
// as long as the TBroadcast lives.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <utility>
#include <vector>

namespace marovia::python {

// One input, read by flat index into the broadcast shape.
struct TReader {
  const double* Data = nullptr;  // null for a single value
  double Value = 0;
  double operator[](std::size_t i) const { return Data ? Data[i] : Value; }
};

class TBroadcast {
 public:
  struct TInput {
    pybind11::handle Value;
    const char* Name;   // for error messages
    bool Flag = false;  // booleans are accepted (as 0 and 1)
  };
  // Raises TypeError for an input that is not numeric (strings, objects,
  // complex numbers; booleans unless Flag) and ValueError for shapes that do
  // not broadcast.
  TBroadcast(std::initializer_list<TInput> Inputs);

  std::size_t Size() const { return size_; }
  const std::vector<pybind11::ssize_t>& Shape() const { return shape_; }
  TReader Reader(std::size_t k) const { return readers_[k]; }
  // A new uninitialised array of the broadcast shape.
  template <typename T>
  pybind11::array_t<T> Output() const {
    return pybind11::array_t<T>(shape_);
  }

 private:
  std::vector<pybind11::object> holders_;
  std::vector<TReader> readers_;
  std::vector<pybind11::ssize_t> shape_;
  std::size_t size_ = 1;
};

// A one-dimensional float64 view of a numeric input (converted once when it
// is not one already), for functions that take parallel point lists.
pybind11::array_t<double> AsDoubleVector(pybind11::handle Input, const char* Name);

// The value of the "errors" keyword: true for "raise", false for "nan";
// ValueError otherwise.
bool RaiseOnBadPoints(const std::string& Errors);

// ValueError "<Name> <value> at index <i> is <what>" (index omitted for a
// single value).
[[noreturn]] void ThrowBadPoint(const char* Name, double Value, std::size_t Index, std::size_t Size,
                                const std::string& What);

// Whether (Lat, Lon) is a position (latitude -90..90, longitude
// -180..180); otherwise raises ValueError naming point i of n (Raise) or
// answers false.
bool CheckPosition(double Lat, double Lon, std::size_t i, std::size_t n, bool Raise);

// Whether V is finite; otherwise raises ValueError naming it (Raise) or
// answers false.
bool CheckFinite(const char* Name, double V, std::size_t i, std::size_t n, bool Raise);

// The values of a reader as a plain array of n: single values spread once
// into Spread.
const double* Contiguous(const TReader& R, std::size_t n, std::vector<double>& Spread);

}  // namespace marovia::python
