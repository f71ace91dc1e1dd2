#pragma once
// `--shard` and `--jobs` of `quorvel merge`: which share of the records this process takes
// when a merge is spread over several machines, and how many threads it uses.

#include <functional>
#include <optional>
#include <string>

#include "engine/Engine.h"

// The share named by `text`: "K/N" (1 <= K <= N), or "auto" to take it from a job
// scheduler's variables, read through `variable` (null when unset):
//   - Slurm job arrays: SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT (with
//     SLURM_ARRAY_TASK_MIN and SLURM_ARRAY_TASK_STEP when set), so any --array=A-B[:S] works;
//   - Kubernetes Indexed Jobs: JOB_COMPLETION_INDEX (from 0) with QV_SHARD_COUNT, which the
//     job's manifest sets to its number of completions.
// Without a usable share, nothing, and `error` says why.
[[nodiscard]] std::optional<QVShard> QVShardFromArgument(const std::string& text,
                                                         const std::function<const char*(const char*)>& variable,
                                                         QVError* error = nullptr);

// The number of processors this process may run on (its affinity mask), at least 1.
unsigned QVUsableProcessors();
