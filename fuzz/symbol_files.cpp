// Symbol files: TSymbolRepository::ReadFromOpenXMLFile on the input as a
// file, set after set, LoadFromStream on it as a stream alongside, and
// LoadFromFile of it, with a StoreOnFile round trip of what was read.
//
// Invariants checked: no more entries than elements could fit in the input;
// the capacity follows its growth rule; names at most 40 characters, shapes
// valid values; the backup untouched by reading; the
// entries stored and loaded back are equal, field by field; the file and
// the stream reader agree set by set; a refused set leaves the entries.
#include <algorithm>

#include "fuzz_support.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/strutils.h"

using namespace marovia;

namespace {

constexpr int kMaxSets = 4;

std::vector<TSymbol> EntriesOf(const TSymbolRepository& repo) {
  std::vector<TSymbol> v;
  for (int32_t i = 1; i <= repo.NumEntries(); ++i) v.push_back(repo.Symbols(i));
  return v;
}

// The entries of a set just read.
void CheckEntries(const TSymbolRepository& repo, size_t tags) {
  const int32_t n = repo.NumEntries();
  fuzz::Check(n >= 0 && static_cast<size_t>(n) <= tags, "more entries than tags");
  // 1000 entries, then 1000 more than the count each time it passes a
  // multiple of 1000: 1001 entries leave room for 2001.
  fuzz::Check(repo.Capacity() == (n <= 1000 ? 1000 : (n - 1) / 1000 * 1000 + 1001),
              "capacity off its growth rule");
  for (const TSymbol& s : EntriesOf(repo)) {
    fuzz::Check(Utf8Length(s.Name) <= kSymbolNameLength, "name too long");
    const TLandMarkElement kind = s.Properties.Kind;
    fuzz::Check(kind < kNumLandMarkElements, "shape outside TLandMarkElement");
  }
}

void CheckRoundTrip(const TSymbolRepository& repo) {
  const auto path = (fuzz::ScratchDir() / "written.xml").string();
  repo.StoreOnFile(path, "fuzz");
  TSymbolRepository back(nullptr);
  fuzz::Check(back.LoadFromFile(path, "fuzz"), "written set not found");
  fuzz::Check(EntriesOf(back) == EntriesOf(repo), "entries changed by a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view input = fuzz::AsText(Data, Size);
  const auto tags = static_cast<size_t>(std::count(input.begin(), input.end(), '<'));
  const auto path = (fuzz::ScratchDir() / "symbols.xml").string();
  fuzz::WriteFile(path, input);

  // A backup that reading must leave alone.
  TSymbolRepository repo(nullptr);
  repo.SetNEntries(2);
  repo.Backup();

  TTextFile file(path);
  file.Reset();
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  // A text file also ends a line at a lone CR, a stream only at LF: with
  // one in the input the two may find other root lines.
  bool sameLines = true;
  for (size_t i = 0; i < Size; ++i)
    if (Data[i] == '\r' && (i + 1 == Size || Data[i + 1] != '\n')) sameLines = false;
  TSymbolRepository fromStream(nullptr);  // starts as repo does
  fromStream.SetNEntries(2);
  std::vector<TSymbol> first;
  bool firstFound = false;
  for (int set = 0; set < kMaxSets; ++set) {
    const std::vector<TSymbol> before = EntriesOf(repo);
    bool found = false, foundInStream = false;
    const bool clean = fuzz::Refusing([&] { found = repo.ReadFromOpenXMLFile(file, ""); });
    const bool cleanInStream =
        fuzz::Refusing([&] { foundInStream = fromStream.LoadFromStream(stream, ""); });
    fuzz::Check(!sameLines || (clean == cleanInStream && found == foundInStream &&
                               EntriesOf(fromStream) == EntriesOf(repo)),
                "file and stream readers disagree");
    if (!clean) fuzz::Check(EntriesOf(repo) == before, "a refused set changed the entries");
    if (set == 0 && clean && found) {
      first = EntriesOf(repo);
      firstFound = true;
    }
    if (!clean || !found) break;
    CheckEntries(repo, tags);
    CheckRoundTrip(repo);
  }
  file.CloseFile();

  // LoadFromFile reads the first set, as the loop's first round did.
  TSymbolRepository loaded(nullptr);
  bool found = false;
  if (fuzz::Refusing([&] { found = loaded.LoadFromFile(path, ""); })) {
    fuzz::Check(found == firstFound && (!found || EntriesOf(loaded) == first),
                "LoadFromFile reads another first set");
  }
  repo.Restore();
  fuzz::Check(repo.NumEntries() == 2 && repo.Symbols(1) == TSymbol{}, "reading changed the backup");
  return 0;
}
