// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedDialogService.h"

#include "common/Version.h"
#include "drop/StatusLog.h"
#include "map/MapFile.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/PassThroughFileSystem.h"
#include "ui/About.h"
#include "ui/DialogService.h"
#include "ui/DropFrame.h"
#include "ui/FocusRing.h"
#include "ui/FrmDragDrop.h"
#include "ui/KnobEditor.h"
#include "ui/MapSheetPainter.h"
#include "ui/ReportDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using pemberlock::FrmDragDrop;
using pemberlock::KnobScrollBar;
using pemberlock::test::ScriptedDialogService;

namespace {

// The worked example of a patch: one controller line to keep, one the default
// map takes over, two knob lines.
const QByteArray kPatch =
    "x=1, y=2\r\n[KnobMapDump]\r\n1 3 1 0\r\n0 7 2 5\r\n[/KnobMapDump]\r\n"
    "[CtrlMapDump]\r\n1 9 0 7\r\n1 4 0 103\r\n[/CtrlMapDump]\r\nz\r\n";

// A patch whose knobs name their modules: knob 1 an OscA named Lead, knob 2
// a FilterE named Bass LP.
const QByteArray kNamedPatch =
    "[ModuleDump]\r\n1 \r\n1 7 0 0 \r\n2 51 1 0 \r\n[/ModuleDump]\r\n[KnobMapDump]\r\n"
    "1 1 0 0 \r\n1 2 3 1 \r\n[/KnobMapDump]\r\n[NameDump]\r\n1 \r\n1 Lead\r\n2 Bass LP\r\n"
    "[/NameDump]\r\n";

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A path as the window names it: UTF-8, the system's own separators.
std::string Std(const QString& text) { return QDir::toNativeSeparators(text).toStdString(); }

// A report of each kind of row: rewritten, skipped and two failed.
pemberlock::DropReportRows ReportOfEachKind() {
    using Kind = pemberlock::DropPathResult::Kind;
    auto written = std::make_shared<pemberlock::RewriteReport>();
    written->sections.resize(1);
    written->sections[0].written = {{0, "1 3 1", 101}};
    pemberlock::DropReportRows rows;
    rows.Add({"/p/bass.pch", Kind::Rewritten, std::nullopt, written});
    rows.Add({"/p/Broken.pch", Kind::Failed, pemberlock::Error{"knob 99 is not a knob", 2}, {}});
    rows.Add({"/p/notes.txt", Kind::Skipped, std::nullopt, nullptr});
    rows.Add({"/p/gone.pch", Kind::Failed, pemberlock::Error{"is missing"}, nullptr});
    return rows;
}

}  // namespace

class TestFrmDragDrop : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpGeometry_data();
    void startUpGeometry();
    void startUpState();
    void focusOrder();

    void knobEditor_data();
    void knobEditor();
    void scrollBarDragAndDirection();
    void knobSteps_data();
    void knobSteps();

    void checkBoxNeverGreyedByClicks();
    void rewriterReadsCheckBox_data();
    void rewriterReadsCheckBox();

    void dropRunsBatch_data();
    void dropRunsBatch();
    void dropRefusesAnythingButLocalFiles_data();
    void dropRefusesAnythingButLocalFiles();
    void dropWithMapWarningsAsksFirst();
    void confirmBoxDropsOrCancels();
    void longDropShowsProgressAndStopsOnEscape();
    void closingDuringADropStopsItThenCloses();
    void destroyingTheWindowDuringADropWaitsForIt();
    void droppedFoldersArePatchesInByteOrder();

    void loadMap();
    void failingLoadSaysSoAndKeepsMap();
    void saveAndSaveAs();
    void failingSave();
    void exportMapSheet_data();
    void exportMapSheet();
    void mapFilesGoThroughTheWindowsFileSystem_data();
    void mapFilesGoThroughTheWindowsFileSystem();
    void messageBoxHasOneOkButton();

    void helpMenuComesLastAndShowsAbout();
    void aboutBoxHasOneOkButton();
    void infoOptions_data();
    void infoOptions();
    void previewAndLastDropReport();
    void previewOfAFolder_data();
    void previewOfAFolder();
    void knobTipsShowTheLastSinglePatch_data();
    void knobTipsShowTheLastSinglePatch();
    void knobBoxesWarnAboutTheMap();
    void reportDialogFilters_data();
    void reportDialogFilters();
    void reportDialogCanBeReadAndCopied();
    void enterDoesNotDropThePreviewedPatches();
    void reportDialogOpensWithManyRows();

private:
    template <typename T>
    T* Child(const QString& name) {
        T* child = window_->findChild<T*>(name);
        if (child == nullptr) qFatal("no child %s", qPrintable(name));
        return child;
    }
    QLineEdit* Box(int i) { return Child<QLineEdit>(QStringLiteral("TxtCtrl%1").arg(i)); }
    KnobScrollBar* Bar(int i) {
        return static_cast<KnobScrollBar*>(Child<QScrollBar>(QStringLiteral("ScrKnob%1").arg(i)));
    }
    QAction* Action(const QString& name) { return Child<QAction>(name); }
    QString Path(const QString& name) const { return dir_->filePath(name); }
    // Sends a drag over the window at the centre of the named control, and
    // drops it there when it is accepted; waits for the drop to end unless
    // told not to. Returns whether the drag was accepted.
    bool DragAndDrop(const QString& target, const QMimeData& data, Qt::DropActions actions,
                     bool wait = true);
    // A window on fs in place of the one each test starts with.
    void UseFileSystem(std::unique_ptr<pemberlock::test::FaultyFileSystem> fs);
    // Patches a.pch, b.pch, ... in the test's folder, and the data to drop them.
    QStringList MakePatches(int count, QMimeData& data);
    // The named patch a.pch, the worked example b.pch and notes.txt in the
    // folder name of the test's folder.
    void MakeBank(const QString& name);
    // A drop of count patches on a slow disk, started and not waited for.
    QStringList StartSlowDrop(int count);
    // Knob i's text, scroll position and map entry all show text.
    void VerifyKnob(int i, const QString& text);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedDialogService> dialogs_;
    std::unique_ptr<pemberlock::test::FaultyFileSystem> fs_;
    std::unique_ptr<FrmDragDrop> window_;
    std::unique_ptr<QWidget> elsewhere_;  // another program's window
};

void TestFrmDragDrop::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dialogs_ = std::make_unique<ScriptedDialogService>();
    UseFileSystem(
        std::make_unique<pemberlock::test::FaultyFileSystem>(pemberlock::test::Fault::None));
}

void TestFrmDragDrop::UseFileSystem(std::unique_ptr<pemberlock::test::FaultyFileSystem> fs) {
    window_.reset();
    fs_ = std::move(fs);
    window_ = std::make_unique<FrmDragDrop>(*dialogs_, *fs_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

QStringList TestFrmDragDrop::MakePatches(int count, QMimeData& data) {
    QStringList paths;
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        paths << Path(QStringLiteral("p%1.pch").arg(i, 5, 10, QLatin1Char('0')));
        WriteFile(paths.back(), kPatch);
        urls << QUrl::fromLocalFile(paths.back());
    }
    data.setUrls(urls);
    return paths;
}

void TestFrmDragDrop::MakeBank(const QString& name) {
    QVERIFY(QDir().mkpath(Path(name)));
    WriteFile(Path(name + "/a.pch"), kNamedPatch);
    WriteFile(Path(name + "/b.pch"), kPatch);
    WriteFile(Path(name + "/notes.txt"), "not a patch\r\n");
}

QStringList TestFrmDragDrop::StartSlowDrop(int count) {
    using namespace pemberlock::test;
    UseFileSystem(std::make_unique<FaultyFileSystem>(Fault::None, std::chrono::milliseconds(20)));
    // The drag comes from another program, whose window is the active one.
    elsewhere_ = std::make_unique<QWidget>();
    elsewhere_->show();
    QApplication::setActiveWindow(elsewhere_.get());
    QMimeData data;
    const QStringList paths = MakePatches(count, data);
    const bool accepted = DragAndDrop("Shape1", data, Qt::CopyAction, false);
    return accepted ? paths : QStringList();
}

void TestFrmDragDrop::cleanup() {
    QCOMPARE(dialogs_->unanswered, 0);
    elsewhere_.reset();
    window_.reset();
    fs_.reset();
    dialogs_.reset();
    dir_.reset();
}

void TestFrmDragDrop::VerifyKnob(int i, const QString& text) {
    QCOMPARE(Box(i)->text(), text);
    QCOMPARE(Bar(i)->Position(), text.toInt());
    QCOMPARE(QString::fromStdString(window_->Map().EntryText(i)), text);
}

void TestFrmDragDrop::startUpGeometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    const auto row = [](const QString& name, QRect rect) {
        QTest::newRow(qPrintable(name)) << name << rect;
    };
    row("Frame1", {8, 8, 401, 241});
    row("Frame2", {416, 8, 113, 241});
    row("Shape1", {8, 16, 97, 217});
    row("ChkPrecedence", {280, 256, 249, 17});
    row("Label2", {8, 264, 105, 17});
    row("TxtStatus", {8, 280, 521, 81});
    const int columnX[] = {8, 64, 136, 192, 264, 336};
    for (int i = 0; i < FrmDragDrop::kKnobCount; ++i) {
        const int x = columnX[i / 3];
        const int r = i % 3;
        row(QStringLiteral("ScrKnob%1").arg(i), {x, 24 + 72 * r, 17, 57});
        row(QStringLiteral("TxtCtrl%1").arg(i), {x + 24, 40 + 72 * r, 25, 25});
    }
}

