// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchRewriter.h"

#include "tests/support/MemoryScratchFile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemberlock {
namespace {

using test::CrLfLines;

const std::string kExample =
    CrLfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]", "[CtrlMapDump]",
               "1 9 0 7", "1 4 0 103", "[/CtrlMapDump]", "z"});

std::string Rewrite(std::string_view patch, const KnobControllerMap& map) {
    const Result<RewrittenPatch> out = RewritePatchText(patch, map);
    if (!out) return "<failed: " + out.error().Text() + ">";
    return out->text;
}

KnobControllerMap MapWithOption(int option) {
    KnobControllerMap map;
    map.SetPrecedence(option);
    return map;
}

TEST(PatchRewriter, WorkedExampleWithOptionOff) {
    EXPECT_EQ(
        Rewrite(kExample, MapWithOption(0)),
        CrLfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]",
                   "[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]", "z"}));
}

TEST(PatchRewriter, WorkedExampleWithOptionOn) {
    EXPECT_EQ(Rewrite(kExample, MapWithOption(1)),
              CrLfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]",
                         "[CtrlMapDump]", "1 9 0 7", "1 4 0 103", "1 3 1 101", "0 7 2 106",
                         "[/CtrlMapDump]", "z"}));
}

struct RewriteCase {
    const char* name;
    std::string input;
    int option;
    std::vector<std::pair<int, const char*>> entries;  // knob, entry text
    std::string expected;
};

