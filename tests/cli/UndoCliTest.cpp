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

TEST_F(UndoCli, UndoesTheLastDropFromAnyFolderAndListsTheDrops) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Run({"a.pch", "b.pch"}).status, 0);
    const std::string when = "1  " + kWhen;
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

// Drop 1 rewrites a.pch, drop 2 ten patches; then drop 2's record is
// damaged, and no undo may pass over it unsaid or write what it does not hold.
class DamagedJournal : public UndoCli {
protected:
    // A fresh folder with drop 1 made and drop 2's patches in place.
    void Prepare() {
        fs::remove_all(folder_.Root());
        fs::create_directories(folder_.Root());
        fs::current_path(folder_.Root());
        paths_.clear();
        original_.clear();
        WriteFile(P("a.pch"), kPatch);
        ASSERT_EQ(Run({P("a.pch")}).status, 0);
        for (int i = 0; i < 10; ++i) {
            paths_.push_back(Patch(i));
            WriteFile(Patch(i), kPatch + "x" + std::to_string(i) + "\r\n");
            original_.push_back(ReadFile(Patch(i)));
        }
    }
    std::string Patch(int i) const { return P("p" + std::to_string(i) + ".pch"); }
    std::string Kept(int i) const { return P("state/00000002/" + std::to_string(i)); }
    std::string Manifest2() const { return P("state/00000002/manifest"); }
    std::vector<ManifestEntry> Entries2() const {
        const Result<Manifest> manifest = ParseManifest(ReadFile(Manifest2()));
        return manifest ? manifest->entries : std::vector<ManifestEntry>{};
    }
    // Drop 2's manifest, its first entry changed and written back as the
    // program writes one, check and all: a record made by hand.
    std::function<void()> Crafted(std::function<void(ManifestEntry&)> change) const {
        return [this, change] {
            std::vector<std::string> lines = Lines(ReadFile(Manifest2()));
            ManifestEntry entry = Entries2()[0];
            change(entry);
            lines[2] = ManifestLine(entry);
            lines[2].pop_back();
            std::string text;
            for (const std::string& line : lines) text += line + "\n";
            WriteFile(Manifest2(), text);
        };
    }

    std::vector<std::string> paths_;
    std::vector<std::string> original_;
};

