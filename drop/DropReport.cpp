// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/DropReport.h"

#include "drop/DropBatch.h"
#include "patch/ProcessPatch.h"

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

DropReportRows DropReportCollector::TakeRows() {
    const std::lock_guard lock(mutex_);
    if (handled_ < total_) rows_.SetNotProcessed(total_ - handled_, total_);
    rows_.ShrinkToFit();
    return std::exchange(rows_, DropReportRows());
}

DropReportRows PreviewDropReport(const std::vector<std::string>& paths,
                                 const KnobControllerMap& map, FileSystem& fs) {
    DropReportRows rows(true);
    for (const std::string& path : paths) {
        if (!IsPatchPath(path)) {
            rows.Add({path, DropPathResult::Kind::Skipped, std::nullopt, nullptr});
            continue;
        }
        auto report = std::make_shared<RewriteReport>();
        const Result<std::string> preview = PreviewPatchFile(path, map, fs, report.get());
        if (preview) {
            rows.Add({path, DropPathResult::Kind::Rewritten, std::nullopt, std::move(report)});
        } else {
            rows.Add({path, DropPathResult::Kind::Failed, preview.error(), nullptr});
        }
    }
    rows.ShrinkToFit();
    return rows;
}

}  // namespace pemberlock
