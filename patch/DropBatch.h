#pragma once

#include "patch/StatusLog.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pemberlock {

struct BatchSummary {
    std::uint64_t total = 0;
    std::uint64_t skipped = 0;
    std::uint64_t errors = 0;
    std::uint64_t succeeded() const { return total - (skipped + errors); }
};

// Rewrites one patch; true on success.
using PatchProcessor = std::function<bool(const std::string& path)>;

// True when the last three characters of path are exactly "pch".
bool IsPatchPath(const std::string& path);

// One drop: every path ending in "pch" is handed to process, every other one
// skipped, each outcome and then a three-line summary appended to log.
BatchSummary RunDropBatch(const std::vector<std::string>& paths, StatusLog& log,
                          const PatchProcessor& process);

}  // namespace pemberlock
