// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <sstream>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

const std::string kPatch = test::CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]"});

class UndoCli : public testing::Test {
protected:
    void SetUp() override { fs::current_path(folder_.Root()); }
    void TearDown() override { fs::current_path(previous_); }

    std::string P(std::string_view name) const { return folder_.Path(name); }

    test::ProcessResult Run(const std::vector<std::string>& args,
                            FileSystem& files = RealFileSystem(),
                            const std::atomic<bool>* stop = nullptr) {
        std::ostringstream out;
        std::ostringstream err;
        const int status = cli::RunCommandLine(args, out, err, files, {false, stop, place_});
        return {status, false, out.str(), err.str()};
    }

    test::TempFolder folder_;
    const fs::path previous_ = fs::current_path();
    JournalPlace place_{folder_.Path("state"), {}};
};

TEST_F(UndoCli, UndoesTheLastDropFromAnyFolderAndListsTheDrops) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Run({"a.pch", "b.pch"}).status, 0);
    const std::string when = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";
    EXPECT_TRUE(std::regex_match(Run({"--history"}).out, std::regex(when + "  2 patches\n")));

    fs::create_directory("elsewhere");
    fs::current_path("elsewhere");
    const test::ProcessResult undo = Run({"--undo"});
    EXPECT_EQ(undo.status, 0);
    EXPECT_EQ(undo.out, "Restoring " + P("b.pch") + "  ....  Done.\nRestoring " + P("a.pch") +
                            "  ....  Done.\n2 of 2 files restored.\n");
    EXPECT_EQ(undo.err, "");
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_TRUE(
        std::regex_match(Run({"--history"}).out, std::regex(when + "  2 patches  undone\n")));

    const test::ProcessResult again = Run({"--undo"});
    EXPECT_EQ(again.status, 2);
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err, "pemberlock-cli: there is nothing to undo\n");
}

TEST_F(UndoCli, APatchLeftAloneIsAnErrorWithItsReason) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Run({"a.pch", "b.pch"}).status, 0);
    WriteFile(P("b.pch"), "mine now");
    const test::ProcessResult undo = Run({"--undo"});
    EXPECT_EQ(undo.status, 1);
    EXPECT_EQ(undo.out, "Restoring " + P("b.pch") + "  ....  Error!\nRestoring " + P("a.pch") +
                            "  ....  Done.\n1 of 2 files restored.\n");
    EXPECT_EQ(undo.err, P("b.pch") + ": was changed after the drop\n");
    EXPECT_EQ(ReadFile(P("b.pch")), "mine now");
}

TEST_F(UndoCli, AnUndoStoppedByCtrlCIsGoneOnByTheNext) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Run({"a.pch", "b.pch"}).status, 0);
    const std::atomic<bool> stopped = true;
    const test::ProcessResult undo = Run({"--undo"}, RealFileSystem(), &stopped);
    EXPECT_EQ(undo.status, 130);
    EXPECT_EQ(undo.out, "Stopped: 2 of 2 files not processed.\n0 of 0 files restored.\n");
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);
    const test::ProcessResult again = Run({"--undo"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), kPatch);
}

TEST_F(UndoCli, DropsThatRecordNothing) {
    WriteFile(P("a.pch"), kPatch);
    test::FaultyFileSystem readOnly(test::Fault::MakeFolder);
    const std::string unavailable = "pemberlock-cli: Undo is not available for this drop: ";
    const struct {
        std::vector<std::string> args;
        FileSystem& files;
        JournalPlace place;
        std::string err;
    } rows[] = {
        {{"--no-journal", "a.pch"}, RealFileSystem(), place_, ""},
        {{"--dry-run", "a.pch"}, RealFileSystem(), place_, ""},
        {{"a.pch"},
         readOnly,
         place_,
         unavailable + "the journal folder " + place_.folder +
             " cannot be made: " + test::kInjectedCause + "\n"},
        {{"a.pch"}, RealFileSystem(), {"", "no home"}, unavailable + "no home\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.front());
        place_ = row.place;
        const test::ProcessResult drop = Run(row.args, row.files);
        EXPECT_EQ(drop.status, 0);
        EXPECT_EQ(drop.err, row.err);
        const test::ProcessResult undo = Run({"--undo"});
        EXPECT_EQ(undo.status, 2);
        EXPECT_EQ(undo.out, "");
        EXPECT_EQ(std::count(undo.err.begin(), undo.err.end(), '\n'), 1) << undo.err;
    }
    place_.folder = P("state");
    EXPECT_EQ(Run({"--history"}).out, "No drops are recorded.\n");
}

// The real program finds its journal where the system's variables say.
TEST_F(UndoCli, TheProgramKeepsItsJournalWhereTheSystemSays) {
    WriteFile(P("a.pch"), kPatch);
    const std::vector<std::string> environment = {"XDG_STATE_HOME=" + P("state"),
                                                  "LOCALAPPDATA=" + P("state")};
    const auto run = [&](const std::string& arg) {
        return test::RunProcess({PEMBERLOCK_CLI_PATH, arg}, folder_.Root().string(),
                                std::chrono::seconds(60), environment);
    };
    ASSERT_EQ(run("a.pch").status, 0);
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);
    EXPECT_FALSE(fs::is_empty(PathFromUtf8(P("state"))));
    EXPECT_EQ(run("--undo").status, 0);
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
}

}  // namespace
}  // namespace pemberlock
