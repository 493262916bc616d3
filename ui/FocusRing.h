// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <vector>

namespace pemberlock {

// A frame in the highlight colour around whichever of its controls has the
// keyboard focus. The knobs' scroll bars are drawn in a style that shows no
// focus, and a box framed by a warning loses the style's own focus frame.
class FocusRing final : public QWidget {
public:
    static constexpr int kMargin = 2;  // outside the control, so it hides nothing of it

    FocusRing(std::vector<QWidget*> controls, QWidget* parent);
    // The control it frames now, or none.
    QWidget* Framed() const { return framed_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Follow(QWidget* focused);

    std::vector<QWidget*> controls_;
    QWidget* framed_ = nullptr;
};

}  // namespace pemberlock
