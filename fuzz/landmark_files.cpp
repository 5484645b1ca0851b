// Landmark files: ReadLandMarksFromOpenXMLFile on the input as a file, set
// after set, with a write-then-read round trip of every set read, and
// LoadLandMarks on the input as a stream alongside; and the input as the tag
// text of one landmark element, with its own round trip.
//
// Invariants checked: no more landmarks than elements could fit in the
// input; the storage a multiple of 1000 and at least the count; every field
// within its range (identifier 15 characters, caption 80, numbers finite,
// shapes and alignments valid values);
// every landmark written and read back is equal, field by field; the file
// and the stream reader agree set by set; a refused set leaves the list.
#include <algorithm>
#include <cmath>

#include "files/landmark_element.h"
#include "fuzz_support.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

using namespace marovia;

namespace {

constexpr int kMaxSets = 4;

// Maps kept for the whole run (constructing one costs more than reading a
// set): reading depends on nothing but the landmark list, which every use
// empties first, so each input is read as by a fresh map.
class TFuzzMap : public TGeoMap {
 public:
  TFuzzMap() : TGeoMap(nullptr) {}
  void Paint() override {}
};

TGeoMap& EmptyMap(int Which) {
  static TFuzzMap maps[3];
  TGeoMap& map = maps[Which];
  map.RemoveAllLandMarks();
  return map;
}

void CheckLandMark(const TLandMark& lm) {
  fuzz::Check(Utf8Length(lm.Identifier) <= kLMIdentifierLength, "identifier too long");
  fuzz::Check(Utf8Length(lm.Caption.Text) <= kLMTextLength, "caption too long");
  for (const double v : {lm.Latitude, lm.Longitude, lm.Altitude, lm.Time})
    fuzz::Check(std::isfinite(v), "number not finite");
  const TLandMarkElement kind = lm.SymbolProps.Kind;
  fuzz::Check(kind < kNumLandMarkElements, "shape outside TLandMarkElement");
  fuzz::Check(lm.Caption.HAlignment <= taCenter && lm.Caption.VAlignment <= vaBottom,
              "alignment outside its enumeration");
}

std::vector<TLandMark> LandMarksOf(const TGeoMap& map) {
  std::vector<TLandMark> v;
  for (int32_t i = 1; i <= map.NumLandMarks(); ++i) v.push_back(map.LandMarkData(i));
  return v;
}

void CheckList(const TGeoMap& map, size_t tags) {
  fuzz::Check(static_cast<size_t>(map.NumLandMarks()) <= tags, "more landmarks than tags");
  fuzz::Check(map.LandMarkCapacity() % 1000 == 0 && map.LandMarkCapacity() >= map.NumLandMarks(),
              "storage off its block rule");
  for (const TLandMark& lm : LandMarksOf(map)) CheckLandMark(lm);
}

// The list written as a set and read back into another map.
void CheckRoundTrip(TGeoMap& map) {
  const auto path = (fuzz::ScratchDir() / "written.xml").string();
  TTextFile out(path);
  out.Rewrite();
  map.WriteLandMarksToOpenXMLFile(out, true, "fuzz");
  out.CloseFile();

  TGeoMap& back = EmptyMap(1);
  TTextFile in(path);
  in.Reset();
  fuzz::Check(back.ReadLandMarksFromOpenXMLFile(in, "fuzz"), "written set not found");
  in.CloseFile();
  fuzz::Check(LandMarksOf(back) == LandMarksOf(map), "landmarks changed by a round trip");
}

// The input as the attributes of one element.
void CheckElement(std::string_view input) {
  const TLandMark lm = lmfile::ParseLandMarkElement(Cp1252ToUtf8(input));
  CheckLandMark(lm);
  std::string line;
  lmfile::AppendLandMarkElement(line, lm);
  // The tag text the scanner would hand over: after the name, without "/>".
  const std::string_view tagText = std::string_view(line).substr(
      std::string_view("<landmark").size(), line.size() - std::string_view("<landmark").size() - 2);
  fuzz::Check(lmfile::ParseLandMarkElement(tagText) == lm, "element changed by a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view input = fuzz::AsText(Data, Size);
  const auto tags = static_cast<size_t>(std::count(input.begin(), input.end(), '<'));
  const auto path = (fuzz::ScratchDir() / "landmarks.xml").string();
  fuzz::WriteFile(path, input);

  TGeoMap& map = EmptyMap(0);
  TGeoMap& fromStream = EmptyMap(2);
  TTextFile file(path);
  file.Reset();
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  // A text file also ends a line at a lone CR, a stream only at LF: with
  // one in the input the two may find other root lines.
  bool sameLines = true;
  for (size_t i = 0; i < Size; ++i)
    if (Data[i] == '\r' && (i + 1 == Size || Data[i + 1] != '\n')) sameLines = false;
  for (int set = 0; set < kMaxSets; ++set) {
    const std::vector<TLandMark> before = LandMarksOf(map);
    bool found = false, foundInStream = false;
    const bool clean = fuzz::Refusing([&] { found = map.ReadLandMarksFromOpenXMLFile(file, ""); });
    const bool cleanInStream =
        fuzz::Refusing([&] { foundInStream = fromStream.LoadLandMarks(stream, ""); });
    CheckList(map, tags);
    fuzz::Check(!sameLines || (clean == cleanInStream && found == foundInStream &&
                               LandMarksOf(fromStream) == LandMarksOf(map)),
                "file and stream readers disagree");
    if (!clean) fuzz::Check(LandMarksOf(map) == before, "a refused set changed the list");
    if (!clean || !found) break;
    CheckRoundTrip(map);
  }
  file.CloseFile();

  CheckElement(input);
  return 0;
}
