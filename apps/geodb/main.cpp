// geodb: create, inspect and edit geographic item databases.
#include <iostream>

#include "geodb_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return geodbtool::RunGeodb(args, std::cout, std::cerr);
}
