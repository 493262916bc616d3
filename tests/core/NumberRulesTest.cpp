// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/NumberRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace pemberlock {
namespace {

struct LeadingCase {
    const char* text;
    double value;
};

TEST(NumberRules, LeadingNumberTakesTheLongestPrefixAndNeverFails) {
    const LeadingCase cases[] = {
        {"", 0},          {"abc", 0},  {"-", 0},       {".", 0},   {"-.", 0},     {"42", 42},
        {" 42", 42},      {"\t 7", 7}, {"12abc", 12},  {"05", 5},  {".5", 0.5},   {"5.", 5},
        {"-.5", -0.5},    {"+3", 3},   {"1.2.3", 1.2}, {"1e5", 1}, {"0x10", 0},   {"1 2", 1},
        {"101.4", 101.4}, {"- 5", 0},  {"7,5", 7},     {"--5", 0}, {"120 ", 120}, {"1 9 0 7", 1},
    };
    for (const LeadingCase& c : cases) {
        EXPECT_EQ(ReadLeadingNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(NumberRules, HugeAndTinyNumbersDoNotBreakTheReading) {
    const std::string huge(400, '9');
    EXPECT_TRUE(std::isinf(ReadLeadingNumber(huge)));
    EXPECT_TRUE(std::isinf(ReadLeadingNumber("-" + huge)));
    EXPECT_EQ(ReadLeadingNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(TextToWholeNumber(huge), std::nullopt);
}

struct WholeCase {
    const char* text;
    std::optional<std::int16_t> value;
};

TEST(NumberRules, TextToWholeNumberNeedsTheWholeTextAndRoundsHalfToEven) {
    const WholeCase cases[] = {
        {"0", 0},
        {" 1 ", 1},
        {"2.5", 2},
        {"3.5", 4},
        {"7.5", 8},
        {"0.5", 0},
        {"-0.5", 0},
        {"-1.5", -2},
        {"1.4999", 1},
        {"32767", 32767},
        {"32767.4", 32767},
        {"32767.5", std::nullopt},
        {"-32768", -32768},
        {"-32768.5", -32768},
        {"-32769", std::nullopt},
        {"", std::nullopt},
        {"3x", std::nullopt},
        {"-", std::nullopt},
        {".", std::nullopt},
        {"1 2", std::nullopt},
        {"0 ", 0},
        {"\t17\t", 17},
        {"1e2", std::nullopt},
    };
    for (const WholeCase& c : cases) {
        EXPECT_EQ(TextToWholeNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(NumberRules, NumberToTextIsShortestAndWholeWithoutPoint) {
    EXPECT_EQ(NumberToText(101), "101");
    EXPECT_EQ(NumberToText(7.5), "7.5");
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(-0.0), "0");
    EXPECT_EQ(NumberToText(-3), "-3");
    EXPECT_EQ(NumberToText(1e20), "100000000000000000000");
}

}  // namespace
}  // namespace pemberlock