void TestFrmDragDrop::startUpGeometry() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QCOMPARE(Child<QWidget>(name)->geometry(), geometry);
}

void TestFrmDragDrop::startUpState() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Pemberlock"));
    const QWidget* client = window_->centralWidget();
    QCOMPARE(client->size(), QSize(537, 369));
    QCOMPARE(client->y(), window_->menuBar()->height());
    QCOMPARE(window_->minimumSize(), window_->maximumSize());
    QCOMPARE(window_->height(), window_->menuBar()->height() + 369);
    const QList<QSize> iconSizes = window_->windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)));
    QVERIFY(iconSizes.contains(QSize(32, 32)));

    QCOMPARE(Child<QGroupBox>("Frame1")->title(), QStringLiteral("Controller Mapping"));
    QCOMPARE(Child<QGroupBox>("Frame2")->title(), QStringLiteral("Drop Patches Here"));
    QCOMPARE(Child<QLabel>("Label2")->text(), QStringLiteral("Status"));
    auto* check = Child<QCheckBox>("ChkPrecedence");
    QCOMPARE(check->text(), QStringLiteral("Existing Controller Mappings Take Precedence"));
    QCOMPARE(check->checkState(), Qt::Unchecked);
    QCOMPARE(window_->Map().Precedence(), 0);
    QVERIFY(Child<QPlainTextEdit>("TxtStatus")->isReadOnly());
    QCOMPARE(window_->StatusText(), std::string(pemberlock::kGreeting));
    QCOMPARE(Child<QPlainTextEdit>("TxtStatus")->toPlainText(),
             QString::fromStdString(std::string(pemberlock::kGreeting)).replace("\r\n", "\n"));
    QVERIFY(window_->CurrentMapPath().isEmpty());

    for (int i = 0; i < FrmDragDrop::kKnobCount; ++i) {
        VerifyKnob(i, QString::number(101 + i));
        QCOMPARE(Bar(i)->minimum(), 0);
        QCOMPARE(Bar(i)->maximum(), 120);
        QCOMPARE(Bar(i)->singleStep(), 1);
        QCOMPARE(Bar(i)->pageStep(), 5);
        const QString role = QStringLiteral("Knob %1 controller").arg(i + 1);
        QCOMPARE(Bar(i)->accessibleName(), role);
        QCOMPARE(Bar(i)->toolTip(), role);
        QCOMPARE(Box(i)->accessibleName(), role);
        QCOMPARE(Box(i)->toolTip(), role);
    }

    const QList<QAction*> commands = Child<QMenu>("MnuFile")->actions();
    QCOMPARE(Child<QMenu>("MnuFile")->title(), QStringLiteral("&File"));
    QCOMPARE(commands.size(), 4);
    QCOMPARE(commands[0], Action("MnuLoad"));
    QCOMPARE(commands[1], Action("MnuSave"));
    QCOMPARE(commands[2], Action("MnuSaveAs"));
    QCOMPARE(commands[0]->text(), QStringLiteral("&Load Map"));
    QCOMPARE(commands[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    QCOMPARE(commands[1]->text(), QStringLiteral("&Save Map"));
    QCOMPARE(commands[1]->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(commands[2]->text(), QStringLiteral("Save Map As"));
    QVERIFY(commands[2]->shortcut().isEmpty());
    QCOMPARE(commands[3], Action("MnuExportSheet"));
    QCOMPARE(commands[3]->text(), QStringLiteral("&Export Map Sheet…"));
}

void TestFrmDragDrop::focusOrder() {
    QStringList expected;
    for (int i = 0; i < FrmDragDrop::kKnobCount; ++i) {
        expected << QStringLiteral("ScrKnob%1").arg(i);
    }
    for (int i = 0; i < FrmDragDrop::kKnobCount; ++i) {
        expected << QStringLiteral("TxtCtrl%1").arg(i);
    }
    expected << "TxtStatus"
             << "ChkPrecedence";

    QApplication::setActiveWindow(window_.get());
    Bar(0)->setFocus(Qt::TabFocusReason);
    QStringList visited;
    const auto* ring = Child<pemberlock::FocusRing>("FocusRing");
    for (int n = 0; n < expected.size(); ++n) {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused != nullptr);
        visited << focused->objectName();
        // Each shows that it has the focus, framed around its edge.
        QCOMPARE(ring->Framed(), focused);
        QVERIFY(ring->isVisible());
        QCOMPARE(ring->geometry(), focused->geometry().adjusted(-2, -2, 2, 2));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
    QCOMPARE(QApplication::focusWidget(), Bar(0));  // and round again
}

void TestFrmDragDrop::knobEditor_data() {
    QTest::addColumn<QString>("how");  // type, paste or clear, over all the box's text
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("typing 130 stops at 120") << "type"
                                             << "130"
                                             << "120";
    QTest::newRow("typing 150 stops at 120") << "type"
                                             << "150"
                                             << "120";
    QTest::newRow("typing 42") << "type"
                               << "42"
                               << "42";
    QTest::newRow("a typed point has no lasting effect") << "type"
                                                         << "7.5"
                                                         << "75";
    QTest::newRow("a typed minus has no lasting effect") << "type"
                                                         << "-5"
                                                         << "5";
    QTest::newRow("typed letters read as 0, the next digit replaces it") << "type"
                                                                         << "ab7"
                                                                         << "7";
    QTest::newRow("pasting 7.5 gives 8") << "paste"
                                         << "7.5"
                                         << "8";
    QTest::newRow("pasting 2.5 gives 2") << "paste"
                                         << "2.5"
                                         << "2";
    QTest::newRow("pasting 12abc gives 12") << "paste"
                                            << "12abc"
                                            << "12";
    QTest::newRow("pasting -5 gives 0") << "paste"
                                        << "-5"
                                        << "0";
    QTest::newRow("pasting 130 gives 120") << "paste"
                                           << "130"
                                           << "120";
    QTest::newRow("deleting all text leaves 0") << "clear"
                                                << ""
                                                << "0";
}

void TestFrmDragDrop::knobEditor() {
    QFETCH(QString, how);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const int knob = 4;
    QLineEdit* box = Box(knob);
    QApplication::setActiveWindow(window_.get());
    box->setFocus();
    box->selectAll();
    if (how == "type") {
        QTest::keyClicks(box, input);
    } else if (how == "paste") {
        QApplication::clipboard()->setText(input);
        QTest::keySequence(box, QKeySequence::Paste);
    } else {
        QTest::keyClick(box, Qt::Key_Backspace);
    }
    VerifyKnob(knob, expected);
    // The neighbours stay as they were.
    VerifyKnob(knob - 1, QString::number(101 + knob - 1));
    VerifyKnob(knob + 1, QString::number(101 + knob + 1));
}

void TestFrmDragDrop::scrollBarDragAndDirection() {
    const int knob = 4;
    KnobScrollBar* bar = Bar(knob);
    QLineEdit* box = Box(knob);
    QSignalSpy textChanges(box, &QLineEdit::textChanged);

    const auto thumb = [bar] {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Vertical;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.subControls = QStyle::SC_All;
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                            QStyle::SC_ScrollBarSlider, bar);
    };

    // Drag the thumb a pixel at a time to the top, then to the bottom: the
    // text follows while the button is still down. (Knob 4 starts near the
    // top; with the Windows style's arrows that is two pixels away.)
    const auto drag = [&](int toY) {
        QPoint at = thumb().center();
        QTest::mousePress(bar, Qt::LeftButton, {}, at);
        const int step = toY < at.y() ? -1 : 1;
        while ((step < 0 && at.y() > toY) || (step > 0 && at.y() < toY)) {
            at.ry() += step;
            QTest::mouseMove(bar, at);
        }
        QTest::mouseMove(bar, QPoint(at.x(), toY));
    };
    drag(-20);
    QVERIFY2(textChanges.size() >= 2, "the text did not follow the drag");
    VerifyKnob(knob, "120");
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(thumb().center().x(), -20));
    VerifyKnob(knob, "120");

    textChanges.clear();
    drag(bar->height() + 20);
    QVERIFY2(textChanges.size() >= 2, "the text did not follow the drag");
    VerifyKnob(knob, "0");
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(thumb().center().x(), bar->height() + 20));
    VerifyKnob(knob, "0");

    // Up is more: the up arrow, Up key and Page Up raise the number.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 2));
    VerifyKnob(knob, "1");
    QApplication::setActiveWindow(window_.get());
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Up);
    VerifyKnob(knob, "2");
    QTest::keyClick(bar, Qt::Key_PageUp);
    VerifyKnob(knob, "7");
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 2));
    VerifyKnob(knob, "6");
}

