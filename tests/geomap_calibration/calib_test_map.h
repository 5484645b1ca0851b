// A map control for the calibration tests: named "Map", with a blank map
// image of a given size, counting its repaints.
#pragma once

#include <string>

#include "marovia/geomap/geomap.h"

namespace marovia::test {

class CalibTestMap : public TGeoMap {
 public:
  explicit CalibTestMap(int Width = 1000, int Height = 800) : TGeoMap(nullptr) {
    SetName("Map");
    if (Width > 0 && Height > 0) {
      TBitmap image(Width, Height);
      SetMapBitmap(image);
    }
    paints = 0;
  }
  void Paint() override {
    ++paints;
    TGeoMap::Paint();
  }
  int paints = 0;
};

inline std::string MapError(const std::string& Text) {
  return "Component \"Map\": " + Text;
}

// The message of an EZYLGeoMapError raised by f, or "" when none is raised.
template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const EZYLGeoMapError& e) {
    return e.what();
  }
  return "";
}

}  // namespace marovia::test
