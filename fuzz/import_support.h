// What the two importer targets of the geodb tool share: a fresh database
// per input, the tool's refusals, and the checks made after an import.
#pragma once

#include <sstream>

#include "fuzz_support.h"
#include "importexport.h"
#include "json.h"
#include "marovia/geodb/geodb.h"

namespace marovia::fuzz {

// Runs Body; the tool's own errors (ImportError, JsonError) and the
// library's are clean refusals of the input.
template <class F>
bool RefusingImport(F&& Body) {
  try {
    return Refusing(Body);
  } catch (const geodbtool::ImportError&) {
    return false;
  } catch (const geodbtool::JsonError&) {
    return false;
  }
}

// Options of an import from the low bits of the input's length, so that
// plain files serve as seeds.
inline geodbtool::ImportOptions OptionsFor(size_t Size) {
  static constexpr TgdbItem kLine[] = {gitRoad, gitRiver, gitRoute, gitBorder};
  static constexpr TgdbItem kArea[] = {gitBorder, gitLake, gitCity, gitRoad};
  geodbtool::ImportOptions o;
  o.LineKind = kLine[Size & 3];
  o.PolygonKind = kArea[(Size >> 2) & 3];
  return o;
}

// A new, empty database in the scratch directory. Lazy writing spares the
// index files being rewritten after every item.
inline void OpenFresh(TGeoDB& Db) {
  const std::string base = (ScratchDir() / "import").string();
  for (const char* ext :
       {".zylgds", ".zylgdd", ".zylgi0", ".zylgi1", ".zylgi2", ".zylgi3", ".zylgi4"})
    std::filesystem::remove(base + ext);
  Db.SetName("Import");
  Db.SetLazyWrite(true);
  Db.SetDBName(base);
}

// After an import: the report counts what was added, and the export of every
// entry is a JSON text that reads back.
inline void CheckImported(TGeoDB& Db, const geodbtool::ImportReport& Report) {
  Check(Db.NumEntries() == Report.Towns + Report.Polygons, "report and database disagree");
  std::vector<int> all;
  for (int k = 1; k <= Db.NumEntries(); ++k) all.push_back(k);
  std::ostringstream out;
  const geodbtool::ExportReport exported = geodbtool::ExportGeoJson(Db, all, out);
  Check(exported.Features == Db.NumEntries(), "export left out entries");
  try {
    const geodbtool::JsonValue doc = geodbtool::ParseJson(out.str());
    const geodbtool::JsonValue* features = doc.Find("features");
    Check(features != nullptr && features->array.size() == all.size(),
          "export holds another number of features");
  } catch (const geodbtool::JsonError&) {
    Finding("export is not valid JSON");
  }
}

}  // namespace marovia::fuzz
