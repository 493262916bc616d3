// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "common/Version.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using test::CrLfLines;
using test::ReadFile;
using test::WriteFile;

// Every file below root with its bytes, so a run that must touch nothing
// can be checked for new, lost and changed files at once.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string path = Utf8FromPath(entry.path());
        files[path] = entry.is_regular_file() ? ReadFile(path) : "<other>";
    }
    return files;
}

// Joins lines, each followed by LF, as the command prints them.
std::string LfLines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) (text += line) += '\n';
    return text;
}

// The patch below as it is rewritten, with section as its controller lines.
std::string Rewritten(std::initializer_list<std::string_view> section) {
    return CrLfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]",
                      "[CtrlMapDump]"}) +
           CrLfLines(section) + CrLfLines({"[/CtrlMapDump]", "z"});
}

const std::string kPatch =
    LfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]", "[CtrlMapDump]",
             "1 9 0 7", "1 4 0 103", "[/CtrlMapDump]", "z"});
const std::string kRewritten = Rewritten({"1 9 0 7", "1 3 1 101", "0 7 2 106"});
// Knob 99 does not exist, so this patch cannot be rewritten.
const std::string kBadPatch = LfLines({"[KnobMapDump]", "1 3 1 99", "[/KnobMapDump]"});

class CliTest : public testing::Test {
protected:
    // The test's folder is the current one, as a user's shell would have it, so that
    // relative paths resolve in it; the old one is back before the folder is removed.
    void SetUp() override { fs::current_path(folder_.Root()); }
    void TearDown() override { fs::current_path(previous_); }

    std::string P(std::string_view name) const { return folder_.Path(name); }

    // Runs the command in-process; the result has the shape of a real run's.
    static test::ProcessResult Run(const std::vector<std::string>& args,
                                   FileSystem& files = RealFileSystem()) {
        std::ostringstream out;
        std::ostringstream err;
        const int status = cli::RunCommandLine(args, out, err, files);
        return {status, false, out.str(), err.str()};
    }

    // Runs the built program in the test's folder, arguments passed as they are.
    test::ProcessResult RunProgram(std::vector<std::string> args) const {
        args.insert(args.begin(), PEMBERLOCK_CLI_PATH);
        return test::RunProcess(args, folder_.Root().string());
    }

    test::TempFolder folder_;
    const fs::path previous_ = fs::current_path();
};

