// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/ProcessPatch.h"

#include "drop/DropBatch.h"
#include "drop/PatchDrop.h"
#include "patch/PatchRewriter.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/SerialDropBatch.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TemporaryPatchPath.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

namespace pemberlock {
namespace {

using test::CrLfLines;
using test::Fault;
using test::FaultyFileSystem;
using test::ReadFile;
using test::RunDropBatch;
using test::TempFolder;
using test::TemporaryPatchPath;
using test::WriteFile;
namespace fs = std::filesystem;

const std::string kPatch =
    CrLfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]", "[CtrlMapDump]",
               "1 9 0 7", "1 4 0 103", "[/CtrlMapDump]", "z"});
const std::string kRewritten =
    CrLfLines({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]", "[CtrlMapDump]",
               "1 9 0 7", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]", "z"});

std::uint32_t Permissions(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(ProcessPatch, RewritesInPlaceAndKeepsPermissions) {
    TempFolder folder;
    const std::string path = folder.Path("bass.pch");
    WriteFile(path, kPatch);
#ifdef _WIN32
    // Windows has no permission bits; what a user sees are the attributes.
    const std::wstring wide = fs::path(path).wstring();
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
#else
    fs::permissions(path, fs::perms(0640));
#endif
    ASSERT_TRUE(ProcessPatch(path, KnobControllerMap{}));
    EXPECT_EQ(ReadFile(path), kRewritten);
#ifdef _WIN32
    EXPECT_EQ(GetFileAttributesW(wide.c_str()),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
#else
    EXPECT_EQ(Permissions(path), 0640u);
#endif
    EXPECT_FALSE(fs::exists(path + "tmp"));
}

#ifdef _WIN32
TEST(ProcessPatch, APatchAnotherProgramHoldsOpenIsLeftAlone) {
    TempFolder folder;
    const std::string path = folder.Path("held.pch");
    WriteFile(path, kPatch);
    // Open as an editor might: sharing reads only, so it cannot be replaced.
    const HANDLE held = CreateFileW(fs::path(path).wstring().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const Result<std::string> rewritten = RewritePatchFile(path, KnobControllerMap{});
    CloseHandle(held);
    ASSERT_FALSE(rewritten);
    EXPECT_FALSE(rewritten.error().cause.empty()) << rewritten.error().Text();
    EXPECT_EQ(ReadFile(path), kPatch);
}

TEST(ProcessPatch, LongPathsAndDeviceNames) {
    TempFolder folder;
    std::string deep = folder.Root().string();
    for (char c = 'a'; c < 'g'; ++c) deep += "\\" + std::string(50, c);
    // Made through the long-path prefix, which the program must not need.
    const auto longPath = [](const std::string& path) { return fs::path("\\\\?\\" + path); };
    fs::create_directories(longPath(deep));
    for (const std::string& path :
         {deep + "\\bass.pch", folder.Path("nul.pch"), folder.Path("con.pch")}) {
        SCOPED_TRACE(path);
        std::ofstream(longPath(path), std::ios::binary) << kPatch;
        if (GetFileAttributesW(longPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
            // Wine takes such names for devices even behind the prefix.
            std::printf("no file %s can be made here; not tried\n", path.c_str());
            continue;
        }
        const Result<std::string> rewritten = RewritePatchFile(path, KnobControllerMap{});
        ASSERT_TRUE(rewritten) << rewritten.error().Text();
        std::ifstream in(longPath(path), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kRewritten);
    }
}
#endif

TEST(ProcessPatch, StaleTemporaryFileIsWrittenAfresh) {
    TempFolder folder;
    const std::string path = folder.Path("bass.pch");
    WriteFile(path, kPatch);
    WriteFile(path + "tmp", std::string(100000, 'x'));
    ASSERT_TRUE(ProcessPatch(path, KnobControllerMap{}));
    EXPECT_EQ(ReadFile(path), kRewritten);
}

// A temporary file is its writer's until it is put in place, discarded or
// let go: meanwhile another writer of the same name is refused and changes
// nothing.
TEST(ProcessPatch, ATemporaryFileHasOneWriterAtATime) {
    FileSystem& real = RealFileSystem();
    const struct {
        std::string_view end;
        std::string target;  // what the patch holds afterwards
        bool tmpLeft;
    } cases[] = {
        {"replace", kRewritten, false}, {"discard", kPatch, false}, {"let go", kPatch, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.end));
        TempFolder folder;
        const std::string path = folder.Path("bass.pch");
        WriteFile(path, kPatch);
        Result<std::unique_ptr<OutputFile>> held = real.CreateFresh(path + "tmp", 0644);
        ASSERT_TRUE(held) << held.error().Text();
        OutputFile& file = **held;
        ASSERT_TRUE(file.Write(kRewritten.data(), kRewritten.size()));
        ASSERT_TRUE(file.Close());
        const Result<std::unique_ptr<OutputFile>> other = real.CreateFresh(path + "tmp", 0644);
        ASSERT_FALSE(other);
        EXPECT_EQ(other.error().cause, "it is in use by another program");
        const FileStatus written = file.Status();
        if (c.end == "replace") {
            ASSERT_TRUE(file.Replace(path));
            const FileStatus placed = real.LinkStatus(path);
            EXPECT_NE(written.inode, 0u);
            EXPECT_EQ(placed.inode, written.inode);
            EXPECT_EQ(placed.device, written.device);
        } else if (c.end == "discard") {
            file.Discard();
        }
        held->reset();
        EXPECT_EQ(ReadFile(path), c.target);
        EXPECT_EQ(fs::exists(path + "tmp"), c.tmpLeft);
        if (c.tmpLeft) {
            EXPECT_EQ(ReadFile(path + "tmp"), kRewritten);
        }
    }
}

TEST(ProcessPatch, ALockHasOneHolderAtATime) {
    TempFolder folder;
    FileSystem& real = RealFileSystem();
    Result<std::unique_ptr<HeldLock>> first = real.TryLock(folder.Path("lock"));
    ASSERT_TRUE(first && *first);
    const Result<std::unique_ptr<HeldLock>> second = real.TryLock(folder.Path("lock"));
    ASSERT_TRUE(second);
    EXPECT_FALSE(*second);
    first->reset();
    const Result<std::unique_ptr<HeldLock>> third = real.TryLock(folder.Path("lock"));
    EXPECT_TRUE(third && *third);
}

// Every file operation of a rewrite, failing in turn: the call reports
// failure, the patch keeps its bytes, and a batch goes on to the next file.
TEST(ProcessPatch, EachFailingFileOperationLeavesThePatchIntact) {
    for (const Fault fault : {Fault::OpenRead, Fault::Read, Fault::Create, Fault::Write,
                              Fault::Flush, Fault::Close, Fault::Rename}) {
        SCOPED_TRACE(FaultName(fault));
        TempFolder folder;
        const std::string first = folder.Path("a.pch");
        const std::string second = folder.Path("b.pch");
        WriteFile(first, kPatch);
        WriteFile(second, kPatch);

        FaultyFileSystem faulty(fault);
        const Result<std::string> rewritten = RewritePatchFile(first, KnobControllerMap{}, faulty);
        ASSERT_FALSE(rewritten);
        EXPECT_EQ(rewritten.error().cause, test::kInjectedCause);
        EXPECT_EQ(faulty.Hits(), 1);
        EXPECT_EQ(ReadFile(first), kPatch);
        EXPECT_FALSE(fs::exists(first + "tmp"));

        TextStatusLog log;
        bool firstCall = true;
        const BatchSummary summary = RunDropBatch({first, second}, log, [&](const std::string& p) {
            Result<std::string> done = firstCall ? RewritePatchFile(p, KnobControllerMap{}, faulty)
                                                 : RewritePatchFile(p, KnobControllerMap{});
            firstCall = false;
            return done;
        });
        EXPECT_EQ(summary.errors, 1u);
        EXPECT_EQ(ReadFile(first), kPatch);
        EXPECT_EQ(ReadFile(second), kRewritten);
    }
}

TEST(ProcessPatch, RefusedFilesStayAsTheyWere) {
    TempFolder folder;
    const std::string readOnly = folder.Path("locked.pch");
    WriteFile(readOnly, kPatch);
    fs::permissions(readOnly, fs::perms(0444));
    const std::string binary = folder.Path("header.pch");
    const std::string binaryBytes(
        "\x7f"
        "ELF\0\0\r\n[CtrlMapDump]\n",
        21);
    WriteFile(binary, binaryBytes);
    const std::string folderPatch = folder.Path("dir.pch");
    fs::create_directory(folderPatch);
    const std::string badKnob = folder.Path("bad.pch");
    const std::string badBytes = CrLfLines({"[KnobMapDump]", "1 3 1 19x", "[/KnobMapDump]"});
    WriteFile(badKnob, badBytes);

    const struct {
        std::string path;
        std::string bytes;
        std::string reason;
    } cases[] = {{readOnly, kPatch, "is read-only"},
                 {binary, binaryBytes, "holds a NUL byte: not a text patch"},
                 {badKnob, badBytes, "line 2: knob \"19x\" is not a number"},
                 {folderPatch, "", "is a folder"},
                 {folder.Path("missing.pch"), "", "does not exist"}};
    for (const auto& c : cases) {
        const Result<std::string> outcome = RewritePatchFile(c.path, KnobControllerMap{});
        ASSERT_FALSE(outcome) << c.path;
        EXPECT_EQ(outcome.error().Text(), c.reason) << c.path;
        if (!c.bytes.empty()) {
            EXPECT_EQ(ReadFile(c.path), c.bytes) << c.path;
        }
    }
    EXPECT_EQ(Permissions(readOnly), 0444u);
    EXPECT_FALSE(fs::exists(readOnly + "tmp"));  // refused before anything was written
    EXPECT_TRUE(fs::is_directory(folderPatch));
}

TEST(ProcessPatch, LinkIsKeptAndItsTargetRewritten) {
    TempFolder folder;
    fs::create_directory(folder.Path("library"));
    const std::string real = folder.Path("library/real.pch");
    const std::string link = folder.Path("link.pch");
    WriteFile(real, kPatch);
    if (const std::string why = test::CannotLink(real, link); !why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(TemporaryPatchPath(link), real + "tmp");
    ASSERT_TRUE(ProcessPatch(link, KnobControllerMap{}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(real), kRewritten);
    fs::create_symlink(folder.Path("nowhere.pch"), folder.Path("dangling.pch"));
    EXPECT_FALSE(ProcessPatch(folder.Path("dangling.pch"), KnobControllerMap{}));
}

TEST(ProcessPatch, DropRewritesAndSyncsEachFolderOnce) {
    TempFolder folder;
    fs::create_directory(folder.Path("b"));
    const std::vector<std::string> paths = {folder.Path("1.pch"), folder.Path("2.pch"),
                                            folder.Path("b/3.pch"), folder.Path("bad.pch"),
                                            folder.Path("notes.txt")};
    for (const std::string& path : paths) WriteFile(path, kPatch);
    WriteFile(paths[3], "[KnobMapDump]\r\n1 3 1 x\r\n");
    FaultyFileSystem counting(Fault::None);
    TextStatusLog log;
    const BatchSummary summary = RunPatchDrop(paths, log, KnobControllerMap{}, counting);
    EXPECT_EQ(summary.errors, 1u);
    EXPECT_EQ(summary.skipped, 1u);
    EXPECT_EQ(counting.folderSyncs, 2);
    for (int i : {0, 1, 2}) EXPECT_EQ(ReadFile(paths[i]), kRewritten);
    EXPECT_EQ(ReadFile(paths[4]), kPatch);
    EXPECT_NE(log.Text().find("Processing " + paths[3] + "  ....  Error!\r\n"), std::string::npos);
}

TEST(ProcessPatch, PreviewWritesNothing) {
    TempFolder folder;
    const std::string path = folder.Path("bass.pch");
    WriteFile(path, kPatch);
    const Result<std::string> preview = PreviewPatchFile(path, KnobControllerMap{});
    ASSERT_TRUE(preview) << preview.error().Text();
    EXPECT_EQ(*preview,
              CrLfLines({"[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]"}));
    EXPECT_EQ(ReadFile(path), kPatch);
    EXPECT_FALSE(fs::exists(path + "tmp"));
    EXPECT_FALSE(PreviewPatchFile(folder.Path("missing.pch"), KnobControllerMap{}));
}

TEST(ProcessPatch, LargePatchStreamsThroughManyChunks) {
    TempFolder folder;
    const std::string path = folder.Path("big.pch");
    std::string patch;
    for (int i = 0; i < 100000; ++i) patch += "notes line " + std::to_string(i) + "\n";
    patch += kPatch;
    WriteFile(path, patch);
    ASSERT_TRUE(ProcessPatch(path, KnobControllerMap{}));
    EXPECT_EQ(ReadFile(path), RewritePatchText(patch, KnobControllerMap{})->text);
}

TEST(ProcessPatch, NotesLargerThanMemoryAreHeldInAScratchFile) {
    TempFolder folder;
    const std::string path = folder.Path("noted.pch");
    std::string patch = CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]", "[Notes]"});
    for (int i = 0; i < 20000; ++i) patch += "a long note, line " + std::to_string(i) + "\r\n";
    patch += "[/Notes]\r\n";
    ASSERT_GT(patch.size(), 4 * PatchRewriter::kHeldInMemory);
    WriteFile(path, patch);

    FaultyFileSystem noScratch(Fault::Scratch);
    EXPECT_FALSE(ProcessPatch(path, KnobControllerMap{}, noScratch));
    EXPECT_EQ(noScratch.Hits(), 1);
    EXPECT_EQ(ReadFile(path), patch);
    EXPECT_FALSE(PreviewPatchFile(path, KnobControllerMap{}, noScratch));

    const Result<std::string> preview = PreviewPatchFile(path, KnobControllerMap{});
    EXPECT_EQ(*preview, CrLfLines({"[CtrlMapDump]", "1 3 1 101", "[/CtrlMapDump]"}));
    ASSERT_TRUE(ProcessPatch(path, KnobControllerMap{}));
    EXPECT_EQ(ReadFile(path), RewritePatchText(patch, KnobControllerMap{})->text);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Root())) ++files;
    EXPECT_EQ(files, 1u);  // the scratch file left nothing behind
}

}  // namespace
}  // namespace pemberlock
