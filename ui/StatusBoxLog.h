#pragma once

#include "patch/StatusLog.h"

#include <string>
#include <string_view>

class QPlainTextEdit;

namespace pemberlock {

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
    bool pendingCr_ = false;  // a CR at the end of one append may pair with an LF in the next
};

}  // namespace pemberlock
