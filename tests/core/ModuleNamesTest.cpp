// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/ModuleNames.h"

#include "drop/DropReportRows.h"
#include "patch/ModuleTable.h"
#include "patch/PatchKnobs.h"
#include "patch/PatchRewriter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace pemberlock {
namespace {

// A patch as the editor lays it out: module lists, the knob and controller
// sections, then the names. Voice area: 1 OscA "Osc A", 2 FilterE "Bass LP
// [keyb]", 3 a type not in the list, 4 an OscA without a name; line 10 is
// malformed. Common area: 1 4Output "Main Out".
const std::vector<std::string> kLines = {"[Header]",
                                         "Version=Nord Modular patch 3.0",
                                         "[/Header]",
                                         "[ModuleDump]",
                                         "1 ",
                                         "1 7 0 0 ",
                                         "2 51 1 0 ",
                                         "3 200 2 0 ",
                                         "4 7 3 0 ",
                                         "x 7 1 1 ",
                                         "[/ModuleDump]",
                                         "[ModuleDump]",
                                         "0 ",
                                         "1 3 0 0 ",
                                         "[/ModuleDump]",
                                         "[KnobMapDump]",
                                         "1 2 3 2 ",
                                         "1 1 1 2 ",
                                         "2 1 1 0 ",
                                         "0 1 0 19 ",
                                         "1 2 6 20 ",
                                         "1 4 0 22 ",
                                         "1 1 0 18 ",
                                         "1 3 0 21 ",
                                         "[/KnobMapDump]",
                                         "[CtrlMapDump]",
                                         "1 2 6 7",
                                         "1 9 0 103",
                                         "[/CtrlMapDump]",
                                         "[NameDump]",
                                         "1 ",
                                         "1 Osc A",
                                         "2 Bass LP [keyb]",
                                         "3 Mystery",
                                         "[/NameDump]",
                                         "[NameDump]",
                                         "0 ",
                                         "1 Main Out",
                                         "[/NameDump]"};

const std::string kFilter = "Bass LP [keyb] (FilterE) \u203A ";
const std::string kType200 =
    "unknown: module 3 of the voice area has type 200, which is not a known module type";
const std::string kNoModule9 =
    "unknown: the voice area has no module 9 (line 10 of the patch, in its [ModuleDump], is "
    "malformed)";

std::string Joined(const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : kLines) text += line + lineEnd;
    return text;
}

TEST(ModuleTable, HoldsTheWholeModuleList) {
    std::set<int> types;
    for (const ModuleParameter& row : ModuleParameters()) types.insert(row.type);
    EXPECT_EQ(ModuleParameters().size(), 514u);
    EXPECT_EQ(types.size(), 100u);
    ASSERT_NE(FindModuleParameter(51, 3), nullptr);
    EXPECT_EQ(FindModuleParameter(51, 3)->name, "frequency");
    EXPECT_EQ(FindModuleParameter(51, 10), nullptr);
    EXPECT_EQ(ModuleTypeName(7), "OscA");
    EXPECT_EQ(ModuleTypeName(200), "");
}

