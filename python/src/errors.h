// The package's exceptions and the translation of the library's errors into
// them. Every library error keeps its message; the class says what kind of
// input was wrong:
//   marovia.Error            base of all below
//   marovia.GeodesyError     Error, ValueError   (EZYLGeoBasicsError)
//   marovia.MapError         Error, ValueError   (EZYLGeoMapError)
//   marovia.DatabaseError    Error, ValueError   (EZYLGeoDBError)
//   marovia.FileError        Error, OSError      (EInOutError, a map file the
//                                                 tools cannot use)
#pragma once

#include <pybind11/pybind11.h>

namespace marovia::python {

void RegisterErrors(pybind11::module_& m);

// Raises marovia.MapError / DatabaseError with Message from binding code.
[[noreturn]] void ThrowMapError(const std::string& Message);
[[noreturn]] void ThrowDatabaseError(const std::string& Message);

}  // namespace marovia::python
