// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pemberlock {

// What a running drop shows inside the red drop area: how far it got
// ("1,234 of 12,000" and a bar) and a Stop button.
class DropProgress final : public QWidget {
    Q_OBJECT

public:
    explicit DropProgress(QWidget* parent);
    // A new run: waiting is shown until it knows its total.
    void Begin(const QString& waiting);
    void Show(std::uint64_t handled, std::uint64_t total);
    // Stop was asked for: the count says how far the run got while it ends
    // after the patches in hand, and Stop waits.
    void Stopping();

signals:
    void StopClicked();

private:
    QLabel* count_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
    QString waiting_;
    bool stopping_ = false;
    std::uint64_t handled_ = 0;
    std::uint64_t total_ = 0;
};

}  // namespace pemberlock