void TestFrmDragDrop::knobSteps_data() {
    QTest::addColumn<int>("key");           // pressed in knob 1's box; 0: the wheel on its bar
    QTest::addColumn<QList<int>>("wheel");  // eighths of a degree, event by event
    QTest::addColumn<bool>("natural");      // the system's scrolling follows the fingers
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("expected");
    const QList<int> none;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << false << 50 << 51;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << false << 50 << 49;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << none << false << 50 << 55;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << none << false << 50 << 45;
    QTest::newRow("Up at the top") << int(Qt::Key_Up) << none << false << 120 << 120;
    QTest::newRow("Page Down near 0") << int(Qt::Key_PageDown) << none << false << 3 << 0;
    QTest::newRow("a notch up") << 0 << QList<int>{120} << false << 50 << 51;
    QTest::newRow("a notch down") << 0 << QList<int>{-120} << false << 50 << 49;
    QTest::newRow("half notches") << 0 << QList<int>{60, 30, 30} << false << 50 << 51;
    QTest::newRow("natural scrolling") << 0 << QList<int>{120} << true << 50 << 51;
}

void TestFrmDragDrop::knobSteps() {
    QFETCH(int, key);
    QFETCH(QList<int>, wheel);
    QFETCH(bool, natural);
    QFETCH(int, start);
    QFETCH(int, expected);
    Box(0)->setText(QString::number(start));
    if (key != 0) QTest::keyClick(Box(0), Qt::Key(key));
    // A plain scroll bar takes the same wheel the same way, three steps a notch.
    QScrollBar plain(Qt::Vertical);
    plain.setRange(0, 120);
    plain.setValue(60);
    for (const int delta : wheel) {
        for (QWidget* bar : {static_cast<QWidget*>(Bar(0)), static_cast<QWidget*>(&plain)}) {
            const QPointF at = bar->rect().center();
            QWheelEvent event(at, bar->mapToGlobal(at), {}, {0, delta}, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, natural);
            QApplication::sendEvent(bar, &event);
        }
    }
    VerifyKnob(0, QString::number(expected));
    if (!wheel.isEmpty()) QCOMPARE(60 - plain.value(), 3 * (expected - start));
}

void TestFrmDragDrop::checkBoxNeverGreyedByClicks() {
    auto* check = Child<QCheckBox>("ChkPrecedence");
    const auto click = [check] {
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    };
    for (int n = 0; n < 4; ++n) {
        click();
        QCOMPARE(check->checkState(), n % 2 == 0 ? Qt::Checked : Qt::Unchecked);
        QCOMPARE(window_->Map().Precedence(), n % 2 == 0 ? 1 : 0);
    }

    // A map file brings the greyed state; the next click ticks.
    pemberlock::KnobControllerMap stored;
    stored.SetPrecedence(2);
    WriteFile(Path("two.mpn"), QByteArray::fromStdString(pemberlock::FormatMapFile(stored)));
    dialogs_->setNextFileName(Path("two.mpn"));
    Action("MnuLoad")->trigger();
    QCOMPARE(check->checkState(), Qt::PartiallyChecked);
    QCOMPARE(window_->Map().Precedence(), 2);
    click();
    QCOMPARE(check->checkState(), Qt::Checked);
    QCOMPARE(window_->Map().Precedence(), 1);
    click();
    QCOMPARE(check->checkState(), Qt::Unchecked);
    QCOMPARE(window_->Map().Precedence(), 0);
}

void TestFrmDragDrop::rewriterReadsCheckBox_data() {
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QByteArray>("section");
    QTest::newRow("unticked: the map's controller numbers win")
        << false
        << QByteArray("[CtrlMapDump]\r\n1 9 0 7\r\n1 3 1 101\r\n0 7 2 106\r\n[/CtrlMapDump]\r\n");
    QTest::newRow("ticked: existing assignments stay")
        << true
        << QByteArray(
               "[CtrlMapDump]\r\n1 9 0 7\r\n1 4 0 103\r\n1 3 1 101\r\n0 7 2 106\r\n"
               "[/CtrlMapDump]\r\n");
}

void TestFrmDragDrop::rewriterReadsCheckBox() {
    QFETCH(bool, ticked);
    QFETCH(QByteArray, section);
    if (ticked) {
        QTest::mouseClick(Child<QCheckBox>("ChkPrecedence"), Qt::LeftButton, {}, QPoint(6, 8));
    }
    const QString patch = Path("song.pch");
    WriteFile(patch, kPatch);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(patch)});
    QVERIFY(DragAndDrop("Shape1", data, Qt::CopyAction));
    QCOMPARE(ReadFile(patch),
             "x=1, y=2\r\n[KnobMapDump]\r\n1 3 1 0\r\n0 7 2 5\r\n[/KnobMapDump]\r\n" + section +
                 "z\r\n");
}

bool TestFrmDragDrop::DragAndDrop(const QString& target, const QMimeData& data,
                                  Qt::DropActions actions, bool wait) {
    QWidget* widget = Child<QWidget>(target);
    const QPoint at = widget->mapTo(window_.get(), widget->rect().center());
    QWindow* handle = window_->windowHandle();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(handle, &leave);
        return false;
    }
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    // The drop area shows that it will take what is over it, until it has.
    const auto* area = Child<pemberlock::DropFrame>("Frame2");
    if (move.isAccepted() && !area->Highlighted()) {
        qWarning("the drop area does not show that it takes the drag");
        return false;
    }
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &drop);
    if (area->Highlighted()) {
        qWarning("the drop area still shows a drag after the drop");
        return false;
    }
    const bool accepted =
        move.isAccepted() && drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    if (accepted && wait && !QTest::qWaitFor([&] { return !window_->DropRunning(); }, 60000)) {
        qWarning("the drop did not end");
        return false;
    }
    return accepted;
}

void TestFrmDragDrop::dropRunsBatch_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("on the red shape") << "Shape1";
    QTest::newRow("on the frame's caption") << "Frame2";
}

