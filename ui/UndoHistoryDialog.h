// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/UndoJournal.h"
#include "ui/DialogService.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <vector>

class QPushButton;
class QTreeWidget;

namespace pemberlock {

// The journal's drops, newest first: when, which program, how many patches,
// what state and in which folder, with Undo and Redo for the one selected. Drops another program
// made are here too; the journal's own rules decide whether one can be taken.
class UndoHistoryDialog final : public QDialog {
public:
    UndoHistoryDialog(QWidget* parent, const std::vector<RecordedDrop>& drops);

    // Once accepted: the drop chosen and what to do with it.
    std::optional<HistoryChoice> Choice() const { return choice_; }

private:
    void Choose(bool undo);
    void SelectionChanged();

    const std::vector<RecordedDrop>& drops_;
    QTreeWidget* list_ = nullptr;
    QPushButton* undo_ = nullptr;
    QPushButton* redo_ = nullptr;
    std::optional<HistoryChoice> choice_;
};

// What state a recorded drop is in: "done", "undone", "partly undone",
// "damaged (line 12)", "partly recorded".
QString DropStateText(const RecordedDrop& drop);

}  // namespace pemberlock
