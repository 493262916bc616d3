// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace pemberlock {

// The greeting that starts every status log.
inline constexpr std::string_view kGreeting =
    "Use left hand pane to set mapping of knobs to controllers "
    "then drop Nord 'pch' files onto the red area on the right.\r\n";

// The append-only record of what each drop did. The window shows it in its
// status box; the command line prints it.
class StatusLog {
public:
    virtual ~StatusLog() = default;
    virtual void Append(std::string_view text) = 0;
};

// A status log kept as one string, starting with the greeting.
class TextStatusLog final : public StatusLog {
public:
    TextStatusLog() : text_(kGreeting) {}
    void Append(std::string_view text) override { text_.append(text); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

}  // namespace pemberlock
