// Reads the comma-separated reference tables under tests/data/geobasics.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace marovia::testing {

// Rows of the file without its header line, each split at the commas.
inline std::vector<std::vector<std::string>> ReadFixture(const std::string& name) {
  std::ifstream in(std::string(MAROVIA_TEST_DATA_DIR) + "/geobasics/" + name);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  if (!std::getline(in, line)) return rows;  // header, or a missing file: no rows
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

}  // namespace marovia::testing
