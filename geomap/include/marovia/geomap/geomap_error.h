// The error of the map subsystem: the map control, calibrations, map files,
// map sources and the exchange formats all raise it.
#pragma once

#include "marovia/zylbase/zylbase.h"

namespace marovia {

// Component methods prefix their messages with "Component \"<Name>\": ";
// the values (calibrations, map sources, importers) name the file or the
// value concerned instead.
class EZYLGeoMapError : public EZYLError {
 public:
  using EZYLError::EZYLError;
};

}  // namespace marovia
