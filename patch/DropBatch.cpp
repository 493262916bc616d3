#include "patch/DropBatch.h"

namespace pemberlock {

bool IsPatchPath(const std::string& path) {
    return path.size() >= 3 && path.compare(path.size() - 3, 3, "pch") == 0;
}

BatchSummary RunDropBatch(const std::vector<std::string>& paths, StatusLog& log,
                          const PatchProcessor& process) {
    BatchSummary summary;
    summary.total = paths.size();
    for (const std::string& path : paths) {
        if (!IsPatchPath(path)) {
            log.Append(path + " is not a 'pch' file.. skipping.\r\n");
            ++summary.skipped;
            continue;
        }
        log.Append("Processing " + path + "  ....  ");
        if (process(path)) {
            log.Append("Done.\r\n");
        } else {
            log.Append("Error!\r\n");
            ++summary.errors;
        }
    }
    log.Append(std::to_string(summary.succeeded()) + " of " + std::to_string(summary.total) +
               " files processed successfully.\r\n");
    log.Append(std::to_string(summary.skipped) + " files skipped.\r\n");
    log.Append(std::to_string(summary.errors) + " errors.\r\n");
    return summary;
}

}  // namespace pemberlock
