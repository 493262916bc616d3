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

}  // namespace pemberlock
