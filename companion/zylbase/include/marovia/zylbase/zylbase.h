// Base services of the companion package: the exception base class and the
// numeric limits shared by all units.
#pragma once

#include <limits>
#include <string>

#include "marovia/platform/sysutils.h"

namespace marovia {

// Base class of the exceptions of every unit of the library
// (EZYLGeoBasicsError, EZYLGeoDBError, EZYLGeoMapError).
class EZYLError : public Exception {
 public:
  using Exception::Exception;
};

// Largest and smallest positive (normalised) double.
constexpr double uc_MaxDouble = std::numeric_limits<double>::max();
constexpr double uc_MinDouble = std::numeric_limits<double>::min();

}  // namespace marovia
