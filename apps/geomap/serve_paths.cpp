#include "serve_paths.h"

#include <charconv>

namespace marovia::geomaptool {

namespace fs = std::filesystem;

bool PlainRelativePath(std::string_view Rest) {
  if (Rest.empty() || Rest.front() == '/') return false;
  for (const char c : Rest) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '%' || c == '\\' || u < 0x20 || u == 0x7f) return false;
  }
  std::size_t start = 0;
  while (start <= Rest.size()) {
    const std::size_t end = std::min(Rest.find('/', start), Rest.size());
    const std::string_view segment = Rest.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  return true;
}

std::optional<fs::path> ConfinedFile(const std::vector<fs::path>& Roots, std::string_view Rest) {
  if (!PlainRelativePath(Rest)) return std::nullopt;
  const std::size_t slash = Rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::size_t index = 0;
  const char* first = Rest.data();
  const auto [ptr, ec] = std::from_chars(first, first + slash, index);
  if (ec != std::errc() || ptr != first + slash || index >= Roots.size()) return std::nullopt;
  std::error_code err;
  const fs::path root = fs::canonical(Roots[index], err);
  if (err) return std::nullopt;
  const fs::path file = fs::canonical(root / fs::path(std::string(Rest.substr(slash + 1))), err);
  if (err || !fs::is_regular_file(file, err)) return std::nullopt;
  // Inside the root component by component: "/maps2" does not lie in "/maps".
  auto r = root.begin();
  auto f = file.begin();
  for (; r != root.end(); ++r, ++f)
    if (f == file.end() || *r != *f) return std::nullopt;
  return file;
}

}  // namespace marovia::geomaptool
