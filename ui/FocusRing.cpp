// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FocusRing.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace pemberlock {

FocusRing::FocusRing(std::vector<QWidget*> controls, QWidget* parent)
    : QWidget(parent), controls_(std::move(controls)) {
    setObjectName(QStringLiteral("FocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* /*old*/, QWidget* now) { Follow(now); });
    // A control moved or hidden takes its frame with it.
    for (QWidget* control : controls_) control->installEventFilter(this);
}

void FocusRing::Follow(QWidget* focused) {
    const bool ours = std::find(controls_.begin(), controls_.end(), focused) != controls_.end();
    framed_ = ours && focused->isVisible() ? focused : nullptr;
    if (framed_ == nullptr) {
        hide();
        return;
    }
    // A sibling of the control, drawn over its neighbours' edges.
    if (parentWidget() != framed_->parentWidget()) setParent(framed_->parentWidget());
    setGeometry(framed_->geometry().adjusted(-kMargin, -kMargin, kMargin, kMargin));
    raise();
    show();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (watched == framed_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
                               event->type() == QEvent::Hide || event->type() == QEvent::Show)) {
        Follow(framed_->hasFocus() ? framed_ : nullptr);
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), kMargin));
    painter.setBrush(Qt::NoBrush);
    const qreal half = kMargin / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), 2, 2);
}

}  // namespace pemberlock
