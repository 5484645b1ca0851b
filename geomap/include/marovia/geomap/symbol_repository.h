// TSymbolRepository: a non-visual component holding a numbered list of named
// landmark symbols (shape, size, colours, direction, length) with a category
// for the host's grouping, from which a host picks the symbol of new
// landmarks. The list is kept in symbol files, several sets to a file.
//
// Sources: symbol_repository.cpp (the list), symbol_files.cpp (the files).
//
// Symbol file, as StoreOnFile writes it (Windows-1252, lines ended by CR LF;
// attribute values escaped with EscapeXMLValue):
//
//   <?xml version="1.0" encoding="windows-1252"?>
//   (empty line)
//   <!-- TGeoMap Landmark Repository / Quorvant -->
//   <lmsymbols sig="Quorvant" vers="1.0" id="{DataID}">
//   <symbol element="{shape}" name="{Name}" category="{Category}"
//           colorfg="{FGColor}" colorbg="{BGColor}" size="{Size}"
//           transp="{Transparent}" dir="{Direction}" leng="{Length}" />
//   ... one "symbol" line per entry, in list order ...
//   </lmsymbols>
//
// {shape} is the LMTypeNames entry of the shape, colours are 8 hexadecimal
// digits, {Transparent} "TRUE" or "FALSE", the other numbers decimal. (The
// "symbol" element stands on one line; it is wrapped here only.)
//
// Reading a set: the root line is the first line that, lower-cased, holds
// "<lmsymbols" and "quorvant" and whose id (trimmed, compared without regard
// to ASCII case) equals the requested one, or any root line when the request
// is empty. Then every "symbol" element up to "</lmsymbols>" becomes an
// entry. Each entry starts as DefaultSymbolRecord, and an attribute that is
// missing or empty keeps the default's value. Attribute names are matched
// without regard to case, in any order; the lookup stops at the first
// malformed attribute, so later ones count as missing. Unreadable numbers
// give 0, unknown shape names lmCross. A set must end with "</lmsymbols>":
// a set cut before it is refused (EZYLGeoMapError naming the file and the
// set's line).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marovia/geomap/landmark.h"
#include "marovia/platform/classes.h"
#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"

namespace marovia {

namespace mapfile {
class TSetInput;
}

// Longest symbol name in characters; longer names are cut.
constexpr int kSymbolNameLength = 40;

struct TSymbol {
  TSymbolProperties Properties;
  std::string Name;  // UTF-8, at most kSymbolNameLength characters in the list
  int32_t Category = 0;
  friend bool operator==(const TSymbol&, const TSymbol&) = default;
};

// The default symbol: a black cross of size 8 on red, opaque, direction 90,
// length 40, no name, category 0. (A TSymbol{} is all zeros: shape lmPlus.)
TSymbol DefaultSymbolRecord();

class TSymbolRepository : public TComponent {
 public:
  // Empty, with room for 1000 entries and an empty backup.
  explicit TSymbolRepository(TComponent* AOwner);
  std::string ClassName() const override { return "TSymbolRepository"; }

  // ---- the list (entries 1..NumEntries)

  int32_t NumEntries() const { return FNEntries; }
  void SetNumEntries(int32_t Value) { SetNEntries(Value); }
  // For n >= 0 the count becomes n and the capacity exactly n; entries that
  // this adds are all zero (shape lmPlus, not the default symbol). A
  // negative n is ignored.
  void SetNEntries(int32_t n);

  // Entries held without reallocation (at least NumEntries).
  int32_t Capacity() const { return static_cast<int32_t>(FSymbols.size()); }

  TSymbol Symbols(int32_t ix) const { return GetValues(ix); }
  void SetSymbols(int32_t ix, const TSymbol& Value) { SetValues(ix, Value); }
  // A copy of entry ix for 1 <= ix <= NumEntries, else DefaultSymbolRecord.
  TSymbol GetValues(int32_t ix) const;
  // Stores a copy of v (its name cut to kSymbolNameLength characters) at
  // entry ix for 1 <= ix <= NumEntries; does nothing otherwise.
  void SetValues(int32_t ix, const TSymbol& v);

  // Every entry becomes DefaultSymbolRecord; the count stays.
  void Clear();
  // Copies the entries into the backup (replacing the previous one).
  void Backup();
  // The entries become those of the backup, the capacity exactly their
  // count. The backup stays, so Restore can be repeated.
  void Restore();

  // From another TSymbolRepository: copies of its entries and its backup
  // (the two repositories share nothing afterwards). Any other source is
  // handed to the inherited Assign (EConvertError for unsupported pairs).
  void Assign(const TPersistent& Source) override;
  // Into another TSymbolRepository: Dest.Assign(*this). Any other Dest is
  // handed to the inherited AssignTo (EConvertError).
  void AssignTo(TPersistent& Dest) const override;

  // ---- files (symbol_files.cpp)

  // Writes all entries as the set DataID into FName, replacing the file
  // whole: a save that fails leaves an existing file as it was. Failures
  // raise EInOutError naming FName.
  void StoreOnFile(const std::string& FName, const std::string& DataID) const;
  // Reads the set DataID (the first set when DataID is empty) from a text
  // file open for reading, from its current position. When the set is
  // found the entries are replaced by those read (once the set is read
  // whole) and the answer is true; otherwise they stay as they are. The
  // backup is never touched. The file is left after the set's end, so a
  // further call reads on from there. Read errors raise EInOutError; a set
  // cut before its "</lmsymbols>" raises EZYLGeoMapError naming the file
  // and the set's line, and leaves the entries as they were.
  bool ReadFromOpenXMLFile(TTextFile& File, const std::string& DataID);
  // Opens FName, reads the set and closes the file. A file that cannot be
  // opened gives false without an exception.
  bool LoadFromFile(const std::string& FName, const std::string& DataID);
  // The same from the stream's current position; the stream is left after
  // the set.
  bool LoadFromStream(TStream& Stream, const std::string& DataID);

 private:
  // The set DataID from Input (ReadFromOpenXMLFile, LoadFromStream).
  bool ReadSet(mapfile::TSetInput& Input, const std::string& DataID);
  // "Component \"<Name>\": " + Text, as an EZYLGeoMapError.
  [[noreturn]] void RaiseError(const std::string& Text) const;
  // Resizes the entry array; a failed allocation raises "insufficient
  // memory" instead of std::bad_alloc.
  void SetCapacity(size_t n);

  std::vector<TSymbol> FSymbols;     // size() is the capacity
  std::vector<TSymbol> FSymbolsBak;  // exactly FNEntriesBak entries
  int32_t FNEntries = 0;
  int32_t FNEntriesBak = 0;
};

}  // namespace marovia
