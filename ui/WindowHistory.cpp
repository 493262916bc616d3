// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowHistory.h"

#include "ui/DialogService.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

namespace pemberlock {
namespace {

// The reasons listed in one message at most; the status box has every line.
constexpr std::size_t kMostReasons = 10;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

QString Sentence(const Error& error) {
    QString text = FromUtf8(error.Text()) + ".";
    text[0] = text[0].toUpper();
    return text;
}

// Ctrl+Y is Windows' own redo; Ctrl+Shift+Z everyone's.
QList<QKeySequence> RedoKeys() {
    QList<QKeySequence> keys{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
#ifdef _WIN32
    keys.append(QKeySequence(Qt::CTRL | Qt::Key_Y));
#endif
    return keys;
}

}  // namespace

WindowHistory::WindowHistory(QMenu& edit, QWidget& window, DialogService& dialogs, FileSystem& fs,
                             JournalPlace place, Runner run, MapStep::Show show,
                             std::function<MapState()> current)
    : window_(window),
      dialogs_(dialogs),
      journal_(fs, std::move(place)),
      run_(std::move(run)),
      show_(std::move(show)),
      current_(std::move(current)) {
    undo_ = edit.addAction(QStringLiteral("&Undo"));
    undo_->setObjectName(QStringLiteral("MnuUndo"));
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(undo_, &QAction::triggered, this, [this] { MnuUndo_Click(); });
    redo_ = edit.addAction(QStringLiteral("&Redo"));
    redo_->setObjectName(QStringLiteral("MnuRedo"));
    redo_->setShortcuts(RedoKeys());
    connect(redo_, &QAction::triggered, this, [this] { MnuRedo_Click(); });
    history_ = edit.addAction(QStringLiteral("Undo &History\u2026"));
    history_->setObjectName(QStringLiteral("MnuUndoHistory"));
    connect(history_, &QAction::triggered, this, [this] { MnuUndoHistory_Click(); });
    edit.addSeparator();

    connect(&stack_, &QUndoStack::indexChanged, this, [this] { Refresh(); });
    // A step of typing ends where the focus leaves the knob's controls.
    connect(qApp, &QApplication::focusChanged, this, [this] { openKnob_ = -1; });
    shown_ = current_();
    Refresh();
}

WindowHistory::~WindowHistory() = default;

void WindowHistory::WatchBox(QLineEdit& box) { box.installEventFilter(this); }

bool WindowHistory::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return QObject::eventFilter(watched, event);
    // A box takes Ctrl+Z (and redo) for its own typing while it has some to
    // take back; otherwise the keys go on to the window's history.
    auto* key = static_cast<QKeyEvent*>(event);
    auto* box = static_cast<QLineEdit*>(watched);
    if ((key->matches(QKeySequence::Undo) && !box->isUndoAvailable()) ||
        (key->matches(QKeySequence::Redo) && !box->isRedoAvailable())) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void WindowHistory::MapChanged(int knob) {
    if (applying_) return;
    MapState now = current_();
    if (now.map == shown_.map) {
        shown_ = std::move(now);  // a map saved elsewhere: nothing to take back
        return;
    }
    now.path = shown_.path;
    const bool mergeable = knob >= 0 && knob == openKnob_;
    auto* step = new MapStep(std::exchange(shown_, now), now, knob, mergeable, show_);
    // Pushing may close a menu or move nothing of the focus: the step is
    // open for the knob's next change until the focus moves.
    stack_.push(step);
    openKnob_ = knob;
}

void WindowHistory::Replace(const QString& name, const std::function<void()>& change) {
    MapState before = current_();  // with the path a Save Map As may have set
    applying_ = true;
    change();
    applying_ = false;
    shown_ = current_();
    openKnob_ = -1;
    if (shown_ == before) return;
    stack_.push(new MapStep(std::move(before), shown_, -1, false, show_, name));
}

void WindowHistory::Forget() {
    stack_.clear();
    shown_ = current_();
    openKnob_ = -1;
    Refresh();
}

std::unique_ptr<DropRecorder> WindowHistory::DropStarting() {
    busy_ = true;
    Refresh();
    std::unique_ptr<DropRecorder> recorder = journal_.Record();
    if (recorder) recorder->SetProgram("pemberlock");
    return recorder;
}

void WindowHistory::DropEnded(const DropRecorder* recorder) {
    busy_ = false;
    openKnob_ = -1;
    if (recorder && recorder->Number() && recorder->Recorded() > 0) {
        stack_.push(
            new JournalStep(JournalStep::Kind::Drop, *recorder->Number(), recorder->Recorded()));
    }
    Refresh();
    if (recorder && recorder->Failure()) {
        dialogs_.ShowMessage(&window_, QStringLiteral("Undo is not available for this drop: ") +
                                           FromUtf8(recorder->Failure()->Text()));
    }
}

const JournalStep* WindowHistory::JournalStepAt(int index) const {
    return dynamic_cast<const JournalStep*>(stack_.command(index));
}

void WindowHistory::MnuUndo_Click() { Move(true); }

void WindowHistory::MnuRedo_Click() { Move(false); }

void WindowHistory::Move(bool back) {
    if (busy_ || !(back ? stack_.canUndo() : stack_.canRedo())) return;
    openKnob_ = -1;
    const auto move = [this, back] { back ? stack_.undo() : stack_.redo(); };
    if (const JournalStep* step = JournalStepAt(stack_.index() - (back ? 1 : 0))) {
        // Undoing a drop's step undoes the drop; redoing it redoes it.
        RunJournal(step->Drop(), step->UndoingUndoesTheDrop() == back, move);
        return;
    }
    applying_ = true;
    move();
    applying_ = false;
    shown_ = current_();
}

void WindowHistory::MnuUndoHistory_Click() {
    if (busy_) return;
    Result<std::vector<RecordedDrop>> drops = journal_.History();
    if (!drops) {
        dialogs_.ShowMessage(&window_, Sentence(drops.error()));
        return;
    }
    const std::optional<HistoryChoice> choice = dialogs_.ChooseFromHistory(&window_, *drops);
    if (!choice) return;
    const std::uint64_t drop = choice->drop;
    const bool undo = choice->undo;
    RunJournal(drop, undo, [this, drop, undo] {
        using Kind = JournalStep::Kind;
        stack_.push(new JournalStep(undo ? Kind::UndoOfDrop : Kind::RedoOfDrop, drop, 0));
    });
}

void WindowHistory::RunJournal(std::uint64_t drop, bool undo, std::function<void()> moved) {
    busy_ = true;
    Refresh();
    // Filled on the drop's thread, read here once it has ended.
    auto result = std::make_shared<Result<UndoSummary>>(UndoSummary{});
    auto task = [this, result, drop, undo](StatusLog& log, const std::atomic<bool>& stop,
                                           const DropWorker::Progress& progress) {
        // Held from before the journal is read until the step is recorded,
        // so that no drop or undo of another program comes in between.
        const Result<std::unique_ptr<HeldLock>> held = journal_.Hold(
            [&log] { log.Append("Waiting for another drop to finish\xe2\x80\xa6\r\n"); }, &stop,
            false);
        if (!held) {
            *result = held.error();
            return;
        }
        UndoChoice which;
        which.drop = drop;
        *result = undo ? journal_.Undo(which, log, {&stop, progress})
                       : journal_.Redo(which, log, {&stop, progress});
    };
    auto done = [this, result, undo, moved = std::move(moved)] {
        JournalEnded(*result, undo, moved);
    };
    if (!run_(std::move(task), std::move(done))) {
        busy_ = false;
        Refresh();
    }
}

void WindowHistory::JournalEnded(const Result<UndoSummary>& result, bool undo,
                                 const std::function<void()>& moved) {
    busy_ = false;
    if (!result) {
        Refresh();
        dialogs_.ShowMessage(&window_, Sentence(result.error()));
        return;
    }
    if (result->refused) {
        Refresh();
        dialogs_.ShowMessage(&window_, Sentence(*result->refused));
        return;
    }
    // A step stopped part-way, or that left a patch as it was, is not taken:
    // the next Undo (or Redo) goes on with it, as the messages say.
    if (!result->stopped && result->failures.empty() && !result->notMarked) moved();
    Refresh();
    ReportLeftAlone(*result, undo);
}

// The status box says which patches were left as they were; this says why.
void WindowHistory::ReportLeftAlone(const UndoSummary& summary, bool undo) {
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
        text +=
            undo ? QStringLiteral("The drop is partly undone: the next undo tries these again.\n")
                 : QStringLiteral("The drop is partly redone: the next redo tries these again.\n");
    }
    if (summary.notMarked) {
        text += FromUtf8(summary.notMarked->Text()) +
                (undo ? QStringLiteral("; the next undo takes this drop again.\n")
                      : QStringLiteral("; the next redo takes this drop again.\n"));
    }
    dialogs_.ShowMessage(&window_, text.trimmed());
}

void WindowHistory::Refresh() {
    const bool canUndo = !busy_ && stack_.canUndo();
    const bool canRedo = !busy_ && stack_.canRedo();
    undo_->setEnabled(canUndo);
    redo_->setEnabled(canRedo);
    undo_->setText(canUndo ? QStringLiteral("&Undo ") + stack_.undoText()
                           : QStringLiteral("&Undo"));
    redo_->setText(canRedo ? QStringLiteral("&Redo ") + stack_.redoText()
                           : QStringLiteral("&Redo"));
    history_->setEnabled(!busy_);
}

}  // namespace pemberlock
