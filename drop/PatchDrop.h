// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropBatch.h"
#include "drop/DropJournal.h"
#include "drop/FolderExpansion.h"
#include "drop/StatusLog.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"
#include "patch/RewriteReport.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

// One path of a drop, done.
struct DropPathResult {
    enum class Kind { Skipped, Rewritten, Failed };
    std::string path;
    Kind kind = Kind::Skipped;
    std::optional<Error> error;  // why it failed
    // What the rewrite wrote, when DropOptions::reportRewrites asked for it.
    std::shared_ptr<const RewriteReport> report;
};

// What a drop tells whoever watches it as it goes, from the thread that
// runs the drop, in the order of the paths.
class DropObserver {
public:
    virtual ~DropObserver() = default;
    virtual void PathDone(const DropPathResult& result, std::uint64_t handled,
                          std::uint64_t total) = 0;
    // Once at the end, with how many of the total paths were handled: fewer
    // when the drop was stopped, none when stopped before its first.
    virtual void Ended(std::uint64_t handled, std::uint64_t total) {
        (void)handled;
        (void)total;
    }
};

struct DropOptions {
    // Set from anywhere to stop the drop after the patches in hand.
    const std::atomic<bool>* stop = nullptr;
    // Set from anywhere (with stop) to end the drop within a moment: the
    // patches not yet in place are given up, their temporary files removed;
    // those in place are logged and recorded as ever.
    const std::atomic<bool>* hurry = nullptr;
    DropObserver* observer = nullptr;
    DropJournal* journal = nullptr;
    // Threads that rewrite patches (the caller's own included); 0 picks as
    // many as the machine has cores, at most 4.
    unsigned workers = 0;
    // Patches made durable together by one sync of their file system, where
    // the system has one; elsewhere each patch is flushed on its own.
    std::size_t groupSize = 64;
    // Each rewritten path's result carries a report of what was written.
    bool reportRewrites = false;
    // Nothing is written, nothing recorded: each patch is rewritten in
    // memory only, and its line (in words's terms) holds the controller
    // sections it would get and why (see FormatRewriteReport).
    bool preview = false;
    // The words of the log; none: DropWording's.
    const BatchWording* words = nullptr;
};

// One drop of files rewritten with map, logged in the words of DropWording:
// paths not ending in "pch" are skipped, each patch rewritten in place, a
// folder that could not be read counted as an error. Patches are rewritten
// by several threads, but their lines reach the log in the order of the
// paths, each when its patch is really done, and every guarantee of a single
// rewrite holds: a patch's new bytes are on stable storage before its
// rename, and a killed drop leaves each patch old or completely new. The
// renames are made durable at the end, with one sync per folder.
//
// A stopped drop logs "Stopped: K of N files not processed." and a summary
// of the paths it handled. A preview (DropOptions::preview) runs the same
// way, on the same threads, and changes nothing.
BatchSummary RunPatchDrop(const std::vector<DropPath>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs = RealFileSystem(),
                          const DropOptions& options = {});

BatchSummary RunPatchDrop(const std::vector<std::string>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs = RealFileSystem(),
                          const DropOptions& options = {});

}  // namespace pemberlock
