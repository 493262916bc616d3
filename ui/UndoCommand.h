// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "journal/UndoJournal.h"

#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace pemberlock {

class DialogService;
class StatusBoxLog;

// Edit > Undo Last Drop (Ctrl+Z): each drop is recorded in the journal, and
// the newest drop not undone yet can be taken back, its lines going to the
// status box as a drop's do. Greyed while there is nothing to undo, or
// while a drop runs.
class UndoCommand final : public QObject {
public:
    // Adds the command to edit; window is where Ctrl+Z works, whatever has
    // the focus in it.
    UndoCommand(QMenu& edit, QWidget& window, DialogService& dialogs, FileSystem& fs,
                JournalPlace place, StatusBoxLog& log);
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
    void Refresh();
    void ReportLeftAlone(const UndoSummary& summary);

    QWidget& window_;
    DialogService& dialogs_;
    UndoJournal journal_;
    StatusBoxLog& log_;
    QAction* action_ = nullptr;
    bool dropping_ = false;
};

}  // namespace pemberlock
