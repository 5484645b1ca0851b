// The part of a tile job that a cluster scheduler gives a task through its
// environment, for a run without --part:
//   - a Slurm job array: SLURM_ARRAY_TASK_ID, numbered from
//     SLURM_ARRAY_TASK_MIN (default 0) in steps of SLURM_ARRAY_TASK_STEP
//     (default 1), SLURM_ARRAY_TASK_COUNT tasks (else from ..._MAX);
//   - a Kubernetes indexed Job: JOB_COMPLETION_INDEX from 0, the number of
//     completions given by --parts or GEOMAP_PARTS (Kubernetes does not
//     tell it).
// Slurm's variables win when both are set. A variable that is set but
// makes no part raises TUsageError naming it.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace marovia::geomaptool {

struct TSchedulerPart {
  int Part = 1, Parts = 1;
  std::string Source;  // "Slurm array task 3", for the messages
};

// Env answers a variable's value, or null when it is not set. Parts: the
// --parts option.
std::optional<TSchedulerPart> PartFromScheduler(const std::function<const char*(const char*)>& Env,
                                                std::optional<int> Parts);

}  // namespace marovia::geomaptool
