// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pemberlock {

struct PatchFailure {
    std::string path;
    Error error;
};

struct BatchSummary {
    std::uint64_t total = 0;
    std::uint64_t skipped = 0;
    std::uint64_t errors = 0;
    std::vector<PatchFailure> failures;  // one per error, in order
    std::uint64_t succeeded() const { return total - (skipped + errors); }
};

// What a batch writes to the log, path by path and at the end.
class BatchWording {
public:
    virtual ~BatchWording() = default;
    // A path that is not a patch: "PATH is not a 'pch' file.. skipping."
    virtual std::string Skipped(const std::string& path) const;
    // Before the patch is handled.
    virtual std::string Starting(const std::string& path) const = 0;
    // After it was handled.
    virtual std::string Finished(const std::string& path,
                                 const Result<std::string>& outcome) const = 0;
    virtual std::string Summary(const BatchSummary& summary) const = 0;
};

// The words of a drop: "Processing PATH  ....  Done." and the summary
// "S of T files processed successfully.", "K files skipped.", "E errors.".
class DropWording final : public BatchWording {
public:
    std::string Starting(const std::string& path) const override;
    std::string Finished(const std::string& path,
                         const Result<std::string>& outcome) const override;
    std::string Summary(const BatchSummary& summary) const override;
};

// True when the last three characters of path are exactly "pch".
bool IsPatchPath(const std::string& path);

// "Stopped: K of N files not processed.", for a batch stopped part-way.
std::string StoppedLine(std::uint64_t notProcessed, std::uint64_t total);

}  // namespace pemberlock
