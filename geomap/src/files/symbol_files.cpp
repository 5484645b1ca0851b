// Symbol files of TSymbolRepository: StoreOnFile, ReadFromOpenXMLFile,
// LoadFromFile. The format is described in symbol_repository.h.
#include <array>
#include <climits>
#include <new>
#include <string_view>
#include <vector>

#include "files/map_file_reader.h"
#include "files/replace_file.h"
#include "marovia/geomap/shape_names.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

namespace {

// Entries the list holds when a set is found, and the step it grows by.
constexpr int32_t kCapacityStep = 1000;

std::string ColorText(TColor c) {
  return Hex(static_cast<uint32_t>(c), 8);
}

std::string SymbolLine(const TSymbol& s) {
  const TSymbolProperties& p = s.Properties;
  return "<symbol" + WriteAttribute("element", LandMarkElementName(p.Kind)) +
         WriteAttribute("name", EscapeXMLValue(s.Name)) +
         WriteAttribute("category", std::to_string(s.Category)) +
         WriteAttribute("colorfg", ColorText(p.FGColor)) +
         WriteAttribute("colorbg", ColorText(p.BGColor)) +
         WriteAttribute("size", std::to_string(p.Size)) +
         WriteAttribute("transp", BoolToWord(p.Transparent, 0)) +
         WriteAttribute("dir", std::to_string(p.Direction)) +
         WriteAttribute("leng", std::to_string(p.Length)) + " />";
}

int32_t IntegerOf(std::string_view text) {
  int pos = 1;
  return ScanInteger(text, pos);
}

TColor ColorOf(std::string_view text) {
  int pos = 1;
  // Eight digits carry the 32 bits; longer texts keep their low 32 bits.
  return static_cast<TColor>(static_cast<uint32_t>(ScanHex(text, pos)));
}

bool FlagOf(std::string_view text) {
  return LowerCase(text).find("true") != std::string::npos;
}

// The attributes of a "symbol" element, in the order they are written.
enum SymbolField { kElement, kName, kCategory, kColorFG, kColorBG, kSize, kTransp, kDir, kLeng };
constexpr std::array<std::string_view, 9> kFieldNames = {
    "element", "name", "category", "colorfg", "colorbg", "size", "transp", "dir", "leng"};

// One "symbol" element. Attributes that are missing (or empty) keep the
// default symbol's values. The attributes are read in one pass with the
// rules of AttributeValue: names without regard to case, the first of equal
// names wins, and nothing after a malformed attribute counts.
TSymbol ParseSymbol(std::string_view tagText) {
  std::array<std::string, kFieldNames.size()> values;
  std::array<bool, kFieldNames.size()> seen{};
  std::string name, value;
  for (int pos = 1; NextAttribute(tagText, pos, name, value) == 0;) {
    for (size_t k = 0; k < kFieldNames.size(); ++k) {
      if (!seen[k] && SameText(name, kFieldNames[k])) {
        seen[k] = true;
        values[k] = value;
        break;
      }
    }
  }
  TSymbol s = DefaultSymbolRecord();
  TSymbolProperties& p = s.Properties;
  const auto given = [&](SymbolField f) { return !values[f].empty(); };
  if (given(kElement)) p.Kind = LandMarkElementFromName(values[kElement]);
  if (given(kName)) s.Name = Utf8Left(DecodeXMLReferences(values[kName]), kSymbolNameLength);
  if (given(kCategory)) s.Category = IntegerOf(values[kCategory]);
  if (given(kColorFG)) p.FGColor = ColorOf(values[kColorFG]);
  if (given(kColorBG)) p.BGColor = ColorOf(values[kColorBG]);
  if (given(kSize)) p.Size = IntegerOf(values[kSize]);
  if (given(kTransp)) p.Transparent = FlagOf(values[kTransp]);
  if (given(kDir)) p.Direction = IntegerOf(values[kDir]);
  if (given(kLeng)) p.Length = IntegerOf(values[kLeng]);
  return s;
}

constexpr std::string_view kSymbolElements[] = {"symbol"};
const mapfile::TSetLayout kSymbolSet = {"<lmsymbols", "/lmsymbols", "</lmsymbols>",
                                        kSymbolElements};

// Entries a list of Count holds when it was read, by the growth rule of the
// files: kCapacityStep, and once the count passes a multiple of the step,
// that count plus a step.
size_t CapacityAfterReading(size_t count) {
  constexpr size_t step = kCapacityStep;
  if (count <= step) return step;
  return (count - 1) / step * step + 1 + step;
}

}  // namespace

void TSymbolRepository::StoreOnFile(const std::string& FName, const std::string& DataID) const {
  TFileReplacement out(FName);
  out.WriteLn(kGeoMapXMLDeclaration);
  out.WriteLn("");
  out.WriteLn("<!-- TGeoMap Landmark Repository / Quorvant -->");
  out.WriteLn("<lmsymbols" + WriteAttribute("sig", "Quorvant") + WriteAttribute("vers", "1.0") +
              WriteAttribute("id", EscapeXMLValue(DataID)) + ">");
  for (int32_t i = 0; i < FNEntries; ++i) out.WriteLn(SymbolLine(FSymbols[static_cast<size_t>(i)]));
  out.WriteLn("</lmsymbols>");
  out.Commit();
}

bool TSymbolRepository::ReadSet(mapfile::TSetInput& Input, const std::string& DataID) {
  mapfile::TRootPlace place;
  if (!mapfile::FindRoot(Input, kSymbolSet, DataID, nullptr, place)) return false;
  // The set is read whole before it replaces the entries, so a damaged set
  // leaves them as they were.
  std::vector<TSymbol> list;
  mapfile::ReadElements(Input, kSymbolSet, place, "Component \"" + Name() + "\": ",
                        [&](size_t, const std::string& tagText, const std::string&) {
                          if (list.size() == INT32_MAX) RaiseError("insufficient memory");
                          try {
                            list.push_back(ParseSymbol(tagText));
                          } catch (const std::bad_alloc&) {
                            RaiseError("insufficient memory");
                          }
                        });
  const size_t count = list.size();
  FSymbols.swap(list);
  FNEntries = static_cast<int32_t>(count);
  SetCapacity(CapacityAfterReading(count));
  return true;
}

bool TSymbolRepository::ReadFromOpenXMLFile(TTextFile& File, const std::string& DataID) {
  mapfile::TSetInput input(File);
  return ReadSet(input, DataID);
}

bool TSymbolRepository::LoadFromFile(const std::string& FName, const std::string& DataID) {
  return mapfile::ReadNamedFile(FName,
                                [&](TTextFile& file) { return ReadFromOpenXMLFile(file, DataID); });
}

bool TSymbolRepository::LoadFromStream(TStream& Stream, const std::string& DataID) {
  mapfile::TSetInput input(Stream);
  return ReadSet(input, DataID);
}

}  // namespace marovia
