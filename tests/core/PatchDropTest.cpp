// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/PatchDrop.h"

#include "drop/DropReport.h"

#include "patch/PatchRewriter.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/PassThroughFileSystem.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

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
const std::string kBad = CrLfLines({"[KnobMapDump]", "1 3 1 99", "[/KnobMapDump]"});
const std::string kRewritten = RewritePatchText(kPatch, KnobControllerMap{})->text;

// A folder of n patches, every seventh one bad and every fifth one not a patch.
std::vector<std::string> MakeLibrary(const TempFolder& folder, int n) {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) {
        const bool skip = i % 5 == 4;
        paths.push_back(folder.Path(std::to_string(i) + (skip ? ".txt" : ".pch")));
        WriteFile(paths.back(), i % 7 == 6 ? kBad : kPatch);
    }
    return paths;
}

// The log a drop of paths must write, line by line, as one patch after the other would.
std::string ExpectedLog(const std::vector<std::string>& paths, std::size_t handled) {
    std::string log;
    std::uint64_t skipped = 0;
    std::uint64_t errors = 0;
    for (std::size_t i = 0; i < handled; ++i) {
        if (i % 5 == 4) {
            log += paths[i] + " is not a 'pch' file.. skipping.\r\n";
            ++skipped;
        } else {
            log +=
                "Processing " + paths[i] + "  ....  " + (i % 7 == 6 ? "Error!" : "Done.") + "\r\n";
            errors += i % 7 == 6 ? 1 : 0;
        }
    }
    if (handled < paths.size()) {
        log += "Stopped: " + std::to_string(paths.size() - handled) + " of " +
               std::to_string(paths.size()) + " files not processed.\r\n";
    }
    return log + std::to_string(handled - skipped - errors) + " of " + std::to_string(handled) +
           " files processed successfully.\r\n" + std::to_string(skipped) + " files skipped.\r\n" +
           std::to_string(errors) + " errors.\r\n";
}

void ExpectFilesAfter(const std::vector<std::string>& paths, std::size_t handled) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const bool bad = i % 7 == 6;
        const bool rewritten = i < handled && i % 5 != 4 && !bad;
        EXPECT_EQ(ReadFile(paths[i]), rewritten ? kRewritten : bad ? kBad : kPatch) << paths[i];
        // A failed rewrite may leave its temporary file; nothing else does.
        if (!bad || i >= handled) {
            EXPECT_FALSE(fs::exists(PathFromUtf8(paths[i] + "tmp"))) << paths[i];
        }
    }
}

// Records what a drop reports, and stops it after a number of paths.
class Watcher final : public DropObserver {
public:
    explicit Watcher(std::uint64_t stopAfter = 0) : stopAfter_(stopAfter) {}
    void PathDone(const DropPathResult&, std::uint64_t handled, std::uint64_t total) override {
        EXPECT_EQ(handled, handledSoFar + 1);
        handledSoFar = handled;
        totalSeen = total;
        if (stopAfter_ && handled == stopAfter_) stop = true;
    }
    std::atomic<bool> stop = false;
    std::uint64_t handledSoFar = 0;
    std::uint64_t totalSeen = 0;

private:
    std::uint64_t stopAfter_;
};

TEST(PatchDrop, AnyNumberOfThreadsAndGroupsLogsAndWritesAsOneAfterTheOther) {
    const struct {
        unsigned workers;
        std::size_t group;
    } shapes[] = {{1, 1}, {1, 64}, {4, 1}, {4, 3}, {3, 64}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.workers) + " workers, groups of " +
                     std::to_string(shape.group));
        TempFolder folder;
        const std::vector<std::string> paths = MakeLibrary(folder, 60);
        FaultyFileSystem counting(Fault::None);
        Watcher watcher;
        TextStatusLog log;
        DropOptions options;
        options.workers = shape.workers;
        options.groupSize = shape.group;
        options.observer = &watcher;
        const BatchSummary summary =
            RunPatchDrop(paths, log, KnobControllerMap{}, counting, options);
        EXPECT_EQ(log.Text(), ExpectedLog(paths, paths.size()));
        EXPECT_EQ(summary.failures.size(), summary.errors);
        EXPECT_EQ(watcher.handledSoFar, paths.size());
        ExpectFilesAfter(paths, paths.size());
        EXPECT_EQ(counting.folderSyncs, 1);
        // One sync of the file system for each group of patches, where they are grouped.
        const int groups = (48 + static_cast<int>(shape.group) - 1) / static_cast<int>(shape.group);
        const bool grouped = shape.group > 1 && counting.CanSyncWholeFileSystem();
        EXPECT_EQ(counting.wholeSyncs, grouped ? groups : 0);
    }
}

