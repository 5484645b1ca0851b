// Whether a file is well-formed XML, as the command-line checker xmllint
// (Debian package libxml2-utils) sees it.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace marovia::test {

inline bool HaveXmlLint() {
  return std::system("command -v xmllint > /dev/null 2>&1") == 0;
}

// What xmllint --noout reports about the file: empty when it is
// well-formed, else its messages (or a note that it failed without any).
inline std::string XmlLintErrors(const std::string& FileName) {
  const std::string cmd = "xmllint --noout '" + FileName + "' 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return "xmllint could not be started";
  std::string output;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p) != nullptr) output += buf;
  const int status = ::pclose(p);
  if (output.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
    output = "xmllint failed without a message";
  return output;
}

}  // namespace marovia::test
