// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/MapSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemberlock {
namespace {

std::vector<const SheetText*> TextsOf(const MapSheetLayout& layout, SheetRole role, int knob = -1) {
    std::vector<const SheetText*> found;
    for (const SheetText& text : layout.texts) {
        if (text.role == role && (knob < 0 || text.knob == knob)) found.push_back(&text);
    }
    return found;
}

const SheetText& OnlyText(const MapSheetLayout& layout, SheetRole role, int knob = -1) {
    const std::vector<const SheetText*> found = TextsOf(layout, role, knob);
    EXPECT_EQ(found.size(), 1u);
    static const SheetText none;
    return found.empty() ? none : *found.front();
}

TEST(MapSheet, KnobsAreLaidOutAsInTheWindow) {
    MapSheetContent content;
    for (int i = 0; i < 18; ++i) content.map.SetEntryText(i, std::to_string(i * 7));
    const MapSheetLayout layout = LayOutMapSheet(content);
    EXPECT_NEAR(layout.width, 841.89, 0.01);  // A4 landscape
    EXPECT_NEAR(layout.height, 595.28, 0.01);

    for (int knob = 0; knob < 18; ++knob) {
        SCOPED_TRACE(knob);
        const SheetText& number = OnlyText(layout, SheetRole::KnobNumber, knob);
        const SheetText& controller = OnlyText(layout, SheetRole::Controller, knob);
        EXPECT_EQ(number.text, std::to_string(knob + 1));
        EXPECT_EQ(controller.text, std::to_string(knob * 7));
        EXPECT_GE(controller.size, 20);
        // Knobs 1 to 3 fill the first column from top to bottom; six columns.
        if (knob % 3 != 2) {
            const SheetText& below = OnlyText(layout, SheetRole::KnobNumber, knob + 1);
            EXPECT_EQ(below.x, number.x);
            EXPECT_GT(below.baseline, number.baseline + 100);
        }
        if (knob < 15) {
            const SheetText& right = OnlyText(layout, SheetRole::KnobNumber, knob + 3);
            EXPECT_EQ(right.baseline, number.baseline);
            EXPECT_GT(right.x, number.x + 100);
        }
        // Inside the page's margins, the controller right of the knob number.
        EXPECT_GE(number.x, 36);
        EXPECT_LE(controller.x, layout.width - 36);
        EXPECT_GT(controller.x - EstimateTextWidth(controller.text, controller.size, true),
                  number.x + EstimateTextWidth(number.text, number.size, true));
    }
}

TEST(MapSheet, NameDateAndPrecedence) {
    struct Row {
        int precedence;
        std::string words;
        SheetInk ink;
    };
    const Row rows[] = {
        {0, "Existing controller mappings take precedence: off", SheetInk::Black},
        {1, "Existing controller mappings take precedence: on", SheetInk::Black},
        {2, "Existing controller mappings take precedence: off (greyed: the map file holds 2)",
         SheetInk::Grey},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.precedence);
        MapSheetContent content;
        content.map.SetPrecedence(row.precedence);
        content.mapName = "live & <loud>.mpn";
        content.date = "2026-12-08";
        const MapSheetLayout layout = LayOutMapSheet(content);
        const SheetText& option = OnlyText(layout, SheetRole::Precedence);
        EXPECT_EQ(option.text, row.words);
        EXPECT_EQ(option.ink, row.ink);
        EXPECT_EQ(OnlyText(layout, SheetRole::MapName).text, "live & <loud>.mpn");
        EXPECT_EQ(OnlyText(layout, SheetRole::Date).text, "2026-12-08");
        // The tick box: empty when off, filled black when on, grey when 2.
        int marks = 0;
        for (const SheetBox& box : layout.boxes) {
            if (box.filled && box.width == 6 && box.height == 6) {
                ++marks;
                EXPECT_EQ(box.ink, row.precedence == 1 ? SheetInk::Black : SheetInk::Grey);
            }
        }
        EXPECT_EQ(marks, row.precedence == 0 ? 0 : 1);
    }
}