TEST(ModuleNames, NamesKeysOfEachSectionOrSaysWhyNot) {
    ModuleNames names;
    for (const std::string& line : kLines) names.Line(line);
    const struct {
        const char* key;
        std::string expected;
    } rows[] = {
        {"1 2 3", kFilter + "frequency"},  // a name with blanks and brackets
        {"1 1 1", "Osc A (OscA) \u203A freq fine"},
        {"0 1 0", "Main Out (4Output) \u203A level"},
        {"1 4 0", "module 4 (OscA) \u203A freq coarse"},  // no name in [NameDump]
        {"2 1 0", "Morph 1"},
        {"2 1 3", "Morph 4"},
        {"2 1 4", "unknown: the morph section has no parameter 4"},
        {"2 3 0", "unknown: the morph section has no module 3"},
        {"0 2 0", "unknown: the common area has no module 2"},
        {"1 9 0", kNoModule9},
        {"1 3 0", kType200},
        {"1 2 10", "unknown: FilterE has no parameter 10"},
        {"3 1 0", "unknown: there is no section 3"},
        {"1 x 0", "unknown: \"1 x 0\" is not three whole numbers"},
        {"1 2  3", "unknown: \"1 2  3\" is not three whole numbers"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(names.Resolve(row.key).Text(), row.expected);
    }
}

TEST(ModuleNames, ReportNamesEachKnobsParametersAndLeavesTheBytesAlone) {
    const std::string patch = Joined("\r\n");
    const KnobControllerMap map;  // knob 3 gets 103, so the old 103 is dropped
    RewriteReport report;
    const Result<RewrittenPatch> named = RewritePatchText(patch, map, Sections::Leave, &report);
    const Result<RewrittenPatch> plain = RewritePatchText(patch, map);
    ASSERT_TRUE(named && plain);
    EXPECT_EQ(named->text, plain->text);

    const std::string text = FormatRewriteReport(report);
    EXPECT_EQ(
        text,
        "  knob 1, controller 101: parameter 2 1 1 (Morph 2)\n"
        "  knob 3, controller 103: parameters 1 2 3 (" +
            kFilter +
            "frequency), 1 1 1 "
            "(Osc A (OscA) \u203A freq fine)\n"
            "  knob slot 19 (pedal): parameter 0 1 0 (Main Out (4Output) \u203A level) gets no "
            "controller\n"
            "  knob slot 20 (aftertouch): parameter 1 2 6 (" +
            kFilter +
            "resonance) gets no "
            "controller\n"
            "  knob slot 22 (on/off switch): parameter 1 4 0 (module 4 (OscA) \u203A freq "
            "coarse) gets no controller\n"
            "  knob slot 18 (not a panel knob): parameter 1 1 0 (Osc A (OscA) \u203A freq "
            "coarse) gets no controller\n"
            "  knob slot 21 (not a panel knob): parameter 1 3 0 (" +
            kType200 +
            ") gets no controller\n"
            "  dropped: parameter 1 9 0 (" +
            kNoModule9 +
            ") with controller 103, which the map uses\n"
            "  kept: parameter 1 2 6 (" +
            kFilter + "resonance) with controller 7\n");
    const std::string knob3 = kFilter + "frequency; Osc A (OscA) \u203A freq fine";
    EXPECT_EQ(WhatKnobControls(report, 2), knob3);
    EXPECT_EQ(WhatKnobControls(report, 5), "");

    // A drop's report keeps the names in its packed rows.
    DropReportRows rows;
    rows.Add({"a.pch",
              DropPathResult::Kind::Rewritten,
              {},
              std::make_shared<const RewriteReport>(report)});
    EXPECT_EQ(rows.Detail(0), text);
    EXPECT_EQ(rows.WhatKnobControls(0, 2), knob3);
}

TEST(ModuleNames, PatchKnobsReadInAnyPiecesAndLineEnds) {
    const std::string expected =
        "  knob 1: parameter 2 1 1 (Morph 2)\n"
        "  knob 3: parameters 1 2 3 (" +
        kFilter +
        "frequency), 1 1 1 (Osc A (OscA) \u203A "
        "freq fine)\n"
        "  knob slot 18 (not a panel knob): parameter 1 1 0 (Osc A (OscA) \u203A freq coarse)\n"
        "  knob slot 19 (pedal): parameter 0 1 0 (Main Out (4Output) \u203A level)\n"
        "  knob slot 20 (aftertouch): parameter 1 2 6 (" +
        kFilter +
        "resonance)\n"
        "  knob slot 21 (not a panel knob): parameter 1 3 0 (" +
        kType200 +
        ")\n"
        "  knob slot 22 (on/off switch): parameter 1 4 0 (module 4 (OscA) \u203A freq coarse)\n"
        "  controller 7: parameter 1 2 6 (" +
        kFilter +
        "resonance)\n"
        "  controller 103: parameter 1 9 0 (" +
        kNoModule9 + ")\n";
    for (const std::string lineEnd : {"\r\n", "\n", "\r"}) {
        const std::string patch = Joined(lineEnd);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, patch.size()}) {
            SCOPED_TRACE(testing::Message()
                         << "line end " << lineEnd.size() << ", pieces of " << piece);
            PatchKnobsReader reader;
            for (std::size_t at = 0; at < patch.size(); at += piece) {
                reader.Feed(std::string_view(patch).substr(at, piece));
            }
            const PatchKnobs knobs = reader.Finish();
            EXPECT_EQ(ExplainPatchKnobs(knobs), expected);
            EXPECT_EQ(knobs.WhatKnobControls(19), "Main Out (4Output) \u203A level");
        }
    }
}

}  // namespace
}  // namespace pemberlock