TEST(PatchDrop, StopsAfterThePatchesInHandAndStillAddsUp) {
    for (const unsigned workers : {1u, 4u}) {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        TempFolder folder;
        const std::vector<std::string> paths = MakeLibrary(folder, 200);
        FaultyFileSystem slow(Fault::None, std::chrono::milliseconds(2));
        Watcher watcher(17);
        TextStatusLog log;
        DropOptions options;
        options.workers = workers;
        options.groupSize = 4;
        options.observer = &watcher;
        options.stop = &watcher.stop;
        RunPatchDrop(paths, log, KnobControllerMap{}, slow, options);
        const std::size_t handled = watcher.handledSoFar;
        EXPECT_GE(handled, 17u);
        EXPECT_LT(handled, 40u);  // the patches in hand, not the rest
        EXPECT_EQ(watcher.totalSeen, paths.size());
        EXPECT_EQ(log.Text(), ExpectedLog(paths, handled));
        ExpectFilesAfter(paths, handled);
    }
}

TEST(PatchDrop, TheReportOfADropStoppedBeforeItsFirstPatchSaysSo) {
    TempFolder folder;
    const std::vector<std::string> paths = MakeLibrary(folder, 5);
    const std::atomic<bool> stop = true;
    DropReportCollector report;
    TextStatusLog log;
    DropOptions options;
    options.stop = &stop;
    options.observer = &report;
    RunPatchDrop(paths, log, KnobControllerMap{}, RealFileSystem(), options);
    EXPECT_EQ(log.Text(), ExpectedLog(paths, 0));
    EXPECT_EQ(report.TakeRows().Summary(),
              "0 files: 0 rewritten, 0 skipped, 0 failed.\nStopped: 5 of 5 files not processed.\n");
}

TEST(PatchDrop, AFileNamedTwiceIsRewrittenTwiceNeverHalfWritten) {
    TempFolder folder;
    const std::string path = folder.Path("a.pch");
    const std::string twice = RewritePatchText(kRewritten, KnobControllerMap{})->text;
    const std::string link = folder.Path("link.pch");
    const std::string linkNote = test::CannotLink(PathFromUtf8(path), PathFromUtf8(link));
    const std::vector<std::vector<std::string>> drops = {
        {path, folder.Path("b.pch"), path},
        {path, Utf8FromPath(PathFromUtf8(folder.Path(".")) / "a.pch")},
        {path, linkNote.empty() ? link : path}};
    for (const std::vector<std::string>& paths : drops) {
        SCOPED_TRACE(paths.back());
        WriteFile(path, kPatch);
        WriteFile(folder.Path("b.pch"), kPatch);
        TextStatusLog log;
        const BatchSummary summary = RunPatchDrop(paths, log, KnobControllerMap{});
        EXPECT_EQ(summary.errors, 0u) << log.Text();
        EXPECT_EQ(ReadFile(path), twice);
        EXPECT_FALSE(fs::exists(PathFromUtf8(path + "tmp")));
    }
}

// A file system that folds case, as FAT through FUSE does: any spelling of
// a name opens the one file, each spelling with an identity of its own.
class CaseFoldingFileSystem final : public test::PassThroughFileSystem {
public:
    std::vector<std::string> opened;
    static std::string Fold(std::string path) {
        const std::size_t slash = path.find_last_of("/\\") + 1;
        for (std::size_t i = slash; i < path.size(); ++i)
            path[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(path[i])));
        return path;
    }
    FileStatus Status(const std::string& path) override {
        FileStatus status = real_.Status(Fold(path));
        if (Fold(path) != path) status.inode += 1000000;
        return status;
    }
    FileStatus LinkStatus(const std::string& path) override { return real_.LinkStatus(Fold(path)); }
    Result<ResolvedPath> Resolve(const std::string& path) override {
        Result<ResolvedPath> resolved = real_.Resolve(Fold(path));
        if (resolved) resolved->path = path;
        return resolved;
    }
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        opened.push_back(path);
        return real_.OpenRead(Fold(path));
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        return real_.CreateFresh(Fold(path), permissions);
    }
};

