#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "geoconvert_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = marovia::geoconvert::Run(args, std::cin, std::cout, std::cerr);
  // std::cin reads through the C stream, which keeps the error flag that the
  // C++ stream folds into an end of file (a directory, a closed descriptor).
  if (std::ferror(stdin)) {
    std::cerr << "geoconvert: cannot read standard input\n";
    status = marovia::geoconvert::kExitIo;
  }
  return status;
}