void TestFrmDragDrop::dropRunsBatch() {
    QFETCH(QString, target);
    const QString good = Path("a.pch");
    const QString notes = Path("notes.txt");
    const QString bad = Path("b.pch");
    WriteFile(good, kPatch);
    WriteFile(notes, "not a patch\r\n");
    WriteFile(bad, "[KnobMapDump]\r\n1 3 1 99\r\n[/KnobMapDump]\r\n");  // there is no knob 99

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(good), QUrl::fromLocalFile(notes), QUrl::fromLocalFile(bad)});
    // A file manager may offer a move; the window still takes a copy.
    QVERIFY(DragAndDrop(target, data, Qt::CopyAction | Qt::MoveAction));

    const std::string batch = "Processing " + Std(good) + "  ....  Done.\r\n" + Std(notes) +
                              " is not a 'pch' file.. skipping.\r\n" + "Processing " + Std(bad) +
                              "  ....  Error!\r\n" + "1 of 3 files processed successfully.\r\n" +
                              "1 files skipped.\r\n1 errors.\r\n";
    QCOMPARE(QString::fromStdString(window_->StatusText()),
             QString::fromStdString(std::string(pemberlock::kGreeting) + batch));
    QVERIFY(ReadFile(good).contains("1 3 1 101\r\n0 7 2 106\r\n"));
    QCOMPARE(ReadFile(notes), QByteArray("not a patch\r\n"));

    // A second drop goes below the first one's summary, and the box shows
    // the whole log with its newest line in view.
    auto* status = Child<QPlainTextEdit>("TxtStatus");
    for (int n = 0; n < 5; ++n) QVERIFY(DragAndDrop(target, data, Qt::CopyAction));
    std::string all(pemberlock::kGreeting);
    for (int n = 0; n < 6; ++n) all += batch;
    // The second and later drops find a.pch already rewritten, which succeeds again.
    QCOMPARE(QString::fromStdString(window_->StatusText()), QString::fromStdString(all));
    QCOMPARE(status->toPlainText(), QString::fromStdString(all).replace("\r\n", "\n"));
    QVERIFY(status->verticalScrollBar()->maximum() > 0);
    QCOMPARE(status->verticalScrollBar()->value(), status->verticalScrollBar()->maximum());
}

void TestFrmDragDrop::dropRefusesAnythingButLocalFiles_data() {
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("actions");
    QTest::newRow("text only") << QStringList() << "/tmp/a.pch" << int(Qt::CopyAction);
    QTest::newRow("a web address")
        << QStringList{"https://example.org/a.pch"} << "" << int(Qt::CopyAction);
    QTest::newRow("a local file among web addresses")
        << QStringList{"file:///tmp/a.pch", "https://example.org/b.pch"} << ""
        << int(Qt::CopyAction);
    QTest::newRow("a move that cannot be a copy")
        << QStringList{"file:///tmp/a.pch"} << "" << int(Qt::MoveAction);
}

void TestFrmDragDrop::dropRefusesAnythingButLocalFiles() {
    QFETCH(QStringList, urls);
    QFETCH(QString, text);
    QFETCH(int, actions);
    QMimeData data;
    if (!urls.isEmpty()) data.setUrls(QUrl::fromStringList(urls));
    if (!text.isEmpty()) data.setText(text);
    QVERIFY(!DragAndDrop("Shape1", data, Qt::DropActions(actions)));
    QVERIFY(!Child<pemberlock::DropFrame>("Frame2")->Highlighted());
    QCOMPARE(window_->StatusText(), std::string(pemberlock::kGreeting));
}

void TestFrmDragDrop::dropWithMapWarningsAsksFirst() {
    const QString patch = Path("a.pch");
    WriteFile(patch, kPatch);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(patch)});
    const auto drop = [&] {
        QVERIFY(DragAndDrop("Shape1", data, Qt::CopyAction));
        // The question waits until the drag is over.
        QCoreApplication::sendPostedEvents(window_.get(), QEvent::MetaCall);
        QTRY_VERIFY(!window_->DropRunning());
    };
    const QString bank =
        "Knob 4 uses controller 32, which the synthesizer reserves for bank select.";

    Box(3)->setText("32");
    dialogs_->setNextConfirm(false);
    drop();
    QCOMPARE(dialogs_->questions, (QList<QStringList>{{bank + " Drop anyway?", "&Drop"}}));
    QCOMPARE(ReadFile(patch), kPatch);  // Cancel changes nothing
    QCOMPARE(window_->StatusText(), std::string(pemberlock::kGreeting));

    dialogs_->setNextConfirm(true);
    drop();
    QCOMPARE(dialogs_->questions.size(), 2);
    QVERIFY(ReadFile(patch) != kPatch);

    // Not asked again for the same map ...
    drop();
    QCOMPARE(dialogs_->questions.size(), 2);
    QCOMPARE(QString::fromStdString(window_->StatusText()).count("Processing"), 2);

    // ... until it changes; each warning has its line, the question its own.
    Box(5)->setText("120");
    dialogs_->setNextConfirm(true);
    drop();
    QCOMPARE(dialogs_->questions.size(), 3);
    QCOMPARE(dialogs_->questions[2][0],
             bank +
                 "\nKnob 6 uses controller 120, which the synthesizer takes but an editor for "
                 "it refuses in a patch, and which standard MIDI uses for All Sound Off.\n\n"
                 "Drop anyway?");
    QCOMPARE(QString::fromStdString(window_->StatusText()).count("Processing"), 3);
}

void TestFrmDragDrop::confirmBoxDropsOrCancels() {
    pemberlock::QtDialogService real;
    // Drop goes ahead; Escape, like Cancel, does not, and Cancel is the default.
    for (const bool clickDrop : {true, false}) {
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            for (QAbstractButton* button : box->buttons()) buttons << button->text();
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
            if (clickDrop) {
                box->buttons().at(buttons.indexOf("&Drop"))->click();
            } else {
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        QCOMPARE(real.Confirm(window_.get(), "Drop anyway?", "&Drop"), clickDrop);
        QCOMPARE(buttons.size(), 2);
        QVERIFY(buttons.contains("&Drop"));
    }
}

void TestFrmDragDrop::longDropShowsProgressAndStopsOnEscape() {
    const QStringList paths = StartSlowDrop(200);
    QVERIFY(!paths.isEmpty());

    // The window stays live: progress moves, the map and menus wait, a
    // second drop is turned away, and Escape stops the drop.
    auto* count = Child<QLabel>("DropCount");
    QTRY_VERIFY(count->isVisible() && count->text().endsWith(QStringLiteral(" of 200")) &&
                !count->text().startsWith(QStringLiteral("0 ")));
    QVERIFY(!Child<QWidget>("Frame1")->isEnabled());
    QVERIFY(!Child<QWidget>("ChkPrecedence")->isEnabled());
    QVERIFY(!Child<QMenu>("MnuFile")->isEnabled());
    QMimeData again;
    again.setUrls({QUrl::fromLocalFile(paths.first())});
    QVERIFY(!DragAndDrop("Shape1", again, Qt::CopyAction, false));
    // The drop brought the window to the front, so Escape reaches it.
    QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    QTest::keyClick(QApplication::activeWindow(), Qt::Key_Escape);
    // Until it ends it says how far it got, not how far it was to go.
    QVERIFY2(count->text().startsWith(QStringLiteral("Stopping after ")) &&
                 !count->text().contains(QStringLiteral("200 of 200")),
             qPrintable(count->text()));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->DropRunning(), 30000);

    QVERIFY(Child<QWidget>("Frame1")->isEnabled());
    QVERIFY(!Child<QWidget>("DropProgress")->isVisible());
    const QString log = QString::fromStdString(window_->StatusText());
    const QRegularExpression stopped(
        QStringLiteral("Stopped: (\\d+) of 200 files not processed.\r\n(\\d+) of (\\d+) files"));
    const QRegularExpressionMatch match = stopped.match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log.right(300)));
    const int handled = 200 - match.captured(1).toInt();
    QVERIFY(handled > 0);
    QCOMPARE(match.captured(2).toInt(), handled);
    QCOMPARE(match.captured(3).toInt(), handled);
    // Every patch is whole: rewritten when handled, untouched when not.
    for (int i = 0; i < paths.size(); ++i) {
        QCOMPARE(ReadFile(paths[i]).contains("1 3 1 101"), i < handled);
        QVERIFY(!QFile::exists(paths[i] + "tmp"));
    }
}

void TestFrmDragDrop::closingDuringADropStopsItThenCloses() {
    const QStringList paths = StartSlowDrop(100);
    QVERIFY(!paths.isEmpty());
    QTRY_VERIFY(window_->StatusText().find("Processing") != std::string::npos);
    window_->close();
    QVERIFY(window_->isVisible());  // not before the patches in hand are done
    QTRY_VERIFY_WITH_TIMEOUT(!window_->isVisible(), 30000);
    QVERIFY(window_->StatusText().find("Stopped: ") != std::string::npos);
    QVERIFY(ReadFile(paths.back()).startsWith("x=1"));
    QVERIFY(!ReadFile(paths.back()).contains("101"));
}

