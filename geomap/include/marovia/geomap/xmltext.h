// Text routines of the map control's XML files (calibrations, landmark sets,
// symbol sets): the tag table the readers hand to the tag scanner, number and
// Boolean formatting, substring search, line reading from streams, attribute
// and number scanning in tag texts, and XML character references.
//
// The files are not general XML. Readers find the root line of a data set by
// substring search and then walk the elements with the tag scanner
// (marovia/zylbase/tagscan.h); the routines here pick values out of the tag
// texts and contents it answers.
//
// Texts are UTF-8. Positions are 1-based byte positions in the UTF-8 text
// (0 means "not found"); every position a routine answers lies on a byte the
// caller can index, or one past the end. Positions below 1 count as 1. No
// routine here keeps state.
//
// Sources: xmltext_format.cpp (StrFixed, BoolToWord, TrimBlanks, PosOfNth),
// xmltext_lines.cpp (ReadLineFromStream), xmltext_attributes.cpp
// (NextAttribute, AttributeValue, AttributeText, RootLineIdentifier,
// WriteAttribute),
// xmltext_numbers.cpp
// (ScanInteger, ScanNumber), xmltext_references.cpp (EscapeXMLValue,
// DecodeXMLReferences).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "marovia/platform/streams.h"

namespace marovia {

// ---------------------------------------------------------------- tag table

// The element names of all three file kinds. Every reader passes this whole
// table with the highest position kGeoMapXMLTagsHigh to
// ReadNextTagInTextFile / ReadNextTagInStream, which answer a position in
// it. "invalidtag" is never written: the scanner answers its position at the
// end of the input, which ends every reader's element loop.
inline constexpr std::array<const char*, 19> GeoMapXMLTags = {
    "geomap",        // 0  root of a calibration set
    "/geomap",       // 1  end of a calibration set
    "calline",       // 2  one calibration line
    "corners",       // 3  the four corner coordinates
    "resolution",    // 4  the resolution
    "gmlandmarks",   // 5  root of a landmark set
    "/gmlandmarks",  // 6  end of a landmark set
    "landmark",      // 7  one landmark
    "calquads",      // 8  the calibration quadruples
    "lmsymbols",     // 9  root of a symbol set
    "/lmsymbols",    // 10 end of a symbol set
    "symbol",        // 11 one symbol
    "utmzone",       // 12 UTM zone
    "utmsouth",      // 13 UTM hemisphere flag
    "ellipsoid",     // 14 ellipsoid identifier
    "crs",           // 15 CRS text of the projected model
    "polyorder",     // 16 polynomial order of the projected model
    "smoothing",     // 17 smoothing of the thin-plate model
    "invalidtag"     // 18 end of input
};
constexpr int kGeoMapXMLTagsHigh = 18;

// Positions in GeoMapXMLTags, for the readers' element loops.
constexpr int kTagGeoMap = 0;
constexpr int kTagGeoMapEnd = 1;
constexpr int kTagCalLine = 2;
constexpr int kTagCorners = 3;
constexpr int kTagResolution = 4;
constexpr int kTagLandmarks = 5;
constexpr int kTagLandmarksEnd = 6;
constexpr int kTagLandmark = 7;
constexpr int kTagCalQuads = 8;
constexpr int kTagSymbols = 9;
constexpr int kTagSymbolsEnd = 10;
constexpr int kTagSymbol = 11;
constexpr int kTagUTMZone = 12;
constexpr int kTagUTMSouth = 13;
constexpr int kTagEllipsoid = 14;
constexpr int kTagCrs = 15;
constexpr int kTagPolyOrder = 16;
constexpr int kTagSmoothing = 17;
constexpr int kTagInvalid = 18;

// The first line of a file written with the header flag (and of every
// symbol file). It names the encoding the files are written in, so that XML
// tools read the bytes as they are meant; the readers skip it like any line
// before the root line.
inline constexpr std::string_view kGeoMapXMLDeclaration =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";

// ---------------------------------------------------------------- formatting

// Value in fixed point with Decimals decimals ("." as separator, halves
// rounded away from zero on the shortest decimal that reads back as the
// value), right-aligned in a field of |Width| characters (wider when the
// number needs it).
// - Width < 0: zero fill. The leading blanks become "0" and a "-" after them
//   moves to the front: StrFixed(-1.5, -8, 2) is "-0001.50".
// - Decimals == -2: exponent form "d.ddd...E+dd" in a field of |Width|
//   (|Width| - 7 fraction digits, at least 1, at most 17), with blank or "-"
//   in front. An exponent of three digits does not fit its two places: the
//   whole field is then filled with "*". Other negative Decimals count as 0.
// - NaN and infinities give "NAN", "INF", "-INF", right-aligned.
// |Width| above 1000 or Decimals above 1000 raise ERangeError.
std::string StrFixed(double Value, int Width, int Decimals);

// Style 0 "TRUE"/"FALSE", 1 "T"/"F", 2 ".T."/".F.", 3 "1"/"0", 4 "-1"/"0",
// 5 "FF"/"00", 6 "YES"/"NO", 7 "GOOD"/"BAD"; any other style as style 0.
std::string BoolToWord(bool Value, int Style);

// Position in Text of the N-th non-overlapping occurrence of Pattern at or
// after Start; 0 when N < 1, Pattern is empty or there are fewer
// occurrences. IgnoreCase compares with ASCII letters folded.
int PosOfNth(std::string_view Pattern, std::string_view Text, int Start, int N, bool IgnoreCase);

// Text without leading and trailing blanks (U+0020 only: tabs stay).
std::string TrimBlanks(std::string_view Text);

// ---------------------------------------------------------------- lines

// Reads one line from the stream's position, one byte per Windows-1252
// character, and answers it as UTF-8. EndOfStream becomes true only when the
// stream had no byte left to read; the text read up to then is answered
// as it stands.
// Line end modes: 0 the line ends after an LF; 1 after a CR; 2 after a CR or
// an LF; 3 after a CR right after an LF; 4 after an LF right after a CR.
// Any other mode knows no line end (the rest of the stream is one line).
// At a line end the last character is dropped when it is LF or CR, and then
// once more, so "a\r\n" in mode 0 gives "a". The stream is left right after
// the line end.
std::string ReadLineFromStream(TStream& Stream, bool& EndOfStream, int LineEndMode);

// ---------------------------------------------------------------- attributes

// Reads the next attribute name="value" of a tag text from Pos and answers:
//   0  an attribute was read: Name (blanks trimmed), Value as written;
//   1  a '"' in the name;
//   2  a second '=' before the value ("a==1");
//   3  a '=' in an unquoted value ("a=1=2");
//   4  Pos was already beyond the text (Name and Value emptied).
// A value is quoted ("...", up to the next '"') or bare (up to a blank or a
// '"'); the end of the text ends a name or a value as well. Pos is left after
// the last character examined. On codes 1 to 3 Name and Value hold what was
// read before the fault. Values are not decoded (see AttributeText).
int NextAttribute(std::string_view TagText, int& Pos, std::string& Name, std::string& Value);

// Value of the attribute Name (compared without regard to ASCII case) of a
// tag text, as written; empty when it is missing. The search stops at the
// first malformed attribute, so attributes after it count as missing.
std::string AttributeValue(std::string_view TagText, std::string_view Name);

// AttributeValue with the XML references decoded: the form for text values
// (names, captions, identifiers).
std::string AttributeText(std::string_view TagText, std::string_view Name);

// ` Name="Value"`, the form in which the writers put an attribute into a tag;
// Value must already be escaped where it is text (EscapeXMLValue).
std::string WriteAttribute(std::string_view Name, std::string_view Value);

// The data set identifier of a root line: the text between the first
// `id="` (any case) and the next '"', blanks trimmed, references decoded,
// ASCII letters lower-cased; empty when the line has no `id="`. Readers
// compare it with the lower-cased identifier they were asked for.
std::string RootLineIdentifier(std::string_view Line);

// ---------------------------------------------------------------- numbers

// Decimal integer from Pos: blanks skipped (never past the last character),
// one "+" or "-", then digits up to the first other character, where Pos is
// left (one past the end when the digits run to the end, or when Pos was
// beyond it). No digits and an empty text give 0. Values beyond the 32-bit range saturate at
// INT32_MIN / INT32_MAX.
int32_t ScanInteger(std::string_view Text, int& Pos);

// Decimal number from Pos, read by this state table (characters ASCII
// upper-cased first; the end of the text is an "other" character):
//
//   state          separator blank  sign      digit     "E"       other
//   start          point     start  sign      integer   error     error
//   sign           point     error  error     integer   error     error
//   integer        point     end    end       integer   mark(1)   end
//   point          error     end    end       fraction  mark(1)   end
//   fraction       error     end    end       fraction  mark(1)   end
//   mark           error     error  exp.sign  exponent  error     end
//   exp.sign       error     error  error     exponent  error     end
//   exponent       end       end    end       exponent  end       end
//   (1) mark when ExponentAllowed, else end
//
// The separator is "." in mode 1, "," in mode 2, either in mode 3; in any
// other mode no character is a separator. Pos is left on the character
// that stopped the scan (one past the end at the end of the text, also when
// Pos was beyond it). At error
// the result is 0. Exponent digits beyond an exponent of 4200 are consumed
// but ignored, and the result is limited to -uc_MaxDouble..uc_MaxDouble (an
// overflow gives the limit, an underflow 0). A number that stops right after
// its "E" or its exponent sign ("1E", "1E-x") has no exponent: it is read
// as the digits before the "E".
double ScanNumber(std::string_view Text, bool ExponentAllowed, int SeparatorMode, int& Pos);

// ---------------------------------------------------------------- references

// Text as an attribute value between double quotes: "&", "\"", "<" and ">"
// become "&amp;", "&quot;", "&lt;", "&gt;". Control characters (below
// U+0020) and characters that Windows-1252 lacks become numeric references
// (a line feed "&#10;", the Cyrillic letter Zhe "&#1046;"), so that every
// value survives the 8-bit file and stays on its line. Text without any of
// these characters comes back unchanged.
std::string EscapeXMLValue(std::string_view Text);

// Text with the references "&amp;", "&quot;", "&lt;", "&gt;", "&apos;",
// "&#<decimal>;" and "&#x<hex>;" replaced by their characters (UTF-8).
// Anything malformed (an unknown name, no ";", a number beyond U+10FFFF or
// a surrogate) stays as it stands.
std::string DecodeXMLReferences(std::string_view Text);

}  // namespace marovia
