// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedDialogService.h"

#include "drop/PatchDrop.h"
#include "journal/UndoJournal.h"
#include "tests/support/FaultyFileSystem.h"
#include "ui/FrmDragDrop.h"
#include "ui/UndoHistoryDialog.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

#include <chrono>
#include <memory>

using pemberlock::FrmDragDrop;
using pemberlock::JournalPlace;
using pemberlock::test::ScriptedDialogService;

namespace {

const QByteArray kPatch = "[KnobMapDump]\r\n1 3 1 0\r\n[/KnobMapDump]\r\n";

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

// Edit > Undo Last Drop, on a journal of the test's own.
class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneHistoryOfKnobsAndDrops();
    void patchesLeftAloneAreExplained();
    void aDropThatCannotBeRecordedSaysSoOnce();
    void aLongUndoKeepsTheWindowLiveAndStopsOnEscape();
    void anotherProgramsDropIsReachedThroughTheHistory();
    void aDropWaitsForAnotherProgramsAndEscapeGivesUp();
    void historyDialogOffersWhatEachDropAllows();
    void previewedPatchesDropAsADropOfThem();

private:
    void Open(JournalPlace place, pemberlock::FileSystem& fs = pemberlock::RealFileSystem());
    void Drop(const QStringList& names, bool wait = true);
    void WaitUntilIdle() { QTRY_VERIFY_WITH_TIMEOUT(!window_->DropRunning(), 30000); }
    template <typename T>
    T* Child(const char* name) const {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }
    QString Path(const QString& name) const { return dir_->filePath(name); }
    // A patch as the journal names it: its full path in the system's own form.
    QString Recorded(const QString& name) const { return QDir::toNativeSeparators(Path(name)); }
    QAction* Undo() const { return window_->findChild<QAction*>(QStringLiteral("MnuUndo")); }
    QAction* Redo() const { return window_->findChild<QAction*>(QStringLiteral("MnuRedo")); }
    QString Status() const { return QString::fromStdString(window_->StatusText()); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedDialogService> dialogs_;
    std::unique_ptr<FrmDragDrop> window_;
};

void TestUndo::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    dialogs_ = std::make_unique<ScriptedDialogService>();
    Open({Path("journal").toStdString(), {}});
}

void TestUndo::cleanup() {
    window_.reset();
    dialogs_.reset();
    dir_.reset();
}

void TestUndo::Open(JournalPlace place, pemberlock::FileSystem& fs) {
    window_.reset();
    window_ = std::make_unique<FrmDragDrop>(*dialogs_, fs, place);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void TestUndo::Drop(const QStringList& names, bool wait) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& name : names) urls << QUrl::fromLocalFile(Path(name));
    data.setUrls(urls);
    QWidget* frame = window_->findChild<QWidget*>(QStringLiteral("Frame2"));
    const QPoint at = frame->mapTo(window_.get(), frame->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->windowHandle(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->windowHandle(), &drop);
    if (wait) WaitUntilIdle();
}

void TestUndo::oneHistoryOfKnobsAndDrops() {
    auto* edit = window_->findChild<QMenu*>(QStringLiteral("MnuEdit"));
    QCOMPARE(edit->actions().mid(0, 3),
             (QList<QAction*>{Undo(), Redo(), Child<QAction>("MnuUndoHistory")}));
    QCOMPARE(Undo()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
    QVERIFY(Redo()->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Shift+Z"))));
    QVERIFY(!Undo()->isEnabled() && !Redo()->isEnabled());

    // A knob typed, a drop, then the knob scrolled: three steps in order.
    auto* box = Child<QLineEdit>("TxtCtrl3");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "5");
    QTest::keyClicks(box, "7");
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Knob 4: 104 → 57"));
    WriteFile(Path("a.pch"), kPatch);
    Drop({"a.pch"});
    const QByteArray dropped = ReadFile(Path("a.pch"));
    QVERIFY(dropped != kPatch);
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Drop of 1 Patch"));
    auto* bar = Child<QScrollBar>("ScrKnob0");
    bar->setFocus();
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);  // up: one more
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Knob 1: 101 → 102"));

    // Ctrl+Z takes them back wherever the focus is, newest first.
    const QString before = Status();
    QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window_->Map().EntryText(0), std::string("101"));
    box->setFocus();  // with no typing of its own to take back
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    WaitUntilIdle();
    QCOMPARE(ReadFile(Path("a.pch")), kPatch);
    QCOMPARE(Status(), before + "Restoring " + Recorded("a.pch") +
                           "  ....  Done.\r\n1 of 1 files restored.\r\n");
    QCOMPARE(box->text(), QStringLiteral("57"));
    QCOMPARE(Redo()->text(), QStringLiteral("&Redo Drop of 1 Patch"));

    // Redo puts the drop's bytes back, then the knob.
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    WaitUntilIdle();
    QCOMPARE(ReadFile(Path("a.pch")), dropped);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(window_->Map().EntryText(0), std::string("102"));
    QVERIFY(!Redo()->isEnabled());

    // Typing in a box is taken back by the box first; typed back to where it
    // was, it leaves no step.
    box->selectAll();
    QTest::keyClicks(box, "9");
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("57"));
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Knob 1: 101 → 102"));
    QVERIFY(dialogs_->messages.isEmpty());
}

