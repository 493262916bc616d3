// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "map/KnobControllerMap.h"
#include "midi/MidiInput.h"
#include "midi/MidiLearn.h"

#include <QByteArray>
#include <QObject>
#include <QPalette>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class QAction;
class QActionGroup;
class QEvent;
class QLineEdit;
class QMainWindow;
class QMenu;

namespace pemberlock {

class DialogService;
class KnobEditor;

// Carries messages from the MIDI system's thread to the relay's own thread:
// Post may be called on any thread; Received is emitted on the relay's.
class MidiRelay final : public QObject {
    Q_OBJECT

public:
    void Post(std::span<const std::uint8_t> message);

signals:
    void Received(const QByteArray& message);
};

// The MIDI menu. Input chooses the port to listen to, remembered between
// runs; Learn gives the listening knob the controller number of the next
// Control Change that arrives, then listens with the next knob.
class MidiMenu final : public QObject {
    Q_OBJECT

public:
    using Knobs = std::array<std::unique_ptr<KnobEditor>, KnobControllerMap::kKnobCount>;
    using InputFactory = std::function<std::unique_ptr<MidiInput>()>;
    static inline const QString kInputKey = QStringLiteral("midi/input");

    // Appends the menu to window's menu bar. The remembered input is opened
    // once the event loop runs, so that the window shows without waiting.
    MidiMenu(QMainWindow& window, DialogService& dialogs, const Knobs& knobs);
    ~MidiMenu() override;

    // Where the ports come from from now on; the real MIDI systems unless a
    // test puts its own here.
    void SetInputFactory(InputFactory factory);
    MidiRelay* Relay() { return &relay_; }
    std::optional<int> ListeningKnob() const { return learn_.Listening(); }
    // While a drop runs the knobs wait, so learning ends and the menu waits too.
    void SetEnabled(bool enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    MidiInput& Input();
    void RestoreInput();
    void RefreshInputMenu();
    void AddInputEntry(const QString& text, const QString& port);
    void ChooseInput(const QString& port);
    Result<> OpenInput(const QString& port);
    void SetLearning(bool on);
    // Learn is there to choose only while an input is open; its tooltip says why not.
    void ShowLearnState();
    void OnMessage(const QByteArray& message);
    void ShowListening();
    QLineEdit* Box(int knob) const;
    int KnobOf(const QObject* widget) const;

    QMainWindow& window_;
    DialogService& dialogs_;
    const Knobs& knobs_;
    MidiRelay relay_;
    InputFactory factory_;
    std::unique_ptr<MidiInput> input_;  // after relay_, so it is closed first
    QString openPort_;                  // empty when None is chosen
    QString unavailable_;               // why there is no MIDI input at all, when known
    MidiLearn learn_;
    std::optional<int> marked_;  // the knob whose box shows that it listens
    QPalette unmarkedPalette_;

    QMenu* MnuMidi = nullptr;
    QMenu* MnuMidiInput = nullptr;
    QActionGroup* inputGroup_ = nullptr;
    QAction* MnuLearn = nullptr;
    QAction* stopLearning_ = nullptr;  // Escape, live only while learning
};

}  // namespace pemberlock
