// Runs a test body once per instruction set that the processor has and the
// library was compiled for, with the run-time dispatch forced to it.
#pragma once

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdint>
#include <string>

namespace marovia::testing {

// Body(name) for each target, best first; dispatch is back to normal after.
template <class F>
void ForEachSimdTarget(F&& Body) {
  for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    Body(std::string(hwy::TargetName(target)));
  }
  hwy::SetSupportedTargetsForTest(0);
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

}  // namespace marovia::testing
