// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiInput.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class RtMidiIn;

namespace pemberlock {

// MIDI input through RtMidi, from the first MIDI system that answers.
// Nothing is printed and nothing thrown when none does.
class RtMidiInput final : public MidiInput {
public:
    enum class System { Alsa, Jack };

    // clientName is what other programs see this program as.
    explicit RtMidiInput(std::string clientName,
                         std::vector<System> systems = {System::Alsa, System::Jack});
    ~RtMidiInput() override;
    RtMidiInput(const RtMidiInput&) = delete;
    RtMidiInput& operator=(const RtMidiInput&) = delete;

    Result<> Available() override;
    std::vector<std::string> PortNames() override;
    Result<> Open(const std::string& name, Handler handler) override;
    void Close() override;

    // What RtMidi last reported through its error callback, warnings too;
    // the callback may come on RtMidi's own thread.
    class ErrorNote {
    public:
        void Note(const std::string& text);
        // The text noted since the last Take or Clear, if any.
        std::optional<std::string> Take();
        void Clear() { (void)Take(); }

    private:
        std::mutex mutex_;
        std::optional<std::string> text_;
    };

private:
    Result<> Connect();
    Result<> OpenPort(const std::string& name);
    std::optional<unsigned int> PortNumber(const std::string& name);
    Result<std::unique_ptr<RtMidiIn>> TryConnect(System system);
    static void OnMessage(double timeStamp, std::vector<unsigned char>* message, void* self);

    const std::string clientName_;
    const std::vector<System> systems_;
    ErrorNote error_;  // before in_, which reports to it until it is gone
    std::unique_ptr<RtMidiIn> in_;
    std::mutex handlerMutex_;  // the handler is called on RtMidi's thread
    Handler handler_;
};

}  // namespace pemberlock
