// The MIDI menu and Learn in the window, on a MIDI system the test controls.
#include "ScriptedDialogService.h"

#include "midi/MidiInput.h"
#include "ui/FrmDragDrop.h"
#include "ui/KnobEditor.h"
#include "ui/MidiMenu.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using pemberlock::FrmDragDrop;
using pemberlock::MidiInput;
using pemberlock::MidiMenu;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Its ports, whether it answers at all, and messages sent from a thread of
// its own, as a real system's are.
struct FakeSystem {
    bool available = true;
    std::vector<std::string> ports;
    std::string open;
    MidiInput::Handler handler;

    void Send(const Bytes& message) {
        std::thread([this, message] {
            if (handler) handler(message);
        }).join();
    }
};

class FakeMidiInput final : public MidiInput {
public:
    explicit FakeMidiInput(FakeSystem& system) : system_(system) {}
    bool Available() override { return system_.available; }
    std::vector<std::string> PortNames() override { return system_.ports; }
    bool Open(const std::string& name, Handler handler) override {
        Close();
        if (std::count(system_.ports.begin(), system_.ports.end(), name) == 0) return false;
        system_.open = name;
        system_.handler = std::move(handler);
        return true;
    }
    void Close() override {
        system_.open.clear();
        system_.handler = nullptr;
    }

private:
    FakeSystem& system_;
};

}  // namespace

class TestMidiMenu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void rememberedInput_data();
    void rememberedInput();
    void chooseInputFromTheKeyboard();
    void learnKnobByKnob();
    void learnEndsAfterTheLastKnob();

private:
    // A window on system_, after its first turn of the event loop.
    void Start();
    // The Input menu's entries as it opens: "[x]" checked, "[grey]" disabled.
    QStringList Entries();
    QLineEdit* Box(int i) { return window_->findChild<QLineEdit*>(QString("TxtCtrl%1").arg(i)); }
    QAction* Learn() { return window_->findChild<QAction*>("MnuLearn"); }
    void VerifyKnob(int i, int controller);

    QTemporaryDir settings_;
    FakeSystem system_;
    pemberlock::test::ScriptedDialogService dialogs_;
    std::unique_ptr<FrmDragDrop> window_;
};

void TestMidiMenu::initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
}

void TestMidiMenu::cleanup() {
    window_.reset();
    QSettings().clear();
    system_ = FakeSystem();
    QCOMPARE(dialogs_.messages, QStringList());
}

void TestMidiMenu::Start() {
    window_ = std::make_unique<FrmDragDrop>(dialogs_);
    window_->Midi().SetInputFactory([this] { return std::make_unique<FakeMidiInput>(system_); });
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QApplication::setActiveWindow(window_.get());
}

QStringList TestMidiMenu::Entries() {
    auto* menu = window_->findChild<QMenu*>("MnuMidiInput");
    emit menu->aboutToShow();
    QStringList entries;
    for (const QAction* entry : menu->actions()) {
        if (entry->isSeparator()) continue;
        entries << entry->text() + (entry->isChecked() ? " [x]" : "") +
                       (entry->isEnabled() ? "" : " [grey]");
    }
    return entries;
}

void TestMidiMenu::VerifyKnob(int i, int controller) {
    QCOMPARE(Box(i)->text(), QString::number(controller));
    auto* bar = window_->findChild<pemberlock::KnobScrollBar*>(QString("ScrKnob%1").arg(i));
    QCOMPARE(bar->Position(), controller);
    QCOMPARE(window_->Map().EntryText(i), std::to_string(controller));
}

void TestMidiMenu::rememberedInput_data() {
    QTest::addColumn<bool>("available");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("there") << true << QStringList{"A", "B"} << "B"
                           << QStringList{"None", "A", "B [x]"};
    QTest::newRow("gone") << true << QStringList{"A"} << ""
                          << QStringList{"None [x]", "A", "B (not found) [grey]"};
    QTest::newRow("no MIDI system")
        << false << QStringList{} << "" << QStringList{"No MIDI input available [grey]"};
}

