// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KnobEditor.h"

#include "map/KnobControllerMap.h"
#include "map/MapWarnings.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace pemberlock {

namespace {
constexpr int kNotch = 120;       // eighths of a degree
constexpr int kWarningFrame = 2;  // pixels
}  // namespace

void KnobScrollBar::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    // A page with Ctrl or Shift, and a sideways wheel, as on any scroll bar.
    if ((event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) ||
        std::abs(angle.x()) > std::abs(angle.y())) {
        QScrollBar::wheelEvent(event);
        return;
    }
    // Natural scrolling is in the delta already: a scroll bar does not turn it round again.
    wheelRest_ += angle.y();
    const int notches = wheelRest_ / kNotch;
    wheelRest_ -= notches * kNotch;
    // Away from the user is up the bar, to higher numbers.
    for (int n = 0; n < std::abs(notches); ++n) {
        triggerAction(notches > 0 ? SliderSingleStepSub : SliderSingleStepAdd);
    }
    event->accept();
}

KnobEditor::KnobEditor(KnobControllerMap& map, int index, QWidget* parent, QPoint topLeft,
                       QStyle* barStyle)
    : map_(map), index_(index) {
    const QString number = QString::number(index);
    role_ = QStringLiteral("Knob %1 controller").arg(index + 1);
    const QString& role = role_;

    bar_ = new KnobScrollBar(parent);
    bar_->setObjectName(QStringLiteral("ScrKnob") + number);
    bar_->setGeometry(topLeft.x(), topLeft.y(), 17, 57);
    bar_->setStyle(barStyle);
    bar_->setFocusPolicy(Qt::StrongFocus);
    bar_->setAccessibleName(role);
    bar_->setToolTip(role);
    bar_->setRange(0, KnobControllerMap::kMaxController);
    bar_->setSingleStep(1);
    bar_->setPageStep(5);

    box_ = new QLineEdit(parent);
    box_->setObjectName(QStringLiteral("TxtCtrl") + number);
    box_->setGeometry(topLeft.x() + 24, topLeft.y() + 16, 25, 25);
    box_->setAccessibleName(role);
    box_->setToolTip(role);
    box_->installEventFilter(this);

    connect(bar_, &QScrollBar::valueChanged, this, &KnobEditor::ScrKnob_Change);
    connect(bar_, &QScrollBar::sliderMoved, this, &KnobEditor::ScrKnob_Scroll);
    connect(box_, &QLineEdit::textChanged, this, &KnobEditor::TxtCtrl_Change);
}

void KnobEditor::Reset(int controller) {
    bar_->SetPosition(controller);
    box_->setText(QString::number(controller));
}

void KnobEditor::ShowEntry() { box_->setText(QString::fromStdString(map_.EntryText(index_))); }

void KnobEditor::ScrKnob_Change() {
    if (syncing_) return;
    syncing_ = true;
    const std::string& entry = map_.SetEntryText(index_, std::to_string(bar_->Position()));
    const QString shown = QString::fromStdString(entry);
    if (box_->text() != shown) box_->setText(shown);
    syncing_ = false;
    emit EntryChanged();
}

void KnobEditor::ScrKnob_Scroll() {
    // While the thumb is dragged the bar's value may not have caught up yet.
    if (bar_->sliderPosition() != bar_->value()) bar_->setValue(bar_->sliderPosition());
    ScrKnob_Change();
}

void KnobEditor::TxtCtrl_Change() {
    if (syncing_) return;
    syncing_ = true;
    const QString typed = box_->text();
    const QString result = QString::fromStdString(map_.SetEntryText(index_, typed.toStdString()));
    if (typed != result) {
        const int caret = box_->cursorPosition() - static_cast<int>(typed.size() - result.size());
        box_->setText(result);
        if (result == QStringLiteral("0")) {
            // A lone 0 (all deleted, or "-" typed) is replaced by the next digit.
            box_->selectAll();
        } else {
            box_->setCursorPosition(std::clamp(caret, 0, static_cast<int>(result.size())));
        }
    }
    const int position = static_cast<int>(map_.EntryValue(index_));
    if (bar_->Position() != position) bar_->SetPosition(position);
    syncing_ = false;
    emit EntryChanged();
}

bool KnobEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched != box_ || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    // The bar's own value runs downwards: its "sub" steps go to higher numbers.
    QAbstractSlider::SliderAction action;
    switch (key->key()) {
        case Qt::Key_Up: action = QAbstractSlider::SliderSingleStepSub; break;
        case Qt::Key_Down: action = QAbstractSlider::SliderSingleStepAdd; break;
        case Qt::Key_PageUp: action = QAbstractSlider::SliderPageStepSub; break;
        case Qt::Key_PageDown: action = QAbstractSlider::SliderPageStepAdd; break;
        default: return false;
    }
    bar_->triggerAction(action);
    return true;
}

void KnobEditor::ShowWarning(const KnobWarning& warning) {
    QString style;
    if (warning.level == MapWarning::Level::Serious) {
        style = QStringLiteral("QLineEdit { border: 2px solid #d01010; padding: 0px; }");
    } else if (warning.level == MapWarning::Level::Caution) {
        style = QStringLiteral("QLineEdit { border: 2px solid #e89200; padding: 0px; }");
    }
    QStringList reasons;
    for (const std::string& reason : warning.reasons) {
        reasons << QStringLiteral("Warning: this knob ") + QString::fromStdString(reason) + '.';
    }
    if (box_->styleSheet() != style) {
        box_->setStyleSheet(style);
        // The line edit keeps a margin inside its border that the 2-pixel
        // frame leaves no room for: "120" would lose its first digit.
        const int inside = style.isEmpty() ? 0 : -kWarningFrame;
        box_->setTextMargins(inside, 0, inside, 0);
    }
    reasons_ = reasons;
    ShowTips();
}

void KnobEditor::ShowControls(const QString& line) {
    controls_ = line;
    ShowTips();
}

void KnobEditor::ShowTips() {
    // The role first, the warnings about the map, then what the knob did
    // in the last patch.
    const auto tip = [this](const QStringList& after) {
        if (after.isEmpty()) return role_;
        // As rich text the tip wraps its long lines instead of running
        // across the screen.
        QStringList lines{role_.toHtmlEscaped()};
        for (const QString& line : after) lines << line.toHtmlEscaped();
        return QStringLiteral("<p>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</p>");
    };
    const QStringList controls = controls_.isEmpty() ? QStringList() : QStringList{controls_};
    box_->setToolTip(tip(reasons_ + controls));
    box_->setAccessibleDescription((reasons_ + controls).join(' '));
    bar_->setToolTip(tip(controls));
    bar_->setAccessibleDescription(controls_);
}

}  // namespace pemberlock
