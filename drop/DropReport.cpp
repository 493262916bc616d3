// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/DropReport.h"

#include <utility>

namespace pemberlock {

void DropReportCollector::PathDone(const DropPathResult& result, std::uint64_t handled,
                                   std::uint64_t total) {
    {
        const std::lock_guard lock(mutex_);
        rows_.Add(result);
        handled_ = handled;
        total_ = total;
    }
    if (next_) next_->PathDone(result, handled, total);
}

void DropReportCollector::Ended(std::uint64_t handled, std::uint64_t total) {
    {
        // A drop stopped before its first path has no result to tell of it.
        const std::lock_guard lock(mutex_);
        handled_ = handled;
        total_ = total;
    }
    if (next_) next_->Ended(handled, total);
}

DropReportRows DropReportCollector::TakeRows() {
    const std::lock_guard lock(mutex_);
    if (handled_ < total_) rows_.SetNotProcessed(total_ - handled_, total_);
    rows_.ShrinkToFit();
    return std::exchange(rows_, DropReportRows());
}

DropReportRows PreviewDropReport(const std::vector<std::string>& paths,
                                 const KnobControllerMap& map, FileSystem& fs) {
    // The lines are not shown: the rows say it all.
    NullStatusLog noLog;
    DropReportCollector collector(nullptr, true);
    DropOptions options;
    options.preview = true;
    options.observer = &collector;
    RunPatchDrop(paths, noLog, map, fs, options);
    return collector.TakeRows();
}

}  // namespace pemberlock
