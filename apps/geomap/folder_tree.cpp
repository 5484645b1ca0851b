// The folders of a collection's trees.
#include "folder_tree.h"

#include <algorithm>
#include <filesystem>

namespace marovia::geomaptool {

std::vector<std::string> FolderTrees(const std::vector<std::string>& Paths) {
  namespace fs = std::filesystem;
  std::vector<std::string> out;
  for (const std::string& p : Paths) {
    std::error_code ec;
    out.push_back(p);
    if (!fs::is_directory(p, ec)) continue;
    std::vector<std::string> below;
    for (auto it =
             fs::recursive_directory_iterator(p, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec)) below.push_back(it->path().string());
    std::sort(below.begin(), below.end());
    out.insert(out.end(), below.begin(), below.end());
  }
  return out;
}

}  // namespace marovia::geomaptool
