// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "journal/UndoJournal.h"
#include "ui/DropWorker.h"

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace pemberlock {

class DialogService;

// Edit > Undo Last Drop (Ctrl+Z): each drop is recorded in the journal, and
// the newest drop not undone yet can be taken back, its lines going to the
// status box as a drop's do. Greyed while there is nothing to undo, or
// while a drop or an undo runs.
class UndoCommand final : public QObject {
public:
    // Runs an undo's task away from the window's thread, as a drop runs,
    // then done on the window's thread; false when it cannot start now.
    using Runner = std::function<bool(DropWorker::Task task, std::function<void()> done)>;

    // Adds the command to edit; window is where Ctrl+Z works, whatever has
    // the focus in it.
    UndoCommand(QMenu& edit, QWidget& window, DialogService& dialogs, FileSystem& fs,
                JournalPlace place, Runner run);
    ~UndoCommand() override;

    QAction* Action() const { return action_; }

    // Around each drop: the recorder to hand to it (nullptr: none), and
    // then, once it has ended, saying so when it could not be recorded.
    std::unique_ptr<DropRecorder> DropStarting();
    void DropEnded(const DropRecorder* recorder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MnuUndo_Click();
    void UndoEnded(const Result<UndoSummary>& undone);
    void Refresh();
    void ReportLeftAlone(const UndoSummary& summary);

    QWidget& window_;
    DialogService& dialogs_;
    UndoJournal journal_;  // used by the undo's thread while one runs
    Runner run_;
    QAction* action_ = nullptr;
    bool busy_ = false;  // a drop or an undo runs
};

}  // namespace pemberlock
