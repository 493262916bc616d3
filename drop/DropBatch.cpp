// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/DropBatch.h"

namespace pemberlock {

std::string BatchWording::Skipped(const std::string& path) const {
    return path + " is not a 'pch' file.. skipping.\r\n";
}

std::string DropWording::Starting(const std::string& path) const {
    return "Processing " + path + "  ....  ";
}

std::string DropWording::Finished(const std::string&, const Result<std::string>& outcome) const {
    return outcome ? "Done.\r\n" : "Error!\r\n";
}

std::string DropWording::Summary(const BatchSummary& summary) const {
    return std::to_string(summary.succeeded()) + " of " + std::to_string(summary.total) +
           " files processed successfully.\r\n" + std::to_string(summary.skipped) +
           " files skipped.\r\n" + std::to_string(summary.errors) + " errors.\r\n";
}

bool IsPatchPath(const std::string& path) {
    return path.size() >= 3 && path.compare(path.size() - 3, 3, "pch") == 0;
}

std::string StoppedLine(std::uint64_t notProcessed, std::uint64_t total) {
    return "Stopped: " + std::to_string(notProcessed) + " of " + std::to_string(total) +
           " files not processed.\r\n";
}

BatchSummary RunDropBatch(const std::vector<std::string>& paths, StatusLog& log,
                          const PatchProcessor& process, const BatchWording& words,
                          const std::atomic<bool>* stop) {
    std::vector<DropPath> dropped;
    dropped.reserve(paths.size());
    for (const std::string& path : paths) dropped.push_back({path, {}});
    return RunDropBatch(dropped, log, process, words, stop);
}

BatchSummary RunDropBatch(const std::vector<DropPath>& paths, StatusLog& log,
                          const PatchProcessor& process, const BatchWording& words,
                          const std::atomic<bool>* stop) {
    BatchSummary summary;
    for (const auto& [path, unreadable] : paths) {
        if (stop && stop->load()) break;
        ++summary.total;
        if (!unreadable && !IsPatchPath(path)) {
            log.Append(words.Skipped(path));
            ++summary.skipped;
            continue;
        }
        log.Append(words.Starting(path));
        const Result<std::string> outcome =
            unreadable ? Result<std::string>(*unreadable) : process(path);
        log.Append(words.Finished(path, outcome));
        if (!outcome) {
            ++summary.errors;
            summary.failures.push_back({path, outcome.error()});
        }
    }
    if (summary.total < paths.size()) {
        log.Append(StoppedLine(paths.size() - summary.total, paths.size()));
    }
    log.Append(words.Summary(summary));
    return summary;
}

}  // namespace pemberlock
