// Runs a shell command with given standard input and captures what it
// writes, for tests that compare with command-line tools.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace marovia::test {

struct CommandResult {
  int Status = -1;  // exit status; -1 when the command did not exit normally
  std::string Out;  // standard output
  std::string Err;  // standard error
};

inline bool HaveCommand(const std::string& Name) {
  return std::system(("command -v '" + Name + "' > /dev/null 2>&1").c_str()) == 0;
}

// Runs Command through /bin/sh with Input as its standard input, in a
// scratch directory of its own (tools such as gmt leave files in the
// working directory), removed afterwards.
inline CommandResult RunCommand(const std::string& Command, const std::string& Input = "") {
  TempDir dir;
  const std::string in = dir.Write("stdin", Input);
  const std::string full = "cd '" + dir.Path().string() + "' && ( " + Command + " ) < '" + in +
                           "' > '" + dir.File("stdout") + "' 2> '" + dir.File("stderr") + "'";
  const int raw = std::system(full.c_str());
  CommandResult r;
  r.Status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.Out = dir.Read("stdout");
  r.Err = dir.Read("stderr");
  return r;
}

}  // namespace marovia::test
