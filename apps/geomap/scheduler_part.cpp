// A tile job's part from a scheduler's variables.
#include "scheduler_part.h"

#include <charconv>
#include <cstdint>
#include <string_view>

#include "arguments.h"
#include "cli_text.h"

namespace marovia::geomaptool {

namespace {

constexpr int64_t kMaxParts = 1'000'000;

// The variable as a whole number within Lo..Hi; nullopt when it is not
// set; TUsageError when it is set to anything else.
std::optional<int64_t> Variable(const std::function<const char*(const char*)>& Env,
                                const char* Name, int64_t Lo, int64_t Hi) {
  const char* value = Env(Name);
  if (!value) return std::nullopt;
  const std::string_view v(value);
  int64_t n = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size() || n < Lo || n > Hi)
    throw TUsageError(std::string(Name) + "='" + apps::Printable(std::string(v)) +
                      "' is not a whole number within " + std::to_string(Lo) + "-" +
                      std::to_string(Hi));
  return n;
}

}  // namespace

std::optional<TSchedulerPart> PartFromScheduler(const std::function<const char*(const char*)>& Env,
                                                std::optional<int> Parts) {
  if (const auto id = Variable(Env, "SLURM_ARRAY_TASK_ID", 0, INT32_MAX)) {
    const int64_t min = Variable(Env, "SLURM_ARRAY_TASK_MIN", 0, *id).value_or(0);
    const int64_t step = Variable(Env, "SLURM_ARRAY_TASK_STEP", 1, INT32_MAX).value_or(1);
    auto count = Variable(Env, "SLURM_ARRAY_TASK_COUNT", 1, kMaxParts);
    if (!count) {
      if (const auto max = Variable(Env, "SLURM_ARRAY_TASK_MAX", *id, INT32_MAX))
        count = (*max - min) / step + 1;
    }
    if (!count)
      throw TUsageError(
          "SLURM_ARRAY_TASK_ID is set without SLURM_ARRAY_TASK_COUNT or SLURM_ARRAY_TASK_MAX");
    if ((*id - min) % step != 0 || (*id - min) / step >= *count || *count > kMaxParts)
      throw TUsageError("Slurm array task " + std::to_string(*id) + " is not one of an array of " +
                        std::to_string(*count) + " from " + std::to_string(min) + " in steps of " +
                        std::to_string(step) + " (give --part K/N)");
    return TSchedulerPart{static_cast<int>((*id - min) / step + 1), static_cast<int>(*count),
                          "Slurm array task " + std::to_string(*id)};
  }
  if (const auto index = Variable(Env, "JOB_COMPLETION_INDEX", 0, kMaxParts - 1)) {
    const int64_t parts = Parts ? *Parts : Variable(Env, "GEOMAP_PARTS", 1, kMaxParts).value_or(0);
    if (parts < 1)
      throw TUsageError(
          "JOB_COMPLETION_INDEX is set: give the number of completions by --parts N "
          "or GEOMAP_PARTS");
    if (*index >= parts)
      throw TUsageError("JOB_COMPLETION_INDEX " + std::to_string(*index) + " is not below the " +
                        std::to_string(parts) + " parts");
    return TSchedulerPart{static_cast<int>(*index + 1), static_cast<int>(parts),
                          "Kubernetes completion index " + std::to_string(*index)};
  }
  if (Parts) throw TUsageError("--parts needs JOB_COMPLETION_INDEX (or --part K/N)");
  return std::nullopt;
}

}  // namespace marovia::geomaptool
