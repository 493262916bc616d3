// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DropFrame.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QUrl>

#include <algorithm>

namespace pemberlock {

DropFrame::DropFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    setAcceptDrops(true);
}

bool DropFrame::HoldsLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return false;
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty() &&
           std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

namespace {

// The files are only read and rewritten in place, so the drop is always a
// copy: accepting a proposed move would let the file manager delete them.
bool AcceptAsCopy(QDropEvent* event) {
    if (!DropFrame::HoldsLocalFiles(event->mimeData()) ||
        !event->possibleActions().testFlag(Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

}  // namespace

bool DropFrame::Accept(QDropEvent* event) const {
    if (accepting_) return AcceptAsCopy(event);
    event->ignore();
    return false;
}

void DropFrame::dragEnterEvent(QDragEnterEvent* event) { SetHighlighted(Accept(event)); }

void DropFrame::dragMoveEvent(QDragMoveEvent* event) { SetHighlighted(Accept(event)); }

void DropFrame::dragLeaveEvent(QDragLeaveEvent* /*event*/) { SetHighlighted(false); }

void DropFrame::dropEvent(QDropEvent* event) {
    SetHighlighted(false);
    if (Accept(event) && onDrop_) onDrop_(*event->mimeData());
}

void DropFrame::SetHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    for (FilledShape* shape : findChildren<FilledShape*>(Qt::FindDirectChildrenOnly)) {
        shape->SetLit(highlighted);
    }
    update();
}

void DropFrame::paintEvent(QPaintEvent* event) {
    QGroupBox::paintEvent(event);
    if (!highlighted_) return;
    // Around the area, below its caption, which stays readable.
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect caption =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    QRect frame = rect();
    frame.setTop(caption.bottom() + 1);
    QPainter painter(this);
    constexpr int kWidth = 3;
    painter.setPen(QPen(palette().color(QPalette::Highlight), kWidth));
    painter.drawRect(frame.adjusted(1, 1, -2, -2));
}

FilledShape::FilledShape(const QColor& colour, QWidget* parent)
    : QWidget(parent), colour_(colour) {}

void FilledShape::SetLit(bool lit) {
    lit_ = lit;
    update();
}

void FilledShape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), lit_ ? colour_.lighter(140) : colour_);
}

}  // namespace pemberlock
