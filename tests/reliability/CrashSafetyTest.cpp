// SPDX-License-Identifier: GPL-3.0-or-later
// Crash safety: pemberlock-cli is killed with SIGKILL at random moments while
// it rewrites a library of 2,000 patches. Whenever it dies, every patch must
// be byte for byte its original or its complete rewrite, and none missing.
// A "<patch>tmp" file beside a patch is allowed: it is the trace of the
// rewrite that was interrupted.
//
// The moments are drawn uniformly over the time an uninterrupted run takes.
// The library lives on a tmpfs mounted for the test, where a run takes about
// a second instead of ten or more (each rewrite waits for the disk twice).
// A kill ends only the process, never the kernel's page cache, so the disk
// underneath makes no difference to what a kill can leave behind. Where no
// tmpfs can be mounted the test uses the temporary folder and takes longer.
// Set PEMBERLOCK_CRASH_SEED to repeat a run; the seed used is printed.
//
// After each run, killed or not, pemberlock-cli --undo must bring back every
// patch the run replaced: its journal is written as it goes.

#include "TestLibrary.h"
#include "TmpfsMount.h"
#include "tests/support/PatchGenerator.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include "patch/PatchRewriter.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr int kPatches = 2000;
constexpr int kTrials = 20;

using Outcome = test::TestLibrary::Outcome;

class CrashSafety : public testing::Test {
protected:
    CrashSafety() : library_(kPatches) {}

    void FreshCopy(const std::string& root) const { library_.FreshCopy(root); }
    Outcome Check(const std::string& root) const { return library_.Check(root); }

    static std::vector<std::string> Command() {
        return {PEMBERLOCK_CLI_PATH, "--recursive", "--", "lib"};
    }

    // Each library at root has its own journal, at root/state.
    static void JournalAt(const std::string& root) {
        ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    }

    // Undoes the run at root, which had rewritten `rewritten` patches: all
    // are their originals afterwards.
    void ExpectUndone(const std::string& root, int rewritten) const {
        const test::ProcessResult undo =
            test::RunProcess({PEMBERLOCK_CLI_PATH, "--undo"}, root, std::chrono::minutes(5));
        // Nothing to undo (2) only when the run was killed before its first rename.
        if (rewritten > 0) {
            EXPECT_EQ(undo.status, 0) << undo.err;
        } else {
            EXPECT_TRUE(undo.status == 0 || undo.status == 2) << undo.status << undo.err;
        }
        EXPECT_EQ(Check(root).rewritten, 0) << undo.out << undo.err;
    }

    test::TestLibrary library_;
};

TEST_F(CrashSafety, KilledAtRandomMomentsNoPatchIsLostOrHalfWritten) {
    TempFolder folder;
    const test::TmpfsMount ram(folder.Path("ram"), 512u << 20);
    if (!ram.Mounted())
        std::printf("no tmpfs (%s): the library stays on disk\n", ram.Why().c_str());
    const fs::path root = ram.Mounted() ? folder.Path("ram") : folder.Path("disk");
    auto Place = [&](const std::string& name) { return (root / name).string(); };
    // Uninterrupted runs, for the time the kills are spread over: the
    // shorter of two, since a busy machine may slow one of them down.
    auto fullRun = std::chrono::microseconds::max();
    for (int run = 0; run < 2; ++run) {
        FreshCopy(Place("full"));
        JournalAt(Place("full"));
        const auto start = Clock::now();
        const test::ProcessResult full =
            test::RunProcess(Command(), Place("full"), std::chrono::minutes(5));
        fullRun = std::min(
            fullRun, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
        ASSERT_EQ(full.status, 0) << full.err;
        const Outcome complete = Check(Place("full"));
        ASSERT_EQ(complete.rewritten, kPatches);
        ASSERT_EQ(complete.leftovers, 0);
        if (run == 0) ExpectUndone(Place("full"), kPatches);
        fs::remove_all(Place("full"));
    }

    unsigned seed = std::random_device()();
    if (const char* fixed = std::getenv("PEMBERLOCK_CRASH_SEED"))
        seed = static_cast<unsigned>(std::stoul(fixed));
    std::printf("uninterrupted run: %lld ms; seed %u\n",
                static_cast<long long>(fullRun.count() / 1000), seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> moment(0, fullRun.count());

    int midway = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::string root = Place("trial" + std::to_string(trial));
        FreshCopy(root);
        JournalAt(root);
        const auto delay = std::chrono::microseconds(moment(random));
        const pid_t pid = test::StartProcess(Command(), root);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const bool killed = WIFSIGNALED(status);

        const Outcome outcome = Check(root);
        std::printf(
            "trial %2d: killed after %6lld us%s: %4d rewritten, %4d original, %d tmp left\n", trial,
            static_cast<long long>(delay.count()), killed ? "" : " (had ended)", outcome.rewritten,
            outcome.original, outcome.leftovers);
        if (!HasFailure()) ExpectUndone(root, outcome.rewritten);
        if (HasFailure()) {
            const fs::path kept =
                fs::temp_directory_path() / ("pemberlock-crash-" + std::to_string(seed));
            std::error_code ignored;
            fs::copy(root, kept, fs::copy_options::recursive, ignored);
            std::printf("library kept for inspection: %s\n", kept.c_str());
            return;
        }
        midway += outcome.rewritten > 0 && outcome.original > 0 ? 1 : 0;
        fs::remove_all(root);
    }
    // The kills must have hit the batch while it worked, not only before or after it.
    EXPECT_GE(midway, kTrials / 4);
}

// Two quick Ctrl+Cs: the program ends within a moment, and yet every
// patch it put in place has its "Done." line and its journal entry, and no
// temporary file is left.
TEST_F(CrashSafety, TwoCtrlCsLeaveNoTemporaryFileAndLogEveryPatchInPlace) {
    TempFolder folder;
    const test::TmpfsMount ram(folder.Path("ram"), 512u << 20);
    const std::string base = ram.Mounted() ? folder.Path("ram") : folder.Path("disk");
    std::mt19937 random(std::random_device{}());
    for (int trial = 0; trial < 8; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const std::string root = base + "/trial" + std::to_string(trial);
        FreshCopy(root);
        JournalAt(root);
        const pid_t pid = test::StartProcess(
            {"/bin/sh", "-c",
             "exec " + std::string(PEMBERLOCK_CLI_PATH) + " --recursive -- lib >out 2>err"},
            root);
        // Once it holds the journal, it has long taken Ctrl+C in hand.
        for (int wait = 0; wait < 5000 && !fs::exists(root + "/state/pemberlock/journal/lock");
             ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 120));
        ::kill(pid, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 5));
        ::kill(pid, SIGINT);
        const auto start = Clock::now();
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
        const Outcome outcome = Check(root);
        const std::string out = ReadFile(root + "/out");
        int done = 0;
        for (std::size_t at = out.find("Done."); at != std::string::npos;
             at = out.find("Done.", at + 1))
            ++done;
        EXPECT_EQ(outcome.leftovers, 0);
        EXPECT_EQ(done, outcome.rewritten) << ReadFile(root + "/err");
        // 0 when it had finished before the first one.
        EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 130 || WEXITSTATUS(status) == 0));
        ExpectUndone(root, outcome.rewritten);
        if (HasFailure()) return;
        fs::remove_all(root);
    }
}

}  // namespace
}  // namespace pemberlock
