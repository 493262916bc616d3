// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/StatusLog.h"
#include "frontend/CrLfToLf.h"

#include <string>
#include <string_view>

class QPlainTextEdit;

namespace pemberlock {

// The greeting that starts the status box.
inline constexpr std::string_view kGreeting =
    "Use left hand pane to set mapping of knobs to controllers "
    "then drop Nord 'pch' files onto the red area on the right.\r\n";

// The status log shown in a text box. Appends go to the end of the box's
// document, never through a rewrite of the whole text, so a log of hundreds
// of thousands of lines stays quick. The full text, CR LF line ends
// included, is kept alongside for anyone who needs it as written.
class StatusBoxLog final : public StatusLog {
public:
    explicit StatusBoxLog(QPlainTextEdit& box) : box_(box) {}

    void Append(std::string_view text) override;
    const std::string& Text() const { return text_; }
    // Brings the newest line into view.
    void ScrollToEnd();

private:
    QPlainTextEdit& box_;
    std::string text_;
    CrLfToLf lineEnds_;  // holds a CR that ends one append until the next
};

}  // namespace pemberlock
