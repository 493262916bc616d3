// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "drop/DropBatch.h"
#include "drop/FolderExpansion.h"
#include "drop/StatusLog.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace pemberlock::test {

// Handles one patch: on success, a text for the log's wording (the preview
// of a dry run; nothing for a rewrite), else why it failed.
using PatchProcessor = std::function<Result<std::string>(const std::string& path)>;

// A drop run one path after another on the caller's thread, with any
// handling of a patch: for tests of the wording and of one rewrite among
// many, and for the benchmark's cost of the log alone. The product's drops
// run on the engine (RunPatchDrop).
//
// Every path ending in "pch" is handed to process, every other one skipped,
// each outcome and then a summary appended to log in words's terms.
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

}  // namespace pemberlock::test
