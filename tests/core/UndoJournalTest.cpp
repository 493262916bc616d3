// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/UndoJournal.h"

#include "drop/PatchDrop.h"
#include "journal/Manifest.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/PassThroughFileSystem.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using test::CrLfLines;
using test::Fault;
using test::FaultyFileSystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

const std::string kPatch = CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "z"});

KnobControllerMap MapWithKnob0(const char* controller) {
    KnobControllerMap map;
    map.SetEntryText(0, controller);
    return map;
}

class UndoJournalTest : public testing::Test {
protected:
    // A drop of paths through fs, recorded in the test's journal; why it
    // could not be recorded, if it could not.
    std::string Drop(const std::vector<std::string>& paths, const KnobControllerMap& map = {},
                     FileSystem& fs = RealFileSystem()) {
        UndoJournal journal(fs, {Journal(), {}});
        const std::unique_ptr<DropRecorder> recorder = journal.Record();
        TextStatusLog log;
        DropOptions options;
        options.journal = recorder.get();
        EXPECT_EQ(RunPatchDrop(paths, log, map, fs, options).errors, 0u);
        recorder->Finish();
        overLimit_ = recorder->AloneOverLimit();
        return recorder->Failure() ? recorder->Failure()->Text() : "";
    }
    Result<UndoSummary> Undo(std::string* lines = nullptr) {
        TextStatusLog log;
        UndoJournal journal(RealFileSystem(), {Journal(), {}});
        Result<UndoSummary> summary = journal.UndoLast(log);
        if (lines) *lines = log.Text();
        return summary;
    }
    std::string Journal() const { return folder_.Path("state/journal"); }
    std::string Manifest1() const {
        return JournalStore(RealFileSystem(), Journal()).InDrop(1, JournalStore::kManifest);
    }
    std::string P(const std::string& name) const { return folder_.Path(name); }

    TempFolder folder_;
    bool overLimit_ = false;  // the last drop alone held more than the limit
};

TEST_F(UndoJournalTest, EachUndoTakesBackOneDropByteForByte) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch + "y\r\n");
    fs::permissions(PathFromUtf8(P("a.pch")), fs::perms::owner_read | fs::perms::owner_write);
    const fs::perms mode = fs::status(PathFromUtf8(P("a.pch"))).permissions();
    const std::vector<std::string> paths = {P("a.pch"), P("notes.txt"), P("b.pch")};
    ASSERT_EQ(Drop(paths, MapWithKnob0("7")), "");
    const std::string firstA = ReadFile(P("a.pch"));
    const std::string firstB = ReadFile(P("b.pch"));
    ASSERT_EQ(Drop(paths, MapWithKnob0("9")), "");
    ASSERT_NE(ReadFile(P("a.pch")), firstA);

    std::string lines;
    ASSERT_TRUE(Undo(&lines));
    EXPECT_EQ(lines, "Restoring " + P("b.pch") + "  ....  Done.\r\nRestoring " + P("a.pch") +
                         "  ....  Done.\r\n2 of 2 files restored.\r\n");
    EXPECT_EQ(ReadFile(P("a.pch")), firstA);
    EXPECT_EQ(ReadFile(P("b.pch")), firstB);
    ASSERT_TRUE(Undo());
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), kPatch + "y\r\n");
    EXPECT_EQ(fs::status(PathFromUtf8(P("a.pch"))).permissions(), mode);
    const Result<UndoSummary> none = Undo();
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().Text(), "there is nothing to undo");

    const auto history = UndoJournal(RealFileSystem(), {Journal(), {}}).History();
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), 2u);
    EXPECT_EQ((*history)[0].number, 2u);
    EXPECT_EQ((*history)[0].patches, 2u);
    EXPECT_TRUE((*history)[0].undone && (*history)[1].undone);
}

