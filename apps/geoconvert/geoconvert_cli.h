// The geoconvert tool as a function, so that tests can run it in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace marovia::geoconvert {

// Exit statuses.
inline constexpr int kExitOk = 0;        // every position converted
inline constexpr int kExitBadInput = 1;  // at least one position failed
inline constexpr int kExitUsage = 2;     // bad options; nothing converted
inline constexpr int kExitIo = 3;        // input unreadable or output unwritable

// Runs the tool with the arguments after the program name. Positions come
// from the arguments or, when there are none, one per line from in.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace marovia::geoconvert
