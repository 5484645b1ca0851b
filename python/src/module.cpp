// _marovia: the compiled part of the Python package marovia. The package's
// __init__.py gives the functions their public names and result types.
#include "bindings.h"
#include "errors.h"

PYBIND11_MODULE(_marovia, m) {
  m.doc() = "Compiled core of the marovia package; use the package marovia.";
  marovia::python::RegisterErrors(m);
  marovia::python::RegisterGeodesy(m);
  marovia::python::RegisterGridReferences(m);
  marovia::python::RegisterCalibration(m);
  marovia::python::RegisterMaps(m);
  marovia::python::RegisterAtlas(m);
  marovia::python::RegisterDatabase(m);
  marovia::python::RegisterTracks(m);
}
