// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/PreviewSummary.h"

#include "patch/PatchRewriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pemberlock {
namespace {

// A patch of the voice area: modules as "INDEX TYPE NAME" (7 is OscA, 51
// FilterE), knob records as "KEY SLOT".
struct GeneratedPatch {
    std::vector<std::string> modules;
    std::vector<std::string> knobs;
};

std::string PatchText(const GeneratedPatch& patch) {
    std::string modules = "[ModuleDump]\r\n1 \r\n";
    std::string names = "[NameDump]\r\n1 \r\n";
    for (const std::string& module : patch.modules) {
        const std::size_t index = module.find(' ');
        const std::size_t type = module.find(' ', index + 1);
        modules += module.substr(0, type) + " 0 0 \r\n";
        names += module.substr(0, index) + module.substr(type) + "\r\n";
    }
    std::string knobs = "[KnobMapDump]\r\n";
    for (const std::string& knob : patch.knobs) knobs += knob + " \r\n";
    return modules + "[/ModuleDump]\r\n" + knobs + "[/KnobMapDump]\r\n" + names + "[/NameDump]\r\n";
}

// What a preview passes on for the patch.
DropPathResult Previewed(const GeneratedPatch& patch) {
    auto report = std::make_shared<RewriteReport>();
    const Result<RewrittenPatch> rewritten =
        RewritePatchText(PatchText(patch), KnobControllerMap(), Sections::Leave, report.get());
    EXPECT_TRUE(rewritten.ok());
    return {"p.pch", DropPathResult::Kind::Rewritten, std::nullopt, std::move(report)};
}

struct SummaryCase {
    const char* name;
    std::vector<GeneratedPatch> patches;
    std::vector<std::string> expected;  // "Knob N: …" lines checked, each by its knob
};

const GeneratedPatch kNoKnobs{{"1 7 Osc"}, {}};

const SummaryCase kCases[] = {
    {"counted by module type, not by the patch's own names",
     {{{"1 7 Lead"}, {"1 1 0 0", "2 1 0 1"}}, {{"2 7 Bass"}, {"1 2 0 0"}}, kNoKnobs},
     {"Knob 1: used in 2 of 3 patches; mostly OscA \u203A freq coarse (2)",
      "Knob 2: used in 1 of 3 patches; mostly Morph 1 (1)", "Knob 5: used in 0 of 3 patches"}},
    {"the three most often, ties in the order of their words",
     {{{"1 51 LP"}, {"1 1 3 0"}},
      {{"1 51 HP"}, {"1 1 3 0", "2 1 1 0"}},
      {{"4 51 Res"}, {"1 4 3 0"}},
      {{"1 7 A"}, {"1 1 1 0", "2 1 1 0"}},
      {{"1 7 B"}, {"1 1 1 0", "2 1 0 0"}}},
     {"Knob 1: used in 5 of 5 patches; mostly FilterE \u203A frequency (3), Morph 2 (2), "
      "OscA \u203A freq fine (2)"}},
    {"two modules of a type on one knob count once in a patch",
     {{{"1 7 A", "2 7 B", "3 51 F"}, {"1 1 0 17", "1 2 0 17", "1 3 3 17"}}},
     {"Knob 18: used in 1 of 1 patch; mostly FilterE \u203A frequency (1), OscA \u203A freq "
      "coarse (1)"}},
    {"keys that name nothing count under their own words; pedal and others are no knob",
     {{{"1 7 A"}, {"1 9 0 2", "1 1 0 19"}}, {{}, {"1 9 0 2"}}},
     {"Knob 3: used in 2 of 2 patches; mostly 1 9 0 (unknown: the voice area has no module 9) "
      "(2)",
      "Knob 1: used in 0 of 2 patches"}},
};

TEST(PreviewSummary, CountsEachKnobsUseAndWhatItMostlyControls) {
    for (const SummaryCase& row : kCases) {
        SCOPED_TRACE(row.name);
        PreviewSummary summary;
        DropReportRows rows(true);
        for (const GeneratedPatch& patch : row.patches) {
            const DropPathResult result = Previewed(patch);
            summary.PathDone(result, 1, 1);
            rows.Add(result);
        }
        const std::vector<std::string> lines = summary.Lines();
        ASSERT_EQ(lines.size(), 18u);
        for (const std::string& expected : row.expected) {
            const int knob = std::stoi(expected.substr(5)) - 1;
            EXPECT_EQ(lines[static_cast<std::size_t>(knob)], expected);
        }
        // The rows of a report kept for the dialog say the same.
        PreviewSummary fromRows;
        for (std::size_t i = 0; i < rows.Count(); ++i) fromRows.AddRow(rows, i);
        EXPECT_EQ(fromRows.Lines(), lines);
    }
}

TEST(PreviewSummary, OnlyPatchesReadCountAndResultsPassOn) {
    struct Next final : DropObserver {
        void PathDone(const DropPathResult&, std::uint64_t, std::uint64_t) override { ++seen; }
        int seen = 0;
    } next;
    PreviewSummary summary(&next);
    summary.PathDone({"notes.txt", DropPathResult::Kind::Skipped, std::nullopt, nullptr}, 1, 3);
    summary.PathDone({"bad.pch", DropPathResult::Kind::Failed, Error{"is missing"}, nullptr}, 2, 3);
    summary.PathDone(Previewed(kNoKnobs), 3, 3);
    EXPECT_EQ(next.seen, 3);
    EXPECT_EQ(summary.Patches(), 1u);
    EXPECT_EQ(summary.Lines()[0], "Knob 1: used in 0 of 1 patch");
}

}  // namespace
}  // namespace pemberlock