TEST_F(UndoJournalTest, APatchChangedOrGoneSinceIsLeftAloneAndTheOthersRestored) {
    const std::vector<std::string> paths = {P("a.pch"), P("b.pch"), P("c.pch")};
    for (const char* name : {"a.pch", "b.pch", "c.pch"}) WriteFile(P(name), kPatch);
    ASSERT_EQ(Drop(paths), "");
    WriteFile(P("b.pch"), "changed");
    fs::remove(PathFromUtf8(P("c.pch")));

    std::string lines;
    const Result<UndoSummary> summary = Undo(&lines);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->total, 3u);
    EXPECT_EQ(summary->restored, 1u);
    ASSERT_EQ(summary->failures.size(), 2u);
    EXPECT_EQ(summary->failures[0].path, P("c.pch"));
    EXPECT_EQ(summary->failures[0].error.Text(), "does not exist");
    EXPECT_EQ(summary->failures[1].error.Text(), "was changed after the drop");
    EXPECT_NE(lines.find("Restoring " + P("b.pch") + "  ....  Error!\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), "changed");
    EXPECT_FALSE(fs::exists(PathFromUtf8(P("c.pch"))));
}

// Another program saves the patch once the undo has read it, as the undo
// writes its temporary file or takes the kept one.
class SavedMeanwhile final : public test::PassThroughFileSystem {
public:
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        if (path.ends_with(".pchtmp")) WriteFile(path.substr(0, path.size() - 3), "saved");
        return real_.CreateFresh(path, permissions);
    }
    Result<std::unique_ptr<OutputFile>> HoldToMove(const std::string& path) override {
        WriteFile(patch, "saved");
        return real_.HoldToMove(path);
    }
    std::string patch;
};

TEST_F(UndoJournalTest, APatchSavedWhileItIsRestoredIsLeftToItsSaver) {
    WriteFile(P("a.pch"), kPatch);
    ASSERT_EQ(Drop({P("a.pch")}), "");
    SavedMeanwhile files;
    files.patch = P("a.pch");
    TextStatusLog log;
    const Result<UndoSummary> undone = UndoJournal(files, {Journal(), {}}).UndoLast(log);
    ASSERT_TRUE(undone);
    ASSERT_EQ(undone->failures.size(), 1u);
    EXPECT_EQ(undone->failures[0].error.Text(), "was changed while it was being restored");
    EXPECT_EQ(ReadFile(P("a.pch")), "saved");
    EXPECT_FALSE(fs::exists(PathFromUtf8(P("a.pchtmp"))));
}

// A system on which files cannot be moved as they are, nor, without links,
// given second names in the journal below `journal`.
class NoMoves final : public test::PassThroughFileSystem {
public:
    explicit NoMoves(std::string journal = {}) : journal_(std::move(journal)) {}
    Result<std::unique_ptr<OutputFile>> HoldToMove(const std::string&) override {
        return Error{{}, 0, "no moves here"};
    }
    Result<> MakeHardLink(const std::string& existing, const std::string& link) override {
        if (!journal_.empty() && link.starts_with(journal_)) return Error{{}, 0, "no links here"};
        return real_.MakeHardLink(existing, link);
    }

private:
    std::string journal_;
};

