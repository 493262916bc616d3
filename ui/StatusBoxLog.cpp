// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StatusBoxLog.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace pemberlock {

void StatusBoxLog::Append(std::string_view text) {
    text_.append(text);

    // The box separates lines itself: CR LF becomes one line break.
    std::string shown;
    lineEnds_.Convert(text, shown);
    if (shown.empty()) return;

    QTextCursor end(box_.document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())));
}

void StatusBoxLog::ScrollToEnd() {
    QScrollBar* bar = box_.verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace pemberlock
