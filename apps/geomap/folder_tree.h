// The folders of a collection's trees, for commands that take whole trees
// of calibrations (find, and tiles --tree).
#pragma once

#include <string>
#include <vector>

namespace marovia::geomaptool {

// Each path, and below each folder every folder of its tree in name order;
// files stand for themselves. Folders that cannot be read are passed over.
std::vector<std::string> FolderTrees(const std::vector<std::string>& Paths);

}  // namespace marovia::geomaptool