void TestFrmDragDrop::destroyingTheWindowDuringADropWaitsForIt() {
    // The drop's thread reports into the window's own objects to the end;
    // the sanitizer build catches any use of them after they are gone.
    const QStringList paths = StartSlowDrop(100);
    QVERIFY(!paths.isEmpty());
    QTRY_VERIFY(window_->StatusText().find("Processing") != std::string::npos);
    window_.reset();
    for (const QString& path : paths) QVERIFY(!QFile::exists(path + "tmp"));
    QVERIFY(!ReadFile(paths.back()).contains("101"));
}

void TestFrmDragDrop::droppedFoldersArePatchesInByteOrder() {
    for (const char* name : {"bank/b.pch", "bank/A.pch", "bank/sub/c.pch", "bank/notes.txt"}) {
        QVERIFY(QDir().mkpath(QFileInfo(Path(name)).path()));
        WriteFile(Path(name), kPatch);
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Path("first.pch")), QUrl::fromLocalFile(Path("bank"))});
    WriteFile(Path("first.pch"), kPatch);
    QVERIFY(DragAndDrop("Shape1", data, Qt::CopyAction));
    const std::string bank = Std(Path("bank")) + Std(QStringLiteral("/"));
    const std::string sub = Std(QStringLiteral("sub/"));
    const std::string expected =
        "Processing " + Std(Path("first.pch")) + "  ....  Done.\r\n" + "Processing " + bank +
        "A.pch  ....  Done.\r\n" + "Processing " + bank + "b.pch  ....  Done.\r\n" + bank +
        "notes.txt is not a 'pch' file.. skipping.\r\n" + "Processing " + bank + sub +
        "c.pch  ....  Done.\r\n" + "4 of 5 files processed successfully.\r\n1 files skipped.\r\n" +
        "0 errors.\r\n";
    QCOMPARE(QString::fromStdString(window_->StatusText()),
             QString::fromStdString(std::string(pemberlock::kGreeting) + expected));
    QVERIFY(ReadFile(Path("bank/sub/c.pch")).contains("[CtrlMapDump]"));

    // A folder that cannot be read is an error of its own.
    using namespace pemberlock::test;
    UseFileSystem(std::make_unique<FaultyFileSystem>(Fault::ListFolder));
    QVERIFY(DragAndDrop("Shape1", data, Qt::CopyAction));
    QVERIFY(window_->StatusText().find("Processing " + Std(Path("bank")) + "  ....  Error!\r\n") !=
            std::string::npos);
}

void TestFrmDragDrop::loadMap() {
    // Cancel changes nothing.
    dialogs_->setNextCancel();
    Action("MnuLoad")->trigger();
    QCOMPARE(dialogs_->requests.back().kind, QStringLiteral("open"));
    QCOMPARE(dialogs_->requests.back().filter, QStringLiteral("Mapping (*.mpn)"));
    QVERIFY(window_->CurrentMapPath().isEmpty());
    VerifyKnob(0, "101");

    QByteArray text;
    for (int i = 0; i < 18; ++i) text += QByteArray::number(i * 7) + "\r\n";
    text += " 1 \r\n";
    WriteFile(Path("mine.mpn"), text);
    dialogs_->setNextFileName(Path("mine.mpn"));
    Action("MnuLoad")->trigger();
    for (int i = 0; i < 18; ++i) VerifyKnob(i, QString::number(i * 7));
    QCOMPARE(Child<QCheckBox>("ChkPrecedence")->checkState(), Qt::Checked);
    QCOMPARE(window_->Map().Precedence(), 1);
    QCOMPARE(window_->CurrentMapPath(), Path("mine.mpn"));

    // The last chosen name is offered next time.
    dialogs_->setNextCancel();
    Action("MnuLoad")->trigger();
    QCOMPARE(dialogs_->requests.back().initialName, Path("mine.mpn"));
    QCOMPARE(window_->CurrentMapPath(), Path("mine.mpn"));
    QVERIFY(dialogs_->messages.isEmpty());
}

void TestFrmDragDrop::failingLoadSaysSoAndKeepsMap() {
    dialogs_->setNextFileName(Path("first.mpn"));
    Action("MnuSaveAs")->trigger();
    Box(2)->setText("55");

    QByteArray shortFile;
    for (int i = 0; i < 10; ++i) shortFile += "9\r\n";
    WriteFile(Path("short.mpn"), shortFile);
    // The reason beneath is the core's, as pemberlock-cli gives it.
    const std::pair<QString, QString> reasons[] = {
        {"short.mpn", "ends after 10 of 19 items"},
        {"missing.mpn", "cannot be opened: "}};  // and the system's words
    for (const auto& [name, reason] : reasons) {
        dialogs_->messages.clear();
        dialogs_->details.clear();
        dialogs_->setNextFileName(Path(name));
        Action("MnuLoad")->trigger();
        QCOMPARE(dialogs_->messages, QStringList{"Could not load map!"});
        QCOMPARE(dialogs_->details.size(), 1);
        QVERIFY2(dialogs_->details[0].startsWith('"' + QDir::toNativeSeparators(Path(name)) +
                                                 "\": " + reason),
                 qPrintable(dialogs_->details[0]));
        QCOMPARE(window_->CurrentMapPath(), Path("first.mpn"));
        VerifyKnob(0, "101");
        VerifyKnob(2, "55");
        VerifyKnob(17, "118");
    }
}

void TestFrmDragDrop::saveAndSaveAs() {
    // Right after start Save asks for a name; cancel writes nothing.
    dialogs_->setNextCancel();
    Action("MnuSave")->trigger();
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    QCOMPARE(dialogs_->requests.back().kind, QStringLiteral("save"));
    QCOMPARE(dialogs_->requests.back().filter, QStringLiteral("Mapping (*.mpn)"));
    QVERIFY(window_->CurrentMapPath().isEmpty());

    const QString path = Path("saved.mpn");
    Box(0)->setText("7");
    dialogs_->setNextFileName(path);
    Action("MnuSaveAs")->trigger();
    QCOMPARE(window_->CurrentMapPath(), path);
    QCOMPARE(ReadFile(path), QByteArray::fromStdString(pemberlock::FormatMapFile(window_->Map())));

    // Save goes to the same file without asking.
    Box(1)->setText("8");
    Action("MnuSave")->trigger();
    QCOMPARE(dialogs_->requests.size(), std::size_t{2});
    QCOMPARE(ReadFile(path), QByteArray::fromStdString(pemberlock::FormatMapFile(window_->Map())));

    // Round trip: change the knobs, load the saved file, get them back.
    const pemberlock::KnobControllerMap saved = window_->Map();
    Box(0)->setText("99");
    QTest::mouseClick(Child<QCheckBox>("ChkPrecedence"), Qt::LeftButton, {}, QPoint(6, 8));
    dialogs_->setNextFileName(path);
    Action("MnuLoad")->trigger();
    QVERIFY(window_->Map() == saved);
    VerifyKnob(0, "7");
    QCOMPARE(Child<QCheckBox>("ChkPrecedence")->checkState(), Qt::Unchecked);

    // With the file gone, Save asks again, offering the last name.
    QVERIFY(QFile::remove(path));
    dialogs_->setNextCancel();
    Action("MnuSave")->trigger();
    QCOMPARE(dialogs_->requests.back().kind, QStringLiteral("save"));
    QCOMPARE(dialogs_->requests.back().initialName, path);
    QVERIFY(!QFile::exists(path));
    QVERIFY(dialogs_->messages.isEmpty());
}

void TestFrmDragDrop::failingSave() {
    const QString unwritable = Path("no-such-folder/map.mpn");
    dialogs_->setNextFileName(unwritable);
    Action("MnuSaveAs")->trigger();
    QCOMPARE(dialogs_->messages, QStringList{"Could not save map!"});
    QCOMPARE(dialogs_->details.size(), 1);
    QVERIFY2(dialogs_->details[0].startsWith('"' + QDir::toNativeSeparators(unwritable) + "\": "),
             qPrintable(dialogs_->details[0]));
    QCOMPARE(window_->CurrentMapPath(), unwritable);

    // The file still does not exist, so Save asks for a name again.
    dialogs_->setNextCancel();
    Action("MnuSave")->trigger();
    QCOMPARE(dialogs_->requests.size(), std::size_t{2});
    QCOMPARE(dialogs_->requests.back().kind, QStringLiteral("save"));
}

