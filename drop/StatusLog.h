// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace pemberlock {

// The append-only record of what each drop did. The window shows it in its
// status box; the command line prints it.
class StatusLog {
public:
    virtual ~StatusLog() = default;
    virtual void Append(std::string_view text) = 0;
};

// A status log kept as one string.
class TextStatusLog final : public StatusLog {
public:
    void Append(std::string_view text) override { text_.append(text); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A status log that keeps nothing: for a preview, whose report says it all.
class NullStatusLog final : public StatusLog {
public:
    void Append(std::string_view) override {}
};

}  // namespace pemberlock
