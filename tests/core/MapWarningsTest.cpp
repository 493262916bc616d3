// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/MapWarnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemberlock {
namespace {

TEST(MapWarnings, ReservedAndSharedControllers) {
    const struct {
        const char* name;
        std::vector<std::pair<int, const char*>> entries;  // knob 0..17, entry
        std::vector<std::string> texts;
    } rows[] = {
        {"the default map is fine", {}, {}},
        {"controller 32",
         {{0, "32"}},
         {"knob 1 uses controller 32, which the synthesizer reserves for bank select"}},
        {"controller 120",
         {{4, "120"}},
         {"knob 5 uses controller 120, which the synthesizer takes but an editor for it refuses "
          "in a patch, and which standard MIDI uses for All Sound Off"}},
        {"31, 33 and 119 are ordinary", {{0, "31"}, {1, "33"}, {2, "119"}}, {}},
        {"two knobs share", {{17, "51"}, {0, "51"}}, {"knobs 1 and 18 share controller 51"}},
        {"three share, two of them on 32",
         {{2, "32"}, {9, "32"}, {5, "32"}},
         {"knob 3 uses controller 32, which the synthesizer reserves for bank select",
          "knobs 3, 6 and 10 share controller 32",
          "knob 6 uses controller 32, which the synthesizer reserves for bank select",
          "knob 10 uses controller 32, which the synthesizer reserves for bank select"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        KnobControllerMap map;
        for (const auto& [knob, entry] : row.entries) map.SetEntryText(knob, entry);
        std::vector<std::string> texts;
        for (const MapWarning& warning : FindMapWarnings(map)) texts.push_back(warning.text);
        EXPECT_EQ(texts, row.texts);
    }
}

TEST(MapWarnings, EachKnobNamesTheOthersAndTakesTheWorstLevel) {
    KnobControllerMap map;
    map.SetEntryText(0, "32");
    map.SetEntryText(7, "32");
    map.SetEntryText(4, "120");
    const auto perKnob = WarningsPerKnob(FindMapWarnings(map));
    EXPECT_EQ(perKnob[0].level, MapWarning::Level::Serious);
    EXPECT_EQ(perKnob[7].reasons.back(), "shares controller 32 with knob 1");
    EXPECT_EQ(perKnob[4].level, MapWarning::Level::Caution);
    EXPECT_EQ(perKnob[1].level, MapWarning::Level::None);
}

}  // namespace
}  // namespace pemberlock