void TestMidiMenu::rememberedInput() {
    QFETCH(bool, available);
    QFETCH(QStringList, ports);
    QFETCH(QString, opened);
    QFETCH(QStringList, entries);
    QSettings().setValue(MidiMenu::kInputKey, "B");
    system_.available = available;
    for (const QString& port : ports) system_.ports.push_back(port.toStdString());
    Start();
    QCOMPARE(QString::fromStdString(system_.open), opened);
    QCOMPARE(Entries(), entries);
    // Not found is no reason to forget it: the device may be back next time.
    QCOMPARE(QSettings().value(MidiMenu::kInputKey).toString(), QString("B"));
}

void TestMidiMenu::chooseInputFromTheKeyboard() {
    system_.ports = {"A", "B"};
    Start();
    QCOMPARE(Entries(), (QStringList{"None [x]", "A", "B"}));
    QTest::keyClick(window_.get(), Qt::Key_M, Qt::AltModifier);
    QTRY_VERIFY(window_->findChild<QMenu*>("MnuMidi")->isVisible());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);  // Input
    QTRY_VERIFY(window_->findChild<QMenu*>("MnuMidiInput")->isVisible());
    for (const auto key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
        QTest::keyClick(QApplication::activePopupWidget(), key);
    }
    QCOMPARE(system_.open, std::string("B"));
    QCOMPARE(QSettings().value(MidiMenu::kInputKey).toString(), QString("B"));

    // A port gone between listing and choosing is reported and not kept.
    Entries();
    system_.ports = {"B"};
    window_->findChild<QMenu*>("MnuMidiInput")->actions()[1]->trigger();
    QCOMPARE(dialogs_.messages, QStringList{"Could not open MIDI input A!"});
    dialogs_.messages.clear();
    QCOMPARE(Entries(), (QStringList{"None [x]", "B"}));
    QCOMPARE(QSettings().value(MidiMenu::kInputKey).toString(), QString("B"));
}

void TestMidiMenu::learnKnobByKnob() {
    system_.ports = {"A"};
    QSettings().setValue(MidiMenu::kInputKey, "A");
    Start();
    Box(4)->setFocus();
    QTest::keyClick(window_.get(), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(Learn()->isChecked());
    QCOMPARE(window_->Midi().ListeningKnob(), 4);
    QVERIFY(Box(4)->property("listening").toBool());

    system_.Send({0xB0, 7, 64});
    QTRY_COMPARE(window_->Midi().ListeningKnob(), 5);
    VerifyKnob(4, 7);
    QVERIFY(!Box(4)->property("listening").toBool());
    QVERIFY(Box(5)->property("listening").toBool());
    QCOMPARE(QApplication::focusWidget(), Box(5));

    for (const Bytes& ignored : {Bytes{0x90, 60, 100}, Bytes{0xF8}, Bytes{0xF0, 1, 0xF7},
                                 Bytes{0xC0, 3}, Bytes{0xB0, 121, 0}, Bytes{0xBF, 127, 0}}) {
        system_.Send(ignored);
    }
    QCoreApplication::processEvents();
    VerifyKnob(5, 106);
    system_.Send({0xBF, 120, 0});
    QTRY_COMPARE(window_->Midi().ListeningKnob(), 6);
    VerifyKnob(5, 120);

    QTest::mouseClick(Box(9), Qt::LeftButton);
    QCOMPARE(window_->Midi().ListeningKnob(), 9);
    QTest::keyClick(Box(9), Qt::Key_Escape);
    QVERIFY(!Learn()->isChecked());
    QCOMPARE(window_->Midi().ListeningKnob(), std::nullopt);
    QVERIFY(!Box(9)->property("listening").toBool());
    system_.Send({0xB0, 1, 1});
    QCoreApplication::processEvents();
    VerifyKnob(9, 110);
}

void TestMidiMenu::learnEndsAfterTheLastKnob() {
    system_.ports = {"A"};
    QSettings().setValue(MidiMenu::kInputKey, "A");
    Start();
    Learn()->trigger();  // no knob has focus: knob 1 listens
    for (std::uint8_t knob = 0; knob < 18; ++knob) system_.Send({0xB3, knob, 0});
    QTRY_VERIFY(!Learn()->isChecked());
    for (int knob = 0; knob < 18; ++knob) VerifyKnob(knob, knob);
}

QTEST_MAIN(TestMidiMenu)
#include "TestMidiMenu.moc"
