// Writes every kind of map (tests/support/map_kinds.h) into the folder
// given, for the Python package's tests: one line a kind on standard output,
// "NAME FILE LARGE BORDER" (FILE relative to the folder, flags 0 or 1).
#include <filesystem>
#include <iostream>

#include "support/map_kinds.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc != 2) {
    std::cerr << "usage: write_map_kinds FOLDER\n";
    return 2;
  }
  try {
    const marovia::test::TempDir dir;
    const std::vector<marovia::test::TMapKind> kinds = marovia::test::WriteMapKinds(dir);
    fs::create_directories(argv[1]);
    fs::copy(dir.Path(), argv[1],
             fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    for (const marovia::test::TMapKind& k : kinds)
      std::cout << k.Name << ' ' << fs::path(k.File).filename().string() << ' ' << k.Large << ' '
                << k.Border << '\n';
  } catch (const std::exception& e) {
    std::cerr << "write_map_kinds: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
