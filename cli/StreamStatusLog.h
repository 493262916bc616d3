#pragma once

#include "patch/StatusLog.h"

#include <cstdio>
#include <string_view>

namespace pemberlock::cli {

// Prints the status log to a stream as it grows, with plain LF line ends
// instead of CR LF, so that a terminal or a pipe reads ordinary lines.
// Every append is flushed at once: whoever watches (or kills) a long batch
// sees how far it got.
class StreamStatusLog final : public StatusLog {
public:
    explicit StreamStatusLog(std::FILE* out) : out_(out) {}
    ~StreamStatusLog() override { Finish(); }

    StreamStatusLog(const StreamStatusLog&) = delete;
    StreamStatusLog& operator=(const StreamStatusLog&) = delete;

    void Append(std::string_view text) override;

    // Writes out a CR held back at the end of the last append and flushes.
    // False when any write to the stream failed.
    bool Finish();

private:
    std::FILE* out_;
    // A CR that ended the last append: it becomes an LF if one follows.
    bool pendingCr_ = false;
};

}  // namespace pemberlock::cli
