// What the map file benchmarks share: the tests' scratch directory and a map
// that does not paint, since painting is not part of the file work measured.
#pragma once

#include "marovia/geomap/geomap.h"
#include "temp_dir.h"

namespace marovia {

class QuietMap : public TGeoMap {
 public:
  QuietMap() : TGeoMap(nullptr) {}
  void Paint() override {}
};

}  // namespace marovia
