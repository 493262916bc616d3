// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI menu and Learn in the window: on a MIDI system the test
// controls, and once through a real JACK server with no hardware.
#include "ScriptedDialogService.h"

#include "midi/RtMidiInput.h"
#include "ui/FrmDragDrop.h"
#include "ui/KnobEditor.h"
#include "ui/MidiMenu.h"

#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

using pemberlock::MidiMenu;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Its ports, whether it answers, and messages sent from a thread of its
// own, as a real system's are.
struct FakeInput final : pemberlock::MidiInput {
    bool available = true;
    std::vector<std::string> ports;
    std::string open;
    Handler handler;

    pemberlock::Result<> Available() override {
        if (available) return {};
        return pemberlock::Error{"no MIDI system answers", 0, "JACK: JACK server not running?"};
    }
    std::vector<std::string> PortNames() override { return ports; }
    pemberlock::Result<> Open(const std::string& name, Handler h) override {
        Close();
        if (std::count(ports.begin(), ports.end(), name) == 0) {
            return pemberlock::Error{"no such port"};
        }
        open = name;
        handler = std::move(h);
        return {};
    }
    void Close() override { open.clear(), handler = nullptr; }
    void Send(const Bytes& message) {
        std::thread([&] { handler(message); }).join();
    }
};

}  // namespace

class TestMidiMenu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // In a file of the test's own, on every platform (Windows' native
        // settings are the registry, which a path does not move).
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_.path());
    }
    void cleanup();
    void rememberedInput_data();
    void rememberedInput();
    void chooseInputFromTheKeyboard();
    void learnKnobByKnob();
    void learnThroughJack();
    void reasonOfAMissingJackServer();

private:
    // A window on the inputs factory makes, after the event loop has run once.
    void Start(const QString& remembered, MidiMenu::InputFactory factory);
    MidiMenu::InputFactory Fake(const QStringList& ports, bool available = true);
    // The Input menu's entries as it opens: "[x]" checked, "[grey]" disabled.
    QStringList Entries();
    QAction* Entry(const QString& text);
    QLineEdit* Box(int i) { return window_->findChild<QLineEdit*>(QString("TxtCtrl%1").arg(i)); }
    void VerifyKnob(int i, int controller);
    int Listening() { return window_->Midi().ListeningKnob().value_or(-1); }  // -1: not learning
    QAction* Learn() { return window_->findChild<QAction*>("MnuLearn"); }

    QTemporaryDir settings_;
    FakeInput* fake_ = nullptr;  // the window's, made when it first asks
    pemberlock::test::ScriptedDialogService dialogs_;
    std::unique_ptr<pemberlock::FrmDragDrop> window_;
};

void TestMidiMenu::cleanup() {
    window_.reset();
    QSettings().clear();
    QCOMPARE(dialogs_.messages, QStringList());
}

void TestMidiMenu::Start(const QString& remembered, MidiMenu::InputFactory factory) {
    QSettings().setValue(MidiMenu::kInputKey, remembered);
    window_ = std::make_unique<pemberlock::FrmDragDrop>(dialogs_);
    window_->Midi().SetInputFactory(std::move(factory));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    // Windows exposes a window as it is shown, before the input remembered
    // is opened from the event loop.
    QCoreApplication::processEvents();
    QApplication::setActiveWindow(window_.get());
}

MidiMenu::InputFactory TestMidiMenu::Fake(const QStringList& ports, bool available) {
    return [=, this] {
        auto input = std::make_unique<FakeInput>();
        for (const QString& port : ports) input->ports.push_back(port.toStdString());
        input->available = available;
        fake_ = input.get();
        return input;
    };
}

QAction* TestMidiMenu::Entry(const QString& text) {
    const QList<QAction*> entries = window_->findChild<QMenu*>("MnuMidiInput")->actions();
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const QAction* entry) { return entry->text() == text; });
    return found == entries.end() ? nullptr : *found;
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
    QTest::addColumn<QString>("learnWaits");  // why Learn is disabled; empty: it is not
    QTest::newRow("there") << true << QStringList{"A", "B"} << "B"
                           << QStringList{"None", "A", "B [x]"} << QString();
    QTest::newRow("gone") << true << QStringList{"A"} << ""
                          << QStringList{"None [x]", "A", "B (not found) [grey]"}
                          << "Learn needs a MIDI input: choose one under MIDI > Input.";
    QTest::newRow("no MIDI system")
        << false << QStringList{} << "" << QStringList{"No MIDI input available [grey]"}
        << "Learn needs a MIDI input, and none is available: No MIDI system answers: JACK: JACK "
           "server not running?";
}

