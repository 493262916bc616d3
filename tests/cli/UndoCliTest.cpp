// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "journal/JournalStore.h"
#include "journal/Manifest.h"
#include "journal/UndoJournal.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

const std::string kWhen = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";
// What a drop holds in the journal, and --history's last line.
const std::string kHeld = R"(\d+ bytes)";
const std::string kTotal = "The journal holds .*\n";

TEST_F(UndoCli, UndoesTheLastDropFromAnyFolderAndListsTheDrops) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Run({"a.pch", "b.pch"}).status, 0);
    const std::string when = "1  " + kWhen;
    EXPECT_TRUE(std::regex_match(Run({"--history"}).out,
                                 std::regex(when + "  " + kHeld + "  2 patches  done\n" + kTotal)));

    fs::create_directory("elsewhere");
    fs::current_path("elsewhere");
    const test::ProcessResult undo = Run({"--undo"});
    EXPECT_EQ(undo.status, 0);
    EXPECT_EQ(undo.out, "Restoring " + P("b.pch") + "  ....  Done.\nRestoring " + P("a.pch") +
                            "  ....  Done.\n2 of 2 files restored.\n");
    EXPECT_EQ(undo.err, "");
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_TRUE(
        std::regex_match(Run({"--history"}).out,
                         std::regex(when + "  " + kHeld + "  2 patches  undone\n" + kTotal)));

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
        {{"a.pch"}, RealFileSystem(), {"", Error{"no home"}}, unavailable + "no home\n"},
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
    EXPECT_TRUE(
        std::regex_match(Run({"--history"}).out, std::regex("No drops are recorded.\n" + kTotal)));
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

// The journal's disk fills once `room` old files are kept: no name or file
// more there, nor, with lines, a line more in a manifest.
class JournalFills final : public test::PassThroughFileSystem {
public:
    JournalFills(std::string below, int room, bool lines)
        : below_(std::move(below)), room_(room), lines_(lines) {}
    Result<> MakeHardLink(const std::string& existing, const std::string& link) override {
        if (Below(link) && room_-- <= 0) full_ = true;
        return full_ && Below(link) ? Full() : real_.MakeHardLink(existing, link);
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        if (full_ && Below(path)) return Full();
        auto file = real_.CreateFresh(path, permissions);
        if (!file || !lines_ || !Below(path)) return file;
        return std::unique_ptr<OutputFile>(std::make_unique<Output>(std::move(*file), full_));
    }

private:
    struct Output final : OutputFile {
        Output(std::unique_ptr<OutputFile> file, const bool& full)
            : real(std::move(file)), full(full) {}
        Result<> Write(const char* data, std::size_t size) override {
            return full ? Full() : real->Write(data, size);
        }
        Result<> Flush() override { return real->Flush(); }
        Result<> Close() override { return real->Close(); }
        Result<> Replace(const std::string& to) override { return real->Replace(to); }
        void Discard() override { real->Discard(); }
        const FileStatus& Status() const override { return real->Status(); }
        void CopyOwner(const FileStatus& model) override { real->CopyOwner(model); }
        Result<> SetModified(std::int64_t modified) override { return real->SetModified(modified); }
        std::unique_ptr<OutputFile> real;
        const bool& full;
    };
    static Error Full() { return Error{{}, 0, test::kInjectedCause}; }
    bool Below(const std::string& path) const { return path.starts_with(below_); }

    std::string below_;
    int room_;
    bool lines_;
    bool full_ = false;
};

