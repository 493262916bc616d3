// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/RewriteReport.h"

#include "drop/DropReport.h"
#include "patch/PatchRewriter.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace pemberlock {
namespace {

using test::CrLfLines;

std::string Report(const std::string& patch, int option, int knob0 = 101) {
    KnobControllerMap map;
    map.SetPrecedence(option);
    map.SetEntryText(0, std::to_string(knob0));
    RewriteReport report;
    if (!RewritePatchText(patch, map, Sections::Leave, &report)) return "<failed>";
    return FormatRewriteReport(report);
}

TEST(RewriteReport, SaysWhatEachSectionGetsAndWhy) {
    // Knob 1 (slot 0) controls two parameters, knob 6 one; slot 19 is no panel knob.
    const std::string knobs =
        CrLfLines({"[KnobMapDump]", "1 3 1 0", "0 7 2 5", "1 5 5 19", "1 2 2 0", "[/KnobMapDump]"});
    const std::string old =
        CrLfLines({"[CtrlMapDump]", "1 9 0 7", "1 4 0 106", "1 3 1 9", "[/CtrlMapDump]"});
    // Each key named, from module lists before the sections and names after them.
    const std::string modules = CrLfLines({"[ModuleDump]", "1 ", "2 7 0 0 ", "3 51 0 0 ",
                                           "4 20 0 0 ", "5 7 0 0 ", "9 19 0 0 ", "[/ModuleDump]",
                                           "[ModuleDump]", "0 ", "7 4 0 0 ", "[/ModuleDump]"});
    const std::string names =
        CrLfLines({"[NameDump]", "1 ", "2 Osc", "3 Bass LP", "4 Env", "5 Sub", "9 Mix",
                   "[/NameDump]", "[NameDump]", "0 ", "7 Out", "[/NameDump]"});
    const std::string k131 = "1 3 1 (Bass LP (FilterE) \u203A gain control)";
    const std::string k122 = "1 2 2 (Osc (OscA) \u203A freq KBT)";
    const std::string k072 = "0 7 2 (Out (2Output) \u203A mute)";
    const std::string k155 = "1 5 5 (Sub (OscA) \u203A pitch mod 1)";
    const std::string k190 = "1 9 0 (Mix (Mixer3) \u203A in sense 1)";
    const std::string k140 = "1 4 0 (Env (ADSREnv) \u203A attack shape)";
    const struct {
        const char* name;
        std::string patch;
        int option;
        int knob0;
        std::string expected;
    } rows[] = {
        {"option off: map's numbers win, the old one on 106 is dropped",
         modules + knobs + old + names, 0, 101,
         "  knob 1, controller 101: parameters " + k131 + ", " + k122 + "\n" +
             "  knob 6, controller 106: parameter " + k072 + "\n" +
             "  knob slot 19 (pedal): parameter " + k155 + " gets no controller\n" +
             "  dropped: parameter " + k140 + " with controller 106, which the map uses\n" +
             "  kept: parameter " + k190 + " with controller 7\n" + "  kept: parameter " + k131 +
             " with controller 9\n"},
        {"option on: a taken parameter and a taken number are not added",
         modules + knobs + old + names, 1, 7,
         "  knob 1, controller 7, not added to parameter " + k131 +
             ": the parameter already has controller 9\n" +
             "  knob 6, controller 106, not added to parameter " + k072 +
             ": controller 106 is taken by parameter " + k140 + "\n" +
             "  knob 1, controller 7, not added to parameter " + k122 +
             ": controller 7 is taken by parameter " + k190 + "\n" +
             "  knob slot 19 (pedal): parameter " + k155 + " gets no controller\n" +
             "  kept: parameter " + k190 + " with controller 7\n" + "  kept: parameter " + k140 +
             " with controller 106\n" + "  kept: parameter " + k131 + " with controller 9\n"},
        {"no section: one is added, whatever the option", modules + knobs + names, 1, 101,
         "  new controller section (the patch had none)\n"
         "  knob 1, controller 101: parameters " +
             k131 + ", " + k122 + "\n" + "  knob 6, controller 106: parameter " + k072 + "\n" +
             "  knob slot 19 (pedal): parameter " + k155 + " gets no controller\n"},
        {"each closing tag writes a section of its own",
         CrLfLines(
             {"[CtrlMapDump]", "[/CtrlMapDump]", "[CtrlMapDump]", "1 9 0 7", "[/CtrlMapDump]"}),
         0, 101,
         "  section 1 of 2:\n  no parameter is on a knob\n"
         "  section 2 of 2:\n  no parameter is on a knob\n  kept: parameter 1 9 0 (unknown: the "
         "voice area has no module 9) with controller 7\n"},
        {"a failed rewrite reports nothing", CrLfLines({"[KnobMapDump]", "1 3 1 99"}), 0, 101,
         "<failed>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Report(row.patch, row.option, row.knob0), row.expected);
    }
}

TEST(DropReport, OutcomeAndReasonPerPathForADropAndItsPreview) {
    test::TempFolder folder;
    const std::string good = folder.Path("a.pch");
    const std::string bad = folder.Path("b.pch");
    const std::string skipped = folder.Path("n.txt");
    const std::string patch = CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]"});
    const std::string badPatch = CrLfLines({"[KnobMapDump]", "1 3 1 99", "[/KnobMapDump]"});
    test::WriteFile(good, patch);
    test::WriteFile(bad, badPatch);
    test::WriteFile(skipped, patch);
    const std::vector<std::string> paths = {good, skipped, bad};
    const std::string body =
        "  new controller section (the patch had none)\n"
        "  knob 1, controller 101: parameter 1 3 1 (unknown: the voice area has no module 3)\n" +
        skipped + ": skipped, not a 'pch' file\n" + bad;

    EXPECT_EQ(PreviewDropReport(paths, KnobControllerMap{}).Text(),
              "3 files: 1 would be rewritten, 1 skipped, 1 would fail.\n\n" + good +
                  ": would be rewritten\n" + body +
                  ": would fail: line 2: knob 99 is not a knob\n");
    EXPECT_EQ(test::ReadFile(good), patch);

    TextStatusLog log;
    DropReportCollector collector;
    DropOptions options;
    options.observer = &collector;
    options.reportRewrites = true;
    RunPatchDrop(paths, log, KnobControllerMap{}, RealFileSystem(), options);
    EXPECT_EQ(collector.TakeRows().Text(), "3 files: 1 rewritten, 1 skipped, 1 failed.\n\n" + good +
                                               ": rewritten\n" + body +
                                               ": failed: line 2: knob 99 is not a knob\n");
}

}  // namespace
}  // namespace pemberlock