// Undo and redo, twice over, each step putting back the bytes and the
// modification time the patches had before the step, whether the files
// kept in the journal are moved back, copied, or copied and never linked.
TEST_F(UndoJournalTest, UndoAndRedoTakeTurnsWithTheBytesAndTimesOfEachStep) {
    NoMoves copies;
    NoMoves noLinks(Journal());
    const struct {
        const char* name;
        FileSystem& fs;
    } cases[] = {{"moved", RealFileSystem()}, {"copied", copies}, {"not linked", noLinks}};
    const std::vector<std::string> paths = {P("a.pch"), P("b.pch")};
    using State = RecordedDrop::State;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(PathFromUtf8(P("state")));
        std::vector<fs::file_time_type> before, after;
        std::vector<std::string> rewritten;
        for (const std::string& path : paths) {
            WriteFile(path, kPatch + path + "\r\n");
            before.push_back(fs::last_write_time(PathFromUtf8(path)) - std::chrono::hours(24));
            fs::last_write_time(PathFromUtf8(path), before.back());
        }
        ASSERT_EQ(Drop(paths, MapWithKnob0("7"), c.fs), "");
        for (const std::string& path : paths) {
            rewritten.push_back(ReadFile(path));
            after.push_back(fs::last_write_time(PathFromUtf8(path)) - std::chrono::hours(1));
            fs::last_write_time(PathFromUtf8(path), after.back());
        }
        UndoJournal journal(c.fs, {Journal(), {}});
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            TextStatusLog undoLog;
            const Result<UndoSummary> undone = journal.UndoLast(undoLog);
            ASSERT_TRUE(undone);
            EXPECT_EQ(undone->restored, 2u);
            EXPECT_EQ(journal.History()->front().state(), State::Undone);
            for (std::size_t i = 0; i < paths.size(); ++i) {
                EXPECT_EQ(ReadFile(paths[i]), kPatch + paths[i] + "\r\n");
                EXPECT_EQ(fs::last_write_time(PathFromUtf8(paths[i])), before[i]);
            }
            ASSERT_TRUE(journal.CanRedo());
            TextStatusLog redoLog;
            const Result<UndoSummary> redone = journal.Redo({}, redoLog);
            ASSERT_TRUE(redone);
            EXPECT_FALSE(redone->refused);
            EXPECT_EQ(redoLog.Text(), "Redoing " + paths[0] + "  ....  Done.\r\nRedoing " +
                                          paths[1] + "  ....  Done.\r\n2 of 2 files redone.\r\n");
            const RecordedDrop drop = journal.History()->front();
            EXPECT_EQ(drop.state(), State::Done);
            EXPECT_FALSE(drop.redoable());
            EXPECT_FALSE(journal.CanRedo());
            for (std::size_t i = 0; i < paths.size(); ++i) {
                EXPECT_EQ(ReadFile(paths[i]), rewritten[i]);
                EXPECT_EQ(fs::last_write_time(PathFromUtf8(paths[i])), after[i]);
                EXPECT_FALSE(fs::exists(PathFromUtf8(paths[i] + "tmp")));
            }
        }
    }
}

