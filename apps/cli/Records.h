#pragma once
// `--records` of `quorvel merge`: which records a merge writes, as numbers and ranges.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"

// The records named by `text`: numbers from 1 and ranges A-B (A <= B), separated by commas,
// spaces around them allowed ("3-5,12"). Without a usable list, nothing, and `error` says why.
[[nodiscard]] std::optional<std::vector<QVRecordRange>> QVRecordsFromArgument(const std::string& text,
                                                                              QVError* error = nullptr);

// True when every record `ranges` name is among the `records` of the data file; otherwise
// false, and `error` names the first one that is not.
[[nodiscard]] bool QVRecordsExist(const std::vector<QVRecordRange>& ranges, uint64_t records, QVError* error = nullptr);