void TestUndo::patchesLeftAloneAreExplained() {
    WriteFile(Path("a.pch"), kPatch);
    Drop({"a.pch"});
    WriteFile(Path("a.pch"), "edited");
    Undo()->trigger();
    WaitUntilIdle();
    QVERIFY(Status().endsWith("  ....  Error!\r\n0 of 1 files restored.\r\n"));
    QCOMPARE(dialogs_->messages,
             QStringList{"Some patches were left as they were:\n" + Recorded("a.pch") +
                         ": was changed after the drop\nThe drop is partly undone: the next undo "
                         "tries these again."});
    QCOMPARE(ReadFile(Path("a.pch")), QByteArray("edited"));
}

void TestUndo::aDropThatCannotBeRecordedSaysSoOnce() {
    Open({{}, pemberlock::Error{"there is no home folder"}});
    WriteFile(Path("a.pch"), kPatch);
    WriteFile(Path("b.pch"), kPatch);
    Drop({"a.pch", "b.pch"});
    Drop({"a.pch"});
    const QString message = "Undo is not available for this drop: there is no home folder";
    QCOMPARE(dialogs_->messages, (QStringList{message, message}));
    QVERIFY(!Undo()->isEnabled());
}

void TestUndo::aLongUndoKeepsTheWindowLiveAndStopsOnEscape() {
    // Each file opened for reading takes a while, as on a slow disk; the
    // undo reads each patch and its old bytes, in groups of up to 64.
    pemberlock::test::FaultyFileSystem slow(pemberlock::test::Fault::None,
                                            std::chrono::milliseconds(10));
    Open({Path("journal").toStdString(), {}}, slow);
    QStringList names;
    for (int i = 0; i < 150; ++i) {
        names << QStringLiteral("p%1.pch").arg(i, 3, 10, QLatin1Char('0'));
        WriteFile(Path(names.back()), kPatch);
    }
    Drop(names);

    Undo()->trigger();
    QVERIFY(window_->DropRunning());
    QVERIFY(!Child<QWidget>("Frame1")->isEnabled());
    QVERIFY(!Child<QMenu>("MnuEdit")->isEnabled());
    auto* count = Child<QLabel>("DropCount");
    QTRY_VERIFY_WITH_TIMEOUT(count->isVisible() &&
                                 count->text().endsWith(QStringLiteral(" of 150")) &&
                                 !count->text().startsWith(QStringLiteral("0 ")),
                             30000);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    WaitUntilIdle();

    const QString log = Status();
    const QRegularExpression stopped(
        QStringLiteral("Stopped: (\\d+) of 150 files not processed.\r\n"
                       "(\\d+) of (\\d+) files restored.\r\n$"));
    const QRegularExpressionMatch match = stopped.match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log.right(300)));
    const int handled = 150 - match.captured(1).toInt();
    QVERIFY(handled > 0);
    QCOMPARE(match.captured(2).toInt(), handled);
    int restored = 0;
    for (const QString& name : names) restored += ReadFile(Path(name)) == kPatch;
    QCOMPARE(restored, handled);

    // The drop is still to be undone; the next undo finishes it.
    QVERIFY(Undo()->isEnabled());
    Undo()->trigger();
    WaitUntilIdle();
    QVERIFY(Status().endsWith("150 of 150 files restored.\r\n"));
    for (const QString& name : names) QCOMPARE(ReadFile(Path(name)), kPatch);
    QVERIFY(!Undo()->isEnabled());
    QVERIFY(dialogs_->messages.isEmpty());
    window_.reset();  // before the file system it uses
}

void TestUndo::anotherProgramsDropIsReachedThroughTheHistory() {
    WriteFile(Path("a.pch"), kPatch);
    {  // as pemberlock-cli drops, into the same journal
        pemberlock::UndoJournal journal(pemberlock::RealFileSystem(),
                                        {Path("journal").toStdString(), {}});
        const auto recorder = journal.Record();
        pemberlock::TextStatusLog log;
        pemberlock::DropOptions options;
        options.journal = recorder.get();
        pemberlock::RunPatchDrop({Path("a.pch").toStdString()}, log, {},
                                 pemberlock::RealFileSystem(), options);
        recorder->Finish();
    }
    const QByteArray dropped = ReadFile(Path("a.pch"));
    QVERIFY(dropped != kPatch);
    // Not this window's step: Ctrl+Z leaves it alone.
    QVERIFY(!Undo()->isEnabled());
    QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ReadFile(Path("a.pch")), dropped);

    // Undo History shows it, and undoes it when asked; that undo is then
    // the window's newest step.
    dialogs_->historyAnswer = pemberlock::HistoryChoice{1, true};
    Child<QAction>("MnuUndoHistory")->trigger();
    WaitUntilIdle();
    QCOMPARE(dialogs_->histories.size(), std::size_t{1});
    QCOMPARE(dialogs_->histories[0].size(), std::size_t{1});
    QCOMPARE(dialogs_->histories[0][0].patches, std::size_t{1});
    QCOMPARE(ReadFile(Path("a.pch")), kPatch);
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Undo of Drop 1"));
    Undo()->trigger();
    WaitUntilIdle();
    QCOMPARE(ReadFile(Path("a.pch")), dropped);
    QVERIFY(dialogs_->messages.isEmpty());
}