// After an undo of two patches: a redo leaves alone a patch it cannot
// redo, says why, and leaves the drop partly undone, for the next redo
// once the cause is gone, or the next undo.
TEST_F(UndoJournalTest, ARedoLeavesAlonePatchesItCannotRedo) {
    const std::vector<std::string> paths = {P("a.pch"), P("b.pch")};
    const std::string rewritten1 =
        JournalStore(RealFileSystem(), Journal()).InDrop(1, "2") + JournalStore::kRewritten;
    const struct {
        const char* name;
        std::function<void()> change;  // made to b.pch or its rewritten bytes
        std::string why;
    } cases[] = {
        {"changed since", [&] { WriteFile(P("b.pch"), "mine"); }, "was changed after the undo"},
        {"rewritten bytes damaged", [&] { WriteFile(rewritten1, "garbage"); },
         "its rewritten bytes in the journal are damaged"},
        {"rewritten bytes missing", [&] { fs::remove(PathFromUtf8(rewritten1)); },
         "its rewritten bytes are missing from the journal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(PathFromUtf8(P("state")));
        for (const std::string& path : paths) WriteFile(path, kPatch);
        ASSERT_EQ(Drop(paths, MapWithKnob0("7")), "");
        const std::string rewrittenA = ReadFile(P("a.pch"));
        ASSERT_TRUE(Undo());
        c.change();
        const std::string left = ReadFile(P("b.pch"));
        UndoJournal journal(RealFileSystem(), {Journal(), {}});
        TextStatusLog log;
        const Result<UndoSummary> redone = journal.Redo({}, log);
        ASSERT_TRUE(redone);
        EXPECT_EQ(redone->restored, 1u);
        ASSERT_EQ(redone->failures.size(), 1u);
        EXPECT_EQ(redone->failures[0].path, P("b.pch"));
        EXPECT_EQ(redone->failures[0].error.Text(), c.why);
        EXPECT_TRUE(log.Text().ends_with("Redoing " + P("b.pch") +
                                         "  ....  Error!\r\n1 of 2 files redone.\r\n"));
        EXPECT_EQ(ReadFile(P("a.pch")), rewrittenA);
        EXPECT_EQ(ReadFile(P("b.pch")), left);
        const RecordedDrop drop = journal.History()->front();
        EXPECT_EQ(drop.state(), RecordedDrop::State::PartlyUndone);
        EXPECT_EQ(drop.notRedone, 1u);
        EXPECT_TRUE(drop.redoable());
        // Undone again, as far as it can be.
        ASSERT_TRUE(Undo());
        EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    }
}

TEST_F(UndoJournalTest, RedoesTheDropUndoneLastAndOnlyDropsUndone) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch);
    ASSERT_EQ(Drop({P("a.pch")}, MapWithKnob0("7")), "");
    ASSERT_EQ(Drop({P("b.pch")}, MapWithKnob0("7")), "");
    UndoJournal journal(RealFileSystem(), {Journal(), {}});
    TextStatusLog log;
    const auto failure = [&](const RedoChoice& which) {
        const Result<UndoSummary> redone = journal.Redo(which, log);
        return redone ? std::string("redone") : redone.error().Text();
    };
    EXPECT_EQ(failure({}), "there is nothing to redo");
    EXPECT_EQ(failure({1}), "drop 1 is not undone");
    EXPECT_EQ(failure({9}), "there is no drop 9");
    // Drop 1 first, then drop 2: the redos go the other way round.
    ASSERT_TRUE(journal.Undo({1}, log));
    ASSERT_TRUE(journal.Undo({}, log));
    for (const std::uint64_t drop : {2u, 1u}) {
        const Result<UndoSummary> redone = journal.Redo({}, log);
        ASSERT_TRUE(redone);
        EXPECT_EQ(redone->drop, drop);
    }
    EXPECT_EQ(failure({}), "there is nothing to redo");
    EXPECT_EQ(log.Text().find("Error!"), std::string::npos);
}

TEST_F(UndoJournalTest, AStoppedUndoIsTakenUpAgainByTheNext) {
    // More patches than one group made durable together, so that the stop
    // comes between groups wherever the system can sync many at once.
    constexpr std::size_t kPatches = 150;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < kPatches; ++i) {
        paths.push_back(P(std::to_string(1000 + i) + ".pch"));
        WriteFile(paths.back(), kPatch + std::to_string(i) + "\r\n");
    }
    ASSERT_EQ(Drop(paths), "");

    TextStatusLog log;
    UndoJournal journal(RealFileSystem(), {Journal(), {}});
    std::atomic<bool> stop = false;
    std::uint64_t lastHandled = 0;
    const auto stopAtOnce = [&](std::uint64_t handled, std::uint64_t total) {
        EXPECT_EQ(total, kPatches);
        lastHandled = handled;
        stop = true;
    };
    const Result<UndoSummary> stopped = journal.UndoLast(log, {&stop, stopAtOnce});
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(stopped->stopped);
    ASSERT_GT(lastHandled, 0u);
    ASSERT_LT(lastHandled, kPatches);
    EXPECT_EQ(stopped->total, lastHandled);
    const std::string n = std::to_string(lastHandled);
    EXPECT_TRUE(log.Text().ends_with("Stopped: " + std::to_string(kPatches - lastHandled) + " of " +
                                     std::to_string(kPatches) + " files not processed.\r\n" + n +
                                     " of " + n + " files restored.\r\n"));
    std::size_t restored = 0;
    for (std::size_t i = 0; i < kPatches; ++i) {
        restored += ReadFile(paths[i]) == kPatch + std::to_string(i) + "\r\n";
    }
    EXPECT_EQ(restored, lastHandled);

    // Not marked undone: the next undo finishes the same drop, and the
    // patches already back count as restored.
    std::string lines;
    const Result<UndoSummary> rest = Undo(&lines);
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->restored, kPatches);
    EXPECT_TRUE(lines.ends_with("150 of 150 files restored.\r\n"));
    for (std::size_t i = 0; i < kPatches; ++i) {
        EXPECT_EQ(ReadFile(paths[i]), kPatch + std::to_string(i) + "\r\n") << paths[i];
    }
    EXPECT_FALSE(Undo());
}

