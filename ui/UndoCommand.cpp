// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UndoCommand.h"

#include "ui/DialogService.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include <memory>

namespace pemberlock {
namespace {

// The reasons listed in one message at most; the status box has every line.
constexpr std::size_t kMostReasons = 10;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

UndoCommand::UndoCommand(QMenu& edit, QWidget& window, DialogService& dialogs, FileSystem& fs,
                         JournalPlace place, Runner run)
    : window_(window), dialogs_(dialogs), journal_(fs, std::move(place)), run_(std::move(run)) {
    action_ = edit.addAction(QStringLiteral("&Undo Last Drop"));
    action_->setObjectName(QStringLiteral("MnuUndo"));
    action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(action_, &QAction::triggered, this, [this] { MnuUndo_Click(); });
    // Another program (pemberlock-cli) may have dropped or undone meanwhile.
    connect(&edit, &QMenu::aboutToShow, this, [this] { Refresh(); });
    window.installEventFilter(this);
    // Ctrl+Z is seen first wherever the focus is: the text boxes would take
    // it for their own undo of typing, which means little in boxes that
    // correct every keystroke.
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (child->focusPolicy() != Qt::NoFocus) child->installEventFilter(this);
    }
    Refresh();
}

UndoCommand::~UndoCommand() = default;

bool UndoCommand::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::WindowActivate) Refresh();
    const bool key = event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress;
    if (!key ||
        QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()) != action_->shortcut()) {
        return QObject::eventFilter(watched, event);
    }
    // Another program may have dropped since the window was last activated.
    if (event->type() == QEvent::ShortcutOverride) Refresh();
    // Left unaccepted, the override lets the shortcut run; a key press (the
    // command greyed) does nothing.
    return watched != &window_;
}

// Not while the journal is in use on the undo's thread.
void UndoCommand::Refresh() { action_->setEnabled(!busy_ && journal_.CanUndo()); }

std::unique_ptr<DropRecorder> UndoCommand::DropStarting() {
    busy_ = true;
    Refresh();
    return journal_.Record();
}

void UndoCommand::DropEnded(const DropRecorder* recorder) {
    busy_ = false;
    Refresh();
    if (recorder && recorder->Failure()) {
        dialogs_.ShowMessage(&window_, QStringLiteral("Undo is not available for this drop: ") +
                                           FromUtf8(recorder->Failure()->Text()));
    }
}

void UndoCommand::MnuUndo_Click() {
    if (busy_) return;
    busy_ = true;
    Refresh();
    // Filled on the undo's thread, read here once it has ended.
    auto undone = std::make_shared<Result<UndoSummary>>(UndoSummary{});
    auto task = [this, undone](StatusLog& log, const std::atomic<bool>& stop,
                               const DropWorker::Progress& progress) {
        // Held from before the journal is read until the undo is recorded,
        // so that no drop or undo of another program comes in between.
        const Result<std::unique_ptr<HeldLock>> held = journal_.Hold(
            [&log] { log.Append("Waiting for another drop to finish\xe2\x80\xa6\r\n"); }, &stop,
            false);
        if (!held) {
            *undone = held.error();
            return;
        }
        *undone = journal_.UndoLast(log, {&stop, progress});
    };
    if (!run_(std::move(task), [this, undone] { UndoEnded(*undone); })) {
        busy_ = false;
        Refresh();
    }
}

void UndoCommand::UndoEnded(const Result<UndoSummary>& undone) {
    busy_ = false;
    Refresh();
    if (!undone) {
        QString why = FromUtf8(undone.error().Text()) + ".";
        why[0] = why[0].toUpper();
        dialogs_.ShowMessage(&window_, why);
        return;
    }
    if (undone->refused) {
        QString why = FromUtf8(undone->refused->Text()) + ".";
        why[0] = why[0].toUpper();
        dialogs_.ShowMessage(&window_, why);
        return;
    }
    ReportLeftAlone(*undone);
}

// The status box says which patches were left as they were; this says why.
void UndoCommand::ReportLeftAlone(const UndoSummary& summary) {
    if (summary.failures.empty() && !summary.notMarked) return;
    QString text;
    if (!summary.failures.empty()) text = QStringLiteral("Some patches were left as they were:\n");
    for (std::size_t i = 0; i < summary.failures.size() && i < kMostReasons; ++i) {
        const PatchFailure& failure = summary.failures[i];
        text += FromUtf8(failure.path + ": " + failure.error.Text()) + "\n";
    }
    if (summary.failures.size() > kMostReasons) {
        text += QStringLiteral("and %1 more.\n").arg(summary.failures.size() - kMostReasons);
    }
    if (!summary.failures.empty() && !summary.stopped) {
        text += QStringLiteral("The drop is partly undone: the next undo tries these again.\n");
    }
    if (summary.notMarked) {
        text += FromUtf8(summary.notMarked->Text() + "; the next undo takes this drop again.\n");
    }
    dialogs_.ShowMessage(&window_, text.trimmed());
}

}  // namespace pemberlock
