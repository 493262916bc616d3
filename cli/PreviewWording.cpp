// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PreviewWording.h"

namespace pemberlock::cli {

std::string PreviewWording::Starting(const std::string&) const { return {}; }

std::string PreviewWording::Finished(const std::string& path,
                                     const Result<std::string>& outcome) const {
    if (!outcome) return path + " would fail: " + outcome.error().Text() + "\r\n";
    return "Would rewrite " + path + ":\r\n" + *outcome;
}

std::string PreviewWording::Summary(const BatchSummary& summary) const {
    return std::to_string(summary.succeeded()) + " of " + std::to_string(summary.total) +
           " files would be rewritten.\r\n" + std::to_string(summary.skipped) +
           " files skipped.\r\n" + std::to_string(summary.errors) + " would fail.\r\n";
}

}  // namespace pemberlock::cli
