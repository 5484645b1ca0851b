// The geomap tool as a function, so that tests can run it in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace marovia::geomaptool {

// Exit statuses, as geoconvert's.
inline constexpr int kExitOk = 0;        // everything done
inline constexpr int kExitBadInput = 1;  // a file or line could not be used (the rest was done)
inline constexpr int kExitUsage = 2;     // bad command or options; nothing done
inline constexpr int kExitIo = 3;        // an output could not be written

// Runs the tool with the arguments after the program name. The calibrate
// command reads its points from in when the points file is "-".
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace marovia::geomaptool