TEST(PatchRewriter, Rules) {
    const std::string knobs = CrLfLines({"[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]"});
    const RewriteCase cases[] = {
        {"empty patch gets an empty section",
         "",
         0,
         {},
         CrLfLines({"[CtrlMapDump]", "[/CtrlMapDump]"})},
        {"no sections: copied, empty section appended",
         "a\r\nb",
         0,
         {},
         CrLfLines({"a", "b", "[CtrlMapDump]", "[/CtrlMapDump]"})},
        {"no controller section: one appended from the knob records",
         knobs + "z\r\n",
         0,
         {},
         knobs + CrLfLines({"z", "[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"})},
        {"appended section ignores the option",
         knobs,
         1,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"})},
        {"option off drops an old record whose controller the map uses",
         knobs + CrLfLines({"[CtrlMapDump]", "1 9 0 103", "[/CtrlMapDump]"}),
         0,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"})},
        {"option off: 101.4 rounds to 101, which the map uses",
         knobs + CrLfLines({"[CtrlMapDump]", "1 9 0 101.4", "[/CtrlMapDump]"}),
         0,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"})},
        {"option on: same key already assigned wins",
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "1 3 1 7",
                    "[/CtrlMapDump]"}),
         1,
         {},
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "1 3 1 7",
                    "[/CtrlMapDump]"})},
        {"option on: controller already used wins",
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "0 2 2 101",
                    "[/CtrlMapDump]"}),
         1,
         {},
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "0 2 2 101",
                    "[/CtrlMapDump]"})},
        {"option on: 101.4 is not 101, so no conflict",
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "0 2 2 101.4",
                    "[/CtrlMapDump]"}),
         1,
         {},
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "0 2 2 101.4",
                    "1 3 1 101", "[/CtrlMapDump]"})},
        {"option on: controller 0 unused is written",
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "0 2 2 5",
                    "[/CtrlMapDump]"}),
         1,
         {{0, "0"}},
         CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[CtrlMapDump]", "0 2 2 5",
                    "1 3 1 0", "[/CtrlMapDump]"})},
        {"option 2 counts as off",
         knobs + CrLfLines({"[CtrlMapDump]", "1 9 0 103", "[/CtrlMapDump]"}),
         2,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"})},
        {"knob section after the controller section: kept records only, nothing appended",
         CrLfLines({"[CtrlMapDump]", "1 9 0 7", "[/CtrlMapDump]"}) + knobs,
         0,
         {},
         CrLfLines({"[CtrlMapDump]", "1 9 0 7", "[/CtrlMapDump]"}) + knobs},
        {"editor records with a trailing blank keep it; the knob field is read trimmed",
         CrLfLines({"[KnobMapDump]", "2 1 0 4 ", "[/KnobMapDump]", "[CtrlMapDump]", "2 1 3 31 ",
                    "[/CtrlMapDump]"}),
         0,
         {},
         CrLfLines({"[KnobMapDump]", "2 1 0 4 ", "[/KnobMapDump]", "[CtrlMapDump]", "2 1 3 31 ",
                    "2 1 0 105", "[/CtrlMapDump]"})},
        {"pedal, aftertouch and switch slots get no controller line",
         CrLfLines({"[KnobMapDump]", "1 1 0 19", "1 1 1 20", "1 1 2 22", "1 1 3 18", "1 1 4 1",
                    "[/KnobMapDump]"}),
         0,
         {},
         CrLfLines({"[KnobMapDump]", "1 1 0 19", "1 1 1 20", "1 1 2 22", "1 1 3 18", "1 1 4 1",
                    "[/KnobMapDump]", "[CtrlMapDump]", "1 1 4 102", "[/CtrlMapDump]"})},
        {"lines outside the sections are copied byte for byte, line ends become CR LF",
         std::string("  lead, \"quoted\"\n[x]\rtab\there\r\n\xe9\xff\r\n"),
         0,
         {},
         CrLfLines({"  lead, \"quoted\"", "[x]", "tab\there", "\xe9\xff", "[CtrlMapDump]",
                    "[/CtrlMapDump]"})},
        {"a value field runs to the end of the line",
         CrLfLines({"[CtrlMapDump]", "1 9 0 7 x y", "[/CtrlMapDump]"}),
         0,
         {},
         CrLfLines({"[CtrlMapDump]", "1 9 0 7 x y", "[/CtrlMapDump]"})},
        {"records accumulate over repeated sections",
         knobs + CrLfLines({"[CtrlMapDump]", "1 9 0 7", "[/CtrlMapDump]", "[CtrlMapDump]",
                            "1 9 1 8", "[/CtrlMapDump]"}),
         0,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]",
                            "[CtrlMapDump]", "1 9 0 7", "1 9 1 8", "1 3 1 101", "0 7 2 106",
                            "[/CtrlMapDump]"})},
        {"an unclosed controller section is dropped and one appended",
         knobs + CrLfLines({"[CtrlMapDump]", "1 9 0 7"}),
         0,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"})},
        {"tags are whole lines, case-sensitive",
         CrLfLines({"[ctrlmapdump]", "[CtrlMapDump] "}),
         0,
         {},
         CrLfLines({"[ctrlmapdump]", "[CtrlMapDump] ", "[CtrlMapDump]", "[/CtrlMapDump]"})},
        {"no controller section: the one added goes before the notes",
         knobs + CrLfLines({"[NameDump]", "[/NameDump]", "[Notes]", "tune low", "[/Notes]"}),
         0,
         {},
         knobs + CrLfLines({"[NameDump]", "[/NameDump]", "[CtrlMapDump]", "1 3 1 101", "0 7 2 106",
                            "[/CtrlMapDump]", "[Notes]", "tune low", "[/Notes]"})},
        {"before the first of several notes lines, with knob records found after it",
         CrLfLines({"a", "[Notes]", "[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[Notes]"}),
         0,
         {},
         CrLfLines({"a", "[CtrlMapDump]", "1 3 1 101", "[/CtrlMapDump]", "[Notes]", "[KnobMapDump]",
                    "1 3 1 0", "[/KnobMapDump]", "[Notes]"})},
        {"a controller section after the notes is rebuilt where it stands",
         knobs +
             CrLfLines({"[Notes]", "n", "[/Notes]", "[CtrlMapDump]", "1 9 0 7", "[/CtrlMapDump]"}),
         0,
         {},
         knobs + CrLfLines({"[Notes]", "n", "[/Notes]", "[CtrlMapDump]", "1 9 0 7", "1 3 1 101",
                            "0 7 2 106", "[/CtrlMapDump]"})},
        {"an unclosed controller section after the notes: the new one goes before them",
         knobs + CrLfLines({"[Notes]", "n", "[CtrlMapDump]", "1 9 0 7"}),
         0,
         {},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]", "[Notes]",
                            "n"})},
        {"only a whole, exact notes line counts",
         CrLfLines({"[Notes] ", "[notes]", "x"}),
         0,
         {},
         CrLfLines({"[Notes] ", "[notes]", "x", "[CtrlMapDump]", "[/CtrlMapDump]"})},
        {"the map's current entries are used",
         knobs,
         0,
         {{0, "7"}, {5, "0"}},
         knobs + CrLfLines({"[CtrlMapDump]", "1 3 1 7", "0 7 2 0", "[/CtrlMapDump]"})},
    };
    for (const RewriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        KnobControllerMap map = MapWithOption(c.option);
        for (const auto& [knob, text] : c.entries) map.SetEntryText(knob, text);
        EXPECT_EQ(Rewrite(c.input, map), c.expected);
    }
}

