// The geodb tool's GeoJSON importer, with the JSON reader under it.
// Checks what import_support.h describes.
#include "import_support.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TGeoDB db(nullptr);
  fuzz::OpenFresh(db);
  geodbtool::ImportReport report;
  if (fuzz::RefusingImport([&] {
        report = geodbtool::ImportGeoJson(db, fuzz::AsText(Data, Size), fuzz::OptionsFor(Size));
      }))
    fuzz::CheckImported(db, report);
  db.SetDBName("");
  return 0;
}
