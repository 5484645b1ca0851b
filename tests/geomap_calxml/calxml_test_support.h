// Helpers of the calibration file tests: a named map control, calibration
// records of every model, and errors caught as text.
#pragma once

#include <string>

#include "../geomap_calibration/calib_test_map.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"

namespace marovia::test {

// A map control named "Map" that counts its repaints, without an image.
class CalTestMap : public CalibTestMap {
 public:
  CalTestMap() : CalibTestMap(0, 0) {}
};

inline TCalibLine Line(TGratLineKind Kind, double Value, std::initializer_list<TPoint> Points) {
  TCalibLine l;
  l.LineType = Kind;
  l.LineValue = Value;
  for (const TPoint& p : Points) l.CalPoints[static_cast<size_t>(l.NumPoints++)] = p;
  return l;
}

inline void AddLine(TCalibData& cd, const TCalibLine& l) {
  cd.CalLines[static_cast<size_t>(cd.NumCalLines++)] = l;
}

inline void AddQuad(TCalibData& cd, double Lat, double Long, int32_t X, int32_t Y) {
  cd.CalQuads[static_cast<size_t>(cd.NumCalQuads++)] = TCalQuad{Lat, Long, X, Y};
}

// Two parallels and two meridians of three points each over a 1000 x 800
// image: enough for the line model.
inline void AddGraticule(TCalibData& cd) {
  AddLine(cd, Line(gtlParallel, 48, {{0, 100}, {500, 90}, {1000, 100}}));
  AddLine(cd, Line(gtlParallel, 46, {{0, 700}, {500, 690}, {1000, 700}}));
  AddLine(cd, Line(gtlMeridian, 10, {{100, 0}, {110, 400}, {120, 800}}));
  AddLine(cd, Line(gtlMeridian, 14.5, {{900, 0}, {890, 400}, {880, 800}}));
}

// Nine geographic points of a plate carree over a 1000 x 800 image.
inline void AddGrid(TCalibData& cd, double Lat0 = 46, double Long0 = 10) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) AddQuad(cd, Lat0 + i, Long0 + 2 * j, 100 + 400 * j, 700 - 300 * i);
}

// A whole file as written by Write into a text file named Name.
template <typename F>
void WriteTextFile(const std::string& Name, F Write) {
  TTextFile f(Name);
  f.Rewrite();
  Write(f);
  f.CloseFile();
}

}  // namespace marovia::test
