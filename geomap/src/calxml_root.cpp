// The calibration readers' input and the search for a data set's root line.
#include <string_view>

#include "calxml_reader.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/tagscan.h"

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

bool IsRootLine(std::string_view lower) {
  return lower.find("<geomap") != std::string_view::npos &&
         lower.find("quorvant") != std::string_view::npos;
}

TCalRootLine ReadRootLine(std::string_view line, std::string_view lower) {
  TCalRootLine root;
  root.Id = RootLineIdentifier(line);
  root.HasModel = RootAttribute(line, lower, "model=\"", root.Model);
  root.Model = LowerCase(root.Model);
  root.HasMap = RootAttribute(line, lower, "map=\"", root.Map);
  root.HasCaption = RootAttribute(line, lower, "caption=\"", root.Caption);
  return root;
}

}  // namespace

bool TCalInput::NextLine(std::string& Line) {
  if (file_ != nullptr) {
    if (file_->Eof()) return false;
    Line = Cp1252ToUtf8(file_->ReadLn());
    return true;
  }
  bool endOfStream = false;
  Line = ReadLineFromStream(*stream_, endOfStream, 0);
  return !endOfStream || !Line.empty();
}

int TCalInput::NextTag(std::string& TagText, std::string& Content) {
  if (file_ != nullptr)
    return ReadNextTagInTextFile(*file_, GeoMapXMLTags, kGeoMapXMLTagsHigh, TagText, Content);
  return ReadNextTagInStream(*stream_, GeoMapXMLTags, kGeoMapXMLTagsHigh, TagText, Content);
}

bool FindCalRoot(TCalInput& Input, const std::string& DataID,
                 const std::function<void(const TCalRootLine&)>& OnRootLine) {
  const std::string wanted = LowerCase(DataID);
  std::string line;
  while (Input.NextLine(line)) {
    const std::string lower = LowerCase(line);
    if (!IsRootLine(lower)) continue;
    const TCalRootLine root = ReadRootLine(line, lower);
    OnRootLine(root);
    if (wanted.empty() || root.Id == wanted) return true;
  }
  return false;
}

}  // namespace marovia::calxml