TEST_F(UndoJournalTest, AJournalThatCannotBeWrittenLeavesTheDropAsItWas) {
    const struct {
        Fault fault;
        std::string why;  // empty: recorded all the same
    } cases[] = {
        {Fault::Link, ""},  // as on another file system: copies
        // The folder that could not be made is named.
        {Fault::MakeFolder, "the journal folder " + Journal() + " cannot be made: " + P("state")},
        {Fault::Create, "the manifest " + Manifest1() + " cannot be made"},
        {Fault::Write, "the manifest " + Manifest1() + " cannot be written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(test::FaultName(c.fault));
        fs::remove_all(PathFromUtf8(P("state")));
        WriteFile(P("a.pch"), kPatch);
        FaultyFileSystem faulty(c.fault);
        faulty.OnlyBelow(P("state"));
        const std::string why = Drop({P("a.pch")}, MapWithKnob0("7"), faulty);
        EXPECT_GE(faulty.Hits(), 1);
        EXPECT_NE(ReadFile(P("a.pch")), kPatch);  // the drop ran as before
        if (!c.why.empty()) {
            EXPECT_EQ(why, c.why + ": " + test::kInjectedCause);
            EXPECT_FALSE(Undo());
            continue;
        }
        EXPECT_EQ(why, "");
        ASSERT_TRUE(Undo());
        EXPECT_EQ(ReadFile(P("a.pch")), kPatch);
    }
}

TEST_F(UndoJournalTest, KeepsTheLast20Drops) {
    std::vector<std::string> versions = {kPatch};
    WriteFile(P("a.pch"), kPatch);
    for (int drop = 0; drop < 22; ++drop) {
        ASSERT_EQ(Drop({P("a.pch")}, MapWithKnob0(std::to_string(drop).c_str())), "");
        versions.push_back(ReadFile(P("a.pch")));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(PathFromUtf8(Journal())), {}), 20);
    for (int undo = 21; undo >= 2; --undo) {
        ASSERT_TRUE(Undo()) << undo;
        EXPECT_EQ(ReadFile(P("a.pch")), versions[static_cast<std::size_t>(undo)]) << undo;
    }
    EXPECT_FALSE(Undo());
}

// Drops of one patch each, of the sizes given, under a limit set before:
// the oldest go first, and the newest stays however much it holds.
TEST_F(UndoJournalTest, KeepsTheNewestDropsThatFitInItsLimit) {
    const struct {
        std::vector<std::size_t> sizes;  // oldest first
        std::uint64_t limit;
        std::vector<std::uint64_t> left;  // newest first
    } cases[] = {
        {{300, 300, 300}, 900, {3, 2, 1}},
        {{300, 300, 300}, 899, {3, 2}},
        {{300, 300, 300}, 599, {3}},
        {{100, 900, 100}, 800, {3}},  // not the oldest that would still fit
        {{500, 100, 900}, 800, {3}},  // alone over the limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sizes) + " in " + std::to_string(c.limit));
        fs::remove_all(PathFromUtf8(P("state")));
        ASSERT_TRUE(UndoJournal(RealFileSystem(), {Journal(), {}}).SetLimit(c.limit));
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string patch = P(std::to_string(i) + ".pch");
            WriteFile(patch, kPatch + std::string(c.sizes[i] - kPatch.size() - 2, 'y') + "\r\n");
            ASSERT_EQ(Drop({patch}, MapWithKnob0("7")), "");
        }
        EXPECT_EQ(overLimit_, c.sizes.back() > c.limit);
        EXPECT_EQ(*JournalStore(RealFileSystem(), Journal()).Drops(), c.left);
    }
}

