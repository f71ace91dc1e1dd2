#pragma once
// `--records` of `quorvel merge`: which records a merge writes, as numbers and ranges.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"

// The records named by `text`: numbers from 1 and ranges A-B (A <= B), separated by commas,
// spaces around them allowed ("3-5,12"). Without a usable list, nothing, and `problem` holds
// the translated reason.
std::optional<std::vector<QVRecordRange>> QVRecordsFromArgument(const std::string& text, std::string* problem);

// The translated reason why `ranges` name a record beyond the `records` of the data file, or
// nothing when every one exists.
std::optional<std::string> QVRecordsOutOfRange(const std::vector<QVRecordRange>& ranges, uint64_t records);
