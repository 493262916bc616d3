// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiLearn.h"

#include "midi/ControlChange.h"

namespace pemberlock {

void MidiLearn::Start(int knob) { listening_ = knob >= 0 && knob < kKnobCount ? knob : 0; }

void MidiLearn::Listen(int knob) {
    if (Active() && knob >= 0 && knob < kKnobCount) listening_ = knob;
}

std::optional<MidiLearn::Learned> MidiLearn::Take(std::span<const std::uint8_t> message) {
    if (!listening_) return std::nullopt;
    const std::optional<ControlChange> change = ParseControlChange(message);
    if (!change || change->controller > KnobControllerMap::kMaxController) return std::nullopt;
    const Learned learned{*listening_, change->controller};
    if (learned.knob + 1 < kKnobCount) {
        listening_ = learned.knob + 1;
    } else {
        listening_.reset();
    }
    return learned;
}

}  // namespace pemberlock
