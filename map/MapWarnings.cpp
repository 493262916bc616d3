// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/MapWarnings.h"

#include <algorithm>
#include <map>

namespace pemberlock {
namespace {

constexpr int kBankSelect = 32;
constexpr int kAllSoundOff = 120;

std::string KnobName(int knob) { return "knob " + std::to_string(knob + 1); }

// "knob 3", "knobs 1 and 18", "knobs 1, 4 and 18".
std::string KnobList(const std::vector<int>& knobs) {
    if (knobs.size() == 1) return KnobName(knobs[0]);
    std::string text = "knobs ";
    for (std::size_t i = 0; i < knobs.size(); ++i) {
        if (i > 0) text += i + 1 == knobs.size() ? " and " : ", ";
        text += std::to_string(knobs[i] + 1);
    }
    return text;
}

// Why the controller alone is a problem, after "controller N, ".
std::string AboutController(MapWarning::Kind kind) {
    if (kind == MapWarning::Kind::BankSelect) {
        return "which the synthesizer reserves for bank select";
    }
    return "which the synthesizer takes but an editor for it refuses in a patch,"
           " and which standard MIDI uses for All Sound Off";
}

std::string OtherKnobs(std::vector<int> knobs, int knob) {
    knobs.erase(std::find(knobs.begin(), knobs.end(), knob));
    return KnobList(knobs);
}

}  // namespace

std::vector<MapWarning> FindMapWarnings(const KnobControllerMap& map) {
    std::vector<MapWarning> warnings;
    std::map<int, std::vector<int>> knobsOf;  // controller -> knobs that use it
    for (int knob = 0; knob < KnobControllerMap::kKnobCount; ++knob) {
        // Entries are whole numbers 0..120 by the entry rule.
        const int controller = static_cast<int>(map.EntryValue(knob));
        knobsOf[controller].push_back(knob);
        MapWarning::Kind kind;
        MapWarning::Level level;
        if (controller == kBankSelect) {
            kind = MapWarning::Kind::BankSelect;
            level = MapWarning::Level::Serious;
        } else if (controller == kAllSoundOff) {
            kind = MapWarning::Kind::AllSoundOff;
            level = MapWarning::Level::Caution;
        } else {
            continue;
        }
        warnings.push_back({level,
                            kind,
                            controller,
                            {knob},
                            KnobName(knob) + " uses controller " + std::to_string(controller) +
                                ", " + AboutController(kind)});
    }
    for (const auto& [controller, knobs] : knobsOf) {
        if (knobs.size() < 2) continue;
        warnings.push_back({MapWarning::Level::Caution, MapWarning::Kind::Shared, controller, knobs,
                            KnobList(knobs) + " share controller " + std::to_string(controller)});
    }
    std::stable_sort(
        warnings.begin(), warnings.end(),
        [](const MapWarning& a, const MapWarning& b) { return a.knobs[0] < b.knobs[0]; });
    return warnings;
}

std::array<KnobWarning, KnobControllerMap::kKnobCount> WarningsPerKnob(
    const std::vector<MapWarning>& warnings) {
    std::array<KnobWarning, KnobControllerMap::kKnobCount> perKnob;
    // What is wrong with the knob's own number first, then whom it shares it with.
    for (const bool shared : {false, true}) {
        for (const MapWarning& warning : warnings) {
            if ((warning.kind == MapWarning::Kind::Shared) != shared) continue;
            for (const int knob : warning.knobs) {
                KnobWarning& shown = perKnob.at(static_cast<std::size_t>(knob));
                shown.level = std::max(shown.level, warning.level);
                shown.reasons.push_back(
                    shared ? "shares controller " + std::to_string(warning.controller) + " with " +
                                 OtherKnobs(warning.knobs, knob)
                           : "uses controller " + std::to_string(warning.controller) + ", " +
                                 AboutController(warning.kind));
            }
        }
    }
    return perKnob;
}

}  // namespace pemberlock
