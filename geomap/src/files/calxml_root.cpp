// The root line of a calibration data set and its attributes.
#include <string_view>

#include "files/calxml_reader.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia::calxml {

namespace {

// The value of `key` (e.g. `map="`, lower case) in a root line: from just
// after the key's first occurrence in the lower-cased line to the next '"',
// taken from the line as read (so with its case), trimmed, references
// decoded. False when the line has no such key.
bool RootAttribute(std::string_view line, std::string_view lower, std::string_view key,
                   std::string& value) {
  const size_t at = lower.find(key);
  if (at == std::string_view::npos) return false;
  const size_t start = at + key.size();
  const size_t end = line.find('"', start);
  const std::string_view raw =
      line.substr(start, (end == std::string_view::npos ? line.size() : end) - start);
  value = DecodeXMLReferences(TrimBlanks(raw));
  return true;
}

}  // namespace

bool FindCalRoot(TSetInput& Input, const std::string& DataID,
                 const std::function<void(const TCalRootLine&)>& OnRootLine, TRootPlace& Place) {
  return mapfile::FindRoot(
      Input, kCalibrationSet, DataID,
      [&](const mapfile::TRootLine& line) {
        TCalRootLine root;
        root.Id = line.Id;
        root.HasModel = RootAttribute(line.Line, line.Lower, "model=\"", root.Model);
        root.Model = LowerCase(root.Model);
        root.HasMap = RootAttribute(line.Line, line.Lower, "map=\"", root.Map);
        root.HasCaption = RootAttribute(line.Line, line.Lower, "caption=\"", root.Caption);
        OnRootLine(root);
      },
      Place);
}

}  // namespace marovia::calxml
