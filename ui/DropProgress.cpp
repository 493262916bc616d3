// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DropProgress.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace pemberlock {
namespace {
// The bar counts in steps of a thousandth: its range is an int, a drop's
// count need not be.
constexpr int kBarSteps = 1000;
}  // namespace

DropProgress::DropProgress(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DropProgress"));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("DropCount"));
    count_->setAlignment(Qt::AlignCenter);
    count_->setWordWrap(true);
    count_->setStyleSheet(QStringLiteral("color: white;"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("DropBar"));
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    bar_->setFixedHeight(10);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("DropStop"));
    stop_->setToolTip(QStringLiteral("Stop after the patches in hand (Esc)"));
    connect(stop_, &QPushButton::clicked, this, &DropProgress::StopClicked);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addStretch();
    layout->addWidget(count_);
    layout->addWidget(bar_);
    layout->addSpacing(8);
    layout->addWidget(stop_);
    layout->addStretch();
}

void DropProgress::Begin(const QString& waiting) {
    waiting_ = waiting;
    stopping_ = false;
    stop_->setEnabled(true);
    Show(0, 0);
}

void DropProgress::Stopping() {
    stopping_ = true;
    stop_->setEnabled(false);
    Show(handled_, total_);
}

void DropProgress::Show(std::uint64_t handled, std::uint64_t total) {
    handled_ = handled;
    total_ = total;
    const QLocale locale;
    const QString count = locale.toString(static_cast<qulonglong>(handled)) +
                          QStringLiteral(" of ") + locale.toString(static_cast<qulonglong>(total));
    if (stopping_) {
        count_->setText(total == 0 ? QStringLiteral("Stopping…")
                                   : QStringLiteral("Stopping after %1 done").arg(count));
    } else {
        count_->setText(total == 0 ? waiting_ : count);
    }
    bar_->setValue(total == 0 ? 0 : static_cast<int>(handled * kBarSteps / total));
}

}  // namespace pemberlock
