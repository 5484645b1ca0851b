// The reader core of the map files: input, root-line search, element loop.
#include "files/map_file_reader.h"

#include <algorithm>
#include <array>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/tagscan.h"

namespace marovia::mapfile {

namespace {

// The scanner's table for a kind: the shared tag table without its end
// marker, the kind's own names it lacks, and "invalidtag" last (the answer
// at the end of the input). Keeping the shared names in place keeps how
// elements of the other kinds nested in a set are skipped.
std::vector<std::string> ScannerTags(const TSetLayout& layout) {
  std::vector<std::string> tags(GeoMapXMLTags.begin(), GeoMapXMLTags.end() - 1);
  for (const std::string_view name : layout.Elements)
    if (std::find(tags.begin(), tags.end(), name) == tags.end()) tags.emplace_back(name);
  tags.emplace_back(GeoMapXMLTags.back());
  return tags;
}

// Line ends in the bytes of Block, a lone CR, CR LF and LF each counting
// once; PendingCR carries a CR at the end of one block into the next.
int64_t CountLineEnds(std::string_view block, bool& pendingCR) {
  int64_t n = 0;
  for (const char c : block) {
    if (c == '\n') {
      if (!pendingCR) ++n;
      pendingCR = false;
    } else {
      if (pendingCR) pendingCR = false;
      if (c == '\r') {
        ++n;
        pendingCR = true;
      }
    }
  }
  return n;
}

}  // namespace

bool TSetInput::NextLine(std::string& Line) {
  if (file_ != nullptr) {
    if (file_->Eof()) return false;
    Line = Cp1252ToUtf8(file_->ReadLn());
    return true;
  }
  bool endOfStream = false;
  Line = ReadLineFromStream(*stream_, endOfStream, 0);
  return !endOfStream || !Line.empty();
}

int TSetInput::NextTag(std::span<const std::string> Tags, std::string& TagText,
                       std::string& Content) {
  const int high = static_cast<int>(Tags.size()) - 1;
  if (file_ != nullptr) return ReadNextTagInTextFile(*file_, Tags, high, TagText, Content);
  return ReadNextTagInStream(*stream_, Tags, high, TagText, Content);
}

int64_t TSetInput::Offset() {
  return file_ != nullptr ? file_->TextPos() : stream_->Position();
}

std::string TSetInput::SourceText() const {
  return file_ != nullptr ? "file \"" + file_->FileName() + "\"" : "the stream";
}

int64_t TSetInput::LineAt(int64_t Offset) {
  int64_t ends = 0;
  bool pendingCR = false;
  if (file_ != nullptr) {
    // A second reader of the same file, so the caller's position stays.
    TTextFile again(file_->FileName());
    again.Reset();
    for (int64_t left = Offset; left > 0;) {
      const std::string_view block = again.PeekBlock();
      if (block.empty()) break;
      const size_t take = static_cast<size_t>(std::min<int64_t>(left, std::ssize(block)));
      ends += CountLineEnds(block.substr(0, take), pendingCR);
      again.SkipBytes(take);
      left -= static_cast<int64_t>(take);
    }
    again.CloseFile();
  } else {
    const int64_t keep = stream_->Position();
    stream_->SetPosition(0);
    std::array<char, 4096> buf;
    for (int64_t left = Offset; left > 0;) {
      const int64_t got = stream_->Read(buf.data(), std::min<int64_t>(left, std::ssize(buf)));
      if (got <= 0) break;
      ends += CountLineEnds(std::string_view(buf.data(), static_cast<size_t>(got)), pendingCR);
      left -= got;
    }
    stream_->SetPosition(keep);
  }
  return ends + 1;
}

bool FindRoot(TSetInput& Input, const TSetLayout& Layout, const std::string& DataID,
              const std::function<void(const TRootLine&)>& OnRootLine, TRootPlace& Place) {
  const std::string wanted = LowerCase(DataID);
  Place.SearchStart = Input.Offset();
  Place.LinesRead = 0;
  std::string line;
  while (Input.NextLine(line)) {
    ++Place.LinesRead;
    const std::string lower = LowerCase(line);
    if (lower.find(Layout.Root) == std::string::npos || lower.find("quorvant") == std::string::npos)
      continue;
    TRootLine root{line, lower, RootLineIdentifier(line)};
    if (OnRootLine) OnRootLine(root);
    if (wanted.empty() || root.Id == wanted) return true;
  }
  return false;
}

void ReadElements(
    TSetInput& Input, const TSetLayout& Layout, const TRootPlace& Place,
    const std::string& ErrorPrefix,
    const std::function<void(size_t, const std::string&, const std::string&)>& OnElement) {
  const std::vector<std::string> tags = ScannerTags(Layout);
  const int endOfInput = static_cast<int>(tags.size()) - 1;
  // Scanner position -> index in Layout.Elements (-1: skipped, -2: the end).
  std::vector<int> index(tags.size(), -1);
  for (size_t t = 0; t < tags.size(); ++t) {
    if (tags[t] == Layout.EndTag) index[t] = -2;
    for (size_t e = 0; e < Layout.Elements.size(); ++e)
      if (tags[t] == Layout.Elements[e]) index[t] = static_cast<int>(e);
  }
  std::string tagText, content;
  for (;;) {
    const int tag = Input.NextTag(tags, tagText, content);
    if (tag == endOfInput) break;
    const int e = index[static_cast<size_t>(tag)];
    if (e == -2) return;
    if (e >= 0) OnElement(static_cast<size_t>(e), tagText, content);
  }
  const int64_t line = Input.LineAt(Place.SearchStart) + Place.LinesRead - 1;
  throw EZYLGeoMapError(ErrorPrefix + Input.SourceText() + ": the data set of line " +
                        std::to_string(line) + " ends before " + std::string(Layout.EndText));
}

bool ReadNamedFile(const std::string& FName, const std::function<bool(TTextFile&)>& Read) {
  TTextFile file(FName);
  try {
    file.Reset();
  } catch (const EInOutError&) {
    return false;
  }
  const bool answer = Read(file);
  file.CloseFile();
  return answer;
}

}  // namespace marovia::mapfile