// Another user's journal, as root sees a user's own under sudo -E.
class ForeignUser final : public test::PassThroughFileSystem {
public:
    std::optional<std::uint32_t> CurrentUser() override {
        return real_.CurrentUser().value_or(0) + 1;
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Drop 1 rewrites a.pch, drop 2 ten patches in lib/ (the first with a second
// name); then drop 2's record is damaged, or links are put in its paths. No
// undo may pass over it unsaid, nor write what the journal does not hold,
// nor write anywhere but where the drop wrote.
class DamagedJournal : public UndoCli {
protected:
    void Prepare() {
        // The folder itself is the current one, which Windows does not remove.
        for (const auto& entry : fs::directory_iterator(folder_.Root()))
            fs::remove_all(entry.path());
        fs::create_directories(PathFromUtf8(P("lib")));
        WriteFile(P("a.pch"), kPatch);
        ASSERT_EQ(Run({P("a.pch")}).status, 0);
        for (int i = 0; i < 10; ++i) WriteFile(Patch(i), kPatch + std::to_string(i) + "\r\n");
        fs::create_hard_link(PathFromUtf8(Patch(0)), PathFromUtf8(P("second name.pch")));
    }
    // As the journal records it: with the system's own separators.
    std::string Patch(int i) const {
        return Utf8FromPath(PathFromUtf8(P("lib/p" + std::to_string(i) + ".pch")).make_preferred());
    }
    std::string Kept(int i) const { return P("state/00000002/" + std::to_string(i)); }
    std::string Manifest2() const { return P("state/00000002/manifest"); }
    std::vector<ManifestEntry> Entries2() const {
        const Result<Manifest> manifest = ParseManifest(ReadFile(Manifest2()));
        return manifest ? manifest->entries : std::vector<ManifestEntry>{};
    }
    std::size_t LineStart(std::size_t line) const {
        std::size_t at = 0;
        for (std::size_t i = 1; i < line; ++i) at = ReadFile(Manifest2()).find('\n', at) + 1;
        return at;
    }
    std::function<void()> Cut(std::function<std::size_t()> size) const {
        return [=, this] { WriteFile(Manifest2(), ReadFile(Manifest2()).substr(0, size())); };
    }
    // Drop 2's first entry changed and written as the program writes one,
    // check and all: a record made by hand.
    std::function<void()> Crafted(std::function<void(ManifestEntry&)> change) const {
        return [=, this] {
            const std::string text = ReadFile(Manifest2());
            ManifestEntry entry = Entries2().at(0);
            change(entry);
            WriteFile(Manifest2(), text.substr(0, LineStart(3)) + ManifestLine(entry) +
                                       text.substr(LineStart(4)));
        };
    }
};

TEST_F(DamagedJournal, IsReportedByNameAndNothingIsWrittenFromIt) {
    const auto refused = [](const std::string& why) {
        return "pemberlock-cli: drop 2 cannot be undone: " + why +
               "\npemberlock-cli: --undo --skip-damaged goes past it to the drops before it\n";
    };
    const auto damaged = [&](int i) {
        return Patch(i) + ": its old bytes in the journal are damaged\n";
    };
    [[maybe_unused]] const auto link = [&](int i) {
        return Patch(i) + ": a symbolic link now stands in its path\n";
    };
    JournalFills fills(P("state"), 3, false);
    JournalFills fillsWholly(P("state"), 3, true);
    const struct {
        const char* name;
        std::function<void()> damage;
        std::string history;  // how drop 2's line ends
        std::string err;      // of --undo; the patches it names are left as drop 2 wrote them
        FileSystem& dropFs = RealFileSystem();
    } rows[] = {
        {"emptied manifest", Cut([] { return 0; }), "damaged (empty)",
         refused("its record is damaged (empty)")},
        {"cut at a line", Cut([&] { return LineStart(7); }), "damaged (cut short after line 6)",
         refused("its record is damaged (cut short after line 6)")},
        {"cut mid-entry", Cut([&] { return LineStart(7) + 20; }),
         "damaged (cut short after line 6)",
         refused("its record is damaged (cut short after line 6)")},
        {"one bad hex digit",
         [&] {
             std::string text = ReadFile(Manifest2());
             char& digit = text[text.find(' ', LineStart(5) + 9) + 1];
             digit = digit == '0' ? '1' : '0';
             WriteFile(Manifest2(), text);
         },
         "damaged (line 5)", refused("its record is damaged (line 5)")},
        {"emptied kept file", [&] { WriteFile(Kept(4), ""); },
         "10 patches  partly undone: 1 not restored", damaged(3)},
        {"kept files swapped",
         [&] {
             fs::rename(Kept(2), P("swap"));
             fs::rename(Kept(3), Kept(2));
             fs::rename(P("swap"), Kept(3));
         },
         "10 patches  partly undone: 2 not restored", damaged(2) + damaged(1)},
        {"patch with a second name edited through it",
         [&] { WriteFile(P("second name.pch"), "edited"); }, "10 patches  undone", ""},
        {"partly recorded", {}, "partly recorded", refused("it was only partly recorded"), fills},
        {"partly recorded, not a line more",
         {},
         "damaged (no manifest)",
         refused("its record is damaged (no manifest)"),
         fillsWholly},
        {"target not ending in pch", Crafted([&](ManifestEntry& e) { e.path = P("a.txt"); }),
         "damaged (line 3)", refused("its record is damaged (line 3)")},
        {"relative target", Crafted([](ManifestEntry& e) { e.path = "lib/p0.pch"; }),
         "damaged (line 3)", refused("its record is damaged (line 3)")},
        {"kept name with a slash", Crafted([](ManifestEntry& e) { e.kept = "../00000001/1"; }),
         "damaged (line 3)", refused("its record is damaged (line 3)")},
        {"a record of version 1",
         [&] {
             std::string text = "pemberlock-journal 1\nstarted 1\n";
             for (const ManifestEntry& e : Entries2()) {
                 text += "replaced " + std::to_string(e.newSize) + " " + e.newDigest.Hex() + " " +
                         e.kept + " link " + e.path + "\n";
             }
             WriteFile(Manifest2(), text);
         },
         "10 patches  undone", ""},
#ifndef _WIN32
        {"FIFO kept file", [&] { fs::remove(Kept(4)), ::mkfifo(Kept(4).c_str(), 0600); },
         "10 patches  partly undone: 1 not restored", damaged(3)},
        {"symbolic link kept file",
         [&] {
             fs::remove(Kept(4));
             fs::create_symlink(PathFromUtf8(P("a.pch")), PathFromUtf8(Kept(4)));
         },
         "10 patches  partly undone: 1 not restored", damaged(3)},
        {"a patch replaced by a link to a copy",
         [&] {
             fs::rename(PathFromUtf8(Patch(1)), PathFromUtf8(P("copy.pch")));
             fs::create_symlink(PathFromUtf8(P("copy.pch")), PathFromUtf8(Patch(1)));
         },
         "10 patches  partly undone: 1 not restored", link(1)},
        {"the folder replaced by a link to a copy",
         [&] {
             fs::rename(PathFromUtf8(P("lib")), PathFromUtf8(P("away")));
             fs::copy(PathFromUtf8(P("away")), PathFromUtf8(P("copy")));
             fs::create_directory_symlink(PathFromUtf8(P("copy")), PathFromUtf8(P("lib")));
         },
         "10 patches  partly undone: 10 not restored",
         link(9) + link(8) + link(7) + link(6) + link(5) + link(4) + link(3) + link(2) + link(1) +
             link(0)},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Prepare();
        std::vector<std::string> paths, original, rewritten;
        for (int i = 0; i < 10; ++i) paths.push_back(Patch(i));
        for (const std::string& path : paths) original.push_back(ReadFile(path));
        ASSERT_EQ(Run(paths, row.dropFs).status, 0);
        for (const std::string& path : paths) rewritten.push_back(ReadFile(path));
        if (row.damage) row.damage();

        const test::ProcessResult undo = Run({"--undo"});
        EXPECT_EQ(undo.status, row.err.empty() ? 0 : 1);
        EXPECT_EQ(undo.err, row.err);
        const bool refusal = row.err.starts_with("pemberlock-cli: drop 2");
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const bool left = refusal || row.err.find(paths[i] + ":") != std::string::npos;
            EXPECT_EQ(ReadFile(paths[i]), left ? rewritten[i] : original[i]) << i;
        }
        const std::string history = Run({"--history"}).out;
        EXPECT_TRUE(
            std::regex_match(history, std::regex("2  " + kWhen + "  .*\n1  .*\n" + kTotal)) &&
            Lines(history)[0].ends_with("  " + row.history))
            << history;
        // Drop 1 stays until told to go past drop 2, or drop 2 is undone.
        EXPECT_NE(ReadFile(P("a.pch")), kPatch);
        if (refusal) {
            EXPECT_EQ(Run({"--undo", "--skip-damaged"}).status, 0);
            EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
        }
    }
}

TEST_F(UndoCli, APartlyUndoneDropIsTakenAgainUntilEveryPatchIsBack) {
    for (const char* name : {"a.pch", "b0.pch", "b1.pch", "b2.pch"}) WriteFile(P(name), kPatch);
    ASSERT_EQ(Run({P("a.pch")}).status, 0);
    ASSERT_EQ(Run({P("b0.pch"), P("b1.pch"), P("b2.pch")}).status, 0);
    fs::rename(P("b1.pch"), P("away"));
    const test::ProcessResult first = Run({"--undo"});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.err, P("b1.pch") + ": does not exist\n");
    EXPECT_TRUE(Run({"--history"}).out.starts_with("2  "));
    EXPECT_NE(Run({"--history"}).out.find("3 patches  partly undone: 1 not restored\n"),
              std::string::npos);

    fs::rename(P("away"), P("b1.pch"));
    const test::ProcessResult again = Run({"--undo"});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.out.ends_with("3 of 3 files restored.\n"));
    for (const char* name : {"b0.pch", "b1.pch", "b2.pch"}) EXPECT_EQ(ReadFile(P(name)), kPatch);
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);
}

