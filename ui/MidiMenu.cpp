// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MidiMenu.h"

#include "midi/RtMidiInput.h"
#include "ui/DialogService.h"
#include "ui/KnobEditor.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <string>
#include <vector>

namespace pemberlock {

namespace {

// Dark text on a light amber, readable in light and dark themes alike.
const QColor kListeningBase(255, 221, 120);
const QString kListeningText =
    QStringLiteral("Listening: turn a control on your MIDI controller to set this knob");

// "No such port." from "no such port": the reason stands on its own in the
// window.
QString Sentence(const Error& error) {
    QString text = QString::fromStdString(error.Text());
    if (text.isEmpty()) return text;
    text[0] = text[0].toUpper();
    if (!text.endsWith('.') && !text.endsWith('?') && !text.endsWith('!')) text += '.';
    return text;
}

}  // namespace

void MidiRelay::Post(std::span<const std::uint8_t> message) {
    QByteArray bytes(reinterpret_cast<const char*>(message.data()),
                     static_cast<qsizetype>(message.size()));
    QMetaObject::invokeMethod(
        this, [this, bytes] { emit Received(bytes); }, Qt::QueuedConnection);
}

MidiMenu::MidiMenu(QMainWindow& window, DialogService& dialogs, const Knobs& knobs)
    : window_(window), dialogs_(dialogs), knobs_(knobs) {
    factory_ = [] { return std::make_unique<RtMidiInput>("Pemberlock"); };
    connect(&relay_, &MidiRelay::Received, this, &MidiMenu::OnMessage);
    BuildMenu();
    for (const auto& knob : knobs_) knob->Box()->installEventFilter(this);
    QTimer::singleShot(0, this, &MidiMenu::RestoreInput);
}

MidiMenu::~MidiMenu() {
    // No message may reach the relay while it is taken apart.
    if (input_) input_->Close();
}

void MidiMenu::BuildMenu() {
    MnuMidi = window_.menuBar()->addMenu(QStringLiteral("&MIDI"));
    MnuMidi->setObjectName(QStringLiteral("MnuMidi"));
    MnuMidi->setToolTipsVisible(true);  // why Learn waits, while it does

    MnuMidiInput = MnuMidi->addMenu(QStringLiteral("&Input"));
    MnuMidiInput->setObjectName(QStringLiteral("MnuMidiInput"));
    MnuMidiInput->setToolTipsVisible(true);  // why there is no input, when there is none
    inputGroup_ = new QActionGroup(MnuMidiInput);
    // The ports come and go (devices plugged in, JACK clients started).
    connect(MnuMidiInput, &QMenu::aboutToShow, this, &MidiMenu::RefreshInputMenu);

    MnuLearn = MnuMidi->addAction(QStringLiteral("&Learn"));
    MnuLearn->setObjectName(QStringLiteral("MnuLearn"));
    MnuLearn->setCheckable(true);
    MnuLearn->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(MnuLearn, &QAction::toggled, this, &MidiMenu::SetLearning);
    ShowLearnState();

    stopLearning_ = new QAction(this);
    stopLearning_->setObjectName(QStringLiteral("StopLearning"));
    stopLearning_->setShortcut(QKeySequence(Qt::Key_Escape));
    stopLearning_->setEnabled(false);
    window_.addAction(stopLearning_);
    connect(stopLearning_, &QAction::triggered, this, [this] { MnuLearn->setChecked(false); });
}

void MidiMenu::SetInputFactory(InputFactory factory) {
    input_.reset();
    openPort_.clear();
    unavailable_.clear();
    factory_ = std::move(factory);
    ShowLearnState();
}

MidiInput& MidiMenu::Input() {
    // Made on first use: a user who never chooses an input never waits for
    // a MIDI system at start.
    if (!input_) input_ = factory_();
    return *input_;
}

void MidiMenu::RestoreInput() {
    const QString port = QSettings().value(kInputKey).toString();
    // A port that is gone leaves None chosen; the menu tells when opened.
    if (!port.isEmpty()) (void)OpenInput(port);
}

void MidiMenu::RefreshInputMenu() {
    MnuMidiInput->clear();
    MidiInput& input = Input();
    if (const Result<> available = input.Available(); !available) {
        QAction* none = MnuMidiInput->addAction(QStringLiteral("No MIDI input available"));
        none->setEnabled(false);
        none->setToolTip(Sentence(available.error()));
        unavailable_ = Sentence(available.error());
        ShowLearnState();
        return;
    }
    unavailable_.clear();
    std::vector<QString> ports;
    for (const std::string& name : input.PortNames()) ports.push_back(QString::fromStdString(name));
    const auto listed = [&ports](const QString& port) {
        return std::find(ports.begin(), ports.end(), port) != ports.end();
    };
    if (!openPort_.isEmpty() && !listed(openPort_)) {
        input.Close();  // its device went away
        openPort_.clear();
    }
    ShowLearnState();
    AddInputEntry(QStringLiteral("None"), QString());
    for (const QString& port : ports) AddInputEntry(port, port);

    const QString remembered = QSettings().value(kInputKey).toString();
    if (!remembered.isEmpty() && !listed(remembered)) {
        MnuMidiInput->addSeparator();
        MnuMidiInput->addAction(QStringLiteral("%1 (not found)").arg(remembered))
            ->setEnabled(false);
    }
}

void MidiMenu::AddInputEntry(const QString& text, const QString& port) {
    QAction* entry = MnuMidiInput->addAction(text);
    entry->setCheckable(true);
    entry->setChecked(port == openPort_);
    inputGroup_->addAction(entry);
    connect(entry, &QAction::triggered, this, [this, port] { ChooseInput(port); });
}

void MidiMenu::ChooseInput(const QString& port) {
    if (port.isEmpty()) {
        if (input_) input_->Close();
        openPort_.clear();
        QSettings().remove(kInputKey);
        ShowLearnState();
    } else if (const Result<> opened = OpenInput(port); opened) {
        QSettings().setValue(kInputKey, port);
    } else {
        dialogs_.ShowMessage(&window_, QStringLiteral("Could not open MIDI input %1!").arg(port),
                             Sentence(opened.error()));
    }
}

Result<> MidiMenu::OpenInput(const QString& port) {
    openPort_.clear();
    MidiRelay* relay = &relay_;
    Result<> opened =
        Input().Open(port.toStdString(),
                     [relay](std::span<const std::uint8_t> message) { relay->Post(message); });
    if (opened) openPort_ = port;
    ShowLearnState();
    return opened;
}

void MidiMenu::ShowLearnState() {
    const bool hearing = !openPort_.isEmpty();
    QString tip;
    if (hearing) {
        tip = QStringLiteral(
            "Give the knob with the focus the number of the next control you turn on your MIDI "
            "controller.");
    } else if (!unavailable_.isEmpty()) {
        tip = QStringLiteral("Learn needs a MIDI input, and none is available: ") + unavailable_;
    } else {
        tip = QStringLiteral("Learn needs a MIDI input: choose one under MIDI > Input.");
    }
    // Learning with nothing to listen to would leave a knob waiting for ever.
    if (!hearing) MnuLearn->setChecked(false);
    MnuLearn->setEnabled(hearing);
    MnuLearn->setToolTip(tip);
    MnuLearn->setStatusTip(tip);
}

void MidiMenu::SetEnabled(bool enabled) {
    if (!enabled) MnuLearn->setChecked(false);
    MnuMidi->setEnabled(enabled);
}

void MidiMenu::SetLearning(bool on) {
    if (on) {
        learn_.Start(KnobOf(window_.focusWidget()));
    } else {
        learn_.Stop();
    }
    stopLearning_->setEnabled(on);
    ShowListening();
}

void MidiMenu::OnMessage(const QByteArray& message) {
    const std::optional<MidiLearn::Learned> learned = learn_.Take(
        std::span(reinterpret_cast<const std::uint8_t*>(message.constData()), message.size()));
    if (!learned) return;
    // Through the box, as if typed: the entry rule applies and the scroll
    // bar and the map follow, as they do for the user's own typing.
    Box(learned->knob)->setText(QString::number(learned->controller));
    if (learn_.Active()) {
        ShowListening();
    } else {
        MnuLearn->setChecked(false);  // the last knob has its number
    }
}

void MidiMenu::ShowListening() {
    if (marked_) {
        QLineEdit* box = Box(*marked_);
        box->setPalette(unmarkedPalette_);
        box->setAccessibleDescription(QString());
        box->setProperty("listening", false);
    }
    marked_ = learn_.Listening();
    if (!marked_) return;
    QLineEdit* box = Box(*marked_);
    unmarkedPalette_ = box->palette();
    QPalette listening = unmarkedPalette_;
    listening.setColor(QPalette::Base, kListeningBase);
    listening.setColor(QPalette::Text, Qt::black);
    box->setPalette(listening);
    box->setAccessibleDescription(kListeningText);
    box->setProperty("listening", true);
    // Typing and Tab go on from the knob that listens.
    box->setFocus(Qt::OtherFocusReason);
}

bool MidiMenu::eventFilter(QObject* watched, QEvent* event) {
    const bool chosen =
        event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress;
    if (chosen && learn_.Active()) {
        const int knob = KnobOf(watched);
        if (knob >= 0 && learn_.Listening() != knob) {
            learn_.Listen(knob);
            ShowListening();
        }
    }
    return QObject::eventFilter(watched, event);
}

QLineEdit* MidiMenu::Box(int knob) const { return knobs_[static_cast<std::size_t>(knob)]->Box(); }

int MidiMenu::KnobOf(const QObject* widget) const {
    for (std::size_t i = 0; i < knobs_.size(); ++i) {
        if (knobs_[i]->Box() == widget || knobs_[i]->Bar() == widget) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace pemberlock
