// SPDX-License-Identifier: GPL-3.0-or-later
// Two programs at once: real pemberlock-cli processes on one library, as
// when the window and the command line (or two command lines) drop on the
// same folder, an undo is asked for while a drop runs, or an editor saves a
// patch while it is being rewritten. No patch may be lost, half-written or
// reported done when it is not, and an undo must take back exactly what was
// done. The libraries live on a tmpfs where one can be mounted.

#include "TestLibrary.h"
#include "TmpfsMount.h"
#include "tests/support/PatchGenerator.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ProcessResult;

constexpr int kPatches = 800;
constexpr int kTrials = 4;
constexpr const char* kWaiting = "Waiting for another drop to finish…";

std::vector<std::string> Drop(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{PEMBERLOCK_CLI_PATH, "--recursive"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"--", "lib"});
    return args;
}

std::string StateAt(const std::string& folder) { return "XDG_STATE_HOME=" + folder; }

int Count(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class Concurrency : public testing::Test {
protected:
    Concurrency() : library_(kPatches), ram_(folder_.Path("ram"), 1024u << 20) {}

    std::string Root(const std::string& name) const {
        return (ram_.Mounted() ? folder_.Path("ram") : folder_.Path("disk")) + "/" + name;
    }

    // Every patch out reports "Done." holds its rewrite now: nothing
    // reported done was undone or half-done by the other program.
    void ExpectDoneMeansRewritten(const std::string& root, const std::string& out) const {
        std::istringstream lines(out);
        const std::string prefix = "Processing lib/p";
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) != 0 || line.find("Done.") == std::string::npos) continue;
            const int index = std::stoi(line.substr(prefix.size(), 4));
            EXPECT_EQ(test::ReadFile(root + "/lib/" + test::TestLibrary::Name(index)),
                      library_.Rewritten(index))
                << line;
        }
    }

    // Undoes every drop recorded at state until there is nothing left: every
    // patch of root is its original again.
    void UndoAll(const std::string& root, const std::string& state) const {
        for (int undo = 0; undo < 4; ++undo) {
            const ProcessResult run =
                test::RunProcess({PEMBERLOCK_CLI_PATH, "--undo"}, root, 2min, {StateAt(state)});
            if (run.status == 2) break;
            EXPECT_EQ(run.status, 0) << run.out << run.err;
        }
        EXPECT_EQ(library_.Check(root).rewritten, 0);
    }

    test::TestLibrary library_;
    test::TempFolder folder_;
    test::TmpfsMount ram_;
};

