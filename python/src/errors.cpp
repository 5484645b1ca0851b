#include "errors.h"

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geodb/gdbrecords.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/sysutils.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

// The exception classes, created once with the module; they live as long as
// the interpreter holds the module.
PyObject* g_error = nullptr;
PyObject* g_geodesy_error = nullptr;
PyObject* g_map_error = nullptr;
PyObject* g_database_error = nullptr;
PyObject* g_file_error = nullptr;

PyObject* NewError(py::module_& m, const char* name, py::tuple bases, const char* doc) {
  const std::string qualified = std::string("marovia.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
  if (!type) throw py::error_already_set();
  m.attr(name) = py::handle(type);
  return type;
}

}  // namespace

void ThrowMapError(const std::string& Message) {
  PyErr_SetString(g_map_error, Message.c_str());
  throw py::error_already_set();
}

void ThrowDatabaseError(const std::string& Message) {
  PyErr_SetString(g_database_error, Message.c_str());
  throw py::error_already_set();
}

void RegisterErrors(py::module_& m) {
  const py::handle value_error(PyExc_ValueError);
  const py::handle os_error(PyExc_OSError);
  g_error = NewError(m, "Error", py::make_tuple(py::handle(PyExc_Exception)),
                     "Base class of the errors of the marovia library.");
  const py::handle error(g_error);
  g_geodesy_error = NewError(m, "GeodesyError", py::make_tuple(error, value_error),
                             "A geodetic computation was given values it cannot use.");
  g_map_error = NewError(m, "MapError", py::make_tuple(error, value_error),
                         "A calibration, map or view cannot be used or made.");
  g_database_error = NewError(m, "DatabaseError", py::make_tuple(error, value_error),
                              "An item database refused an item or is damaged.");
  g_file_error = NewError(m, "FileError", py::make_tuple(error, os_error),
                          "A file cannot be read or written, or is not what it should be.");

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const EZYLGeoBasicsError& e) {
      PyErr_SetString(g_geodesy_error, e.what());
    } catch (const EZYLGeoMapError& e) {
      PyErr_SetString(g_map_error, e.what());
    } catch (const EZYLGeoDBError& e) {
      PyErr_SetString(g_database_error, e.what());
    } catch (const EInOutError& e) {
      PyErr_SetString(g_file_error, e.what());
    } catch (const EZYLError& e) {
      PyErr_SetString(g_error, e.what());
    }
  });
}

}  // namespace marovia::python
