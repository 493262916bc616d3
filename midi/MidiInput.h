// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace pemberlock {

// The MIDI input ports of the system, with at most one open at a time.
class MidiInput {
public:
    // Gets each message's bytes, on a thread of the MIDI system's choosing.
    using Handler = std::function<void(std::span<const std::uint8_t>)>;

    virtual ~MidiInput() = default;

    // False when no MIDI system answers; there are no ports then.
    virtual bool Available() = 0;
    // The names of the ports as they are now, as the system gives them.
    virtual std::vector<std::string> PortNames() = 0;
    // Closes the open port, if any, and opens the one named; messages go to
    // handler until Close. False, with no port open, when it cannot be opened.
    virtual bool Open(const std::string& name, Handler handler) = 0;
    // When it returns, handler is no longer called.
    virtual void Close() = 0;
};

}  // namespace pemberlock
