// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/RtMidiInput.h"

#include <rtmidi/RtMidi.h>
#ifdef __linux__
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#endif

#include <algorithm>
#include <iostream>
#include <sstream>
#include <utility>

namespace pemberlock {

namespace {

#ifdef __linux__
// A missing MIDI system is normal (no sound card, no JACK server), and a
// window program has no terminal to say so on: ALSA and JACK would print
// their failures to standard error.
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}

void SilenceMidiSystems() {
    static const bool once = [] {
        snd_lib_error_set_handler(&SilentAlsa);
        jack_set_error_function(&SilentJack);
        jack_set_info_function(&SilentJack);
        return true;
    }();
    (void)once;
}
#else
// WinMM and Core MIDI print nothing of their own.
void SilenceMidiSystems() {}
#endif

// RtMidi prints a failing constructor's reason to std::cerr before it
// throws; its error callback can only be set afterwards.
class QuietCerr {
public:
    QuietCerr() : saved_(std::cerr.rdbuf(sink_.rdbuf())) {}
    ~QuietCerr() { std::cerr.rdbuf(saved_); }
    QuietCerr(const QuietCerr&) = delete;
    QuietCerr& operator=(const QuietCerr&) = delete;

private:
    std::ostringstream sink_;
    std::streambuf* saved_;
};

RtMidi::Api ApiOf(RtMidiInput::System system) {
#if defined(_WIN32)
    // Windows and macOS have one MIDI system each, whichever is asked for.
    (void)system;
    return RtMidi::WINDOWS_MM;
#elif defined(__APPLE__)
    (void)system;
    return RtMidi::MACOSX_CORE;
#else
    return system == RtMidiInput::System::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
#endif
}

// For the reasons a system gives: "JACK: JACK server not running?".
std::string SystemName(RtMidiInput::System system) {
#ifdef __linux__
    return system == RtMidiInput::System::Alsa ? "ALSA" : "JACK";
#else
    return RtMidi::getApiDisplayName(ApiOf(system));
#endif
}

// Warnings count too: JACK's "server not running?" is one, and so is a
// port that went away between listing and opening.
void NoteError(RtMidiError::Type, const std::string& text, void* note) {
    static_cast<RtMidiInput::ErrorNote*>(note)->Note(text);
}

// RtMidi's texts start with the function that failed
// ("MidiInJack::openPort: JACK error creating port."), which tells a user
// nothing; the rest is the reason. The final full stop goes too, as the
// reason is placed inside a sentence.
std::string Reason(std::string text) {
    const std::size_t scope = text.find("::");
    const std::size_t end = text.find(": ");
    if (scope != std::string::npos && end != std::string::npos && scope < end &&
        text.find(' ') == end + 1) {
        text.erase(0, end + 2);
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

RtMidiInput::RtMidiInput(std::string clientName, std::vector<System> systems)
    : clientName_(std::move(clientName)), systems_(std::move(systems)) {
    SilenceMidiSystems();
}

RtMidiInput::~RtMidiInput() { Close(); }

void RtMidiInput::ErrorNote::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
}

std::optional<std::string> RtMidiInput::ErrorNote::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(text_, std::nullopt);
}

Result<> RtMidiInput::Available() { return Connect(); }

std::vector<std::string> RtMidiInput::PortNames() {
    std::vector<std::string> names;
    if (!Connect()) return names;
    const unsigned int count = in_->getPortCount();
    for (unsigned int i = 0; i < count; ++i) names.push_back(in_->getPortName(i));
    return names;
}

Result<> RtMidiInput::Open(const std::string& name, Handler handler) {
    Close();
    {
        std::lock_guard lock(handlerMutex_);
        handler_ = std::move(handler);
    }
    Result<> opened = OpenPort(name);
    if (!opened) Close();
    return opened;
}

Result<> RtMidiInput::OpenPort(const std::string& name) {
    if (Result<> connected = Connect(); !connected) return connected;
    // RtMidi opens a port by its number, and the numbers shift as other
    // ports come and go; the same number before and after the open shows
    // that it was the named port. Only the error callback tells whether the
    // open worked: isPortOpen() is false for some ports that work.
    Error failure;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::optional<unsigned int> number = PortNumber(name);
        if (!number) return Error{"no such port"};
        error_.Clear();
        in_->openPort(*number, "input");
        const std::optional<std::string> refused = error_.Take();
        if (!refused && PortNumber(name) == number) return {};
        failure = refused ? Error{"the MIDI system did not open it", 0, Reason(*refused)}
                          : Error{"the ports changed while it was being opened"};
        if (in_) in_->closePort();  // (gone if the system went away meanwhile)
    }
    return failure;
}

void RtMidiInput::Close() {
    // Outside the lock: closing waits for RtMidi's thread, which may be
    // waiting for the lock in OnMessage.
    if (in_) in_->closePort();
    std::lock_guard lock(handlerMutex_);
    handler_ = nullptr;
}

std::optional<unsigned int> RtMidiInput::PortNumber(const std::string& name) {
    const std::vector<std::string> names = PortNames();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return std::nullopt;
    return static_cast<unsigned int>(found - names.begin());
}

Result<> RtMidiInput::Connect() {
    if (in_) {
        error_.Clear();
        in_->getPortCount();
        if (!error_.Take()) return {};
        // The system went away (a JACK server stopped); try afresh.
        Close();
        in_.reset();
    }
    std::string reasons;
    std::vector<RtMidi::Api> tried;
    for (const System system : systems_) {
        // (Windows and macOS give one system for all.)
        if (std::find(tried.begin(), tried.end(), ApiOf(system)) != tried.end()) continue;
        tried.push_back(ApiOf(system));
        Result<std::unique_ptr<RtMidiIn>> in = TryConnect(system);
        if (in) {
            in_ = std::move(*in);
            return {};
        }
        reasons += (reasons.empty() ? "" : "; ") + in.error().Text();
    }
    return Error{"no MIDI system answers", 0, reasons};
}

Result<std::unique_ptr<RtMidiIn>> RtMidiInput::TryConnect(System system) {
    const std::string systemName = SystemName(system);
    std::unique_ptr<RtMidiIn> in;
    try {
        const QuietCerr quiet;
        in = std::make_unique<RtMidiIn>(ApiOf(system), clientName_);
    } catch (const RtMidiError& error) {
        // ALSA without /dev/snd/seq, for one
        return Error{systemName, 0, Reason(error.getMessage())};
    }
    error_.Clear();
    in->setErrorCallback(&NoteError, &error_);
    in->setCallback(&RtMidiInput::OnMessage, this);
    // JACK's constructor succeeds without a server; listing ports tells.
    in->getPortCount();
    if (std::optional<std::string> refused = error_.Take()) {
        return Error{systemName, 0, Reason(*refused)};
    }
    return in;
}

void RtMidiInput::OnMessage(double, std::vector<unsigned char>* message, void* self) {
    auto& input = *static_cast<RtMidiInput*>(self);
    std::lock_guard lock(input.handlerMutex_);
    if (input.handler_ && message != nullptr) input.handler_(*message);
}

}  // namespace pemberlock
