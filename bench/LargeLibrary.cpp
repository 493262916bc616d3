// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/LargeLibrary.h"

#include "bench/Measures.h"
#include "bench/WindowBench.h"
#include "fileio/ChunkedReader.h"
#include "fileio/ContentHash.h"
#include "patch/PatchRewriter.h"
#include "tests/support/PatchGenerator.h"
#include "tests/support/Process.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <sys/resource.h>

namespace pemberlock::bench {
namespace {

constexpr std::size_t kPerFolder = 1000;

struct Expected {
    std::vector<std::string> paths;
    std::vector<ContentDigest> original;
    std::vector<ContentDigest> rewritten;  // with the default map
};

Expected WriteTree(const std::string& folder, const Options& options, LargeRuns& runs) {
    Expected expected;
    const KnobControllerMap map;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < options.largeFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/bank %03zu", i / kPerFolder);
        const std::string bank = folder + name;
        if (i % kPerFolder == 0) std::filesystem::create_directory(bank);
        std::snprintf(name, sizeof name, "/patch %06zu.pch", i);
        const std::string patch = test::GenerateLibraryPatch(options.seed, i);
        const Result<RewrittenPatch> rewritten = RewritePatchText(patch, map);
        if (!rewritten) throw std::runtime_error("a generated patch was refused");
        expected.paths.push_back(bank + name);
        expected.original.push_back(DigestOf(patch));
        expected.rewritten.push_back(DigestOf(rewritten->text));
        bytes += patch.size();
        std::ofstream out(expected.paths.back(), std::ios::binary);
        out.write(patch.data(), static_cast<std::streamsize>(patch.size()));
        if (!out) throw std::runtime_error("cannot write " + expected.paths.back());
    }
    runs.files = options.largeFiles;
    runs.folders = (options.largeFiles + kPerFolder - 1) / kPerFolder;
    runs.megabytes = static_cast<double>(bytes) / 1e6;
    ::sync();
    return expected;
}

void Check(const Expected& expected, const std::vector<ContentDigest>& digests, const char* what) {
    for (std::size_t i = 0; i < expected.paths.size(); ++i) {
        const Result<std::string> bytes = ReadWholeFile(RealFileSystem(), expected.paths[i]);
        if (!bytes || DigestOf(*bytes) != digests[i]) {
            throw std::runtime_error(std::string(what) + ": " + expected.paths[i] +
                                     " is not as it must be");
        }
    }
}

double Megabytes(long kilobytes) { return static_cast<double>(kilobytes) / 1024.0; }

double SelfPeakMb() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return Megabytes(usage.ru_maxrss);
}

// Runs pemberlock-cli with args on the library, its journal in state.
test::ProcessResult RunCli(std::vector<std::string> args, const std::string& folder,
                           const std::string& state, double& seconds) {
    args.insert(args.begin(), PEMBERLOCK_CLI_PATH);
    const Clock::time_point start = Clock::now();
    test::ProcessResult run =
        test::RunProcess(args, folder, std::chrono::minutes(60), {"XDG_STATE_HOME=" + state});
    seconds = SecondsSince(start);
    if (run.status != 0) {
        throw std::runtime_error("pemberlock-cli: exit " + std::to_string(run.status) + ": " +
                                 run.err.substr(0, 2000));
    }
    return run;
}

}  // namespace

LargeRuns RunLargeLibrary(const std::string& folder, const Options& options) {
    LargeRuns runs;
    std::printf("Generating %zu patches in folders of %zu in %s ...\n", options.largeFiles,
                kPerFolder, folder.c_str());
    std::fflush(stdout);
    const Expected expected = WriteTree(folder, options, runs);
    const std::string state = folder + "-state";

    std::printf("  pemberlock-cli --recursive, then --undo ...\n");
    std::fflush(stdout);
    runs.cliPeakMb = Megabytes(
        RunCli({"--recursive", "--", folder}, folder, state, runs.cliSeconds).peakKilobytes);
    Check(expected, expected.rewritten, "after pemberlock-cli --recursive");
    ::sync();
    runs.undoPeakMb = Megabytes(RunCli({"--undo"}, folder, state, runs.undoSeconds).peakKilobytes);
    Check(expected, expected.original, "after pemberlock-cli --undo");
    ::sync();

    if (!options.window) {
        runs.windowWhy = "skipped (--no-window)";
        return runs;
    }
    std::unique_ptr<WindowDropBench> window = CreateWindowDropBench(runs.windowWhy);
    if (!window) return runs;
    std::printf("  the window ...\n");
    std::fflush(stdout);
    runs.windowBaseMb = SelfPeakMb();
    std::string why;
    runs.windowSeconds = window->Drop(expected.paths, why);
    runs.windowPeakMb = SelfPeakMb();
    runs.windowBlocked = window->LongestBlockedSeconds();
    if (runs.windowSeconds < 0) {
        runs.windowWhy = why;
        return runs;
    }
    Check(expected, expected.rewritten, "after the window's drop");
    return runs;
}

}  // namespace pemberlock::bench
