// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiLearn.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

namespace pemberlock {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct MessageCase {
    const char* name;
    Bytes message;
    std::optional<int> learned;  // the controller number the knob gets
};

void PrintTo(const MessageCase& c, std::ostream* out) { *out << c.name; }

const MessageCase kMessages[] = {
    {"ControlChangeOnChannel1", {0xB0, 7, 64}, 7},
    {"ControlChangeOnChannel16", {0xBF, 20, 0}, 20},
    {"Controller0", {0xB5, 0, 127}, 0},
    {"Controller120", {0xB0, 120, 1}, 120},
    {"Controller121IsAChannelModeMessage", {0xB0, 121, 0}, std::nullopt},
    {"Controller127IsAChannelModeMessage", {0xBF, 127, 0}, std::nullopt},
    {"NoteOn", {0x90, 60, 100}, std::nullopt},
    {"NoteOff", {0x80, 60, 0}, std::nullopt},
    {"ProgramChange", {0xC0, 5}, std::nullopt},
    {"Clock", {0xF8}, std::nullopt},
    {"SystemExclusive", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, std::nullopt},
    {"ControlChangeCutShort", {0xB0, 7}, std::nullopt},
    {"StatusByteWhereDataBelongs", {0xB0, 0x87, 1}, std::nullopt},
    {"Empty", {}, std::nullopt},
};

class LearnFromMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(LearnFromMessage, OnlyControlChangesAKnobCanTakeAreLearned) {
    MidiLearn learn;
    learn.Start(4);
    const std::optional<MidiLearn::Learned> learned = learn.Take(GetParam().message);
    ASSERT_EQ(learned.has_value(), GetParam().learned.has_value());
    if (learned) {
        EXPECT_EQ(learned->knob, 4);
        EXPECT_EQ(learned->controller, *GetParam().learned);
    }
    EXPECT_EQ(learn.Listening(), learned ? 5 : 4);
}

INSTANTIATE_TEST_SUITE_P(Messages, LearnFromMessage, testing::ValuesIn(kMessages),
                         [](const auto& info) { return info.param.name; });

TEST(MidiLearn, ListensKnobByKnobAndStopsAfterTheLast) {
    MidiLearn learn;
    learn.Start(-1);  // no knob has the focus: the first listens
    for (int knob = 0; knob < KnobControllerMap::kKnobCount; ++knob) {
        ASSERT_EQ(learn.Listening(), knob);
        const auto learned = learn.Take(Bytes{0xB0, static_cast<std::uint8_t>(30 + knob), 1});
        ASSERT_TRUE(learned);
        EXPECT_EQ(learned->knob, knob);
        EXPECT_EQ(learned->controller, 30 + knob);
    }
    EXPECT_FALSE(learn.Active());
    EXPECT_FALSE(learn.Take(Bytes{0xB0, 1, 1}));
}

}  // namespace
}  // namespace pemberlock
