// The geodb command line, runnable in-process (the tests drive it).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace geodbtool {

// Runs one command (Args without the program name). Answers the exit code:
// 0 success, 1 failure (message on Err), 2 usage error.
int RunGeodb(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

}  // namespace geodbtool
