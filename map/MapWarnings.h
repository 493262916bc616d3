// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "map/KnobControllerMap.h"

#include <array>
#include <string>
#include <vector>

namespace pemberlock {

// Map entries that the tool accepts but that will likely not do what the
// user wants. They only tell: the map and the rewrite stay as they are.
// Knobs are 0..17 here and 1..18 in the texts.
struct MapWarning {
    enum class Level { None, Caution, Serious };
    enum class Kind { BankSelect, AllSoundOff, Shared };

    Level level;
    Kind kind;
    int controller;
    std::vector<int> knobs;  // the knobs concerned, ascending
    // For one line of a log: "knob 1 uses controller 32, which the
    // synthesizer reserves for bank select", "knobs 1 and 18 share controller 51".
    std::string text;
};

// Every warning for map: per knob, controller 32 (serious) and controller
// 120 (caution); per controller that two or more knobs share, one (caution).
// In knob order of each warning's first knob.
std::vector<MapWarning> FindMapWarnings(const KnobControllerMap& map);

// What one knob's editor shows: the most serious level of the warnings
// that concern it, and each in words about that knob (the others named).
struct KnobWarning {
    MapWarning::Level level = MapWarning::Level::None;
    // e.g. "shares controller 51 with knob 18", "uses controller 32, which ..."
    std::vector<std::string> reasons;
};
std::array<KnobWarning, KnobControllerMap::kKnobCount> WarningsPerKnob(
    const std::vector<MapWarning>& warnings);

}  // namespace pemberlock