TEST(PatchRewriter, Failures) {
    auto lines = [](std::initializer_list<std::string_view> l) { return CrLfLines(l); };
    std::string nineteenKnobs = "[KnobMapDump]\r\n";
    for (int i = 0; i < 24; ++i) nineteenKnobs += "1 1 " + std::to_string(i) + " 0\r\n";
    nineteenKnobs += "[/KnobMapDump]\r\n";
    std::string manyControllers = "[CtrlMapDump]\r\n";
    for (int i = 0; i < 122; ++i) manyControllers += "1 1 " + std::to_string(i) + " 5\r\n";
    manyControllers += "[/CtrlMapDump]\r\n";
    const struct {
        const char* name;
        std::string input;
        const char* reason;
    } cases[] = {
        {"knob 23", lines({"[KnobMapDump]", "1 3 1 23", "[/KnobMapDump]"}),
         "line 2: knob 23 is not a knob"},
        {"knob -1", lines({"[KnobMapDump]", "1 3 1 -1", "[/KnobMapDump]"}),
         "line 2: knob -1 is not a knob"},
        {"knob not a number", lines({"[KnobMapDump]", "1 3 1 x", "[/KnobMapDump]"}),
         "line 2: knob \"x\" is not a number"},
        {"knob field empty", lines({"[KnobMapDump]", "1 3 1 ", "[/KnobMapDump]"}),
         "line 2: knob \"\" is not a number"},
        {"knob record with two blanks", lines({"[KnobMapDump]", "1 3 1", "[/KnobMapDump]"}),
         "line 2: a knob record needs four fields separated by blanks"},
        {"controller record with two blanks", lines({"[CtrlMapDump]", "1 9 0", "[/CtrlMapDump]"}),
         "line 2: a controller record needs four fields separated by blanks"},
        {"controller outside 16 bits", lines({"[CtrlMapDump]", "1 9 0 32768", "[/CtrlMapDump]"}),
         "line 3: controller \"32768\" is outside -32768..32767"},
        {"24 knob records", nineteenKnobs, "line 25: more than 23 knob records"},
        {"122 controller records", manyControllers, "line 123: more than 121 controller records"},
        {"NUL byte", std::string("abc\r\nd\0e\r\n", 10), "holds a NUL byte: not a text patch"},
        {"unclosed knob section swallows a tag",
         lines({"[KnobMapDump]", "1 1 1 0", "[CtrlMapDump]"}),
         "line 3: a knob record needs four fields separated by blanks"},
        {"a notes line inside a knob section is a malformed record",
         lines({"[KnobMapDump]", "[Notes]", "[/KnobMapDump]"}),
         "line 2: a knob record needs four fields separated by blanks"},
    };
    for (const auto& c : cases) {
        const Result<RewrittenPatch> out = RewritePatchText(c.input, KnobControllerMap{});
        ASSERT_FALSE(out) << c.name;
        EXPECT_EQ(out.error().Text(), c.reason) << c.name;
    }
}

TEST(PatchRewriter, OptionOnKeepsRecordsWithoutConvertingThem) {
    const std::string patch = CrLfLines({"[CtrlMapDump]", "1 9 0 32768", "[/CtrlMapDump]"});
    EXPECT_EQ(Rewrite(patch, MapWithOption(1)), patch);
    EXPECT_FALSE(RewritePatchText(patch, MapWithOption(0)));
}

TEST(PatchRewriter, BadKnobFieldFailsOnlyWhenASectionIsWritten) {
    // Knob records after the last controller section are never turned into lines.
    const std::string patch = CrLfLines(
        {"[CtrlMapDump]", "[/CtrlMapDump]", "[KnobMapDump]", "1 3 1 99", "[/KnobMapDump]"});
    EXPECT_EQ(Rewrite(patch, KnobControllerMap{}), patch);
}

TEST(PatchRewriter, ResultDoesNotDependOnHowTheInputIsCut) {
    // Chunk boundaries fall inside lines, between CR and LF, and on tags.
    const std::string patch = "head\r\n\r\nlone\rcr\n" + kExample + "tail without end";
    const KnobControllerMap map;
    const std::string whole = Rewrite(patch, map);
    for (std::size_t chunk = 1; chunk <= 7; ++chunk) {
        StringSink out;
        PatchRewriter rewriter(map, out);
        for (std::size_t at = 0; at < patch.size(); at += chunk) {
            ASSERT_TRUE(rewriter.Feed(std::string_view(patch).substr(at, chunk)).ok());
        }
        ASSERT_TRUE(rewriter.Finish().ok());
        EXPECT_EQ(out.Text(), whole) << "chunk " << chunk;
    }
}

TEST(PatchRewriter, NotesLargerThanMemorySpillAndComeBackInOrder) {
    const std::string patch = "head\r\n[Notes]\nabc\rdef\r\n" + std::string(300, 'n') + "\r\nend";
    const std::string expected = RewritePatchText(patch, KnobControllerMap{})->text;
    ASSERT_EQ(expected.find("[CtrlMapDump]"), 6u);
    for (const std::size_t limit : {0u, 1u, 7u, 100u}) {
        for (std::size_t chunk = 1; chunk <= 5; chunk += 4) {
            int opened = 0;
            test::AppendOnlySink out;
            const KnobControllerMap map;
            PatchRewriter rewriter(map, out, nullptr, test::MemoryScratchFile::Opener(opened),
                                   limit);
            for (std::size_t at = 0; at < patch.size(); at += chunk) {
                ASSERT_TRUE(rewriter.Feed(std::string_view(patch).substr(at, chunk)).ok());
            }
            ASSERT_TRUE(rewriter.Finish().ok());
            EXPECT_EQ(out.Text(), expected) << "limit " << limit << ", chunk " << chunk;
            EXPECT_EQ(opened, 1);
        }
    }
}

TEST(PatchRewriter, SectionPreviewHoldsOnlyTheNewSection) {
    const Result<RewrittenPatch> out =
        RewritePatchText(kExample, KnobControllerMap{}, Sections::Keep);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->sections,
              CrLfLines({"[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"}));
}

}  // namespace
}  // namespace pemberlock
