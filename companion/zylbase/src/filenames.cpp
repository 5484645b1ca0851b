// File-name helpers: StripPath, StripExtension and the reduction to the
// characters of short file names.
#include <cstring>

#include "marovia/zylbase/stringl.h"

namespace marovia {

namespace {

// Index of the first character of the file-name part.
size_t NameStart(std::string_view Name) {
  const size_t sep = Name.find_last_of("/\\");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string StripPath(std::string_view Name) {
  return std::string(Name.substr(NameStart(Name)));
}

std::string StripExtension(std::string_view Name) {
  const size_t start = NameStart(Name);
  const size_t dot = Name.find_last_of('.');
  // No dot in the file-name part, or only a leading one (a hidden file).
  if (dot == std::string_view::npos || dot <= start) return std::string(Name);
  return std::string(Name.substr(0, dot));
}

std::string ReduceStringToFN83CompliantChars(std::string_view S) {
  static const char kPunctuation[] = "!#$%&'()-@^_`{}~.";
  std::string out;
  out.reserve(S.size());
  for (const char ch : S) {
    const auto c = static_cast<unsigned char>(ch);
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && (c == 0 || std::strchr(kPunctuation, c) == nullptr)) continue;
    // A leading dot would make a hidden name or "." / "..".
    if (c == '.' && out.empty()) continue;
    out.push_back(ch);
  }
  return out;
}

}  // namespace marovia
