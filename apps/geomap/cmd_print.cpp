// geomap print: a view of a map printed to a PDF file.
#include <ostream>

#include "arguments.h"
#include "commands.h"
#include "geomap_cli.h"

namespace marovia::geomaptool {

int RunPrint(std::span<const std::string> Args, std::ostream&, std::ostream& Err) {
  const TArguments args(Args, {});
  Report(Err, "printing is not available yet");
  return kExitIo;
}

}  // namespace marovia::geomaptool
