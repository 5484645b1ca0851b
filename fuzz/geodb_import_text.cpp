// The geodb tool's text importer: records, fields, numbers and point lists.
// Checks what import_support.h describes.
#include "import_support.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TGeoDB db(nullptr);
  fuzz::OpenFresh(db);
  std::istringstream in(std::string(fuzz::AsText(Data, Size)));
  geodbtool::ImportReport report;
  if (fuzz::RefusingImport(
          [&] { report = geodbtool::ImportText(db, in, "fuzz.txt", fuzz::OptionsFor(Size)); }))
    fuzz::CheckImported(db, report);
  db.SetDBName("");
  return 0;
}
