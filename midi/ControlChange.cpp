// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/ControlChange.h"

namespace pemberlock {

std::optional<ControlChange> ParseControlChange(std::span<const std::uint8_t> message) {
    // The MIDI systems hand over whole messages with their status byte (no
    // running status), so a Control Change is always exactly three bytes.
    if (message.size() != 3 || (message[0] & 0xF0) != 0xB0) return std::nullopt;
    if (message[1] > 0x7F || message[2] > 0x7F) return std::nullopt;
    return ControlChange{message[0] & 0x0F, message[1], message[2]};
}

}  // namespace pemberlock
