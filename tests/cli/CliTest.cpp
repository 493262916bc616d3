#include "cli/CommandLine.h"
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
        files[entry.path().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : "<other>";
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
    LfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]",
             "[CtrlMapDump]", "1 9 0 7", "1 4 0 103", "[/CtrlMapDump]", "z"});
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
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(P("a.pch")), kRewritten);
    EXPECT_EQ(ReadFile(P("notes.txt")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), kBadPatch);

    const test::ProcessResult help = RunProgram({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");

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
        {"only skipped", {"notes.txt", "missing.txt"}, 0},
        {"missing patch", {"missing.pch"}, 1},
        {"no path", {}, 2},
        {"unknown option", {"--fast", "a.pch"}, 2},
        {"precedence out of range", {"--precedence", "3", "a.pch"}, 2},
        {"precedence not whole", {"--precedence", "1.5", "a.pch"}, 2},
        {"map without file", {"a.pch", "--map"}, 2},
        {"help", {"--help"}, 0},
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
        {"missing.mpn", RealFileSystem(),
         "cannot be opened: " + std::string(std::strerror(ENOENT))},
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

TEST_F(CliTest, PathsAreUsedAndPrintedAsGiven) {
    const std::vector<std::string> names = {"-x.pch", "my patch.pch", "it's \"q\".pch",
                                            "\xc3\x9cn\xc3\xaf \xe2\x98\x83.pch", " .pch"};
    std::vector<std::string> args = {"--"};
    std::string expected;
    for (const auto& name : names) {
        WriteFile(P(name), kPatch);
        args.push_back(name);
        expected += "Processing " + name + "  ....  Done.\n";
    }
    expected += "5 of 5 files processed successfully.\n0 files skipped.\n0 errors.\n";

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
    fs::create_directory(P("d.pch"));
    const auto before = Snapshot(folder_.Root());

    const test::ProcessResult run = Run({"--dry-run", "a.pch", "n.txt", "b.pch", "d.pch"});

    EXPECT_EQ(Snapshot(folder_.Root()), before);
    EXPECT_EQ(run.status, 1);
    const std::string head =
        LfLines({"Would rewrite a.pch:", "[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "0 7 2 106",
                 "[/CtrlMapDump]", "n.txt is not a 'pch' file.. skipping."}) +
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

TEST_F(CliTest, FoldersAreExpandedOnlyWithRecursive) {
    fs::create_directories(P("top/sub/deeper"));
    for (const char* name : {"top/b.pch", "top/a.pch", "top/a b.pch", "top/sub/a.pch",
                             "top/sub/deeper/c.pch", "top/z.txt", "top/B.pch"}) {
        WriteFile(P(name), kPatch);
    }
    fs::create_directory_symlink("..", P("top/sub/loop"));
    WriteFile(P("last.pch"), kPatch);

    const test::ProcessResult run = Run({"--recursive", "top/", "last.pch"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              LfLines({"Processing top/B.pch  ....  Done.", "Processing top/a b.pch  ....  Done.",
                       "Processing top/a.pch  ....  Done.", "Processing top/b.pch  ....  Done.",
                       "Processing top/sub/a.pch  ....  Done.",
                       "Processing top/sub/deeper/c.pch  ....  Done.",
                       "top/z.txt is not a 'pch' file.. skipping.",
                       "Processing last.pch  ....  Done.", "7 of 8 files processed successfully.",
                       "1 files skipped.", "0 errors."}));
    EXPECT_EQ(ReadFile(P("top/sub/deeper/c.pch")), kRewritten);

    fs::create_directory(P("folder.pch"));
    const test::ProcessResult plain = Run({"top", "folder.pch"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out,
              LfLines({"top is not a 'pch' file.. skipping.", "Processing folder.pch  ....  Error!",
                       "0 of 2 files processed successfully.", "1 files skipped.", "1 errors."}));
}

}  // namespace
}  // namespace pemberlock