// Counts the manifests read.
class ManifestReads final : public test::PassThroughFileSystem {
public:
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        if (path.ends_with(JournalStore::kManifest)) ++reads;
        return real_.OpenRead(path);
    }
    int reads = 0;
};

TEST_F(UndoJournalTest, ASummaryStandsForTheManifestOnlyWhileItsCheckHolds) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kPatch + "y\r\n");
    ASSERT_EQ(Drop({P("a.pch"), P("b.pch")}, MapWithKnob0("7")), "");
    JournalStore store(RealFileSystem(), Journal());
    const std::string path = store.InDrop(1, JournalStore::kSummary);
    const std::string written = ReadFile(path);
    const std::optional<DropSummary> summary = ParseSummary(written);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->state, DropSummary::State::Done);
    EXPECT_EQ(summary->patches, 2u);
    EXPECT_EQ(summary->held, 2 * kPatch.size() + 3);
    EXPECT_EQ(summary->manifest, store.StampOf(1));

    DropSummary empty = *summary;
    empty.patches = 0;
    std::string changed = SummaryLine(empty);
    changed[changed.find(" 0 ") + 1] = '9';
    DropSummary undone = *summary;
    undone.state = DropSummary::State::Undone;
    const struct {
        const char* name;
        std::optional<std::string> text;  // none: no summary
        bool canUndo;
        bool manifestRead;  // by CanUndo
        std::size_t listed;
    } cases[] = {
        {"as written", written, true, false, 1},
        {"checked, saying nothing was replaced", SummaryLine(empty), false, false, 0},
        {"one digit changed", changed, true, true, 1},
        {"cut short", written.substr(0, written.size() - 1), true, true, 1},
        {"missing", std::nullopt, true, true, 1},
        {"undone, but no mark says so", SummaryLine(undone), true, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(PathFromUtf8(path));
        if (c.text) WriteFile(path, *c.text);
        ManifestReads files;
        UndoJournal journal(files, {Journal(), {}});
        EXPECT_EQ(journal.CanUndo(), c.canUndo);
        EXPECT_EQ(files.reads > 0, c.manifestRead);
        EXPECT_EQ(journal.History()->size(), c.listed);
    }

    // Each undo that marks the drop says so in its summary too.
    WriteFile(path, written);
    const std::string rewritten = ReadFile(P("b.pch"));
    WriteFile(P("b.pch"), "edited");
    ASSERT_TRUE(Undo());
    std::optional<DropSummary> after = ParseSummary(ReadFile(path));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->state, DropSummary::State::PartlyUndone);
    EXPECT_EQ(after->notRestored, 1u);
    EXPECT_EQ(after->held, store.HeldByFiles(1));
    WriteFile(P("b.pch"), rewritten);
    ASSERT_TRUE(Undo());
    after = ParseSummary(ReadFile(path));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->state, DropSummary::State::Undone);
    EXPECT_EQ(after->patches, 2u);
    EXPECT_FALSE(UndoJournal(RealFileSystem(), {Journal(), {}}).CanUndo());
}

