// Landmark files: the map control's landmark list as one data set of a
// line-oriented XML file.
//
//   <?xml version="1.0" encoding="windows-1252"?>     only with the header flag
//                                                      always (empty line)
//   <!-- TGeoMap Landmarks / Quorvant -->
//   <gmlandmarks sig="Quorvant" vers="1.0" id="{id}">
//   <landmark lat="..." long="..." ... />             one per landmark, in order
//   </gmlandmarks>
//
// The attributes of a landmark are described in landmark_element.h. A file
// may hold several sets; a reader takes the set whose id matches (without
// regard to case; an empty request takes the first) and reads its landmark
// elements up to "</gmlandmarks>".
#include <cstdint>

#include "landmark_element.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/tagscan.h"
#include "replace_file.h"

namespace marovia {

namespace {

// Reads lines up to and including the root line of the wanted set (wanted:
// lower-cased, empty for the first set); false at the end of the file.
bool FindLandMarkSet(TTextFile& file, const std::string& wanted) {
  while (!file.Eof()) {
    const std::string line = file.ReadLn();
    const std::string lower = LowerCase(line);
    if (lower.find("<gmlandmarks") == std::string::npos ||
        lower.find("quorvant") == std::string::npos)
      continue;
    if (wanted.empty() || RootLineIdentifier(Cp1252ToUtf8(line)) == wanted) return true;
  }
  return false;
}

}  // namespace

bool TGeoMap::ReadLandMarksFromOpenXMLFile(TTextFile& TextFile, const std::string& DataID) {
  CheckLandMarkListChangeAllowed();
  if (!FindLandMarkSet(TextFile, LowerCase(DataID))) return false;
  // The set replaces the list; the host is not asked about each landmark,
  // the highlight stays and nothing is repainted here.
  FNumLandMarks = 0;
  ResetLandMarkCapacity();
  std::string tagText, content;
  for (;;) {
    const int tag =
        ReadNextTagInTextFile(TextFile, GeoMapXMLTags, kGeoMapXMLTagsHigh, tagText, content);
    if (tag == kTagLandmarksEnd || tag == kTagInvalid) break;
    if (tag != kTagLandmark) continue;
    if (FNumLandMarks == INT32_MAX) RaiseError("insufficient memory");
    AppendLandMark(lmfile::ParseLandMarkElement(tagText));
  }
  return true;
}

bool TGeoMap::LoadLandMarks(const std::string& FName, const std::string& DataID) {
  CheckLandMarkListChangeAllowed();
  TTextFile file(FName);
  try {
    file.Reset();
  } catch (const EInOutError&) {
    return false;
  }
  const bool found = ReadLandMarksFromOpenXMLFile(file, DataID);
  file.CloseFile();
  Paint();
  return found;
}

void TGeoMap::WriteLandMarksToOpenXMLFile(TTextFile& TextFile, bool Header,
                                          const std::string& DataID) {
  if (Header) TextFile.WriteLn(kGeoMapXMLDeclaration);
  TextFile.WriteLn("");
  TextFile.WriteLn("<!-- TGeoMap Landmarks / Quorvant -->");
  TextFile.WriteLn(Utf8ToCp1252("<gmlandmarks sig=\"Quorvant\" vers=\"1.0\" id=\"" +
                                EscapeXMLValue(DataID) + "\">"));
  std::string line;
  for (int32_t i = 0; i < FNumLandMarks; ++i) {
    line.clear();
    lmfile::AppendLandMarkElement(line, FLandMarks[static_cast<size_t>(i)]);
    TextFile.WriteLn(Utf8ToCp1252(line));
  }
  TextFile.WriteLn("</gmlandmarks>");
}

void TGeoMap::SaveLandmarks(const std::string& FileName, const std::string& DataID) {
  // The file is replaced whole only once the new contents are on disk.
  ReplaceFileContents(FileName,
                      [&](TTextFile& file) { WriteLandMarksToOpenXMLFile(file, true, DataID); });
}

}  // namespace marovia
