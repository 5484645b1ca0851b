#include <iostream>
#include <string>
#include <vector>

#include "geomap_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return marovia::geomaptool::Run(args, std::cin, std::cout, std::cerr);
}
