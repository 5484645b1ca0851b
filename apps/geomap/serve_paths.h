// Which file a request for /files/N/REST names: file REST under folder N of
// the folders the server was given, or none. Refused, whatever is on disk:
// any percent sign (encoded names are never decoded into a path), a
// backslash, a control byte, an empty, "." or ".." segment, a leading
// slash, a root index that is not one of the folders; and, once the path
// is resolved through its symbolic links, anything that is not a regular
// file inside the resolved folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace marovia::geomaptool {

// Rest: the raw target after "/files/", before any '?'. Roots: the folders,
// as given.
std::optional<std::filesystem::path> ConfinedFile(const std::vector<std::filesystem::path>& Roots,
                                                  std::string_view Rest);

// Whether Rest passes the checks made on the text alone (no file looked at).
bool PlainRelativePath(std::string_view Rest);

}  // namespace marovia::geomaptool
