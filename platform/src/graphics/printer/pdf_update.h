// Extending a finished PDF file by an incremental update: new versions of
// some of its page objects and of its catalog, appended after the file's
// end with a cross-reference section of their own and a trailer that points
// back to the previous one (/Prev). Every byte already written stays as it
// is, and every conforming reader takes the newest version of an object.
//
// The reader here knows only what such an update needs, of files with
// classic cross-reference tables (as the printer's PDF writer makes them):
// the chain of trailers, the catalog, the page tree and the page
// dictionaries. A file with cross-reference streams, or anything it cannot
// follow, raises EPrinter saying what; every offset and count read from the
// file is checked against the file's size before it is used, so no number
// in the file decides an allocation.
//
// Layout of what is appended:
//   N G obj << ...page entries..., added entries >> endobj     per page changed
//   R G obj << ...catalog entries..., added entries >> endobj  when pages change
//   xref, one subsection per run of consecutive object numbers
//   trailer << the previous trailer's entries, /Prev offset >>
//   startxref offset %%EOF
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace marovia::print {

// Reads up to Length bytes of the file at Offset (fewer at its end).
using PdfReadAt = std::function<std::string(uint64_t Offset, size_t Length)>;

struct PdfUpdateRequest {
  // Entries for page i (in page order, from 0), as dictionary text
  // ("/Key value /Key value"); they replace entries of the same name. Pages
  // without entries (or beyond the list) stay as they are.
  std::vector<std::string> PageEntries;
  // Entries for the catalog, added whenever a page changes.
  std::string CatalogEntries;
};

// The bytes to append to a complete PDF file of FileSize bytes, read
// through Read, so that it carries Request's entries; empty when Request
// changes no page. Raises EPrinter when the file cannot be followed, or
// when Request names more pages than the file has.
std::string PdfIncrementalUpdate(const PdfReadAt& Read, uint64_t FileSize,
                                 const PdfUpdateRequest& Request);

// Number of pages of the complete PDF file, read as PdfIncrementalUpdate
// reads it (EPrinter likewise).
size_t PdfPageCount(const PdfReadAt& Read, uint64_t FileSize);

}  // namespace marovia::print
