#include <iostream>
#include <string>
#include <vector>

#include "geoconvert_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return marovia::geoconvert::Run(args, std::cin, std::cout, std::cerr);
}