// The real program: its exit status and what reaches its standard streams.
TEST_F(CliTest, ProgramExitStatusAndStreams) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("notes.txt"), kPatch);
    WriteFile(P("b.pch"), kBadPatch);

    const test::ProcessResult run = RunProgram({P("a.pch"), P("notes.txt"), P("b.pch")});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              LfLines({"Processing " + P("a.pch") + "  ....  Done.",
                       P("notes.txt") + " is not a 'pch' file.. skipping.",
                       "Processing " + P("b.pch") + "  ....  Error!",
                       "1 of 3 files processed successfully.", "1 files skipped.", "1 errors."}));
    // The log has no room for reasons; standard error gives one per Error!.
    EXPECT_EQ(run.err, P("b.pch") + ": line 2: knob 99 is not a knob\n");
    EXPECT_EQ(ReadFile(P("a.pch")), kRewritten);
    EXPECT_EQ(ReadFile(P("notes.txt")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), kBadPatch);

    const test::ProcessResult help = RunProgram({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");

    // The first line is what help2man reads the name and version from.
    const test::ProcessResult version = RunProgram({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.substr(0, version.out.find('\n')),
              std::string("pemberlock-cli ") + kVersion);
    EXPECT_NE(version.out.find("GPL version 3 or later"), std::string::npos) << version.out;
    EXPECT_EQ(version.err, "");

    const test::ProcessResult usage = RunProgram({"--fast", "a.pch"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_NE(usage.err.find("--fast"), std::string::npos) << usage.err;
}

TEST_F(CliTest, ExitStatus) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("notes.txt"), "n");
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const Row rows[] = {
        {"only skipped", {"notes.txt"}, 0},
        {"missing patch", {"missing.pch"}, 1},
        {"missing other file", {"notes.txt", "missing.txt"}, 1},
        {"missing folder to expand", {"--recursive", "nowhere"}, 1},
        {"no path", {}, 2},
        {"unknown option", {"--fast", "a.pch"}, 2},
        {"precedence out of range", {"--precedence", "3", "a.pch"}, 2},
        {"precedence not whole", {"--precedence", "1.5", "a.pch"}, 2},
        {"map without file", {"a.pch", "--map"}, 2},
        {"help", {"--help"}, 0},
        {"version", {"--version"}, 0},
        {"version before a path", {"--version", "a.pch"}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::ProcessResult run = Run(row.args);
        EXPECT_EQ(run.status, row.status);
        // A usage error explains itself to the user and prints no log.
        if (row.status == 2) {
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err, "");
        }
    }
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
}

TEST_F(CliTest, CtrlCStopsBeforeTheNextPatch) {
    WriteFile(P("a.pch"), kPatch);
    const std::atomic<bool> pressed = true;
    for (const char* mode : {"--recursive", "--dry-run"}) {
        SCOPED_TRACE(mode);
        std::ostringstream out;
        std::ostringstream err;
        const int status = cli::RunCommandLine({mode, "a.pch", "b.txt"}, out, err, RealFileSystem(),
                                               {false, &pressed, {}});
        EXPECT_EQ(status, cli::kExitStopped);
        EXPECT_EQ(out.str().substr(0, 38), "Stopped: 2 of 2 files not processed.\n0");
    }
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
}

TEST_F(CliTest, MapFileAndPrecedenceOption) {
    // Knob 0 gets controller 7, which the patch already uses.
    std::string entries = "7\r\n";
    for (int i = 1; i < 18; ++i) entries += std::to_string(101 + i) + "\r\n";
    WriteFile(P("off.mpn"), entries + " 0 \r\n");
    WriteFile(P("on.mpn"), entries + " 1 \r\n");
    const std::string replaced = Rewritten({"1 3 1 7", "0 7 2 106"});
    const std::string kept = Rewritten({"1 9 0 7", "1 4 0 103", "0 7 2 106"});
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const std::string& patch;
    };
    const Row rows[] = {
        {"map option off", {"--map", "off.mpn", "a.pch"}, replaced},
        {"map option on", {"--map", "on.mpn", "a.pch"}, kept},
        {"option turned on", {"--map", "off.mpn", "--precedence", "1", "a.pch"}, kept},
        {"option turned off", {"--map=on.mpn", "--precedence=0", "a.pch"}, replaced},
        {"option 2 counts as off", {"--precedence", "2", "--map", "on.mpn", "a.pch"}, replaced},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(P("a.pch"), kPatch);
        EXPECT_EQ(Run(row.args).status, 0);
        EXPECT_EQ(ReadFile(P("a.pch")), row.patch);
    }
}

TEST_F(CliTest, MapThatCannotBeLoadedSaysWhyAndTouchesNoPatch) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("short.mpn"), CrLfLines({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    const auto before = Snapshot(folder_.Root());
    test::FaultyFileSystem unreadable(test::Fault::Read);
    struct Row {
        const char* map;
        FileSystem& files;
        std::string reason;
    };
    const Row rows[] = {
        {"short.mpn", RealFileSystem(), "ends after 10 of 19 items"},
        // The system's own words for a missing file, whatever its language.
        {"missing.mpn", RealFileSystem(),
         "cannot be opened: " + RealFileSystem().OpenRead(P("missing.mpn")).error().cause},
        {"short.mpn", unreadable, "cannot be read: " + test::kInjectedCause},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        const test::ProcessResult run = Run({"--map", row.map, "a.pch"}, row.files);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pemberlock-cli: cannot load map file \"" + std::string(row.map) +
                               "\": " + row.reason + "\n");
        EXPECT_EQ(Snapshot(folder_.Root()), before);
    }
}

TEST_F(CliTest, SheetIsWrittenOrSaysWhyNot) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("on.mpn"), CrLfLines({"7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17",
                                      "18", "19", "20", "21", "22", "23", "24", " 1 "}));
    WriteFile(P("short.mpn"), CrLfLines({"1", "2", "3"}));
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> shown;  // in the sheet written, or on standard error
    };
    const Row rows[] = {
        {"default map", {"--sheet", "out.svg"}, 0, {">Default map<", ">101<", ">118<", ": off<"}},
        {"map file", {"--map", "on.mpn", "--sheet", "out.svg"}, 0, {">on.mpn<", ">24<", ": on<"}},
        {"precedence given", {"--sheet=out.svg", "--precedence", "2"}, 0, {"holds 2)<"}},
        {"map unreadable",
         {"--map", "short.mpn", "--sheet", "out.svg"},
         1,
         {"pemberlock-cli: cannot load map file \"short.mpn\": ends after 3 of 19 items\n"}},
        {"folder missing",
         {"--sheet", "none/out.svg"},
         1,
         {"pemberlock-cli: cannot write sheet \"none/out.svg\": "}},
        {"with a patch",
         {"--sheet", "out.svg", "a.pch"},
         0,
         {"\u2014 a.pch<", ">1 3 1 (unknown: "}},
        {"with two patches",
         {"--sheet", "out.svg", "a.pch", "a.pch"},
         2,
         {"--sheet excludes PATH"}},
        {"patch missing", {"--sheet", "out.svg", "b.pch"}, 1, {"pemberlock-cli: b.pch: "}},
        {"with another command", {"--sheet", "out.svg", "--history"}, 2, {}},
        {"without a file name", {"--sheet"}, 2, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(P("out.svg"), "old");
        const test::ProcessResult run = Run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, "");
        const std::string written = ReadFile(P("out.svg"));
        EXPECT_EQ(written == "old", row.status != 0);
        for (const std::string& text : row.shown) {
            EXPECT_NE((row.status == 0 ? written : run.err).find(text), std::string::npos)
                << text << "\n"
                << run.err;
        }
    }
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_FALSE(fs::exists(P("out.svg.pemberlock-tmp")));
}