void TestUndo::aDropWaitsForAnotherProgramsAndEscapeGivesUp() {
    WriteFile(Path("a.pch"), kPatch);
    // As another program's drop or undo holds the journal.
    pemberlock::UndoJournal other(pemberlock::RealFileSystem(),
                                  {Path("journal").toStdString(), {}});
    auto held = other.Hold({}, nullptr);
    QVERIFY(held && *held);
    const QString waiting = QStringLiteral("Waiting for another drop to finish…\r\n");

    const QString before = Status();
    Drop({"a.pch"}, false);
    QTRY_COMPARE_WITH_TIMEOUT(Status(), before + waiting, 10000);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    WaitUntilIdle();
    QCOMPARE(Status(), before + waiting +
                           "Stopped while waiting for another drop to finish; nothing was "
                           "changed.\r\n");
    QCOMPARE(ReadFile(Path("a.pch")), kPatch);
    QVERIFY(!Undo()->isEnabled());

    // Once the other is done, a waiting drop goes ahead.
    Drop({"a.pch"}, false);
    QTRY_VERIFY_WITH_TIMEOUT(Status().endsWith(waiting), 10000);
    held->reset();
    WaitUntilIdle();
    QVERIFY(
        Status().endsWith("1 of 1 files processed successfully.\r\n0 files skipped.\r\n0 "
                          "errors.\r\n"));
    QVERIFY(ReadFile(Path("a.pch")) != kPatch);
}

void TestUndo::historyDialogOffersWhatEachDropAllows() {
    pemberlock::RecordedDrop done;
    done.number = 2;
    done.patches = 42;
    done.program = "pemberlock-cli";
    done.folder = "/home/me/patches";
    pemberlock::RecordedDrop undone = done;
    undone.number = 1;
    undone.undone = true;
    const std::vector<pemberlock::RecordedDrop> drops{done, undone};
    pemberlock::UndoHistoryDialog dialog(window_.get(), drops);
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("DropList"));
    auto* undo = dialog.findChild<QPushButton*>(QStringLiteral("UndoDrop"));
    auto* redo = dialog.findChild<QPushButton*>(QStringLiteral("RedoDrop"));
    QCOMPARE(list->topLevelItemCount(), 2);
    const QStringList columns{"2", "pemberlock-cli", "42", "done", "/home/me/patches"};
    for (int column : {0, 2, 3, 4, 5}) {
        QVERIFY(columns.contains(list->topLevelItem(0)->text(column)));
    }
    QCOMPARE(list->topLevelItem(1)->text(4), QStringLiteral("undone"));
    // The newest is selected: it can be undone, not redone; the older one the other way.
    QVERIFY(undo->isEnabled() && !redo->isEnabled());
    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(!undo->isEnabled() && redo->isEnabled());
    redo->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.Choice() && dialog.Choice()->drop == 1 && !dialog.Choice()->undo);
}

void TestUndo::previewedPatchesDropAsADropOfThem() {
    // Twin folders: one dropped on the window, one previewed and then
    // dropped from the preview's report.
    for (const QString folder : {"plain", "previewed"}) {
        QVERIFY(QDir().mkpath(Path(folder + "/sub")));
        WriteFile(Path(folder + "/a.pch"), kPatch);
        WriteFile(Path(folder + "/sub/b.pch"), kPatch);
        WriteFile(Path(folder + "/notes.txt"), "not a patch");
    }
    const QString start = Status();
    Drop({"plain"});
    const QString plain = Status().mid(start.size());

    dialogs_->setNextFileName(Path("previewed"));
    dialogs_->setNextPreviewDrop(true);
    Child<QAction>("MnuPreviewFolder")->trigger();
    QTRY_COMPARE(dialogs_->reports.size(), 1);
    WaitUntilIdle();
    // The same lines, the same bytes, and one more step to take back.
    QCOMPARE(Status().mid(start.size() + plain.size()),
             QString(plain).replace(Recorded("plain"), Recorded("previewed")));
    for (const QString name : {"a.pch", "sub/b.pch", "notes.txt"}) {
        QCOMPARE(ReadFile(Path("previewed/" + name)), ReadFile(Path("plain/" + name)));
    }
    QVERIFY(ReadFile(Path("previewed/a.pch")) != kPatch);
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Drop of 2 Patches"));
    Undo()->trigger();
    WaitUntilIdle();
    QCOMPARE(ReadFile(Path("previewed/a.pch")), kPatch);
    QCOMPARE(ReadFile(Path("previewed/sub/b.pch")), kPatch);
    QVERIFY(ReadFile(Path("plain/a.pch")) != kPatch);
    QVERIFY(dialogs_->messages.isEmpty());
}

QTEST_MAIN(TestUndo)
#include "TestUndo.moc"