TEST_F(DamagedJournal, IsReportedByNameAndNothingIsWrittenFromIt) {
    const std::string refused = "pemberlock-cli: drop 2 cannot be undone: ";
    const std::string skip =
        "pemberlock-cli: --undo --skip-damaged goes past it to the drops before it\n";
    const std::string keptDamaged = ": its old bytes in the journal are damaged\n";
    const auto cut = [this](std::size_t size) {
        return [this, size] { WriteFile(Manifest2(), ReadFile(Manifest2()).substr(0, size)); };
    };
    const auto lineStart = [this](std::size_t line) {
        std::size_t at = 0;
        for (std::size_t i = 1; i < line; ++i) at = ReadFile(Manifest2()).find('\n', at) + 1;
        return at;
    };
    JournalFills fills(P("state"), 3, false);
    JournalFills fillsWholly(P("state"), 3, true);
    const struct {
        const char* name;
        std::function<void()> before;  // drop 2
        FileSystem& dropFs;
        std::function<void()> after;
        int status;
        std::string err;
        std::string history;  // how drop 2's line ends
        std::set<int> left;   // patches left as drop 2 wrote them, with --undo
    } rows[] = {
        {"emptied manifest",
         {},
         RealFileSystem(),
         cut(0),
         1,
         refused + "its record is damaged (empty)\n" + skip,
         "damaged (empty)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"cut at a line",
         {},
         RealFileSystem(),
         [&] { cut(lineStart(7))(); },
         1,
         refused + "its record is damaged (cut short after line 6)\n" + skip,
         "damaged (cut short after line 6)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"cut mid-entry",
         {},
         RealFileSystem(),
         [&] { cut(lineStart(7) + 20)(); },
         1,
         refused + "its record is damaged (cut short after line 6)\n" + skip,
         "damaged (cut short after line 6)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"one bad hex digit",
         {},
         RealFileSystem(),
         [&] {
             std::string text = ReadFile(Manifest2());
             char& digit = text[text.find(' ', lineStart(5) + 9) + 1];
             digit = digit == '0' ? '1' : '0';
             WriteFile(Manifest2(), text);
         },
         1,
         refused + "its record is damaged (line 5)\n" + skip,
         "damaged (line 5)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"emptied kept file",
         {},
         RealFileSystem(),
         [&] { WriteFile(Kept(4), ""); },
         1,
         Patch(3) + keptDamaged,
         "10 patches  partly undone: 1 not restored",
         {3}},
#ifndef _WIN32
        {"FIFO kept file",
         {},
         RealFileSystem(),
         [&] {
             fs::remove(Kept(4));
             ::mkfifo(Kept(4).c_str(), 0600);
         },
         1,
         Patch(3) + keptDamaged,
         "10 patches  partly undone: 1 not restored",
         {3}},
        {"symbolic link kept file",
         {},
         RealFileSystem(),
         [&] {
             WriteFile(P("elsewhere"), original_[3]);
             fs::remove(Kept(4));
             fs::create_symlink(P("elsewhere"), Kept(4));
         },
         1,
         Patch(3) + keptDamaged,
         "10 patches  partly undone: 1 not restored",
         {3}},
        {"patch with a second name edited through it",
         [&] { fs::create_hard_link(Patch(0), P("second name.pch")); },
         RealFileSystem(),
         [&] { WriteFile(P("second name.pch"), "edited"); },
         0,
         "",
         "10 patches  undone",
         {}},
#endif
        {"kept files swapped",
         {},
         RealFileSystem(),
         [&] {
             fs::rename(Kept(1), P("swap"));
             fs::rename(Kept(2), Kept(1));
             fs::rename(P("swap"), Kept(2));
         },
         1,
         Patch(1) + keptDamaged + Patch(0) + keptDamaged,
         "10 patches  partly undone: 2 not restored",
         {0, 1}},
        {"partly recorded",
         {},
         fills,
         {},
         1,
         refused + "it was only partly recorded\n" + skip,
         "partly recorded",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"partly recorded, not a line more",
         {},
         fillsWholly,
         {},
         1,
         refused + "its record is damaged (no manifest)\n" + skip,
         "damaged (no manifest)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"target not ending in pch",
         {},
         RealFileSystem(),
         Crafted([&](ManifestEntry& entry) { entry.path = P("a.txt"); }),
         1,
         refused + "its record is damaged (line 3)\n" + skip,
         "damaged (line 3)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"relative target",
         {},
         RealFileSystem(),
         Crafted([&](ManifestEntry& entry) { entry.path = "p0.pch"; }),
         1,
         refused + "its record is damaged (line 3)\n" + skip,
         "damaged (line 3)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"kept name with a slash",
         {},
         RealFileSystem(),
         Crafted([&](ManifestEntry& entry) { entry.kept = "../00000001/1"; }),
         1,
         refused + "its record is damaged (line 3)\n" + skip,
         "damaged (line 3)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"a record of version 1",
         {},
         RealFileSystem(),
         [&] {
             std::string text = "pemberlock-journal 1\nstarted 1\n";
             for (const ManifestEntry& entry : Entries2()) {
                 text += "replaced " + std::to_string(entry.newSize) + " " + entry.newDigest.Hex() +
                         " " + entry.kept + " link " + entry.path + "\n";
             }
             WriteFile(Manifest2(), text);
         },
         0,
         "",
         "10 patches  undone",
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Prepare();
        if (row.before) row.before();
        const test::ProcessResult drop = Run(paths_, row.dropFs);
        ASSERT_EQ(drop.status, 0);
        std::vector<std::string> rewritten;
        for (const std::string& path : paths_) rewritten.push_back(ReadFile(path));
        if (row.after) row.after();

        const test::ProcessResult undo = Run({"--undo"});
        EXPECT_EQ(undo.status, row.status);
        EXPECT_EQ(undo.err, row.err);
        for (int i = 0; i < 10; ++i) {
            const std::size_t at = static_cast<std::size_t>(i);
            EXPECT_EQ(ReadFile(Patch(i)), row.left.count(i) ? rewritten[at] : original_[at]) << i;
        }
        const std::string history = Run({"--history"}).out;
        EXPECT_TRUE(std::regex_match(history, std::regex("2  " + kWhen + "  .*\n1  .*\n")) &&
                    Lines(history)[0].ends_with("  " + row.history))
            << history;
        // Drop 1 stays until told to go past drop 2, or drop 2 is undone.
        EXPECT_NE(ReadFile(P("a.pch")), kPatch);
        if (row.status == 1 && row.left.size() == 10) {
            EXPECT_EQ(Run({"--undo", "--skip-damaged"}).status, 0);
            EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
        }
    }
}

#ifndef _WIN32
TEST_F(UndoCli, LinksPutInAfterTheDropAreNotFollowed) {
    const std::string p0 = P("lib/p0.pch");
    const std::string link = ": a symbolic link now stands in its path\n";
    const struct {
        const char* name;
        std::function<void()> swap;
        std::string err;
        std::vector<std::string> untouched;  // still as the drop wrote them
    } rows[] = {
        {"a patch replaced by a link",
         [&] {
             fs::copy_file(p0, P("elsewhere.pch"));
             fs::remove(p0);
             fs::create_symlink(P("elsewhere.pch"), p0);
         },
         p0 + link,
         {P("elsewhere.pch")}},
        {"a folder replaced by a link",
         [&] {
             fs::rename(P("lib"), P("away"));
             fs::copy(P("away"), P("other"));
             fs::create_directory_symlink(P("other"), P("lib"));
         },
         P("lib/p1.pch") + link + p0 + link,
         {P("away/p0.pch"), P("away/p1.pch"), P("other/p0.pch"), P("other/p1.pch")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(P("lib"));
        fs::remove_all(P("state"));
        fs::create_directory(P("lib"));
        WriteFile(p0, kPatch);
        WriteFile(P("lib/p1.pch"), kPatch);
        ASSERT_EQ(Run({"--recursive", P("lib")}).status, 0);
        const std::string rewritten = ReadFile(p0);
        row.swap();
        const test::ProcessResult undo = Run({"--undo"});
        EXPECT_EQ(undo.status, 1);
        EXPECT_EQ(undo.err, row.err);
        for (const std::string& path : row.untouched) EXPECT_EQ(ReadFile(path), rewritten) << path;
    }
}
#endif

TEST_F(UndoCli, APartlyUndoneDropIsTakenAgainUntilEveryPatchIsBack) {
    for (const char* name : {"a.pch", "b0.pch", "b1.pch", "b2.pch"}) WriteFile(P(name), kPatch);
    ASSERT_EQ(Run({P("a.pch")}).status, 0);
    ASSERT_EQ(Run({P("b0.pch"), P("b1.pch"), P("b2.pch")}).status, 0);
    fs::rename(P("b1.pch"), P("away"));
    const test::ProcessResult first = Run({"--undo"});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.err, P("b1.pch") + ": does not exist\n");
    EXPECT_TRUE(
        Lines(Run({"--history"}).out)[0].ends_with("3 patches  partly undone: 1 not restored"));

    fs::rename(P("away"), P("b1.pch"));
    const test::ProcessResult again = Run({"--undo"});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.out.ends_with("3 of 3 files restored.\n"));
    for (const char* name : {"b0.pch", "b1.pch", "b2.pch"}) EXPECT_EQ(ReadFile(P(name)), kPatch);
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);
    EXPECT_TRUE(Lines(Run({"--history"}).out)[0].ends_with("3 patches  undone"));
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
        SCOPED_TRACE(step.args.back());
        const test::ProcessResult undo = Run(step.args);
        EXPECT_EQ(undo.status, step.status);
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
    const test::ProcessResult undo = Run({"--undo"}, foreign);
    EXPECT_EQ(undo.status, 2);
    EXPECT_EQ(undo.err, "pemberlock-cli: there is nothing to undo: " + why);
    const test::ProcessResult history = Run({"--history"}, foreign);
    EXPECT_EQ(history.status, 1);
    EXPECT_EQ(history.err, "pemberlock-cli: " + why);
    const test::ProcessResult drop = Run({P("b.pch")}, foreign);
    EXPECT_EQ(drop.status, 0);
    EXPECT_EQ(drop.err, "pemberlock-cli: Undo is not available for this drop: " + why);
    EXPECT_NE(ReadFile(P("a.pch")), kPatch);
    EXPECT_NE(ReadFile(P("b.pch")), kPatch);
}

TEST_F(UndoCli, ARenameThatFailedIsNotRecordedAsDone) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    test::FaultyFileSystem renames(test::Fault::Rename);
    renames.OnlyBelow(P("b.pch"));
    ASSERT_EQ(Run({P("a.pch"), P("b.pch")}, renames).status, 1);
    EXPECT_TRUE(
        std::regex_match(Run({"--history"}).out, std::regex("1  " + kWhen + "  1 patch\n")));
    const test::ProcessResult undo = Run({"--undo"});
    EXPECT_EQ(undo.status, 0);
    EXPECT_EQ(undo.out, "Restoring " + P("a.pch") + "  ....  Done.\n1 of 1 files restored.\n");
}

}  // namespace
}  // namespace pemberlock
