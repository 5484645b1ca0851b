// Uses the installed headers and libraries the way a host program does.
#include <cstdio>

#include "marovia/platform/sysutils.h"
#include "marovia/zylbase/zylbase.h"

int main() {
  try {
    marovia::Round(std::numeric_limits<double>::quiet_NaN());
  } catch (const marovia::EInvalidOp&) {
    std::puts("consumer: marovia is usable");
    return 0;
  }
  return 1;
}
