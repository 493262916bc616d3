// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "fileio/PreparedFile.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pemberlock {

// What is done to each item of an ordered list of files: a drop's rewrites,
// an undo's restores. Prepare runs on worker threads, several items at
// once; Finish on the thread that runs the jobs, one item after the other
// in their order.
class FileJobs {
public:
    virtual ~FileJobs() = default;
    virtual std::size_t Count() const = 0;
    // Whether item i is worked on at all; one that is not (a path skipped)
    // is only finished.
    virtual bool NeedsWork(std::size_t i) const = 0;
    // Whether two items may be one file: then they are done one after the
    // other, each in place before the next is read.
    virtual bool NamesAFileTwice() = 0;
    // Item i's new bytes, or why there are none. flush: on stable storage
    // when this returns; else the engine makes its group durable before the
    // renames. Setting giveUp ends the work early, as a failure.
    virtual Result<std::unique_ptr<PreparedFile>> Prepare(std::size_t i, RewriteBuffers& buffers,
                                                          bool flush,
                                                          const std::atomic<bool>* giveUp) = 0;
    // Finishes item i: checks, puts its file in place, says how it went.
    // prepared is null for an item that needs no work.
    virtual void Finish(std::size_t i, Result<std::unique_ptr<PreparedFile>>* prepared) = 0;
};

struct JobOptions {
    // Set from anywhere to stop after the items in hand.
    const std::atomic<bool>* stop = nullptr;
    // Set from anywhere (with stop) to end within a moment: the items not
    // yet in place are given up, their temporary files removed.
    const std::atomic<bool>* hurry = nullptr;
    // Threads that prepare items (the caller's own included); 0 picks as
    // many as the machine has cores, at most 4.
    unsigned workers = 0;
    // Items made durable together by one sync of their file system, where
    // the system has one; elsewhere each file is flushed on its own.
    std::size_t groupSize = 64;
};

// Runs jobs: items are prepared by worker threads, a few ahead of the
// caller's thread, which makes each group durable (one sync per file
// system), then finishes its items one by one in their order; the caller's
// thread prepares an item itself when no worker has taken it yet. Every
// guarantee of a single safe replace holds: a file's new bytes are on
// stable storage before its rename, and a killed run leaves each file old
// or completely new. The renames are made durable at the end, with one sync
// per folder. Returns how many items were finished: all of them, unless
// stopped.
std::size_t RunFileJobs(FileJobs& jobs, FileSystem& fs, const JobOptions& options);

}  // namespace pemberlock
