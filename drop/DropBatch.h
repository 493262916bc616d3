// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "drop/FolderExpansion.h"
#include "drop/StatusLog.h"

#include <atomic>
#include <cstdint>
#include <functional>
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

// Handles one patch: on success, a text for the log's wording (the preview
// of a dry run; nothing for a rewrite), else why it failed.
using PatchProcessor = std::function<Result<std::string>(const std::string& path)>;

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

// One drop: every path ending in "pch" is handed to process, every other one
// skipped, each outcome and then a summary appended to log in words's terms.
// Setting stop ends it before the next path; the summary then counts the
// paths handled.
BatchSummary RunDropBatch(const std::vector<std::string>& paths, StatusLog& log,
                          const PatchProcessor& process, const BatchWording& words = DropWording(),
                          const std::atomic<bool>* stop = nullptr);
// The same for paths that may stand for what could not be read (a folder,
// or nothing at all): each such one is logged as failed, with why.
BatchSummary RunDropBatch(const std::vector<DropPath>& paths, StatusLog& log,
                          const PatchProcessor& process, const BatchWording& words = DropWording(),
                          const std::atomic<bool>* stop = nullptr);

}  // namespace pemberlock
