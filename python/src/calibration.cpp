#include "bindings.h"

namespace marovia::python {
void RegisterCalibration(pybind11::module_&) {}
}  // namespace marovia::python
