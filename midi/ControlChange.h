// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace pemberlock {

// A Control Change message: status 0xB0 to 0xBF, then two data bytes.
struct ControlChange {
    int channel = 0;     // 0..15, shown to people as 1..16
    int controller = 0;  // 0..127
    int value = 0;       // 0..127
};

// The Control Change one complete MIDI message holds; nothing for any other
// message (notes, clock, system exclusive, program change) or a malformed one.
std::optional<ControlChange> ParseControlChange(std::span<const std::uint8_t> message);

}  // namespace pemberlock
