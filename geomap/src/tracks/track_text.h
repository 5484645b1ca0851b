// Text helpers shared by the track readers and writers: strict numbers,
// ISO 8601 times, positions in a text for messages, and the coordinate
// checks every reader applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "marovia/geomap/track_files.h"

namespace marovia::tracks {

// XML and JSON white space: blank, tab, CR, LF.
inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
std::string_view TrimSpace(std::string_view S);

// A decimal number filling S (blanks around it allowed, a leading '+'
// too): digits, an optional fraction and exponent. Infinities, NaN,
// hexadecimal forms and results beyond the double range are refused.
bool ParseNumber(std::string_view S, double& Value);
// A decimal integer filling S (blanks around it allowed).
bool ParseInteger(std::string_view S, int64_t& Value);

// Days from 1970-01-01 to the given date of the proleptic Gregorian
// calendar (negative before); the inverse below.
int64_t DaysFromCivil(int64_t Year, unsigned Month, unsigned Day);
void CivilFromDays(int64_t Days, int64_t& Year, unsigned& Month, unsigned& Day);
bool ValidDate(int64_t Year, int Month, int Day);

// An ISO 8601 / XML Schema dateTime: YYYY-MM-DDThh:mm:ss with optional
// fractions of the second and a zone (Z or +hh:mm / -hh:mm; none is taken
// as UTC); a date alone is its midnight. Answers seconds since
// 1970-01-01T00:00:00Z.
bool ParseIsoTime(std::string_view S, double& Seconds);
// Whether a time lies in the years 0000 to 9999, which ISO 8601 writes in
// four digits (times outside come only from damaged files).
bool ValidTime(double Seconds);
// The time as YYYY-MM-DDThh:mm:ssZ, with milliseconds when it has any; ""
// for a time that is not ValidTime (the writers leave such times out).
std::string FormatIsoTime(double Seconds);

// The shortest decimal text that reads back as the same double.
std::string FormatShortest(double Value);

// 1-based line and column of byte Offset in Text (columns count bytes).
struct TTextPosition {
  int64_t Line = 1;
  int64_t Column = 1;
};
TTextPosition PositionOf(std::string_view Text, std::size_t Offset);

// Raises ETrackFileError for the byte at Offset of Text.
[[noreturn]] void FailAt(const std::string& FileName, std::string_view Text, std::size_t Offset,
                         const std::string& Why);
// Raises ETrackFileError for a line of a line-oriented file.
[[noreturn]] void FailLine(const std::string& FileName, int64_t Line, const std::string& Why);

// Latitude and longitude checks of every reader: finite and within
// [-90, 90] and [-180, 180]. Answer "" or what is wrong.
std::string PositionProblem(double Lat, double Lon);

// Whether S is valid UTF-8 throughout.
bool IsValidUtf8(std::string_view S);
// Text of a line format as UTF-8: kept when it is valid UTF-8, else taken
// as Windows-1252 (the code page such files are written in).
std::string LineTextAsUtf8(std::string_view S);

// The text for a message: at most 40 bytes, control bytes as '?'.
std::string Quoted(std::string_view S);

// The lines of a text: split at LF, CR LF or CR, line ends removed.
class TLineCursor {
 public:
  explicit TLineCursor(std::string_view Text) : text_(Text) {}
  // The next line; false at the end of the text.
  bool Next(std::string_view& Line);
  int64_t LineNumber() const { return line_; }  // of the line Next gave

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int64_t line_ = 0;
};

}  // namespace marovia::tracks