TEST(PatchDrop, NamesThatDifferOnlyInCaseAreOnePatchWhereTheFileSystemFoldsCase) {
    TempFolder folder;
    const std::string path = folder.Path("caudex.pch");
    WriteFile(path, kPatch);
    CaseFoldingFileSystem folding;
    TextStatusLog log;
    const std::string upper = folder.Path("CAUDEX.pch");
    const BatchSummary summary = RunPatchDrop({path, upper}, log, KnobControllerMap{}, folding);
    EXPECT_EQ(summary.errors, 0u) << log.Text();
    EXPECT_NE(log.Text().find("Processing " + upper + "  ....  Done."), std::string::npos);
    EXPECT_EQ(ReadFile(path), RewritePatchText(kRewritten, KnobControllerMap{})->text);
    // Read through the name the folder lists, both times.
    EXPECT_EQ(folding.opened, (std::vector<std::string>{path, path}));
}

TEST(PatchDrop, AGroupThatCannotBeMadeDurableIsNotPutInPlace) {
    TempFolder folder;
    const std::vector<std::string> paths = {folder.Path("a.pch"), folder.Path("b.pch"),
                                            folder.Path("c.pch")};
    for (const std::string& path : paths) WriteFile(path, kPatch);
    FaultyFileSystem failing(Fault::SyncWhole);
    TextStatusLog log;
    DropOptions options;
    options.groupSize = 2;
    if (!failing.CanSyncWholeFileSystem()) GTEST_SKIP() << "each patch is flushed on its own here";
    const BatchSummary summary = RunPatchDrop(paths, log, KnobControllerMap{}, failing, options);
    EXPECT_EQ(failing.Hits(), 2);  // one sync for each group
    ASSERT_EQ(summary.errors, 3u);
    EXPECT_EQ(summary.failures[2].error.Text(),
              "the temporary file cannot be flushed to disk: " + test::kInjectedCause);
    for (const std::string& path : paths) EXPECT_EQ(ReadFile(path), kPatch) << path;
}

TEST(PatchDrop, FoldersExpandInByteOrderAndAnUnreadableOneIsAnError) {
    TempFolder folder;
    for (const char* name : {"bank/b.pch", "bank/a.pch", "bank/Z.pch", "bank/sub/c.pch",
                             "bank/sub/deeper/d.txt", "bank/zz/e.pch"}) {
        fs::create_directories(PathFromUtf8(folder.Path(name)).parent_path());
        WriteFile(folder.Path(name), kPatch);
    }
    const std::string linkNote =
        test::CannotLink("..", PathFromUtf8(folder.Path("bank/sub/up")), true);
    const std::string bank = folder.Path("bank");
    const auto below = [&](std::string_view name) {
        return Utf8FromPath(PathFromUtf8(bank) / PathFromUtf8(name).make_preferred());
    };
    std::vector<std::string> expected = {below("Z.pch"),
                                         below("a.pch"),
                                         below("b.pch"),
                                         below("sub/c.pch"),
                                         below("sub/deeper/d.txt"),
                                         below("zz/e.pch")};
    std::vector<std::string> found;
    for (const DropPath& path : ExpandFolders({"x.pch", bank}, RealFileSystem())) {
        EXPECT_FALSE(path.unreadable) << path.path;
        found.push_back(path.path);
    }
    expected.insert(expected.begin(), "x.pch");
    EXPECT_EQ(found, expected) << linkNote;

    FaultyFileSystem unreadable(Fault::ListFolder);
    const std::vector<DropPath> failed = ExpandFolders({bank}, unreadable);
    ASSERT_EQ(failed.size(), 1u);
    TextStatusLog log;
    RunPatchDrop(failed, log, KnobControllerMap{}, unreadable);
    EXPECT_EQ(log.Text(), "Processing " + bank +
                              "  ....  Error!\r\n0 of 1 files processed successfully.\r\n" +
                              "0 files skipped.\r\n1 errors.\r\n");
}

}  // namespace
}  // namespace pemberlock
