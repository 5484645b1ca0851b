// The geoconvert tool: its option parser and its line parser for every
// input format, run in-process on standard input.
//
// A first line "#!ARGS" (which the tool itself skips as a comment) gives the
// command-line arguments, split at blanks; without it the formats come from
// the input's length. Nothing may escape the tool as an exception, and the
// exit status is one of the four documented ones.
#include <sstream>

#include "fuzz_support.h"
#include "geoconvert_cli.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(fuzz::AsText(Data, Size));
  std::vector<std::string> args;
  if (text.rfind("#!", 0) == 0) {
    std::istringstream first(text.substr(2, text.find('\n') - 2));
    for (std::string a; first >> a;) args.push_back(a);
  } else {
    static const char* const kFormats[] = {"geo", "utm", "ups", "cart", "mgrs", "usng"};
    args = {"-f", kFormats[Size % 6], "-t", kFormats[Size / 6 % 6]};
  }
  std::istringstream in(text);
  std::ostringstream out, err;
  const int status = geoconvert::Run(args, in, out, err);
  fuzz::Check(status >= geoconvert::kExitOk && status <= geoconvert::kExitIo,
              "undocumented exit status");
  return 0;
}
