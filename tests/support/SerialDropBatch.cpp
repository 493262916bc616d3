// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/SerialDropBatch.h"

namespace pemberlock::test {

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

}  // namespace pemberlock::test
