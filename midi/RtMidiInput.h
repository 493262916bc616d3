// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiInput.h"

#include <atomic>
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

    bool Available() override;
    std::vector<std::string> PortNames() override;
    bool Open(const std::string& name, Handler handler) override;
    void Close() override;

private:
    bool Connect();
    std::optional<unsigned int> PortNumber(const std::string& name);
    std::unique_ptr<RtMidiIn> TryConnect(System system);
    static void OnMessage(double timeStamp, std::vector<unsigned char>* message, void* self);

    const std::string clientName_;
    const std::vector<System> systems_;
    std::unique_ptr<RtMidiIn> in_;
    std::atomic<bool> failed_{false};  // set by RtMidi's error callback
    std::mutex handlerMutex_;          // the handler is called on RtMidi's thread
    Handler handler_;
};

}  // namespace pemberlock
