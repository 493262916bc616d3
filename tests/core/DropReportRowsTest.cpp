// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/DropReportRows.h"

#include "patch/PatchRewriter.h"
#include "tests/support/PatchGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace pemberlock {
namespace {

using Kind = DropPathResult::Kind;
using Why = SectionReport::NotAdded::Why;

DropPathResult Rewritten(std::string path, std::vector<SectionReport> sections) {
    auto report = std::make_shared<RewriteReport>();
    report->sections = std::move(sections);
    return {std::move(path), Kind::Rewritten, std::nullopt, std::move(report)};
}

TEST(DropReportRows, TextOfEveryKindOfRowForADropAndItsPreview) {
    SectionReport knobs;
    knobs.written = {{0, "1 3 1", 101}, {5, "0 7 2", 106}, {0, "1 2 2", 101}};
    knobs.noController = {{19, "1 5 5"}};
    knobs.dropped = {{"1 4 0", "106"}};
    knobs.kept = {{"1 9 0", "7"}};
    SectionReport added;
    added.added = true;
    added.notAdded = {{0, "1 3 1", 7, Why::ParameterTaken, {"1 3 1", "9"}}};
    const std::vector<DropPathResult> results = {
        Rewritten("/p/bass.pch", {knobs}),
        {"/p/notes.txt", Kind::Skipped, std::nullopt, nullptr},
        {"/p/broken.pch", Kind::Failed, Error{"knob 99 is not a knob", 2}, nullptr},
        Rewritten("/p/pad.pch", {added, SectionReport{}}),
        {"/p/gone.pch", Kind::Failed, std::nullopt, nullptr},
        {"/p/plain.pch", Kind::Rewritten, std::nullopt, nullptr},
        {"/p/mute.pch", Kind::Failed, Error{}, nullptr},
    };
    const std::string knobLines =
        "  knob 1, controller 101: parameters 1 3 1, 1 2 2\n"
        "  knob 6, controller 106: parameter 0 7 2\n"
        "  knob slot 19 (pedal): parameter 1 5 5 gets no controller\n"
        "  dropped: parameter 1 4 0 with controller 106, which the map uses\n"
        "  kept: parameter 1 9 0 with controller 7\n";
    const std::string sectionLines =
        "  section 1 of 2:\n"
        "  new controller section (the patch had none)\n"
        "  knob 1, controller 7, not added to parameter 1 3 1: the parameter already has "
        "controller 9\n"
        "  section 2 of 2:\n"
        "  no parameter is on a knob\n";
    const auto body = [&](const std::string& done, const std::string& failed) {
        return "/p/bass.pch: " + done + "\n" + knobLines +
               "/p/notes.txt: skipped, not a 'pch' file\n/p/broken.pch: " + failed +
               ": line 2: knob 99 is not a knob\n/p/pad.pch: " + done + "\n" + sectionLines +
               "/p/gone.pch: " + failed + ": no reason given\n/p/plain.pch: " + done +
               "\n/p/mute.pch: " + failed + ": \n";
    };
    const struct {
        const char* name;
        bool preview;
        std::size_t count;  // of results
        std::uint64_t notProcessed;
        std::string expected;
    } rows[] = {
        {"a drop stopped after seven of ten paths", false, 7, 3,
         "7 files: 3 rewritten, 1 skipped, 3 failed.\nStopped: 3 of 10 files not processed.\n\n" +
             body("rewritten", "failed")},
        {"a preview", true, 7, 0,
         "7 files: 3 would be rewritten, 1 skipped, 3 would fail.\n\n" +
             body("would be rewritten", "would fail")},
        {"one file", false, 1, 0,
         "1 file: 1 rewritten, 0 skipped, 0 failed.\n\n/p/bass.pch: rewritten\n" + knobLines},
        {"nothing", false, 0, 0, "0 files: 0 rewritten, 0 skipped, 0 failed.\n\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DropReportRows report(row.preview);
        for (std::size_t i = 0; i < row.count; ++i) report.Add(results[i]);
        if (row.notProcessed > 0) report.SetNotProcessed(row.notProcessed, 10);
        report.ShrinkToFit();
        EXPECT_EQ(report.Text(), row.expected);
        ASSERT_EQ(report.Count(), row.count);
        for (std::size_t i = 0; i < row.count; ++i) {
            EXPECT_EQ(report.PathOf(i), results[i].path);
        }
    }
}

// Every field, doubles to the last bit, so that packing may lose nothing.
std::string Dump(const RewriteReport& report) {
    std::string out;
    const auto number = [&](double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%a|", value);
        out += text;
    };
    const auto old = [&](const SectionReport::OldRecord& r) { out += r.key + "|" + r.controller; };
    for (const SectionReport& s : report.sections) {
        out += s.added ? "\nadded" : "\nsection";
        for (const auto& r : s.kept) out += "\nkept ", old(r);
        for (const auto& r : s.dropped) out += "\ndropped ", old(r);
        for (const auto& w : s.written) {
            out += "\nwritten " + std::to_string(w.knob) + "|" + w.key + "|", number(w.controller);
        }
        for (const auto& n : s.notAdded) {
            out += "\nnot added " + std::to_string(n.knob) + "|" + n.key + "|";
            number(n.controller);
            out += std::to_string(static_cast<int>(n.why)) + "|", old(n.by);
        }
        for (const auto& r : s.noController) out += "\nno " + std::to_string(r.slot) + "|" + r.key;
    }
    return out;
}

TEST(DropReportRows, KeepsEveryKeyControllerAndNumberExactly) {
    const std::string longKey(300, 'k');
    // Texts that look like small numbers but are not quite, and numbers
    // just past what fits a byte.
    const std::vector<std::string> texts = {"1 3 1",  "1 3 1 ",  "255 0 9", "256 0 0", "007 1 2",
                                            "1  2 3", "1 2 3 4", "0",       "7 ",      "7  ",
                                            "",       " ",       "-1",      "1\t2 3",  "\xc3\xa9 1",
                                            longKey,  "12 34",   "1 2 3  "};
    const std::vector<double> numbers = {0, 254, 255, -0.0, 7.5, -1, 1e300, 101};
    SectionReport section;
    section.added = true;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string& other = texts[texts.size() - 1 - i];
        const double number = numbers[i % numbers.size()];
        const int knob = static_cast<int>(i) * 97 - 400;  // negative and wide ones too
        section.kept.push_back({texts[i], other});
        section.dropped.push_back({other, texts[i]});
        section.written.push_back({knob, texts[i], number});
        section.notAdded.push_back({knob,
                                    other,
                                    number,
                                    i % 2 ? Why::ControllerTaken : Why::ParameterTaken,
                                    {texts[i], other}});
        section.noController.push_back({knob, texts[i]});
    }
    DropReportRows rows;
    rows.Add({"/p/before.pch", Kind::Failed, Error{"x"}, nullptr});
    rows.Add(Rewritten("/p/odd.pch", {section, SectionReport{}}));
    rows.Add({"/p/after.pch", Kind::Skipped, std::nullopt, nullptr});
    const RewriteReport expected{{section, SectionReport{}}, {}};
    EXPECT_EQ(Dump(rows.ReportOf(1)), Dump(expected));
    EXPECT_EQ(rows.PathOf(2), "/p/after.pch");
    EXPECT_EQ(rows.ReasonOf(0), "x");
}

// A library's rows must stay small enough to keep for the largest drops.
TEST(DropReportRows, ATypicalLibraryTakesFewBytesAPatch) {
    constexpr std::size_t kPatches = 300;
    DropReportRows rows;
    for (std::size_t i = 0; i < kPatches; ++i) {
        auto report = std::make_shared<RewriteReport>();
        // Twice, as a second drop of the library sees the sections of the first.
        const Result<RewrittenPatch> once =
            RewritePatchText(test::GenerateLibraryPatch(1, i), KnobControllerMap{});
        ASSERT_TRUE(once);
        ASSERT_TRUE(
            RewritePatchText(once->text, KnobControllerMap{}, Sections::Leave, report.get()));
        char path[64];
        std::snprintf(path, sizeof path, "/home/ana/patches/library/%05zu.pch", i);
        rows.Add({path, Kind::Rewritten, std::nullopt, std::move(report)});
    }
    rows.ShrinkToFit();
    const std::size_t perPatch = rows.Bytes() / kPatches;
    // About 130 of them name the parameters (223 without the names).
    EXPECT_LE(perPatch, 400u) << "text: " << rows.Text().size() / kPatches << " bytes a patch";
}

}  // namespace
}  // namespace pemberlock
