// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "map/KnobControllerMap.h"

#include <cstdint>
#include <optional>
#include <span>

namespace pemberlock {

// Fills in knobs' controller numbers from a controller the user turns: while
// learning, one knob listens; the next Control Change on any channel gives it
// that controller number, and the following knob listens, until the last
// knob has learned one.
class MidiLearn {
public:
    struct Learned {
        int knob = 0;
        int controller = 0;
    };

    bool Active() const { return listening_.has_value(); }
    // The knob the next Control Change goes to, while learning.
    std::optional<int> Listening() const { return listening_; }

    // Starts with knob (0..17; any other number means the first knob).
    void Start(int knob);
    void Stop() { listening_.reset(); }
    // Moves listening to knob, while learning.
    void Listen(int knob);

    // The knob and controller number message teaches, if it does; listening
    // then moves on. Anything but a Control Change is ignored, and so are
    // controllers above 120, the channel mode messages no knob can take.
    std::optional<Learned> Take(std::span<const std::uint8_t> message);

private:
    static constexpr int kKnobCount = KnobControllerMap::kKnobCount;

    std::optional<int> listening_;
};

}  // namespace pemberlock
