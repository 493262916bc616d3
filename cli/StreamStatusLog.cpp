// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StreamStatusLog.h"

namespace pemberlock::cli {

void StreamStatusLog::Append(std::string_view text) {
    converted_.clear();
    lineEnds_.Convert(text, converted_);
    out_.write(converted_.data(), static_cast<std::streamsize>(converted_.size()));
    if (flushEachAppend_) out_.flush();
}

bool StreamStatusLog::Finish() {
    converted_.clear();
    lineEnds_.Finish(converted_);
    out_.write(converted_.data(), static_cast<std::streamsize>(converted_.size()));
    out_.flush();
    return !out_.fail();
}

}  // namespace pemberlock::cli