TEST(Manifest, ReadsWhatItWritesAndSaysWhereItIsDamaged) {
    ManifestEntry entry;
#ifdef _WIN32
    entry.path = "C:\\p\\50% off\n\t.pch";
#else
    entry.path = "/p/50% off\n\t.pch";
#endif
    entry.kept = "1";
    entry.newSize = 12;
    entry.newDigest = DigestOf("x");
    entry.oldSize = 3;
    entry.oldDigest = DigestOf("old");
    entry.inode = 77;
    const std::string line = ManifestLine(entry);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const std::string whole =
        ManifestHeader(1700000000) + line + NotReplacedLine("1") + EndedLine(1);
    for (const std::size_t cut : {whole.size(), whole.size() - 1}) {
        const Result<Manifest> read = ParseManifest(whole.substr(0, cut));
        ASSERT_TRUE(read);
        EXPECT_EQ(read->started, 1700000000);
        EXPECT_EQ(read->ended, cut == whole.size());  // a last line cut short is left out
        ASSERT_EQ(read->entries.size(), 1u);
        EXPECT_EQ(read->entries[0].path, entry.path);
        EXPECT_EQ(read->entries[0].oldDigest, entry.oldDigest);
        EXPECT_EQ(read->entries[0].inode, 77u);
        EXPECT_FALSE(read->entries[0].replaced);
    }
    std::string digit = line;
    digit[20] = digit[20] == '9' ? '8' : '9';
    const std::string header = ManifestHeader(1);
    const struct {
        std::string text;
        std::string where;
    } damaged[] = {
        {"", "empty"},
        {"pemberlock-journal 3\n", "format unknown to this version"},
        {header + digit, "line 3"},
        {header + EndedLine(0) + line, "line 4"},
        {header + EndedLine(2), "line 3"},
        {header + NotReplacedLine("1"), "line 3"},
        {header + "started 1 " + line.substr(line.size() - 9), "line 3"},
        {"pemberlock-journal 1\nreplaced 1 zz 1 link /a.pch\n", "line 2"},
        {"pemberlock-journal 1\nreplaced 1 " + DigestOf("").Hex() + " 1 link /etc/passwd\n",
         "line 2"},
    };
    for (const auto& [text, where] : damaged) {
        const Result<Manifest> read = ParseManifest(text);
        ASSERT_FALSE(read) << text;
        const Error& error = read.error();
        EXPECT_EQ(error.line ? "line " + std::to_string(error.line) : error.what, where) << text;
    }
}

// The history names the program that dropped and the folder its patches
// share, at whatever depth; a name that merely begins alike is no folder.
TEST_F(UndoJournalTest, HistoryNamesTheProgramAndTheFolderTheDropsPatchesShare) {
    struct Case {
        std::vector<std::string> patches;
        std::string folder;  // under the test's folder
    };
    const std::vector<Case> cases = {
        {{"lib/a.pch"}, "lib"},
        {{"lib/bass/a.pch", "lib/bass/deep/b.pch"}, "lib/bass"},
        {{"lib/bass/deep/a.pch", "lib/bass/b.pch"}, "lib/bass"},
        {{"lib/bass/a.pch", "lib/lead/b.pch"}, "lib"},
        {{"lib/ab/a.pch", "lib/a/b.pch"}, "lib"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> paths;
        for (const std::string& name : c.patches) {
            fs::create_directories(PathFromUtf8(P(name)).parent_path());
            WriteFile(P(name), kPatch);
            paths.push_back(P(name));
        }
        UndoJournal journal(RealFileSystem(), {Journal(), {}});
        const std::unique_ptr<DropRecorder> recorder = journal.Record();
        recorder->SetProgram("pemberlock-cli");
        TextStatusLog log;
        DropOptions options;
        options.journal = recorder.get();
        RunPatchDrop(paths, log, {}, RealFileSystem(), options);
        recorder->Finish();
        const Result<std::vector<RecordedDrop>> history = journal.History();
        ASSERT_TRUE(history && !history->empty());
        EXPECT_EQ(history->front().program, "pemberlock-cli");
        const std::string canonical = *RealFileSystem().Canonical(P(c.folder));
        EXPECT_EQ(history->front().folder, canonical) << c.patches.front();
    }
}

}  // namespace
}  // namespace pemberlock
