// The parts of the calibration file readers that the map control's reader
// (TGeoMap::ReadCalDataIntern) and the record reader (ParseCalibData) share:
// one input over a text file or a stream, the search for a data set's root
// line, and the element loop that fills a TCalibData.
//
// A data set, as the readers take it:
//   - Lines before its root line are not interpreted. A root line is a line
//     that, lower-cased, holds both "<geomap" and "quorvant"; the whole root
//     element stands on that one line. Its id, model, map and caption
//     attributes are found by substring search (first `name="` of the line up
//     to the next '"'), values trimmed of blanks and XML references decoded.
//   - After the root line the elements are walked with the tag scanner until
//     "</geomap>" or the end of the input. Each element fills its fields:
//       calline    one graticule line: type, value, npoints; "[X,Y] ..." points
//       corners    "[lat,long] ..." in TCorners order
//       resolution the number
//       calquads   npoints; "[lat,long,MapX,MapY] ..."
//       utmzone, utmsouth, ellipsoid
//     Unknown elements are skipped.
//   - The record's capacities hold: a 26th line, an 11th point of a line, a
//     5th corner or a 201st quadruple raises EZYLGeoMapError naming the limit
//     before anything is stored past it. A count that a file states is only
//     compared, never used to allocate.
#pragma once

#include <functional>
#include <string>

#include "marovia/geomap/calib_types.h"
#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"

namespace marovia::calxml {

// Where a reader takes its lines and elements from: an open text file or a
// stream, both at their current position. Every line and element is handed
// over as UTF-8.
class TCalInput {
 public:
  explicit TCalInput(TTextFile& File) : file_(&File) {}
  explicit TCalInput(TStream& Stream) : stream_(&Stream) {}

  // The next line, without its line end; false when no line was left to
  // read (a last line without a line end is still answered).
  bool NextLine(std::string& Line);
  // The next element of the tag table GeoMapXMLTags: its position, with
  // kTagInvalid at the end of the input.
  int NextTag(std::string& TagText, std::string& Content);

 private:
  TTextFile* file_ = nullptr;
  TStream* stream_ = nullptr;
};

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

// Reads lines up to and including the root line of the set DataID (an empty
// DataID takes the first set; identifiers compare without regard to case,
// the file's trimmed, the wanted one as given). OnRootLine sees every root
// line passed on the way, the matching one last. False when the input ends
// without a match.
bool FindCalRoot(TCalInput& Input, const std::string& DataID,
                 const std::function<void(const TCalRootLine&)>& OnRootLine);

// How the element loop differs between the two readers.
struct TCalReadRules {
  // Put before every error message ("Component \"Map\": ", "ParseCalibData: ").
  std::string ErrorPrefix;
  // The map reader drops graticule lines with fewer than three points.
  bool DropShortLines = false;
};

// Reads the elements of a data set whose root line was just read into
// Data, up to "</geomap>" or the end of the input; the input is left right
// after the element that ended the loop. Fields without an element keep
// their values. Raises EZYLGeoMapError (Rules.ErrorPrefix + text) for an
// unknown line type, a point count that differs from npoints, an exceeded
// capacity or an unknown ellipsoid; what was read before stays in Data and
// every count stays within its capacity.
void ReadCalElements(TCalInput& Input, TCalibData& Data, const TCalReadRules& Rules);

}  // namespace marovia::calxml
