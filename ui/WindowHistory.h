// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "journal/UndoJournal.h"
#include "ui/DropWorker.h"
#include "ui/HistorySteps.h"

#include <QObject>
#include <QUndoStack>

#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;
class QWidget;

namespace pemberlock {

class DialogService;

// The window's one history: the map's changes (knobs typed, scrolled or
// learned, the option, Load Map) and the drops, undos and redos made in
// the window, in the order they happened. Edit > Undo (Ctrl+Z) and Edit >
// Redo take the newest step back or forward wherever the focus is, but a
// knob box being typed in keeps Ctrl+Z for its own typing. A drop's step is
// taken back and forward by the journal, on the drop's thread, as a drop
// runs. Edit > Undo History… reaches every recorded drop, those of other
// programs too.
class WindowHistory final : public QObject {
public:
    // Runs the journal's task away from the window's thread, then done on
    // the window's thread; false when it cannot start now.
    using Runner = std::function<bool(DropWorker::Task task, std::function<void()> done)>;

    // Adds Undo, Redo and Undo History… to edit. show puts a map state on
    // the screen (and in the map) without recording it; current gives it.
    WindowHistory(QMenu& edit, QWidget& window, DialogService& dialogs, FileSystem& fs,
                  JournalPlace place, Runner run, MapStep::Show show,
                  std::function<MapState()> current);
    ~WindowHistory() override;

    QAction* UndoAction() const { return undo_; }
    QAction* RedoAction() const { return redo_; }
    const QUndoStack& Stack() const { return stack_; }

    // Typing in these boxes merges into one step, and Ctrl+Z there takes
    // back the typing first.
    void WatchBox(QLineEdit& box);
    // The map may have changed on the screen: records the change as a step.
    // knob: the knob whose control changed it, or -1.
    void MapChanged(int knob);
    // Runs change (which changes the map and shows it) as one step named
    // name, when it changed anything.
    void Replace(const QString& name, const std::function<void()>& change);
    // Starts afresh from the map shown now, with no step to take.
    void Forget();

    // Around each drop: the recorder to hand to it (nullptr: none), and
    // then, once it has ended, its step, or why it cannot be undone.
    std::unique_ptr<DropRecorder> DropStarting();
    void DropEnded(const DropRecorder* recorder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MnuUndo_Click();
    void MnuRedo_Click();
    void MnuUndoHistory_Click();
    // The newest step back (or the next forward).
    void Move(bool back);
    // Undoes (or redoes) drop on the drop's thread; then, when any patch
    // changed, moved(): the history's own move.
    void RunJournal(std::uint64_t drop, bool undo, std::function<void()> moved);
    void JournalEnded(const Result<UndoSummary>& result, bool undo,
                      const std::function<void()>& moved);
    void ReportLeftAlone(const UndoSummary& summary, bool undo);
    const JournalStep* JournalStepAt(int index) const;
    void Refresh();

    QWidget& window_;
    DialogService& dialogs_;
    UndoJournal journal_;  // used by the drop's thread while the journal's work runs
    Runner run_;
    MapStep::Show show_;
    std::function<MapState()> current_;
    QUndoStack stack_;
    MapState shown_;         // the map as the newest step left it
    int openKnob_ = -1;      // a knob whose changes go on its last step
    bool applying_ = false;  // a step's state is being shown: not a change
    bool busy_ = false;      // a drop or the journal's work runs
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QAction* history_ = nullptr;
};

}  // namespace pemberlock
