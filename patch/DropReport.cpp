// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/DropReport.h"

#include "patch/DropBatch.h"
#include "patch/ProcessPatch.h"

namespace pemberlock {

void DropReportText::Add(const DropPathResult& result) {
    body_ += result.path;
    switch (result.kind) {
        case DropPathResult::Kind::Skipped:
            ++skipped_;
            body_ += ": skipped, not a 'pch' file\n";
            break;
        case DropPathResult::Kind::Failed:
            ++failed_;
            body_ += preview_ ? ": would fail: " : ": failed: ";
            body_ += result.error ? result.error->Text() : std::string("no reason given");
            body_ += '\n';
            break;
        case DropPathResult::Kind::Rewritten:
            ++rewritten_;
            body_ += preview_ ? ": would be rewritten\n" : ": rewritten\n";
            if (result.report) body_ += FormatRewriteReport(*result.report);
            break;
    }
}

void DropReportText::SetNotProcessed(std::uint64_t notProcessed, std::uint64_t total) {
    notProcessed_ = notProcessed;
    total_ = total;
}

std::string DropReportText::Take() && {
    const std::uint64_t handled = rewritten_ + skipped_ + failed_;
    std::string head = std::to_string(handled) + (handled == 1 ? " file: " : " files: ") +
                       std::to_string(rewritten_) +
                       (preview_ ? " would be rewritten, " : " rewritten, ") +
                       std::to_string(skipped_) + " skipped, " + std::to_string(failed_) +
                       (preview_ ? " would fail.\n" : " failed.\n");
    if (notProcessed_ > 0) {
        head += "Stopped: " + std::to_string(notProcessed_) + " of " + std::to_string(total_) +
                " files not processed.\n";
    }
    // The body of a large drop runs to megabytes: moved, not copied.
    body_.insert(0, head + "\n");
    return std::move(body_);
}

void DropReportCollector::PathDone(const DropPathResult& result, std::uint64_t handled,
                                   std::uint64_t total) {
    {
        const std::lock_guard lock(mutex_);
        text_.Add(result);
        handled_ = handled;
        total_ = total;
    }
    if (next_) next_->PathDone(result, handled, total);
}

std::string DropReportCollector::TakeText() {
    const std::lock_guard lock(mutex_);
    if (handled_ < total_) text_.SetNotProcessed(total_ - handled_, total_);
    return std::move(text_).Take();
}

std::string PreviewDropReport(const std::vector<std::string>& paths, const KnobControllerMap& map,
                              FileSystem& fs) {
    DropReportText text(true);
    for (const std::string& path : paths) {
        if (!IsPatchPath(path)) {
            text.Add({path, DropPathResult::Kind::Skipped, std::nullopt, nullptr});
            continue;
        }
        auto report = std::make_shared<RewriteReport>();
        const Result<std::string> preview = PreviewPatchFile(path, map, fs, report.get());
        if (preview) {
            text.Add({path, DropPathResult::Kind::Rewritten, std::nullopt, std::move(report)});
        } else {
            text.Add({path, DropPathResult::Kind::Failed, preview.error(), nullptr});
        }
    }
    return std::move(text).Take();
}

}  // namespace pemberlock
