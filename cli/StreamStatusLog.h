// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/StatusLog.h"
#include "frontend/CrLfToLf.h"

#include <ostream>
#include <string>
#include <string_view>

namespace pemberlock::cli {

// Prints the status log to a stream as it grows, with plain LF line ends
// instead of CR LF, so that a terminal or a pipe reads ordinary lines.
// With flushEachAppend, every append is flushed at once, so that whoever
// watches a long batch sees how far it got; otherwise the stream's own
// buffer decides, which costs far fewer writes.
class StreamStatusLog final : public StatusLog {
public:
    StreamStatusLog(std::ostream& out, bool flushEachAppend)
        : out_(out), flushEachAppend_(flushEachAppend) {}
    ~StreamStatusLog() override { Finish(); }

    StreamStatusLog(const StreamStatusLog&) = delete;
    StreamStatusLog& operator=(const StreamStatusLog&) = delete;

    void Append(std::string_view text) override;

    // Writes out a CR held back at the end of the last append and flushes.
    // False when any write to the stream failed.
    bool Finish();

private:
    std::ostream& out_;
    bool flushEachAppend_;
    CrLfToLf lineEnds_;
    std::string converted_;
};

}  // namespace pemberlock::cli