void TestFrmDragDrop::exportMapSheet_data() {
    QTest::addColumn<bool>("loadMap");
    QTest::addColumn<QString>("name");  // empty: the dialog is cancelled
    QTest::addColumn<QByteArray>("starts");
    QTest::addColumn<QString>("reason");  // why it fails; empty: it does not
    QTest::newRow("pdf") << true << "sheet.pdf" << QByteArray("%PDF-") << "";
    QTest::newRow("png, unsaved map") << false << "sheet.PNG" << QByteArray("\x89PNG") << "";
    QTest::newRow("png") << true << "sheet.png" << QByteArray("\x89PNG") << "";
    QTest::newRow("other ending") << true << "sheet.svg" << QByteArray()
                                  << "the name must end in .pdf or .png";
    QTest::newRow("no such folder") << true << "none/sheet.pdf" << QByteArray() << "";
    QTest::newRow("cancelled") << true << "" << QByteArray() << "";
}

void TestFrmDragDrop::exportMapSheet() {
    QFETCH(bool, loadMap);
    QFETCH(QString, name);
    QFETCH(QByteArray, starts);
    QFETCH(QString, reason);
    if (loadMap) {
        WriteFile(Path("live.mpn"), "7\r\n9\r\n" + QByteArray("1\r\n").repeated(16) + " 1 \r\n");
        dialogs_->setNextFileName(Path("live.mpn"));
        Action("MnuLoad")->trigger();
    }
    const QString path = Path(name);
    name.isEmpty() ? dialogs_->setNextCancel() : dialogs_->setNextFileName(path);
    Action("MnuExportSheet")->trigger();

    QCOMPARE(dialogs_->requests.back().kind, QStringLiteral("save"));
    QCOMPARE(dialogs_->requests.back().filter, FrmDragDrop::kSheetFilter);
    // Offered beside the map, named after it.
    QCOMPARE(dialogs_->requests.back().initialName, loadMap ? Path("live.pdf") : QString());
    const bool fails = !name.isEmpty() && starts.isEmpty();
    QCOMPARE(dialogs_->messages,
             fails ? QStringList{"Could not export map sheet!"} : QStringList());
    if (fails) {
        QVERIFY2(
            dialogs_->details[0].startsWith('"' + QDir::toNativeSeparators(path) + "\": " + reason),
            qPrintable(dialogs_->details[0]));
    }
    QCOMPARE(QFileInfo::exists(path) && !name.isEmpty(), !starts.isEmpty());
    if (starts.isEmpty()) return;
    const QByteArray written = ReadFile(path);
    QVERIFY(written.startsWith(starts));
    if (starts == "\x89PNG") {
        // The sheet of the map in the window, under the map file's name.
        pemberlock::MapSheetContent content;
        content.map = window_->Map();
        content.mapName = loadMap ? "live.mpn" : "Unsaved map";
        content.date = QDate::currentDate().toString(Qt::ISODate).toStdString();
        QCOMPARE(content.map.EntryText(1), std::string(loadMap ? "9" : "102"));
        QVERIFY(written == pemberlock::MapSheetPng(pemberlock::LayOutMapSheet(content)));
    }
}

void TestFrmDragDrop::mapFilesGoThroughTheWindowsFileSystem_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    using pemberlock::test::Fault;
    QTest::newRow("load") << int(Fault::OpenRead) << "MnuLoad"
                          << "Could not load map!";
    QTest::newRow("save") << int(Fault::Rename) << "MnuSaveAs"
                          << "Could not save map!";
}

void TestFrmDragDrop::mapFilesGoThroughTheWindowsFileSystem() {
    QFETCH(int, fault);
    QFETCH(QString, command);
    QFETCH(QString, message);
    const QString path = Path("map.mpn");
    WriteFile(path, QByteArray::fromStdString(pemberlock::FormatMapFile({})));
    pemberlock::test::FaultyFileSystem faulty(static_cast<pemberlock::test::Fault>(fault));
    FrmDragDrop window(*dialogs_, faulty);
    dialogs_->setNextFileName(path);
    window.findChild<QAction*>(command)->trigger();
    QCOMPARE(faulty.Hits(), 1);
    QCOMPARE(dialogs_->messages, QStringList{message});
}

void TestFrmDragDrop::messageBoxHasOneOkButton() {
    pemberlock::QtDialogService real;
    QStringList texts;
    QList<QDialogButtonBox::StandardButtons> buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        texts << box->text();
        buttons << QDialogButtonBox::StandardButtons(int(box->standardButtons()));
        QCOMPARE(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    real.ShowMessage(window_.get(), "Could not save map!");
    QCOMPARE(texts, QStringList{"Could not save map!"});
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(int(buttons[0]), int(QDialogButtonBox::Ok));
}

void TestFrmDragDrop::helpMenuComesLastAndShowsAbout() {
    const QList<QAction*> menus = window_->menuBar()->actions();
    QVERIFY(!menus.isEmpty());
    QCOMPARE(menus.last()->text(), QStringLiteral("&Help"));
    QCOMPARE(Action("MnuAbout")->text(), QStringLiteral("&About Pemberlock"));

    Action("MnuAbout")->trigger();
    QCOMPARE(dialogs_->abouts.size(), 1);
    QCOMPARE(dialogs_->abouts[0][0], QStringLiteral("About Pemberlock"));
    const QString& text = dialogs_->abouts[0][1];
    for (const QString& part :
         {QStringLiteral("Pemberlock %1").arg(pemberlock::kVersion),
          QStringLiteral("MIDI controllers"), QStringLiteral("GPL-3.0-or-later"),
          QStringLiteral("running on Qt %1").arg(qVersion())}) {
        QVERIFY2(text.contains(part), qPrintable(part + " not in " + text));
    }
}

void TestFrmDragDrop::aboutBoxHasOneOkButton() {
    pemberlock::QtDialogService real;
    QString text;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        text = box->text();
        buttons = int(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    real.ShowAbout(window_.get(), QStringLiteral("About Pemberlock"), pemberlock::AboutText());
    QCOMPARE(text, pemberlock::AboutText());
    QCOMPARE(buttons, 1);
}

void TestFrmDragDrop::infoOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");         // -1: the window opens
    QTest::addColumn<QString>("firstLine");  // of standard output, or of standard error on 2
    QTest::addColumn<QString>("map");
    const QString version = QStringLiteral("pemberlock %1").arg(pemberlock::kVersion);
    const QString usage = QStringLiteral("Usage: pemberlock [OPTION]... [MAP.mpn]");
    QTest::newRow("none") << QStringList{} << -1 << QString() << QString();
    QTest::newRow("Qt's options") << QStringList{"-platform", "offscreen", "-style=fusion",
                                                 "-reverse"}
                                  << -1 << QString() << QString();
    QTest::newRow("a file") << QStringList{"help.txt"} << -1 << QString() << "help.txt";
    QTest::newRow("a file after Qt's")
        << QStringList{"-style", "fusion", "a.mpn"} << -1 << QString() << "a.mpn";
    QTest::newRow("version") << QStringList{"--version"} << 0 << version << QString();
    QTest::newRow("help") << QStringList{"--help"} << 0 << usage << QString();
    QTest::newRow("short help") << QStringList{"-h"} << 0 << usage << QString();
    QTest::newRow("help wins") << QStringList{"--version", "--help"} << 0 << usage << QString();
    QTest::newRow("after Qt's") << QStringList{"-style", "fusion", "--version"} << 0 << version
                                << QString();
    QTest::newRow("unknown option")
        << QStringList{"--colour", "a.mpn"} << 2
        << QStringLiteral("pemberlock: Unknown option 'colour'.") << QString();
    QTest::newRow("two maps") << QStringList{"a.mpn", "b.mpn"} << 2
                              << QStringLiteral("pemberlock: one map file at most, not 2")
                              << QString();
}

void TestFrmDragDrop::infoOptions() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, firstLine);
    QFETCH(QString, map);
    std::ostringstream out;
    std::ostringstream err;
    const pemberlock::WindowOptions options =
        pemberlock::ParseWindowOptions(QStringList{"pemberlock"} + args, out, err);
    QCOMPARE(options.exitStatus.value_or(-1), status);
    QCOMPARE(options.mapPath, map);
    const std::string text = status == 2 ? err.str() : out.str();
    QCOMPARE(QString::fromStdString(text.substr(0, text.find('\n'))), firstLine);
    QVERIFY((status == 2 ? out : err).str().empty());
}

