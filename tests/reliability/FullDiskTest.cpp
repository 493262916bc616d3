// SPDX-License-Identifier: GPL-3.0-or-later
// A disk that fills up in the middle of a batch. The disk is a tmpfs of a
// few hundred KiB mounted for the test on a fresh folder (mount(2) with
// "size=..."; needs root or CAP_SYS_ADMIN, as in CI). Where it cannot be
// mounted the tests are skipped and say why.

#include "TmpfsMount.h"
#include "tests/support/SerialDropBatch.h"
#include "tests/support/TempFolder.h"

#include "drop/DropBatch.h"
#include "map/MapFile.h"
#include "patch/PatchRewriter.h"
#include "patch/ProcessPatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunDropBatch;
using test::TempFolder;
using test::WriteFile;

#define SKIP_UNLESS_MOUNTED(disk)                                                            \
    if (!(disk).Mounted())                                                                   \
    GTEST_SKIP() << "cannot mount a size-limited tmpfs here (needs root or CAP_SYS_ADMIN): " \
                 << (disk).Why()

// About 40 KB with LF line ends; its rewrite is about a sixth larger, since
// every line end becomes CR LF, so every rewrite leaves the disk fuller.
std::string Patch(int n) {
    std::string text = "[Header]\nName=patch " + std::to_string(n) + "\n[/Header]\n";
    text += "[KnobMapDump]\n1 3 1 0\n0 7 2 " + std::to_string(n % 18) + "\n[/KnobMapDump]\n";
    text += "[CtrlMapDump]\n1 9 0 7\n1 4 0 103\n[/CtrlMapDump]\n";
    while (text.size() < 40000) text += std::to_string(n % 10) + " 2 3\n";
    return text;
}

TEST(FullDisk, EveryPatchIsItsOldOrItsCompleteNewBytes) {
    TempFolder folder;
    // 256 pages of 4 KiB: the 24 patches take 240 of them, and each rewrite
    // needs 12 pages beside its patch before the rename frees 10.
    test::TmpfsMount disk(folder.Path("disk"), 1 << 20);
    SKIP_UNLESS_MOUNTED(disk);

    const KnobControllerMap map;
    std::vector<std::string> paths;
    std::vector<std::string> originals;
    std::vector<std::string> rewritten;
    for (int i = 0; i < 24; ++i) {
        paths.push_back(disk.Path("patch" + std::to_string(i) + ".pch"));
        originals.push_back(Patch(i));
        rewritten.push_back(RewritePatchText(originals.back(), map)->text);
        WriteFile(paths.back(), originals.back());
        ASSERT_EQ(ReadFile(paths.back()), originals.back())
            << "the disk is too small for the patches";
    }

    TextStatusLog log;
    const BatchSummary summary = RunDropBatch(
        paths, log, [&](const std::string& path) { return RewritePatchFile(path, map); });
    std::printf("%llu of %zu rewritten before the disk was full\n",
                static_cast<unsigned long long>(summary.succeeded()), paths.size());
    EXPECT_GT(summary.succeeded(), 0u) << "the disk was full from the start";
    EXPECT_GT(summary.errors, 0u) << "the disk never filled up";

    std::size_t done = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        const std::string now = ReadFile(paths[i]);
        const bool isNew = now == rewritten[i];
        EXPECT_TRUE(isNew || now == originals[i]) << "size " << now.size();
        const bool reported =
            log.Text().find("Processing " + paths[i] + "  ....  Done.\r\n") != std::string::npos;
        EXPECT_EQ(isNew, reported) << "the log must say what happened to the patch";
        done += isNew ? 1 : 0;
    }
    EXPECT_EQ(done, summary.succeeded());

    // With the temporary files a failure leaves (its trace) and the patches
    // checked above gone, there is room again, and a patch the full disk
    // refused rewrites as usual.
    for (std::size_t i = 0; i < paths.size(); ++i) {
        fs::remove(paths[i] + "tmp");
        if (ReadFile(paths[i]) == rewritten[i]) fs::remove(paths[i]);
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (ReadFile(paths[i]) != originals[i]) continue;
        EXPECT_TRUE(ProcessPatch(paths[i], map)) << paths[i];
        EXPECT_EQ(ReadFile(paths[i]), rewritten[i]) << paths[i];
        break;
    }
}

TEST(FullDisk, SavingAMapOnAFullDiskKeepsTheOldMap) {
    TempFolder folder;
    test::TmpfsMount disk(folder.Path("disk"), 64 * 1024);
    SKIP_UNLESS_MOUNTED(disk);

    const std::string path = disk.Path("studio.mpn");
    const KnobControllerMap old;
    ASSERT_TRUE(SaveMap(old, path));
    const std::string oldBytes = ReadFile(path);
    // Fill every page that is left.
    {
        std::FILE* filler = std::fopen(disk.Path("filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }

    KnobControllerMap changed;
    changed.SetEntryText(0, "7");
    changed.SetPrecedence(1);
    EXPECT_FALSE(SaveMap(changed, path));
    EXPECT_EQ(ReadFile(path), oldBytes);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(disk.Path("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "studio.mpn"}))
        << "no temporary file stays behind";

    KnobControllerMap loaded = changed;
    ASSERT_TRUE(LoadMap(loaded, path));
    EXPECT_TRUE(loaded == old);
}

}  // namespace
}  // namespace pemberlock
