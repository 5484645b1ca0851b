// The parts of the calibration file readers that the map control's reader
// (TGeoMap::ReadCalDataIntern) and the record reader (ParseCalibData) share:
// the root line's attributes and the element loop that fills a TCalibData.
// The layout they read is described in marovia/geomap/calxml.h; the search
// and the loop themselves are the map files' reader core
// (map_file_reader.h).
//
// The record's capacities hold: a 26th line, an 11th point of a line, a 5th
// corner or a 201st quadruple raises EZYLGeoMapError naming the limit. A
// count that a file states is only compared, never used to allocate.
#pragma once

#include <functional>
#include <string>

#include "files/map_file_reader.h"
#include "marovia/geomap/calib_types.h"
#include "marovia/geomap/map_calibration.h"

namespace marovia::calxml {

using mapfile::TRootPlace;
using mapfile::TSetInput;

// The attributes of a root line that the readers take. A missing attribute
// is an empty optional text: Has* tells them apart from empty values.
struct TCalRootLine {
  std::string Id;  // lower-cased; empty without an id
  bool HasModel = false;
  std::string Model;  // lower-cased
  bool HasMap = false;
  std::string Map;  // as written (case kept)
  bool HasCaption = false;
  std::string Caption;
};

// A calibration data set for the reader core: root "<geomap", end
// "</geomap>", and the elements of the table in calxml_elements.cpp.
extern const mapfile::TSetLayout kCalibrationSet;

// Reads lines up to and including the root line of the set DataID (an empty
// DataID takes the first set; identifiers compare without regard to case,
// the file's trimmed, the wanted one as given). OnRootLine sees every root
// line passed on the way, the matching one last. False when the input ends
// without a match.
bool FindCalRoot(TSetInput& Input, const std::string& DataID,
                 const std::function<void(const TCalRootLine&)>& OnRootLine, TRootPlace& Place);

// How the element loop differs between the two readers.
struct TCalReadRules {
  // Put before every error message ("Component \"Map\": ", "ParseCalibData: ").
  std::string ErrorPrefix;
  // The map reader drops graticule lines with fewer than three points.
  bool DropShortLines = false;
};

// The record a map reader fills: what ClearCalibData leaves (no lines,
// corners, resolution or quadruples; zone -1, northern, WGS 84).
TCalibData ClearedCalibData();

// What a data set holds beside the record: the map's border and the
// calibration points at full precision. The points are kept only when they
// agree with the record's quadruples (the first 200 of them, within the
// quadruples' 5 decimals and whole pixels): a set whose quadruples were
// rewritten by a writer that does not know the element keeps those.
struct TCalExtras {
  std::vector<TBorderVertex> Border;
  std::vector<TControlPoint> ControlPoints;
};

// Reads the elements of the data set whose root line was just read (at
// Place) into Data, up to "</geomap>"; the input is left right after it.
// Fields without an element keep their values. Raises EZYLGeoMapError
// (Rules.ErrorPrefix + text) for an unknown line type, a point count that
// differs from npoints, an exceeded capacity, an unknown ellipsoid or a set
// that ends before "</geomap>"; Data may then hold part of the set (the
// readers read into a copy), every count within its capacity.
// Extras, when given, receives the border and the full-precision points
// (each left as it is when the set has none).
void ReadCalElements(TSetInput& Input, const TRootPlace& Place, TCalibData& Data,
                     const TCalReadRules& Rules, TCalExtras* Extras = nullptr);

}  // namespace marovia::calxml
