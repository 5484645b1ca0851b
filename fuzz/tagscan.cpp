// Tag scanner: walks the input element by element with the tag table of the
// map files, once from a byte stream and once from a text file.
//
// Invariants checked: every element reported moves the reader forward (so a
// file of n bytes yields at most n elements); the stream ends right after the
// last element; the stream and the text file see the same elements with the
// same tag texts and contents.
#include <array>

#include "fuzz_support.h"
#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"
#include "marovia/zylbase/tagscan.h"

using namespace marovia;

namespace {

// The tag table of the calibration, landmark and symbol files; the last
// entry is what the scanner answers at the end of the input.
constexpr std::array<const char*, 16> kTags = {
    "geomap",       "/geomap",  "calline",   "corners",   "resolution", "gmlandmarks",
    "/gmlandmarks", "landmark", "calquads",  "lmsymbols", "/lmsymbols", "symbol",
    "utmzone",      "utmsouth", "ellipsoid", "invalidtag"};
constexpr int kHigh = static_cast<int>(kTags.size()) - 1;

struct Element {
  int Tag;
  std::string Text, Content;
  bool operator==(const Element&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view input = fuzz::AsText(Data, Size);

  std::vector<Element> fromStream;
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);
  for (;;) {
    Element e;
    const int64_t before = stream.Position();
    e.Tag = ReadNextTagInStream(stream, kTags, kHigh, e.Text, e.Content);
    fuzz::Check(e.Tag >= 0 && e.Tag <= kHigh, "tag position outside the table");
    const bool atEnd = stream.Position() == static_cast<int64_t>(Size);
    // High is also the position of an element of that name, which may come
    // anywhere; the end of the input is High with nothing read.
    if (e.Tag == kHigh && atEnd && e.Text.empty() && e.Content.empty()) break;
    fuzz::Check(stream.Position() > before, "element reported without reading");
    fromStream.push_back(std::move(e));
    fuzz::Check(fromStream.size() <= Size, "more elements than bytes");
  }

  const auto path = fuzz::ScratchDir() / "scan.xml";
  fuzz::WriteFile(path, input);
  TTextFile file(path.string());
  file.Reset();
  for (size_t i = 0;; ++i) {
    Element e;
    e.Tag = ReadNextTagInTextFile(file, kTags, kHigh, e.Text, e.Content);
    if (e.Tag == kHigh && e.Text.empty() && e.Content.empty() && file.Eof()) {
      fuzz::Check(i == fromStream.size(), "text file yields fewer elements than the stream");
      break;
    }
    fuzz::Check(i < fromStream.size(), "text file yields more elements than the stream");
    fuzz::Check(e == fromStream[i], "text file and stream read an element differently");
  }
  file.CloseFile();
  return 0;
}