// Drop 1 rewrites a.pch and b.pch; then each row's steps, its --redo, and
// how its line in --history ends.
TEST_F(UndoCli, RedoesWhatAnUndoRestored) {
    const std::string redone = "Redoing " + P("a.pch") + "  ....  Done.\nRedoing " + P("b.pch");
    const std::atomic<bool> stopped = true;
    const struct {
        const char* name;
        std::vector<std::string> undo;  // empty: no undo
        std::function<void()> meanwhile;
        std::vector<std::string> redo;
        const std::atomic<bool>* stop;
        int status;
        std::string out;
        std::string err;
        std::string history;
    } rows[] = {
        {"not undone",
         {},
         {},
         {"--redo"},
         nullptr,
         2,
         "",
         "pemberlock-cli: there is nothing to redo\n",
         "2 patches  done"},
        {"named, not undone",
         {},
         {},
         {"--redo", "1"},
         nullptr,
         2,
         "",
         "pemberlock-cli: drop 1 is not undone\n",
         "2 patches  done"},
        {"undone",
         {"--undo"},
         {},
         {"--redo"},
         nullptr,
         0,
         redone + "  ....  Done.\n2 of 2 files redone.\n",
         "",
         "2 patches  done"},
        {"named",
         {"--undo", "1"},
         {},
         {"--redo", "1"},
         nullptr,
         0,
         redone + "  ....  Done.\n2 of 2 files redone.\n",
         "",
         "2 patches  done"},
        {"changed since the undo",
         {"--undo"},
         [&] { WriteFile(P("b.pch"), "mine"); },
         {"--redo"},
         nullptr,
         1,
         redone + "  ....  Error!\n1 of 2 files redone.\n",
         P("b.pch") + ": was changed after the undo\n",
         "2 patches  partly undone: 1 not redone"},
        {"stopped",
         {"--undo"},
         {},
         {"--redo"},
         &stopped,
         130,
         "Stopped: 2 of 2 files not processed.\n0 of 0 files redone.\n",
         "",
         "2 patches  undone"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(PathFromUtf8(P("state")));
        WriteFile(P("a.pch"), kPatch);
        WriteFile(P("b.pch"), kPatch);
        ASSERT_EQ(Run({P("a.pch"), P("b.pch")}).status, 0);
        const std::string rewritten = ReadFile(P("a.pch"));
        if (!row.undo.empty()) {
            ASSERT_EQ(Run(row.undo).status, 0);
        }
        if (row.meanwhile) row.meanwhile();
        const test::ProcessResult redo = Run(row.redo, RealFileSystem(), row.stop);
        EXPECT_EQ(redo.status, row.status);
        EXPECT_EQ(redo.out, row.out);
        EXPECT_EQ(redo.err, row.err);
        EXPECT_EQ(ReadFile(P("a.pch")) == rewritten, row.status != 130);
        const std::string history = Lines(Run({"--history"}).out)[0];
        EXPECT_TRUE(history.ends_with("  " + row.history)) << history;
    }
}

TEST_F(UndoCli, UndoesADropNamedFromTheHistory) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    for (const char* name : {"a.pch", "b.pch", "a.pch"}) ASSERT_EQ(Run({P(name)}).status, 0);
    const std::string program = "pemberlock-cli: ";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } steps[] = {
        {{"--undo", "1"},
         1,
         program + "drop 1 cannot be undone before drop 3, which changed " + P("a.pch") +
             " after it and is not undone\n"},
        {{"--undo", "9"}, 2, program + "there is no drop 9\n"},
        {{"--undo", "2"}, 0, ""},
        {{"--undo", "2"}, 2, program + "drop 2 is undone already\n"},
        {{"--undo"}, 0, ""},  // drop 3
        {{"--undo", "1"}, 0, ""},
    };
    for (const auto& step : steps) {
        const test::ProcessResult undo = Run(step.args);
        EXPECT_EQ(undo.status, step.status) << undo.err;
        EXPECT_EQ(undo.err, step.err);
    }
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), kPatch);
    EXPECT_EQ(Run({"--undo", "x"}).status, 2);
}

