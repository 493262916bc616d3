// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/KnobControllerMap.h"

#include <gtest/gtest.h>

namespace pemberlock {
namespace {

TEST(KnobControllerMap, EntryRule) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "0"},
        {"abc", "0"},
        {"-", "0"},
        {"-5", "0"},
        {"130", "120"},
        {"7.5", "8"},
        {"2.5", "2"},
        {"0.5", "0"},
        {"05", "5"},
        {" 42", "42"},
        {"12abc", "12"},
        {"120.4", "120"},
        {"120.6", "120"},
        {"-0.4", "0"},
        {"119.5", "120"},
        {".", "0"},
        {"99999999999999999999999", "120"},
    };
    KnobControllerMap map;
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(map.SetEntryText(4, text), expected) << '"' << text << '"';
        EXPECT_EQ(map.EntryText(4), expected);
    }
}

TEST(KnobControllerMap, DefaultsAndControllerQueries) {
    KnobControllerMap map;
    for (int i = 0; i < KnobControllerMap::kKnobCount; ++i) {
        EXPECT_EQ(map.EntryText(i), std::to_string(101 + i));
        EXPECT_EQ(map.EntryValue(i), 101 + i);
    }
    EXPECT_EQ(map.Precedence(), 0);
    EXPECT_TRUE(map.IsControllerMapped(101));
    EXPECT_TRUE(map.IsControllerMapped(118));
    EXPECT_FALSE(map.IsControllerMapped(100));
    EXPECT_FALSE(map.IsControllerMapped(119));

    map.SetEntryText(3, "101");
    EXPECT_TRUE(map.IsControllerMapped(101));
    EXPECT_FALSE(map.IsControllerMapped(104));
}

TEST(KnobControllerMap, OnlyOptionOneIsOn) {
    KnobControllerMap map;
    for (const auto& [value, on] : {std::pair{0, false}, {1, true}, {2, false}}) {
        map.SetPrecedence(value);
        EXPECT_EQ(map.Precedence(), value);
        EXPECT_EQ(map.PrecedenceOn(), on);
    }
}

}  // namespace
}  // namespace pemberlock
