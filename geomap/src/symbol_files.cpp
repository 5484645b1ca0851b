// Symbol files of TSymbolRepository: StoreOnFile, ReadFromOpenXMLFile,
// LoadFromFile. The format is described in symbol_repository.h.
#include <array>
#include <climits>

#include "marovia/geomap/shape_names.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/tagscan.h"
#include "marovia/zylmath/math1.h"
#include "replace_file.h"

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

// Reads lines up to and including the root line of the wanted set (wanted:
// lower-cased, empty for the first set); false at the end of the file.
bool FindSymbolSet(TTextFile& file, const std::string& wanted) {
  while (!file.Eof()) {
    const std::string line = file.ReadLn();
    const std::string lower = LowerCase(line);
    if (lower.find("<lmsymbols") == std::string::npos ||
        lower.find("quorvant") == std::string::npos)
      continue;
    if (wanted.empty() || RootLineIdentifier(Cp1252ToUtf8(line)) == wanted) return true;
  }
  return false;
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

bool TSymbolRepository::ReadFromOpenXMLFile(TTextFile& File, const std::string& DataID) {
  if (!FindSymbolSet(File, LowerCase(DataID))) return false;
  FNEntries = 0;
  SetCapacity(kCapacityStep);
  std::string tagText, content;
  for (;;) {
    const int tag =
        ReadNextTagInTextFile(File, GeoMapXMLTags, kGeoMapXMLTagsHigh, tagText, content);
    if (tag == kTagSymbolsEnd || tag == kTagInvalid) break;
    if (tag != kTagSymbol) continue;
    if (FNEntries == INT32_MAX) RaiseError("insufficient memory");
    const int32_t count = FNEntries + 1;
    // Grows by a step each time the count passes a multiple of the step.
    if (count > kCapacityStep && count % kCapacityStep == 1)
      SetCapacity(static_cast<size_t>(count) + kCapacityStep);
    FSymbols[static_cast<size_t>(count) - 1] = ParseSymbol(tagText);
    FNEntries = count;
  }
  return true;
}

bool TSymbolRepository::LoadFromFile(const std::string& FName, const std::string& DataID) {
  TTextFile file(FName);
  try {
    file.Reset();
  } catch (const EInOutError&) {
    return false;
  }
  const bool found = ReadFromOpenXMLFile(file, DataID);
  file.CloseFile();
  return found;
}

}  // namespace marovia
