// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QWidget>

#include <functional>

class QMimeData;

namespace pemberlock {

// A frame that takes files dropped from a file manager anywhere on it, its
// children included, and refuses every other kind of drop.
class DropFrame final : public QGroupBox {
public:
    using DropHandler = std::function<void(const QMimeData&)>;

    DropFrame(const QString& title, QWidget* parent);
    void SetDropHandler(DropHandler handler) { onDrop_ = std::move(handler); }
    // While a drop runs, further drops are turned away.
    void SetAccepting(bool accepting) { accepting_ = accepting; }
    // Files it would take are being dragged over it: it shows so, framed in
    // the highlight colour, its shapes lit.
    bool Highlighted() const { return highlighted_; }

    // True when data lists at least one file and nothing but local files.
    static bool HoldsLocalFiles(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool Accept(QDropEvent* event) const;
    void SetHighlighted(bool highlighted);

    DropHandler onDrop_;
    bool accepting_ = true;
    bool highlighted_ = false;
};

// A plain filled rectangle.
class FilledShape final : public QWidget {
public:
    FilledShape(const QColor& colour, QWidget* parent);
    // Lit, it is filled a lighter shade of its colour.
    void SetLit(bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    bool lit_ = false;
};

}  // namespace pemberlock
