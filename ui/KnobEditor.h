// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>
#include <QScrollBar>
#include <QString>
#include <QStringList>

class QLineEdit;
class QStyle;

namespace pemberlock {

class KnobControllerMap;
struct KnobWarning;

// A knob's scroll bar, upside down to a document's: the top end is 120 and
// the bottom end 0, and the arrows, keys and wheel move it that way.
// Qt puts a vertical scroll bar's minimum at the top, so the bar's own value
// runs the other way and Position() turns it round.
class KnobScrollBar final : public QScrollBar {
public:
    explicit KnobScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}
    int Position() const { return maximum() + minimum() - value(); }
    void SetPosition(int position) { setValue(maximum() + minimum() - position); }

protected:
    // A notch of the wheel is one step, as a click on an arrow: a knob's
    // numbers are picked one by one, not scrolled through as lines of text.
    void wheelEvent(QWheelEvent* event) override;

private:
    int wheelRest_ = 0;  // of a fine-grained wheel, less than a notch so far
};

// One knob's map entry as a scroll bar and a text box side by side. Either
// one changes the entry through the entry rule and the other follows.
class KnobEditor final : public QObject {
    Q_OBJECT

public:
    // Puts the knob's bar on parent with its top left corner at topLeft,
    // drawn with barStyle, and its box to the bar's right.
    KnobEditor(KnobControllerMap& map, int index, QWidget* parent, QPoint topLeft,
               QStyle* barStyle);

    KnobScrollBar* Bar() const { return bar_; }
    QLineEdit* Box() const { return box_; }
    // Sets the entry to controller, through the bar, then the box.
    void Reset(int controller);
    // Shows the map's entry, after the map was replaced.
    void ShowEntry();
    // Frames the box in amber (red when serious) and gives the reasons in
    // its tooltip and accessible description; no warning clears them.
    void ShowWarning(const KnobWarning& warning);
    // Adds line (what the knob controlled in the last patch previewed or
    // dropped) after the tooltip's other lines and to the accessible
    // description; an empty line takes it away.
    void ShowControls(const QString& line);

protected:
    // Up and Down, Page Up and Page Down in the box step the knob as the
    // bar's arrows and its trough do.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The knob's entry in the map may have changed.
    void EntryChanged();

private slots:
    void ScrKnob_Change();
    void ScrKnob_Scroll();
    void TxtCtrl_Change();

private:
    void ShowTips();

    KnobControllerMap& map_;
    const int index_;
    KnobScrollBar* bar_ = nullptr;
    QLineEdit* box_ = nullptr;
    QString role_;          // "Knob 1 controller"
    QStringList reasons_;   // the map's warnings about the knob
    QString controls_;      // see ShowControls
    bool syncing_ = false;  // set while one side updates the other, so the echo is ignored
};

}  // namespace pemberlock
