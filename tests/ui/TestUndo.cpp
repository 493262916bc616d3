// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedDialogService.h"

#include "ui/FrmDragDrop.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

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

    void ctrlZUndoesTheDropWhereverTheFocusIs();
    void patchesLeftAloneAreExplained();
    void aDropThatCannotBeRecordedSaysSoOnce();

private:
    void Open(JournalPlace place);
    void Drop(const QStringList& names);
    QString Path(const QString& name) const { return dir_->filePath(name); }
    QAction* Undo() const { return window_->findChild<QAction*>(QStringLiteral("MnuUndo")); }
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

void TestUndo::Open(JournalPlace place) {
    window_.reset();
    window_ = std::make_unique<FrmDragDrop>(*dialogs_, pemberlock::RealFileSystem(), place);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void TestUndo::Drop(const QStringList& names) {
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
    QTRY_VERIFY_WITH_TIMEOUT(!window_->DropRunning(), 30000);
}

void TestUndo::ctrlZUndoesTheDropWhereverTheFocusIs() {
    auto* edit = window_->findChild<QMenu*>(QStringLiteral("MnuEdit"));
    QCOMPARE(edit->actions().first(), Undo());
    QCOMPARE(Undo()->text(), QStringLiteral("&Undo Last Drop"));
    QCOMPARE(Undo()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
    QVERIFY(!Undo()->isEnabled());

    WriteFile(Path("a.pch"), kPatch);
    Drop({"a.pch"});
    QVERIFY(ReadFile(Path("a.pch")) != kPatch);
    QVERIFY(Undo()->isEnabled());

    // In a knob box, whose own undo would take back the typing instead.
    auto* box = window_->findChild<QLineEdit*>(QStringLiteral("TxtCtrl0"));
    box->setFocus();
    QTest::keyClicks(box, "7");
    const QString typed = box->text();
    const QString before = Status();
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ReadFile(Path("a.pch")), kPatch);
    QCOMPARE(Status(),
             before + "Restoring " + Path("a.pch") + "  ....  Done.\r\n1 of 1 files restored.\r\n");
    QCOMPARE(box->text(), typed);
    QVERIFY(!Undo()->isEnabled());
    // With nothing left to undo, Ctrl+Z does nothing at all.
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box->text(), typed);
    QCOMPARE(Status(),
             before + "Restoring " + Path("a.pch") + "  ....  Done.\r\n1 of 1 files restored.\r\n");
    QVERIFY(dialogs_->messages.isEmpty());
}

void TestUndo::patchesLeftAloneAreExplained() {
    WriteFile(Path("a.pch"), kPatch);
    Drop({"a.pch"});
    WriteFile(Path("a.pch"), "edited");
    Undo()->trigger();
    QVERIFY(Status().endsWith("  ....  Error!\r\n0 of 1 files restored.\r\n"));
    QCOMPARE(dialogs_->messages, QStringList{"Some patches were left as they were:\n" +
                                             Path("a.pch") + ": was changed after the drop"});
    QCOMPARE(ReadFile(Path("a.pch")), QByteArray("edited"));
}

void TestUndo::aDropThatCannotBeRecordedSaysSoOnce() {
    Open({{}, "there is no home folder"});
    WriteFile(Path("a.pch"), kPatch);
    WriteFile(Path("b.pch"), kPatch);
    Drop({"a.pch", "b.pch"});
    Drop({"a.pch"});
    const QString message = "Undo is not available for this drop: there is no home folder";
    QCOMPARE(dialogs_->messages, (QStringList{message, message}));
    QVERIFY(!Undo()->isEnabled());
}

QTEST_MAIN(TestUndo)
#include "TestUndo.moc"