TEST_F(Concurrency, TwoProgramsOnOneLibraryLoseNothing) {
    struct Row {
        const char* name;
        bool oneJournal;  // else each its own, as two users' would be
        bool kill;        // the first is killed part-way
    };
    const Row rows[] = {{"one journal", true, false},
                        {"one journal, one killed", true, true},
                        {"two journals", false, false},
                        {"two journals, one killed", false, true}};
    std::mt19937 random(std::random_device{}());
    int trial = 0;
    for (const Row& row : rows) {
        for (int i = 0; i < kTrials; ++i, ++trial) {
            SCOPED_TRACE(std::string(row.name) + ", trial " + std::to_string(i));
            const std::string root = Root("two" + std::to_string(trial));
            library_.FreshCopy(root);
            const std::string first = root + "/state1";
            const std::string second = row.oneJournal ? first : root + "/state2";
            const int pid = test::StartProcess(Drop(), root, {StateAt(first)});
            ProcessResult other;
            std::thread run(
                [&] { other = test::RunProcess(Drop(), root, 2min, {StateAt(second)}); });
            if (row.kill) {
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
                ::kill(pid, SIGKILL);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            run.join();
            const test::TestLibrary::Outcome outcome = library_.Check(root);
            if (!row.kill) {
                EXPECT_EQ(outcome.leftovers, 0);
            }
            // With one journal the two drops take turns and nothing fails;
            // else a patch the other holds is busy ("Error!", left alone).
            if (row.oneJournal) {
                if (!row.kill) {
                    EXPECT_EQ(WEXITSTATUS(status), 0);
                }
                EXPECT_EQ(other.status, 0) << other.err;
            }
            EXPECT_EQ(Count(other.out, "Done.") + Count(other.out, "Error!"), library_.Count());
            EXPECT_EQ(outcome.rewritten + outcome.original, library_.Count());
            ExpectDoneMeansRewritten(root, other.out);
            if (row.oneJournal) {
                EXPECT_EQ(outcome.rewritten, library_.Count());
                UndoAll(root, first);
            }
            std::printf("%s: %d rewritten, %d original, %d Error! lines, %d tmp left %s\n",
                        row.name, outcome.rewritten, outcome.original, Count(other.out, "Error!"),
                        outcome.leftovers, other.err.substr(0, other.err.find('\n')).c_str());
            if (HasFailure()) return;
            fs::remove_all(root);
        }
    }
}

TEST_F(Concurrency, AnUndoWaitsForTheDropAndTakesBackAllOfIt) {
    const std::string root = Root("undo");
    library_.FreshCopy(root);
    const std::string state = root + "/state";
    ProcessResult drop;
    std::thread running([&] { drop = test::RunProcess(Drop(), root, 2min, {StateAt(state)}); });
    // Once the drop holds the library, the undo starts.
    for (int wait = 0; wait < 2000 && !fs::exists(state + "/pemberlock/journal/lock"); ++wait)
        std::this_thread::sleep_for(1ms);
    const ProcessResult undo =
        test::RunProcess({PEMBERLOCK_CLI_PATH, "--undo"}, root, 2min, {StateAt(state)});
    running.join();
    ASSERT_EQ(drop.status, 0) << drop.err;
    EXPECT_EQ(undo.status, 0) << undo.err;
    const std::string all = std::to_string(library_.Count());
    EXPECT_NE(undo.out.find(all + " of " + all + " files restored."), std::string::npos)
        << undo.out;
    EXPECT_EQ(library_.Check(root).rewritten, 0);

    // Two undos at once: one takes back the next drop, the other then finds
    // nothing left to undo; neither reports a patch it did not restore.
    ASSERT_EQ(test::RunProcess(Drop(), root, 2min, {StateAt(state)}).status, 0);
    ProcessResult undos[2];
    std::thread second([&] {
        undos[1] = test::RunProcess({PEMBERLOCK_CLI_PATH, "--undo"}, root, 2min, {StateAt(state)});
    });
    undos[0] = test::RunProcess({PEMBERLOCK_CLI_PATH, "--undo"}, root, 2min, {StateAt(state)});
    second.join();
    EXPECT_EQ(undos[0].status + undos[1].status, 2) << undos[0].err << undos[1].err;
    EXPECT_EQ(Count(undos[0].out + undos[1].out, "Error!"), 0);
    EXPECT_EQ(library_.Check(root).rewritten, 0);
}

// An editor saves a large patch in place (truncated, then written in
// pieces) while a drop reads it: the drop must never put in place the
// rewrite of a half-saved patch. The save has written half when the drop
// opens the patch (watched with inotify), and goes on at once, while the
// drop is still reading and rewriting what it found.
TEST_F(Concurrency, APatchSavedWhileItIsRewrittenIsLeftAlone) {
    constexpr std::uint64_t kBytes = 24u << 20;
    constexpr std::size_t kPiece = 1u << 20;
    std::string before;
    std::string saved;
    test::GenerateHugePatch(1, kBytes, [&](std::string_view piece) { before += piece; });
    test::GenerateHugePatch(2, kBytes, [&](std::string_view piece) { saved += piece; });
    const std::string rewritten = RewritePatchText(saved, KnobControllerMap{})->text;
    int leftAlone = 0;
    for (const bool journal : {true, false}) {
        for (int trial = 0; trial < kTrials; ++trial) {
            SCOPED_TRACE(std::string(journal ? "journal" : "no journal") + ", trial " +
                         std::to_string(trial));
            const std::string root = Root("saved" + std::to_string(trial));
            fs::create_directories(root + "/lib");
            const std::string patch = root + "/lib/big.pch";
            test::WriteFile(patch, before);
            const int out = ::open(patch.c_str(), O_WRONLY | O_TRUNC);
            ASSERT_GE(out, 0);
            const std::size_t half = saved.size() / 2;
            ASSERT_EQ(::write(out, saved.data(), half), static_cast<ssize_t>(half));
            const int watch = ::inotify_init1(IN_CLOEXEC);
            ASSERT_GE(::inotify_add_watch(watch, patch.c_str(), IN_OPEN), 0);
            ProcessResult drop;
            std::vector<std::string> extra;
            if (!journal) extra.push_back("--no-journal");
            std::thread running([&] {
                drop = test::RunProcess(Drop(extra), root, 2min, {StateAt(root + "/state")});
            });
            char event[256];
            ASSERT_GT(::read(watch, event, sizeof event), 0);
            ::close(watch);
            for (std::size_t at = half; at < saved.size(); at += kPiece) {
                const std::size_t size = std::min(kPiece, saved.size() - at);
                ASSERT_EQ(::write(out, saved.data() + at, size), static_cast<ssize_t>(size));
            }
            ::close(out);
            running.join();
            const std::string now = test::ReadFile(patch);
            if (drop.status == 0) {
                EXPECT_TRUE(now == rewritten) << "a half-saved patch was rewritten";
            } else {
                EXPECT_EQ(drop.status, 1) << drop.out << drop.err;
                EXPECT_NE(drop.err.find("was changed while it was being rewritten"),
                          std::string::npos)
                    << drop.err;
                EXPECT_TRUE(now == saved) << "the saved patch was replaced";
                ++leftAlone;
            }
            EXPECT_FALSE(fs::exists(patch + "tmp"));
            if (HasFailure()) return;
            fs::remove_all(root);
        }
    }
    std::printf("left alone in %d of %d trials; the others read the whole saved patch\n", leftAlone,
                2 * kTrials);
    // The drops must have met the save part-way, not only after it.
    EXPECT_GE(leftAlone, kTrials);
}

}  // namespace
}  // namespace pemberlock