TEST(MapSheet, KnobLinesFitUnderTheirKnob) {
    const std::string longLine = "Oscillator 1 waveform morph amount with a long long tail";
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        std::vector<std::string> shown;
    };
    const Row rows[] = {
        {"none", {}, {}},
        {"short ones as they are",
         {"Osc 1 Pitch", "Filter Cutoff"},
         {"Osc 1 Pitch", "Filter Cutoff"}},
        {"a long one wrapped", {longLine}, {"…"}},
        {"wrapped lines shown whole or counted",
         {"1", "2", "3", "4", longLine},
         {"1", "2", "3", "4", "+ 1 more"}},
        {"six fit", {"1", "2", "3", "4", "5", "6"}, {"1", "2", "3", "4", "5", "6"}},
        {"the rest counted",
         {"1", "2", "3", "4", "5", "6", "7", "8"},
         {"1", "2", "3", "4", "5", "+ 3 more"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MapSheetContent content;
        content.knobLines[17] = row.lines;
        const MapSheetLayout layout = LayOutMapSheet(content);
        EXPECT_TRUE(TextsOf(layout, SheetRole::KnobLine, 16).empty());
        const std::vector<const SheetText*> lines = TextsOf(layout, SheetRole::KnobLine, 17);
        const SheetText& controller = OnlyText(layout, SheetRole::Controller, 17);
        if (row.shown == std::vector<std::string>{"…"}) {
            // Broken at blanks, the later lines indented: nothing is lost.
            ASSERT_GT(lines.size(), 1u);
            std::string joined = lines[0]->text;
            for (std::size_t i = 1; i < lines.size(); ++i) {
                ASSERT_EQ(lines[i]->text.substr(0, 2), "  ");
                joined += " " + lines[i]->text.substr(2);
            }
            EXPECT_EQ(joined, longLine);
        } else {
            ASSERT_EQ(lines.size(), row.shown.size());
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (row.shown[0] != "…") {
                EXPECT_EQ(lines[i]->text, row.shown[i]);
            }
            EXPECT_LE(EstimateTextWidth(lines[i]->text, lines[i]->size, false), lines[i]->maxWidth);
            // Under the knob's number, inside its box, above the option.
            EXPECT_GT(lines[i]->baseline, controller.baseline + 15);
            EXPECT_LT(lines[i]->baseline, 530);
        }
    }
}

TEST(MapSheet, WarningsComeBeforeWhatAKnobControls) {
    MapSheetContent content;
    for (const auto& [knob, controller] :
         {std::pair{0, "32"}, {1, "9"}, {2, "9"}, {3, "120"}, {5, "7"}, {10, "7"}, {12, "7"}}) {
        content.map.SetEntryText(knob, controller);
    }
    content.knobLines[1] = {"Osc A: Pitch"};
    const MapSheetLayout layout = LayOutMapSheet(content);
    struct Row {
        int knob;
        std::vector<std::string> warnings;
        std::vector<std::string> lines;  // below the warnings
    };
    const Row rows[] = {
        {0, {"! Bank select"}, {}},
        {1, {"! Also knob 3"}, {"Osc A: Pitch"}},
        {3, {"! All Sound Off"}, {}},
        {10, {"! Also knobs 6, 13"}, {}},
        {4, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.knob);
        std::vector<std::string> warnings;
        std::vector<std::string> lines;
        double lastWarning = 0;
        for (const SheetText* text : TextsOf(layout, SheetRole::Warning, row.knob)) {
            warnings.push_back(text->text);
            EXPECT_TRUE(text->bold);
            lastWarning = text->baseline;
        }
        for (const SheetText* text : TextsOf(layout, SheetRole::KnobLine, row.knob)) {
            lines.push_back(text->text);
            EXPECT_GT(text->baseline, lastWarning);
        }
        EXPECT_EQ(warnings, row.warnings);
        EXPECT_EQ(lines, row.lines);
    }
}

TEST(MapSheet, TextIsCleanUtf8) {
    struct Row {
        std::string given;
        std::string clean;
    };
    const Row rows[] = {
        {"Käse—3.mpn", "Käse—3.mpn"},
        {"snow☃ 𝄞", "snow☃ 𝄞"},
        {"tab\there", "tab here"},
        {"bell\a", "bell\uFFFD"},
        {"latin1 \xE4!", "latin1 \uFFFD!"},
        {"cut \xE2\x98", "cut \uFFFD\uFFFD"},
        {"overlong \xC0\xAF", "overlong \uFFFD\uFFFD"},
        {"surrogate \xED\xA0\x80", "surrogate \uFFFD\uFFFD\uFFFD"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CleanText(row.given), row.clean) << row.given;
    }
    // Shortening cuts between characters, never inside one.
    const std::string cut = FitText("ÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄ", 60, 10, false);
    EXPECT_EQ(CleanText(cut), cut);
    EXPECT_EQ(cut.substr(cut.size() - 3), "…");
    EXPECT_LE(EstimateTextWidth(cut, 10, false), 60);
    // A word wider than a line is cut as well when wrapped.
    EXPECT_EQ(WrapText("ÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄ b", 60, 10, false),
              (std::vector<std::string>{cut, "  b"}));
}

}  // namespace
}  // namespace pemberlock
