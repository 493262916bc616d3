// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

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

    // Fails, saying why, when no MIDI system answers; there are no ports then.
    virtual Result<> Available() = 0;
    // The names of the ports as they are now, as the system gives them.
    virtual std::vector<std::string> PortNames() = 0;
    // Closes the open port, if any, and opens the one named; messages go to
    // handler until Close. When it cannot be opened no port is open, and the
    // error says why ("no such port", or the MIDI system's own reason).
    virtual Result<> Open(const std::string& name, Handler handler) = 0;
    // When it returns, handler is no longer called.
    virtual void Close() = 0;
};

}  // namespace pemberlock
