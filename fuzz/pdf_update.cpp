// The printer's reader of its own finished PDF files (cross-reference
// tables, trailers, catalog, page tree), from arbitrary bytes, and the
// incremental update it appends.
//
// Invariants checked: a file is refused (EPrinter) or its pages are
// counted; the update for its first page, appended, gives a file that reads
// with the same pages and takes a second update in turn.
#include "pdf_update.h"
#include "fuzz_support.h"
#include "marovia/platform/printers.h"

using namespace marovia;
using namespace marovia::print;

namespace {

// Documents of one and two small pages, the first georeferenced.
void MakeSeeds(const std::filesystem::path& Dir) {
  TPrinter& p = Printer();
  p.SetResolution(20);
  p.SetPaperSize(30, 20);
  for (const int pages : {1, 2}) {
    p.SetFileName((Dir / ("pages" + std::to_string(pages) + ".pdf")).string());
    p.BeginDoc();
    p.Canvas().FillRect(Rect(2, 2, 10, 8));
    TPageGeoreference g;
    g.Area = Rect(2, 2, 10, 8);
    g.Name = "seed";
    g.Points = {{2, 2, 47, 8}, {10, 2, 47, 9}, {2, 8, 46, 8}};
    p.AddGeoreference(g);
    for (int k = 1; k < pages; ++k) p.NewPage();
    p.EndDoc();
  }
}

PdfReadAt Reader(const std::string& Bytes) {
  return [&Bytes](uint64_t Offset, size_t Length) {
    return Offset >= Bytes.size() ? std::string() : Bytes.substr(Offset, Length);
  };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeSeedsIfAsked(MakeSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string file(fuzz::AsText(Data, Size));
  size_t pages = 0;
  if (!fuzz::Refusing([&] { pages = PdfPageCount(Reader(file), file.size()); })) return 0;
  if (pages == 0) return 0;
  const PdfUpdateRequest request{{"/VP [] /Fuzz 1"}, "/Fuzz 2"};
  std::string update;
  if (!fuzz::Refusing([&] { update = PdfIncrementalUpdate(Reader(file), file.size(), request); })) {
    return 0;  // an object the page count did not need may still be damaged
  }
  fuzz::Check(!update.empty(), "no update for a page with entries");
  file += update;
  size_t again = 0;
  fuzz::Check(fuzz::Refusing([&] { again = PdfPageCount(Reader(file), file.size()); }),
              "the updated file is refused");
  fuzz::Check(again == pages, "the update changed the page count");
  fuzz::Check(fuzz::Refusing([&] { PdfIncrementalUpdate(Reader(file), file.size(), request); }),
              "the updated file takes no second update");
  return 0;
}
