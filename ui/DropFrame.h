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

    // True when data lists at least one file and nothing but local files.
    static bool HoldsLocalFiles(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool Accept(QDropEvent* event) const;

    DropHandler onDrop_;
    bool accepting_ = true;
};

// A plain filled rectangle.
class FilledShape final : public QWidget {
public:
    FilledShape(const QColor& colour, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
};

}  // namespace pemberlock