TEST_F(UndoCli, AnUndoWaitsForTheJournalAndCtrlCGivesUp) {
    WriteFile(P("a.pch"), kPatch);
    ASSERT_EQ(Run({P("a.pch")}).status, 0);
    UndoJournal other(RealFileSystem(), place_);
    Result<std::unique_ptr<HeldLock>> held = other.Hold({}, nullptr);
    ASSERT_TRUE(held && *held);
    const std::string waiting = "pemberlock-cli: Waiting for another drop to finish\xe2\x80\xa6\n";
    const std::atomic<bool> stopped = true;
    const test::ProcessResult given = Run({"--undo"}, RealFileSystem(), &stopped);
    EXPECT_EQ(given.status, 130);
    EXPECT_EQ(given.err,
              waiting + "pemberlock-cli: stopped while waiting for another drop to finish\n");
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);

    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        held->reset();
    });
    const test::ProcessResult undo = Run({"--undo"});
    release.join();
    EXPECT_EQ(undo.status, 0);
    EXPECT_EQ(undo.err, waiting);
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
}

TEST_F(UndoCli, AJournalOfAnotherUserIsRefused) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Run({P("a.pch")}).status, 0);
    ForeignUser foreign;
    const std::string why = "the journal folder " + place_.folder +
                            " belongs to another user (user id " +
                            std::to_string(RealFileSystem().Status(place_.folder).owner) + ")\n";
    EXPECT_EQ(Run({"--undo"}, foreign).err, "pemberlock-cli: there is nothing to undo: " + why);
    EXPECT_EQ(Run({"--history"}, foreign).err, "pemberlock-cli: " + why);
    EXPECT_EQ(Run({P("b.pch")}, foreign).err,
              "pemberlock-cli: Undo is not available for this drop: " + why);
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);
    EXPECT_NE(ReadFile(P("b.pch")), kPatch);
}