TEST_F(CliTest, PathsAreUsedAndPrintedAsGiven) {
    std::vector<std::string> names = {"-x.pch", "my patch.pch",
                                      "\xc3\x9cn\xc3\xaf \xe2\x98\x83.pch", " .pch",
                                      "K\xc3\xa4"
                                      "se\xe2\x80\x94"
                                      "bass.pch"};
#ifndef _WIN32
    names.push_back("it's \"q\".pch");  // quotes are not allowed in Windows names
#endif
    std::vector<std::string> args = {"--"};
    std::string expected;
    for (const auto& name : names) {
        WriteFile(P(name), kPatch);
        args.push_back(name);
        expected += "Processing " + name + "  ....  Done.\n";
    }
    const std::string n = std::to_string(names.size());
    expected += n + " of " + n + " files processed successfully.\n0 files skipped.\n0 errors.\n";

    EXPECT_EQ(Run({"-x.pch"}).status, 2);  // without -- it is an option
    EXPECT_EQ(ReadFile(P("-x.pch")), kPatch);

    const test::ProcessResult run = Run(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected);
    for (const auto& name : names) EXPECT_EQ(ReadFile(P(name)), kRewritten) << name;
}

TEST_F(CliTest, DryRunShowsTheNewSectionAndTouchesNothing) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kBadPatch);
    WriteFile(P("n.txt"), kPatch);
    fs::create_directory(PathFromUtf8(P("d.pch")));
    const auto before = Snapshot(folder_.Root());

    const test::ProcessResult run = Run({"--dry-run", "a.pch", "n.txt", "b.pch", "d.pch"});

    EXPECT_EQ(Snapshot(folder_.Root()), before);
    EXPECT_EQ(run.status, 1);
    // The section, then what it holds and why.
    const std::string head =
        LfLines({"Would rewrite a.pch:", "[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "0 7 2 106",
                 "[/CtrlMapDump]",
                 // The patch lists no modules, so each parameter says it is not found.
                 "  knob 1, controller 101: parameter 1 3 1 (unknown: the voice area has no "
                 "module 3)",
                 "  knob 6, controller 106: parameter 0 7 2 (unknown: the common area has no "
                 "module 7)",
                 "  dropped: parameter 1 4 0 (unknown: the voice area has no module 4) with "
                 "controller 103, which the map uses",
                 "  kept: parameter 1 9 0 (unknown: the voice area has no module 9) with "
                 "controller 7",
                 "n.txt is not a 'pch' file.. skipping."}) +
        "b.pch would fail: ";
    ASSERT_EQ(run.out.substr(0, head.size()), head) << run.out;
    EXPECT_NE(run.out.find("\nd.pch would fail: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n1 of 4 files would be rewritten.\n1 files skipped.\n2 would fail.\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);

    EXPECT_EQ(Run({"--dry-run", "a.pch"}).status, 0);
    EXPECT_EQ(Snapshot(folder_.Root()), before);
}

TEST_F(CliTest, ExplainNamesWhatKnobsAndControllersControlAndChangesNothing) {
    WriteFile(P("a.pch"), LfLines({"[ModuleDump]", "1 ", "3 51 0 0 ", "[/ModuleDump]",
                                   "[KnobMapDump]", "1 3 3 2 ", "2 1 1 2 ", "1 3 6 19 ",
                                   "[/KnobMapDump]", "[CtrlMapDump]", "1 7 0 7 ", "[/CtrlMapDump]",
                                   "[NameDump]", "1 ", "3 Bass LP", "[/NameDump]"}));
    WriteFile(P("b.pch"), "no sections");
    fs::create_directory(PathFromUtf8(P("d.pch")));
    const auto before = Snapshot(folder_.Root());
    const std::string a =
        LfLines({"a.pch:",
                 "  knob 3: parameters 1 3 3 (Bass LP (FilterE) \u203A frequency), 2 1 1 (Morph 2)",
                 "  knob slot 19 (pedal): parameter 1 3 6 (Bass LP (FilterE) \u203A resonance)",
                 "  controller 7: parameter 1 7 0 (unknown: the voice area has no module 7)"});
    const std::string b =
        LfLines({"b.pch:", "  no parameter is on a knob", "  no controller assignments"});
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } rows[] = {
        {"patches", {"--explain", "a.pch", "b.pch"}, 0, a + b, ""},
        {"unreadable paths, said why",
         {"--explain", "d.pch", "a.pch", "gone.pch"},
         1,
         a,
         "d.pch: is a folder\ngone.pch: does not exist\n"},
        {"no path", {"--explain"}, 2, "", ""},
        {"with a drop's option", {"--explain", "--dry-run", "a.pch"}, 2, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const test::ProcessResult run = Run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        if (row.status != 2) {
            EXPECT_EQ(run.err, row.err);
        }
    }
    EXPECT_EQ(Snapshot(folder_.Root()), before);
}

TEST_F(CliTest, FoldersAreExpandedOnlyWithRecursive) {
    fs::create_directories(PathFromUtf8(P("top/sub/deeper")));
    std::vector<std::string> names = {"b.pch", "a.pch", "a b.pch", "sub/a.pch", "sub/deeper/c.pch",
                                      "z.txt"};
#ifndef _WIN32
    names.push_back("B.pch");  // beside b.pch only where names differ by case
#endif
    for (const std::string& name : names) WriteFile(P("top/" + name), kPatch);
    const std::string loop = test::CannotLink("..", PathFromUtf8(P("top/sub/loop")), true);
    WriteFile(P("last.pch"), kPatch);

    // Below the folder given, paths are joined as the system joins them.
    const auto below = [](std::string_view name) {
        return Utf8FromPath(fs::path("top/") / PathFromUtf8(name).make_preferred());
    };
    std::vector<std::string> lines;
#ifndef _WIN32
    lines.push_back("Processing " + below("B.pch") + "  ....  Done.");
#endif
    for (const char* name : {"a b.pch", "a.pch", "b.pch", "sub/a.pch", "sub/deeper/c.pch"}) {
        lines.push_back("Processing " + below(name) + "  ....  Done.");
    }
    lines.push_back(below("z.txt") + " is not a 'pch' file.. skipping.");
    // Every name but z.txt, and last.pch, of all those and last.pch.
    lines.insert(lines.end(),
                 {"Processing last.pch  ....  Done.",
                  std::to_string(names.size()) + " of " + std::to_string(names.size() + 1) +
                      " files processed successfully.",
                  "1 files skipped.", "0 errors."});

    const test::ProcessResult run = Run({"--recursive", "top/", "last.pch"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected;
    for (const std::string& line : lines) expected += line + "\n";
    EXPECT_EQ(run.out, expected) << loop;
    EXPECT_EQ(ReadFile(P("top/sub/deeper/c.pch")), kRewritten);

    fs::create_directory(PathFromUtf8(P("folder.pch")));
    const test::ProcessResult plain = Run({"top", "folder.pch"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out,
              LfLines({"top is not a 'pch' file.. skipping.", "Processing folder.pch  ....  Error!",
                       "0 of 2 files processed successfully.", "1 files skipped.", "1 errors."}));
    EXPECT_NE(plain.err.find("top is a folder: add --recursive to rewrite the patches in it\n"),
              std::string::npos)
        << plain.err;
}

TEST_F(CliTest, MapWarningsGoToStandardErrorAndChangeNothing) {
    // Knobs 1 and 18 on controller 32, knob 2 on 120.
    std::string entries = "32\r\n120\r\n";
    for (int i = 2; i < 17; ++i) entries += std::to_string(101 + i) + "\r\n";
    WriteFile(P("risky.mpn"), entries + "32\r\n0\r\n");
    WriteFile(P("a.pch"), kPatch);
    const test::ProcessResult run = Run({"--map", "risky.mpn", "a.pch"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              LfLines({"Processing a.pch  ....  Done.", "1 of 1 files processed successfully.",
                       "0 files skipped.", "0 errors."}));
    EXPECT_EQ(run.err,
              LfLines({"warning: knob 1 uses controller 32, which the synthesizer reserves for "
                       "bank select",
                       "warning: knobs 1 and 18 share controller 32",
                       "warning: knob 2 uses controller 120, which the synthesizer takes but an "
                       "editor for it refuses in a patch, and which standard MIDI uses for All "
                       "Sound Off",
                       "warning: knob 18 uses controller 32, which the synthesizer reserves for "
                       "bank select"}));
    EXPECT_EQ(ReadFile(P("a.pch")), Rewritten({"1 9 0 7", "1 3 1 32", "0 7 2 106"}));
}

}  // namespace
}  // namespace pemberlock