void TestMidiMenu::rememberedInput() {
    QFETCH(bool, available);
    QFETCH(QStringList, ports);
    QFETCH(QString, opened);
    QFETCH(QStringList, entries);
    QFETCH(QString, learnWaits);
    Start("B", Fake(ports, available));
    QVERIFY(fake_ != nullptr);  // the remembered input was looked for
    QCOMPARE(QString::fromStdString(fake_->open), opened);
    QCOMPARE(Entries(), entries);
    QCOMPARE(Learn()->isEnabled(), learnWaits.isEmpty());
    if (!learnWaits.isEmpty()) {
        QCOMPARE(Learn()->toolTip(), learnWaits);
        QCOMPARE(Learn()->statusTip(), learnWaits);
    }
    // With nothing to listen to, Ctrl+M does not start learning.
    Box(0)->setFocus();
    QTest::keyClick(window_.get(), Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(Listening(), learnWaits.isEmpty() ? 0 : -1);
    if (!available) {
        QCOMPARE(Entry("No MIDI input available")->toolTip(),
                 QString("No MIDI system answers: JACK: JACK server not running?"));
    }
    // Still remembered: the device may be back next time.
    QCOMPARE(QSettings().value(MidiMenu::kInputKey).toString(), QString("B"));
}

void TestMidiMenu::chooseInputFromTheKeyboard() {
    Start("", Fake({"A", "B"}));
    QTest::keyClick(window_.get(), Qt::Key_M, Qt::AltModifier);
    for (const auto key : {Qt::Key_Return, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QTest::keyClick(QApplication::activePopupWidget(), key);
    }
    QCOMPARE(fake_->open, std::string("B"));
    QCOMPARE(QSettings().value(MidiMenu::kInputKey).toString(), QString("B"));
    QVERIFY(Learn()->isEnabled());

    // A port gone between listing and choosing is reported, and not kept.
    Entries();
    fake_->ports = {"B"};
    Entry("A")->trigger();
    QCOMPARE(dialogs_.messages, QStringList{"Could not open MIDI input A!"});
    QCOMPARE(dialogs_.details, QStringList{"No such port."});
    dialogs_.messages.clear();
    dialogs_.details.clear();
    QCOMPARE(Entries(), (QStringList{"None [x]", "B"}));
    QCOMPARE(QSettings().value(MidiMenu::kInputKey).toString(), QString("B"));
}

void TestMidiMenu::learnKnobByKnob() {
    Start("A", Fake({"A"}));
    Box(16)->setFocus();
    QTest::keyClick(window_.get(), Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(Listening(), 16);
    QVERIFY(Box(16)->property("listening").toBool());
    fake_->Send({0xB0, 7, 64});
    QTRY_COMPARE(Listening(), 17);
    VerifyKnob(16, 7);
    QVERIFY(!Box(16)->property("listening").toBool());
    QVERIFY(Box(17)->property("listening").toBool());
    QCOMPARE(QApplication::focusWidget(), Box(17));
    fake_->Send({0xBF, 120, 0});
    QTRY_VERIFY(!Learn()->isChecked());  // after the last knob
    VerifyKnob(17, 120);
    QVERIFY(!Box(17)->property("listening").toBool());

    QTest::keyClick(Box(17), Qt::Key_M, Qt::ControlModifier);
    QTest::mouseClick(Box(4), Qt::LeftButton);
    QCOMPARE(Listening(), 4);
    QTest::keyClick(Box(4), Qt::Key_Escape);
    QCOMPARE(Listening(), -1);
    fake_->Send({0xB0, 1, 1});
    QCoreApplication::processEvents();
    VerifyKnob(4, 105);
}

void TestMidiMenu::learnThroughJack() {
    if (qEnvironmentVariableIsEmpty("PEMBERLOCK_JACK_TEST")) QSKIP("needs midi.jack's JACK server");
    // The jack fixture skips then too, but CTest runs this test all the same.
    if (QStandardPaths::findExecutable("jackd").isEmpty()) QSKIP("jackd is not installed");
    // JACK client names must be unique on the machine, even across servers.
    const std::string pid = std::to_string(getpid());
    RtMidiOut sender(RtMidi::UNIX_JACK, "pemberlock-sender-" + pid);
    sender.openVirtualPort("out");
    Start("", [pid] {
        return std::make_unique<pemberlock::RtMidiInput>(
            "pemberlock-window-" + pid, std::vector{pemberlock::RtMidiInput::System::Jack});
    });
    Entries();
    const QString source = QString::fromStdString("pemberlock-sender-" + pid + ":out");
    QVERIFY2(Entry(source) != nullptr, qPrintable(source + " is not in the Input menu"));
    Entry(source)->trigger();
    QCOMPARE(dialogs_.messages, QStringList());

    // JACK drops or repeats a period's messages when a client misses its
    // deadline (an xrun), as it may under load: just after connecting, for
    // one. A marker note, which Learn ignores, goes until one comes through,
    // and a try that lost a message is made again.
    QSignalSpy arrived(window_->Midi().Relay(), &pemberlock::MidiRelay::Received);
    const std::vector<unsigned char> note{0x90, 60, 1};
    const auto learned = [this] {
        return Listening() == 3 && Box(0)->text() == "20" && Box(1)->text() == "21" &&
               Box(2)->text() == "22";
    };
    for (int attempt = 0; attempt < 3 && !learned(); ++attempt) {
        arrived.clear();
        for (int i = 0; i < 250 && arrived.isEmpty(); ++i) {
            sender.sendMessage(&note);
            QTest::qWait(20);
        }
        QVERIFY2(!arrived.isEmpty(), "no message came through JACK in 5 seconds");
        Box(0)->setFocus();
        Learn()->setChecked(false);
        Learn()->setChecked(true);
        for (const auto& change : std::vector<std::vector<unsigned char>>{
                 {0xB0, 20, 64}, {0xBF, 21, 0}, {0xB5, 22, 127}}) {
            sender.sendMessage(&change);
        }
        (void)QTest::qWaitFor(learned, 3000);
    }
    for (int knob = 0; knob < 3; ++knob) VerifyKnob(knob, 20 + knob);
    QCOMPARE(Listening(), 3);

    // A port that is not there, on a system that answers.
    pemberlock::RtMidiInput other("pemberlock-other-" + pid,
                                  std::vector{pemberlock::RtMidiInput::System::Jack});
    const pemberlock::Result<> opened = other.Open("pemberlock-nowhere-" + pid + ":out", {});
    QVERIFY(!opened);
    QCOMPARE(QString::fromStdString(opened.error().Text()), QString("no such port"));
}

// The reason RtMidi gives reaches the caller, without the names of its own
// functions: a JACK server that is not running, the only system asked.
void TestMidiMenu::reasonOfAMissingJackServer() {
#ifndef __linux__
    QSKIP("JACK is a Linux affair here");
#else
    const std::string pid = std::to_string(getpid());
    // Set for this input alone: midi.jack's own server is named in these.
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const char* name : {"JACK_DEFAULT_SERVER", "JACK_NO_START_SERVER"}) {
        saved.emplace_back(name, qEnvironmentVariableIsSet(name)
                                     ? std::optional<QByteArray>(qgetenv(name))
                                     : std::nullopt);
    }
    qputenv("JACK_DEFAULT_SERVER", QByteArray::fromStdString("pemberlock-nowhere-" + pid));
    qputenv("JACK_NO_START_SERVER", "1");
    pemberlock::RtMidiInput input("pemberlock-window-" + pid,
                                  std::vector{pemberlock::RtMidiInput::System::Jack});
    const pemberlock::Result<> available = input.Available();
    const pemberlock::Result<> opened = input.Open("system:midi_capture_1", {});
    for (const auto& [name, value] : saved) {
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }
    QVERIFY(!available && !opened);
    const QString why("no MIDI system answers: JACK: JACK server not running?");
    QCOMPARE(QString::fromStdString(available.error().Text()), why);
    QCOMPARE(QString::fromStdString(opened.error().Text()), why);
#endif
}

QTEST_MAIN(TestMidiMenu)
#include "TestMidiMenu.moc"
