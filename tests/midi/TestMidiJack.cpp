// The window learns from Control Changes sent through a real JACK server
// with no hardware (the jack fixture starts it, named by JACK_DEFAULT_SERVER).
#include "ScriptedDialogService.h"

#include "midi/RtMidiInput.h"
#include "ui/FrmDragDrop.h"
#include "ui/MidiMenu.h"

#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

using pemberlock::RtMidiInput;

class TestMidiJack : public QObject {
    Q_OBJECT

private slots:
    void learnsThreeKnobs();
};

void TestMidiJack::learnsThreeKnobs() {
    // The jack fixture skips then too, but CTest runs this test all the same.
    if (QStandardPaths::findExecutable("jackd").isEmpty()) QSKIP("jackd is not installed");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    // JACK client names must be unique on the machine, even across servers.
    const std::string pid = std::to_string(getpid());
    RtMidiOut sender(RtMidi::UNIX_JACK, "pemberlock-sender-" + pid);
    sender.openVirtualPort("out");

    pemberlock::test::ScriptedDialogService dialogs;
    pemberlock::FrmDragDrop window(dialogs);
    pemberlock::MidiMenu& midi = window.Midi();
    midi.SetInputFactory([pid] {
        return std::make_unique<RtMidiInput>("pemberlock-window-" + pid,
                                             std::vector{RtMidiInput::System::Jack});
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto* inputs = window.findChild<QMenu*>(QStringLiteral("MnuMidiInput"));
    emit inputs->aboutToShow();
    const QString source = QString::fromStdString("pemberlock-sender-" + pid + ":out");
    QAction* entry = nullptr;
    for (QAction* action : inputs->actions()) {
        if (action->text() == source) entry = action;
    }
    QVERIFY2(entry != nullptr, qPrintable(source + " is not in the Input menu"));
    entry->trigger();
    QVERIFY(entry->isChecked());
    QCOMPARE(dialogs.messages, QStringList());

    // Messages sent just after connecting can be lost under load: send a
    // note, which Learn ignores, until one comes through.
    QSignalSpy arrived(midi.Relay(), &pemberlock::MidiRelay::Received);
    const std::vector<unsigned char> note{0x90, 60, 1};
    for (int i = 0; i < 250 && arrived.isEmpty(); ++i) {
        sender.sendMessage(&note);
        QTest::qWait(20);
    }
    QVERIFY2(!arrived.isEmpty(), "no message came through JACK in 5 seconds");

    window.findChild<QLineEdit*>(QStringLiteral("TxtCtrl0"))->setFocus();
    window.findChild<QAction*>(QStringLiteral("MnuLearn"))->trigger();
    const std::vector<std::vector<unsigned char>> changes{
        {0xB0, 20, 64}, {0xBF, 21, 0}, {0xB5, 22, 127}};
    for (const auto& change : changes) sender.sendMessage(&change);
    for (int knob = 0; knob < 3; ++knob) {
        auto* box = window.findChild<QLineEdit*>(QStringLiteral("TxtCtrl%1").arg(knob));
        QTRY_COMPARE(box->text(), QString::number(20 + knob));
    }
    QCOMPARE(midi.ListeningKnob(), 3);
}

QTEST_MAIN(TestMidiJack)
#include "TestMidiJack.moc"