void TestFrmDragDrop::previewAndLastDropReport() {
    const QList<QAction*> edit = Child<QMenu>("MnuEdit")->actions();
    QVERIFY(edit.size() >= 4);
    QVERIFY(edit[edit.size() - 4]->isSeparator());
    QCOMPARE(edit[edit.size() - 3], Action("MnuPreview"));
    QCOMPARE(edit[edit.size() - 2], Action("MnuPreviewFolder"));
    QCOMPARE(edit.back(), Action("MnuReport"));
    QVERIFY(!Action("MnuReport")->isEnabled());  // nothing dropped yet

    // The report's wording is the core's; here, that the window shows it and writes nothing.
    const QString patch = Path("song.pch");
    WriteFile(patch, kPatch);
    const QString knobLine = QDir::toNativeSeparators(patch) +
                             ": %1\n  knob 1, controller 101: parameter 1 3 1 (unknown: the voice "
                             "area has no module 3)\n";
    dialogs_->setNextFileName(patch + "|" + Path("other.pch"));
    Action("MnuPreview")->trigger();
    QCOMPARE(dialogs_->requests.back().filter, QStringLiteral("Patches (*.pch)"));
    QTRY_COMPARE(dialogs_->reports.size(), 1);
    QCOMPARE(dialogs_->reports[0].title, QStringLiteral("Preview: nothing is written"));
    QCOMPARE(dialogs_->reports[0].rows, 2u);
    QVERIFY(dialogs_->reports[0].text.startsWith("2 files: 1 would be rewritten, 0 skipped, 1 "));
    QVERIFY(dialogs_->reports[0].text.contains(knobLine.arg("would be rewritten")));
    QCOMPARE(ReadFile(patch), kPatch);
    QCOMPARE(window_->StatusText(), std::string(pemberlock::kGreeting));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(patch)});
    QVERIFY(DragAndDrop("Shape1", data, Qt::CopyAction));
    Action("MnuReport")->trigger();
    QCOMPARE(dialogs_->reports.size(), 2);
    QCOMPARE(dialogs_->reports[1].title, QStringLiteral("Last Drop Report"));
    QVERIFY(dialogs_->reports[1].text.startsWith("1 file: 1 rewritten, 0 skipped, 0 failed.\n"));
    QVERIFY(dialogs_->reports[1].text.contains(knobLine.arg("rewritten")));
}

void TestFrmDragDrop::previewOfAFolder_data() {
    QTest::addColumn<QString>("then");  // what the user does once the preview runs
    QTest::newRow("closes the report") << "close";
    QTest::newRow("changes the map, then drops") << "change map";
    QTest::newRow("stops it with Escape") << "stop";
}

void TestFrmDragDrop::previewOfAFolder() {
    QFETCH(QString, then);
    using namespace pemberlock::test;
    if (then == "stop") {
        UseFileSystem(
            std::make_unique<FaultyFileSystem>(Fault::None, std::chrono::milliseconds(20)));
    }
    MakeBank("bank");
    for (int i = 0; i < (then == "stop" ? 200 : 0); ++i) {
        WriteFile(Path(QStringLiteral("bank/c%1.pch").arg(i)), kPatch);
    }
    dialogs_->setNextFileName(Path("bank"));
    if (then == "change map") {
        dialogs_->duringPreview = [this] { Box(0)->setText("7"); };
        dialogs_->setNextPreviewDrop(true);
    }
    Action("MnuPreviewFolder")->trigger();
    QCOMPARE(dialogs_->requests.back().kind, QStringLiteral("folder"));

    // It runs as a drop runs: the window stays live and shows how far it got.
    QVERIFY(window_->DropRunning());
    QVERIFY(!Child<QWidget>("Frame1")->isEnabled());
    if (then == "stop") {
        auto* count = Child<QLabel>("DropCount");
        QTRY_VERIFY(count->text().endsWith(QStringLiteral(" of 203")) &&
                    !count->text().startsWith(QStringLiteral("0 ")));
        QTest::keyClick(window_.get(), Qt::Key_Escape);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs_->reports.isEmpty(), 30000);
    const ScriptedDialogService::Report& report = dialogs_->reports[0];
    QCOMPARE(report.title, QStringLiteral("Preview: nothing is written"));
    if (then == "stop") {
        QVERIFY2(report.text.contains(
                     QRegularExpression("\nStopped: \\d+ of 203 files not processed.\n")),
                 qPrintable(report.text.left(200)));
        QVERIFY(!report.offerDrop);  // it did not see every patch
    } else {
        // Each patch of the folder, sorted, after what the knobs do across them.
        QVERIFY(
            report.text.startsWith("3 files: 2 would be rewritten, 1 skipped, 0 would fail.\n"));
        QCOMPARE(report.rows, 3u);
        QVERIFY(report.offerDrop);
        const QStringList knobs = report.knobs.split('\n');
        QCOMPARE(knobs.size(), 18);
        QCOMPARE(knobs[0],
                 "Knob 1: used in 2 of 2 patches; mostly 1 3 1 (unknown: the voice area "
                 "has no module 3) (1), OscA \u203A freq coarse (1)");
        QCOMPARE(knobs[1], "Knob 2: used in 1 of 2 patches; mostly FilterE \u203A frequency (1)");
        QCOMPARE(knobs[2], "Knob 3: used in 0 of 2 patches");
    }
    if (then == "change map") {
        // The drop asked for is not the one shown: it is shown again instead.
        QCOMPARE(dialogs_->messages,
                 QStringList{"The map changed since this preview; previewing again."});
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_->reports.size(), 2, 30000);
        QVERIFY(dialogs_->reports[1].text.contains("knob 1, controller 7: "));
    }
    QVERIFY(!window_->DropRunning());
    QCOMPARE(ReadFile(Path("bank/a.pch")), kNamedPatch);
    QCOMPARE(ReadFile(Path("bank/b.pch")), kPatch);
    QCOMPARE(window_->StatusText(), std::string(pemberlock::kGreeting));
}

void TestFrmDragDrop::knobTipsShowTheLastSinglePatch_data() {
    QTest::addColumn<QString>("then");   // after one patch, a.pch, was dropped
    QTest::addColumn<QString>("shown");  // the patch the tips name; empty: none
    QTest::newRow("nothing more") << ""
                                  << "a.pch";
    QTest::newRow("one patch previewed") << "preview c.pch"
                                         << "c.pch";
    QTest::newRow("two patches dropped") << "drop two"
                                         << "";
}

void TestFrmDragDrop::knobTipsShowTheLastSinglePatch() {
    QFETCH(QString, then);
    QFETCH(QString, shown);
    MakeBank("bank");
    WriteFile(Path("c.pch"), kNamedPatch);
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(Path("bank/a.pch"))});
    QVERIFY(DragAndDrop("Shape1", one, Qt::CopyAction));
    if (then == "preview c.pch") {
        dialogs_->setNextFileName(Path("c.pch"));
        Action("MnuPreview")->trigger();
        QTRY_COMPARE(dialogs_->reports.size(), 1);
    } else if (then == "drop two") {
        QMimeData two;
        two.setUrls({QUrl::fromLocalFile(Path("bank"))});
        QVERIFY(DragAndDrop("Shape1", two, Qt::CopyAction));
    }

    // The knob's own tip first, then what it did in that patch; knob 3 did nothing.
    const QString lead = "In " + shown + ": Lead (OscA) \u203A freq coarse";
    QTextDocument tip;
    tip.setHtml(Box(0)->toolTip());
    QCOMPARE(tip.toPlainText(),
             shown.isEmpty() ? "Knob 1 controller" : "Knob 1 controller\n" + lead);
    QCOMPARE(Box(0)->accessibleDescription(), shown.isEmpty() ? QString() : lead);
    QCOMPARE(Bar(1)->accessibleDescription(),
             shown.isEmpty() ? QString() : "In " + shown + ": Bass LP (FilterE) \u203A frequency");
    QCOMPARE(Box(2)->toolTip(), QStringLiteral("Knob 3 controller"));

    // The map sheet lists what each knob controls in that patch.
    dialogs_->setNextFileName(Path("sheet.png"));
    Action("MnuExportSheet")->trigger();
    pemberlock::MapSheetContent content;
    content.map = window_->Map();
    content.mapName = "Unsaved map";
    content.date = QDate::currentDate().toString(Qt::ISODate).toStdString();
    if (!shown.isEmpty()) {
        content.mapName += " \u2014 " + shown.toStdString();
        content.knobLines[0] = {"Lead (OscA) \u203A freq coarse"};
        content.knobLines[1] = {"Bass LP (FilterE) \u203A frequency"};
    }
    QVERIFY(ReadFile(Path("sheet.png")) ==
            pemberlock::MapSheetPng(pemberlock::LayOutMapSheet(content)));
}

