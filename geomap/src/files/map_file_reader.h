// The reader core of the three map-file kinds (calibrations, landmark sets,
// symbol sets): one input over an open text file or a stream, one search for
// a data set's root line, one element loop, and one "open the named file or
// answer false".
//
// A data set, as every kind is read:
//   - Lines before its root line are not interpreted. A root line is a line
//     that, lower-cased, holds both the kind's root ("<geomap") and
//     "quorvant"; the whole root element stands on that one line. Its id is
//     the text of the first `id="` up to the next '"', trimmed, compared
//     without regard to case with the wanted one (an empty request takes the
//     first set).
//   - After the root line the elements are walked with the tag scanner until
//     the kind's end tag ("</geomap>"). Elements the kind does not read are
//     skipped.
//   - A set whose end tag never comes is damaged: the input was cut, inside
//     an element or between two. That raises EZYLGeoMapError naming the
//     source and the line of the set's root line, so a cut file is never
//     taken for a complete one. Files the writers produce always close
//     their sets.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"

namespace marovia::mapfile {

// Where a reader takes its lines and elements from: an open text file or a
// stream, both at their current position. Every line and element is handed
// over as UTF-8.
class TSetInput {
 public:
  explicit TSetInput(TTextFile& File) : file_(&File) {}
  explicit TSetInput(TStream& Stream) : stream_(&Stream) {}

  // The next line, without its line end; false when no line was left to
  // read (a last line without a line end is still answered).
  bool NextLine(std::string& Line);
  // The next element whose name is in Tags[0..High]: its position, High at
  // the end of the input.
  int NextTag(std::span<const std::string> Tags, std::string& TagText, std::string& Content);

  // Byte offset of the read position in the file or stream.
  int64_t Offset();
  // "file \"<name>\"" or "the stream", for messages.
  std::string SourceText() const;
  // The 1-based line that starts at byte Offset: the line ends before it
  // counted from the start of the file or stream. The read position is
  // kept.
  int64_t LineAt(int64_t Offset);

 private:
  TTextFile* file_ = nullptr;
  TStream* stream_ = nullptr;
};

// The layout of one file kind as the core needs it.
struct TSetLayout {
  std::string_view Root;     // lower case, with '<': "<geomap"
  std::string_view EndTag;   // "/geomap"
  std::string_view EndText;  // for messages: "</geomap>"
  // Names of the elements the kind reads, lower case; an element's index
  // here is what the element loop hands on.
  std::span<const std::string_view> Elements;
};

// A root line met by the search.
struct TRootLine {
  std::string_view Line;   // as read (UTF-8)
  std::string_view Lower;  // lower-cased
  std::string Id;          // trimmed, references decoded, lower-cased
};

// Where a matching root line stands: the byte offset at which the search
// began and the number of lines read up to and including the root line.
// The line number itself is only worked out for a message.
struct TRootPlace {
  int64_t SearchStart = 0;
  int64_t LinesRead = 0;
};

// Reads lines up to and including the root line of the set DataID.
// OnRootLine (may be empty) sees every root line passed on the way, the
// matching one last. False when the input ends without a match.
bool FindRoot(TSetInput& Input, const TSetLayout& Layout, const std::string& DataID,
              const std::function<void(const TRootLine&)>& OnRootLine, TRootPlace& Place);

// Walks the elements of the set whose root line (at Place) was just read, calling OnElement(index
// in Layout.Elements, tag text, content) for each element the kind reads, up to the end tag; the
// input is left right after it. When the input ends first, raises EZYLGeoMapError
// "<ErrorPrefix><source>: the data set of line <n> ends before <end tag>".
void ReadElements(
    TSetInput& Input, const TSetLayout& Layout, const TRootPlace& Place,
    const std::string& ErrorPrefix,
    const std::function<void(size_t, const std::string&, const std::string&)>& OnElement);

// Opens FName for reading and answers Read(file); false, without an
// exception, when the file cannot be opened. The file is closed afterwards,
// also when Read raises.
bool ReadNamedFile(const std::string& FName, const std::function<bool(TTextFile&)>& Read);

}  // namespace marovia::mapfile
