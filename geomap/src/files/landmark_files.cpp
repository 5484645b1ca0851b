// Landmark files: the map control's landmark list as one data set of a
// line-oriented XML file (layout: landmark.h), read through the map files'
// reader core.
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "files/landmark_element.h"
#include "files/map_file_reader.h"
#include "files/replace_file.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

constexpr std::string_view kLandMarkElements[] = {"landmark"};
const mapfile::TSetLayout kLandMarkSet = {"<gmlandmarks", "/gmlandmarks", "</gmlandmarks>",
                                          kLandMarkElements};

}  // namespace

namespace {

// Reads the set DataID from Input whole into List; false when it is not
// found. ErrorPrefix leads the messages of a set cut short.
bool ReadLandMarkList(mapfile::TSetInput& Input, const std::string& DataID,
                      const std::string& ErrorPrefix, std::vector<TLandMark>& List) {
  mapfile::TRootPlace place;
  if (!mapfile::FindRoot(Input, kLandMarkSet, DataID, nullptr, place)) return false;
  const auto fail = [&ErrorPrefix] { throw EZYLGeoMapError(ErrorPrefix + "insufficient memory"); };
  mapfile::ReadElements(Input, kLandMarkSet, place, ErrorPrefix,
                        [&](size_t, const std::string& tagText, const std::string&) {
                          if (List.size() == INT32_MAX) fail();
                          try {
                            List.push_back(lmfile::ParseLandMarkElement(tagText));
                          } catch (const std::bad_alloc&) {
                            fail();
                          }
                        });
  return true;
}

}  // namespace

std::vector<TLandMark> ReadLandMarkFile(const std::string& FileName, const std::string& DataID) {
  std::vector<TLandMark> list;
  TTextFile file(FileName);
  file.Reset();  // EInOutError naming the file
  bool found = false;
  try {
    mapfile::TSetInput input(file);
    found = ReadLandMarkList(input, DataID, "", list);
  } catch (...) {
    file.CloseFile();
    throw;
  }
  file.CloseFile();
  if (!found)
    throw EZYLGeoMapError(FileName + ": no landmark set" +
                          (DataID.empty() ? std::string() : " '" + DataID + "'") + " found");
  return list;
}

bool TGeoMap::ReadLandMarkSet(mapfile::TSetInput& Input, const std::string& DataID) {
  CheckLandMarkListChangeAllowed();
  // The set is read whole before it replaces the list, so a damaged set
  // leaves the list as it was. The host is not asked about each landmark,
  // the highlight stays and nothing is repainted here.
  std::vector<TLandMark> list;
  if (!ReadLandMarkList(Input, DataID, "Component \"" + Name() + "\": ", list)) return false;
  ReplaceLandMarks(std::move(list));
  return true;
}

bool TGeoMap::ReadLandMarksFromOpenXMLFile(TTextFile& TextFile, const std::string& DataID) {
  mapfile::TSetInput input(TextFile);
  return ReadLandMarkSet(input, DataID);
}

bool TGeoMap::LoadLandMarks(const std::string& FName, const std::string& DataID) {
  CheckLandMarkListChangeAllowed();
  // A file that cannot be opened is not repainted for.
  return mapfile::ReadNamedFile(FName, [&](TTextFile& file) {
    const bool found = ReadLandMarksFromOpenXMLFile(file, DataID);
    Paint();
    return found;
  });
}

bool TGeoMap::LoadLandMarks(TStream& InStream, const std::string& DataID) {
  mapfile::TSetInput input(InStream);
  const bool found = ReadLandMarkSet(input, DataID);
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