void TestFrmDragDrop::knobBoxesWarnAboutTheMap() {
    const auto warning = [this](int i) { return Box(i)->accessibleDescription(); };
    Box(0)->setText("32");
    QVERIFY(!Box(0)->styleSheet().isEmpty());
    QCOMPARE(warning(0),
             "Warning: this knob uses controller 32, which the synthesizer reserves for bank "
             "select.");
    // Rich text, so that the tip wraps its long lines.
    QVERIFY(Qt::mightBeRichText(Box(0)->toolTip()));
    QTextDocument tip;
    tip.setHtml(Box(0)->toolTip());
    QCOMPARE(tip.toPlainText(), "Knob 1 controller\n" + warning(0));

    // By the scroll bar too; each knob of a shared number names the other.
    Bar(17)->SetPosition(32);
    QVERIFY(warning(0).endsWith("Warning: this knob shares controller 32 with knob 18."));
    QVERIFY(warning(17).endsWith("Warning: this knob shares controller 32 with knob 1."));

    // Mending one knob clears its mark and the other's word about it.
    Box(0)->setText("1");
    QVERIFY(Box(0)->styleSheet().isEmpty());
    QCOMPARE(Box(0)->toolTip(), QStringLiteral("Knob 1 controller"));
    QVERIFY(warning(0).isEmpty());
    QVERIFY(!warning(17).contains("shares"));

    // A loaded map is checked as a whole.
    pemberlock::KnobControllerMap stored;
    stored.SetEntryText(17, "120");
    WriteFile(Path("m.mpn"), QByteArray::fromStdString(pemberlock::FormatMapFile(stored)));
    dialogs_->setNextFileName(Path("m.mpn"));
    Action("MnuLoad")->trigger();
    QVERIFY(warning(17).contains("controller 120"));
    QVERIFY(warning(0).isEmpty());
}

void TestFrmDragDrop::reportDialogFilters_data() {
    QTest::addColumn<int>("show");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("shown");
    const QStringList all = {"/p/bass.pch", "/p/Broken.pch", "/p/notes.txt", "/p/gone.pch"};
    QTest::newRow("all") << 0 << "" << all;
    QTest::newRow("errors only") << 1 << "" << QStringList{"/p/Broken.pch", "/p/gone.pch"};
    QTest::newRow("rewritten") << 2 << "" << QStringList{"/p/bass.pch"};
    QTest::newRow("skipped") << 3 << "" << QStringList{"/p/notes.txt"};
    QTest::newRow("path, either case") << 0 << "broKEN" << QStringList{"/p/Broken.pch"};
    QTest::newRow("a knob line") << 0 << "controller 101" << QStringList{"/p/bass.pch"};
    QTest::newRow("a reason") << 0 << "missing" << QStringList{"/p/gone.pch"};
    QTest::newRow("errors and text") << 1 << "bass" << QStringList{};
}

void TestFrmDragDrop::reportDialogFilters() {
    QFETCH(int, show);
    QFETCH(QString, search);
    QFETCH(QStringList, shown);
    const pemberlock::DropReportRows rows = ReportOfEachKind();
    pemberlock::ReportDialog dialog(window_.get(), "Last Drop Report", rows, *dialogs_);
    dialog.findChild<QComboBox*>("ReportShow")->setCurrentIndex(show);
    dialog.findChild<QLineEdit*>("ReportSearch")->setText(search);
    const QAbstractItemModel* model = dialog.findChild<QTableView*>("ReportRows")->model();
    QStringList paths;
    for (int row = 0; row < model->rowCount(); ++row)
        paths << model->index(row, 0).data().toString();
    QCOMPARE(paths, shown);
    // The lines below are those of a row shown, or none.
    const QString detail = dialog.findChild<QPlainTextEdit*>("ReportDetail")->toPlainText();
    QCOMPARE(detail.section(QLatin1Char(':'), 0, 0), shown.value(0));
}

void TestFrmDragDrop::enterDoesNotDropThePreviewedPatches() {
    const pemberlock::DropReportRows rows = ReportOfEachKind();
    pemberlock::ReportDialog dialog(window_.get(), "Preview", rows, *dialogs_, {"Knob 1: used"},
                                    true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TestFrmDragDrop::reportDialogCanBeReadAndCopied() {
    const pemberlock::DropReportRows rows = ReportOfEachKind();
    const QString text = QString::fromStdString(rows.Text());
    pemberlock::ReportDialog dialog(window_.get(), "Last Drop Report", rows, *dialogs_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.isSizeGripEnabled());
    QCOMPARE(dialog.findChild<QLabel*>("ReportSummary")->text(),
             "4 files: 1 rewritten, 1 skipped, 2 failed.");
    auto* table = dialog.findChild<QTableView*>("ReportRows");
    QCOMPARE(QApplication::focusWidget(), table);
    // The first row is chosen and its lines are shown below.
    QCOMPARE(dialog.findChild<QPlainTextEdit*>("ReportDetail")->toPlainText(),
             "/p/bass.pch: rewritten\n  knob 1, controller 101: parameter 1 3 1\n");

    // Ctrl+C copies the chosen rows as the whole text has them, in their order.
    table->selectionModel()->select(table->model()->index(3, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             "/p/bass.pch: rewritten\n  knob 1, controller 101: parameter 1 3 1\n"
             "/p/gone.pch: failed: is missing\n");
    dialog.findChild<QPushButton*>("ReportCopy")->click();
    QCOMPARE(QApplication::clipboard()->text(), text);

    // Tab goes on from the rows to their lines and the buttons; back to the filters.
    for (const char* name : {"ReportDetail", "ReportCopySelected", "ReportCopy", "ReportSave"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    }
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("ReportSearch"));

    // Save asks through the dialog service; a cancel writes nothing, a
    // folder that is not there says so.
    auto* save = dialog.findChild<QPushButton*>("ReportSave");
    dialogs_->setNextCancel();
    save->click();
    dialogs_->setNextFileName(Path("none/report.txt"));
    save->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(dialogs_->messages[0].startsWith("Could not save the report: "));
    dialogs_->setNextFileName(Path("report.txt"));
    save->click();
    QCOMPARE(dialogs_->requests.back().filter, QStringLiteral("Text files (*.txt)"));
    QCOMPARE(ReadFile(Path("report.txt")), text.toUtf8());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"report.txt"});
}

void TestFrmDragDrop::reportDialogOpensWithManyRows() {
    pemberlock::DropReportRows rows;
    const pemberlock::DropReportRows sample = ReportOfEachKind();
    for (int i = 0; i < 10000; ++i) {
        rows.Add({std::to_string(i) + ".pch", pemberlock::DropPathResult::Kind::Rewritten,
                  std::nullopt, std::make_shared<pemberlock::RewriteReport>(sample.ReportOf(0))});
    }
    int shown = -1;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        title = dialog->windowTitle();
        shown = dialog->findChild<QTableView*>("ReportRows")->model()->rowCount();
        dialog->reject();
    });
    pemberlock::QtDialogService real;
    real.ShowReport(window_.get(), "Last Drop Report", rows);
    QCOMPARE(title, QStringLiteral("Last Drop Report"));
    QCOMPARE(shown, 10000);
}

QTEST_MAIN(TestFrmDragDrop)
#include "TestFrmDragDrop.moc"
