// Text helpers of the companion package: list lookup and file-name surgery.
//
// File names may use '/' or '\\' as directory separator (names written on
// Windows are read here too); both count as separators in StripPath and
// StripExtension.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace marovia {

// 1 + the 0-based position of the first entry of List[0..High] equal to S
// (exact, case-sensitive comparison); 0 when no entry matches. High is
// clipped to the list: a High beyond the last entry searches the whole list,
// a negative High searches nothing.
int StringIx(std::string_view S, std::span<const std::string> List, int High);
int StringIx(std::string_view S, std::span<const char* const> List, int High);

// Name without its extension; the directory part is kept. The extension is
// the text from the last '.' of the file-name part on. A leading '.' of the
// file-name part does not start an extension (".profile" stays as it is);
// dots in directory names are never touched ("a.b/c" stays).
std::string StripExtension(std::string_view Name);

// Name without its directory part: the text after the last '/' or '\\'.
std::string StripPath(std::string_view Name);

// S reduced to the characters allowed in a short (8.3) file name: ASCII
// letters and digits, '.', and ! # $ % & ' ( ) - @ ^ _ ` { } ~. Everything
// else is removed, directory separators, blanks and non-ASCII characters
// included, and so are dots at the start of the result. The result is
// therefore a plain file name that cannot leave the directory it is put in.
// The length is not cut to 8.3.
std::string ReduceStringToFN83CompliantChars(std::string_view S);

}  // namespace marovia