TEST_F(UndoCli, TheJournalLimitIsReadStoredAndKeptTo) {
    const struct {
        std::string size;
        std::string shown;  // empty: refused
    } sizes[] = {
        {"1.5G", "1.5 GB"}, {"750kB", "750.0 kB"}, {"123", "123 bytes"}, {"1.5", ""}, {"12X", ""},
        {"", ""},           {"99999999T", ""},     {"-1", ""},
    };
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.size);
        const test::ProcessResult set = Run({"--journal-limit", size.size});
        if (size.shown.empty()) {
            EXPECT_EQ(set.status, 2);
            EXPECT_EQ(set.out, "");
            EXPECT_NE(set.err, "");
            continue;
        }
        EXPECT_EQ(set.status, 0) << set.err;
        EXPECT_EQ(set.out, "The journal keeps at most 20 drops and " + size.shown +
                               " (set by --journal-limit).\n");
    }
    EXPECT_EQ(Run({"--journal-limit", "2G", "a.pch"}).status, 2);

    // Each drop holds its patch's old bytes: 40, 40, then 200.
    const std::string big = kPatch + std::string(158, 'y') + "\r\n";
    for (const char* name : {"a.pch", "b.pch"}) WriteFile(P(name), kPatch);
    WriteFile(P("big.pch"), big);
    const std::string total = "The journal holds ";
    const std::string set = " (set by --journal-limit).\n";
    EXPECT_EQ(Run({"--journal-limit", "100"}).status, 0);
    EXPECT_EQ(Run({"a.pch"}).err, "");
    EXPECT_EQ(Run({"b.pch"}).err, "");
    EXPECT_TRUE(
        Run({"--history"})
            .out.ends_with(total + "80 bytes; it keeps at most 20 drops and 100 bytes" + set));
    EXPECT_EQ(Run({"--journal-limit", "50"}).out,
              "The journal keeps at most 20 drops and 50 bytes" + set +
                  "The oldest drop was removed to keep to it.\n");
    EXPECT_EQ(Run({"big.pch"}).err,
              "pemberlock-cli: this drop alone holds 200 bytes in the journal, over its limit of "
              "50 bytes: it is kept for --undo, but no older drop is\n");
    EXPECT_TRUE(std::regex_match(
        Run({"--history"}).out,
        std::regex(
            "3  " + kWhen + "  200 bytes, alone over the limit  1 patch  done\n" + total +
            "200 bytes; it keeps at most 20 drops and 50 bytes \\(set by --journal-limit\\).\n")));
    EXPECT_TRUE(fs::exists(PathFromUtf8(P("state/limit"))));
    EXPECT_EQ(Run({"--journal-limit", "default"}).status, 0);
    EXPECT_FALSE(fs::exists(PathFromUtf8(P("state/limit"))));
    EXPECT_NE(Run({"--history"}).out.find(" (the default"), std::string::npos);
    EXPECT_EQ(Run({"--undo"}).status, 0);
    EXPECT_EQ(ReadFile(P("big.pch")), big);
}

TEST_F(UndoCli, ARenameThatFailedIsNotRecordedAsDone) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    test::FaultyFileSystem renames(test::Fault::Rename);
    renames.OnlyBelow(P("b.pch"));
    ASSERT_EQ(Run({P("a.pch"), P("b.pch")}, renames).status, 1);
    EXPECT_TRUE(std::regex_match(Run({"--history"}).out, std::regex("1  " + kWhen + "  " + kHeld +
                                                                    "  1 patch  done\n" + kTotal)));
    EXPECT_EQ(Run({"--undo"}).out,
              "Restoring " + P("a.pch") + "  ....  Done.\n1 of 1 files restored.\n");
}

}  // namespace
}  // namespace pemberlock
