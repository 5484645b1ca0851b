// The tag scanner of the line-oriented XML files (calibrations, landmarks,
// symbol sets): finds the next element whose tag name is in a table.
//
// The scanner reads forward from the current position of a text file or a
// byte stream and stops right after the element it reports, so that
// repeated calls walk through the elements of a file. Input is untrusted:
// any byte sequence is read in time linear in the bytes consumed, and the
// memory held is bounded by the size of the element reported.
//
// What it reads:
//   - A tag is '<' followed by its name: the characters up to a blank, '>',
//     '<' or a '/' (a '/' right after '<' belongs to the name, so "</geomap>"
//     has the name "/geomap"). Names are compared with the table entries
//     without regard to ASCII case; only whole names match ("geomapx" is not
//     "geomap").
//   - Tags whose names are not in Tags[0..High] are not elements to report:
//     the scan goes on right after their name, so elements nested in unknown
//     ones are still found. Comments ("<!-- ... -->") are skipped whole.
//   - The tag text is everything after the name up to the closing '>'. Inside
//     double quotes '<' and '>' are plain characters (attribute values are
//     written without escaping); a line end closes an open quote, since values
//     never span lines. A '<' outside quotes before the '>' means the tag is
//     broken: it is dropped and the scan resumes at that '<'.
//   - A tag that ends with "/>" closes itself: its tag text loses the '/' and
//     its content is empty. So do closing tags (names starting with '/') and
//     processing instructions (names starting with '?').
//   - Otherwise the content is the text after the '>' up to the matching
//     closing tag "</name>" (blanks allowed before its '>'), counting nested
//     elements of the same name. When the input ends before that, the content
//     is all the rest of the input.
//   - In tag texts and contents every line end (CR LF, LF or a lone CR)
//     becomes one blank, so an element reads the same whatever its line
//     layout. The bytes are Windows-1252 and are handed back as UTF-8.
#pragma once

#include <span>
#include <string>

#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"

namespace marovia {

// Reads from the text file's position (the file must be open for reading) to
// the end of the next element whose name is one of Tags[0..High], and
// answers the element's 0-based position in Tags. TagText receives the tag's
// text after its name (its attributes), Content the element's content. At
// the end of the input, without such an element, both are emptied and the
// answer is High. A High outside 0..Tags.size()-1 raises EZYLError.
int ReadNextTagInTextFile(TTextFile& TextFile, std::span<const std::string> Tags, int High,
                          std::string& TagText, std::string& Content);
int ReadNextTagInTextFile(TTextFile& TextFile, std::span<const char* const> Tags, int High,
                          std::string& TagText, std::string& Content);

// The same from the stream's position; the stream is left positioned right
// after the element reported (at its end when the answer is High).
int ReadNextTagInStream(TStream& Stream, std::span<const std::string> Tags, int High,
                        std::string& TagText, std::string& Content);
int ReadNextTagInStream(TStream& Stream, std::span<const char* const> Tags, int High,
                        std::string& TagText, std::string& Content);

}  // namespace marovia
