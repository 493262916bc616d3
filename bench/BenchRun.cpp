// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchRun.h"

#include "bench/Library.h"
#include "bench/Measures.h"
#include "bench/PeakMemory.h"
#include "bench/WindowBench.h"
#include "fileio/ChunkedReader.h"
#include "fileio/ContentHash.h"
#include "journal/UndoJournal.h"
#include "map/KnobControllerMap.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

#include <unistd.h>

namespace pemberlock::bench {
namespace {

std::vector<ContentDigest> DigestsOf(const std::vector<std::string>& paths) {
    std::vector<ContentDigest> digests;
    for (const std::string& path : paths) {
        const Result<std::string> bytes = ReadWholeFile(RealFileSystem(), path);
        if (!bytes) throw std::runtime_error(path + ": " + bytes.error().Text());
        digests.push_back(DigestOf(*bytes));
    }
    return digests;
}

// The journal as it is after many drops: full, so that each timed drop
// also removes the oldest one, as a user's drops do.
void FillJournal(const Library& library, const KnobControllerMap& map,
                 const std::string& journalFolder) {
    std::printf("Filling the journal with %zu drops ...\n", UndoJournal::kKeptDrops);
    std::fflush(stdout);
    for (std::size_t drop = 0; drop < UndoJournal::kKeptDrops; ++drop) {
        RunCoreBatchWithJournal(library.paths, map, journalFolder);
    }
}

MemoryRuns RunMemoryMeasures(const Library& library, const KnobControllerMap& map, int runs) {
    MemoryRuns memory;
    for (int run = 0; run < runs; ++run) {
        memory.rewrite.push_back(RunInMemory(library.patches, map));
        memory.streaming.push_back(RunStreamingInMemory(library.patches, map));
    }
    return memory;
}

NamesRuns RunNamesMeasures(const Library& library, const KnobControllerMap& map, int runs) {
    std::printf("  drops with and without the report, %d pairs ...\n", runs);
    std::fflush(stdout);
    RunCoreBatch(library.paths, map);  // the library as every timed drop leaves it
    NamesRuns names;
    for (int run = 0; run < runs; ++run) {
        // Which goes first turns each run, so neither always finds the
        // other's cache or writeback.
        for (int side = 0; side < 2; ++side) {
            if ((run + side) % 2 == 0) {
                names.dropWithout.push_back(RunCoreBatch(library.paths, map));
                names.memoryWithout.push_back(RunInMemory(library.patches, map));
            } else {
                names.dropWith.push_back(RunCoreBatchReported(library.paths, map));
                names.memoryWith.push_back(RunInMemory(library.patches, map, true));
            }
        }
    }
    return names;
}

// One drop on the window; a failed one ends the window's part.
void DropOnWindow(std::unique_ptr<WindowDropBench>& window, const Library& library,
                  FileRuns& runs) {
    std::string why;
    const double seconds = window->Drop(library.paths, why);
    if (seconds < 0) {
        runs.windowWhy = why;
        window.reset();
    } else {
        runs.drops.push_back(seconds);
        runs.blocked.push_back(window->LongestBlockedSeconds());
    }
}

// What the window adds to a drop, apart from the disk: the same drop with
// the file work left out, against the core batch doing the same.
void RunLogOnly(WindowDropBench& window, const Library& library, int count, FileRuns& runs) {
    window.SetLogOnly(true);
    for (int run = 0; run < count; ++run) {
        runs.logOnlyCore.push_back(RunLogOnlyCoreBatch(library.paths));
        std::string why;
        const double seconds = window.Drop(library.paths, why);
        if (seconds < 0) throw std::runtime_error("window drop, log only: " + why);
        runs.logOnlyDrops.push_back(seconds);
    }
    window.SetLogOnly(false);
}

// 7: a real drop (the log-only ones fail every patch), then its report
// opened again and again.
void RunReportOpens(WindowDropBench& window, const Library& library, int count, FileRuns& runs) {
    std::printf("  Last Drop Report, %d times ...\n", count);
    std::fflush(stdout);
    if (window.Drop(library.paths, runs.reportWhy) < 0) return;
    runs.reportBytes = window.ReportBytes();
    for (int run = 0; run < count; ++run) {
        const double seconds = window.OpenReport(runs.reportRows, runs.reportWhy);
        if (seconds < 0) return;
        if (runs.reportRows != library.paths.size()) {
            runs.reportWhy = "the report shows " + std::to_string(runs.reportRows) + " rows";
            return;
        }
        runs.reportOpens.push_back(seconds);
    }
}

// 11: the library's folder previewed in the window, as a user chooses it.
void RunPreviews(WindowDropBench& window, const std::string& folder, int count, FileRuns& runs) {
    std::printf("  Preview Folder…, %d times ...\n", count);
    std::fflush(stdout);
    for (int i = 0; i < count; ++i) {
        const double seconds =
            window.PreviewFolder(folder, runs.previewRows, runs.previewBytes, runs.previewWhy);
        if (seconds < 0) return;
        runs.previews.push_back(seconds);
        runs.previewBlocked.push_back(window.LongestBlockedSeconds());
    }
}

FileRuns RunFileMeasures(const Library& library, const std::string& folder,
                         const KnobControllerMap& map, const Options& options) {
    const bool core = options.Chosen("1");
    const bool limit = options.Chosen("2");
    const bool drop = options.Chosen("4") && options.window;
    const bool journal = options.Chosen("6");
    const bool report = options.Chosen("7") && options.window;
    const bool preview = options.Chosen("11") && options.window;
    const std::string journalFolder = folder + "-journal";
    FileRuns runs;
    runs.windowWhy = options.window ? "not chosen (--only)" : "skipped (--no-window)";
    runs.reportWhy = runs.windowWhy;
    runs.previewWhy = runs.windowWhy;
    std::unique_ptr<WindowDropBench> window;
    if (drop || report || preview) window = CreateWindowDropBench(runs.windowWhy);

    // One untimed rewrite: it adds the controller section, after which every
    // pass sees the same bytes.
    if (core || drop || report || preview) RunCoreBatch(library.paths, map);
    if (journal) FillJournal(library, map, journalFolder);
    ::sync();
    // The comparison with a folder fsync runs on a part of the library only:
    // it explains a ratio and need not cost as long as the measures.
    runs.compared = std::min(options.compareFiles, library.paths.size());
    const std::vector<std::string> compared(
        library.paths.begin(), library.paths.begin() + static_cast<std::ptrdiff_t>(runs.compared));

    for (int run = 0; (core || limit || drop || journal) && run < options.runs; ++run) {
        std::printf("  run %d of %d ...\n", run + 1, options.runs);
        std::fflush(stdout);
        const auto doLimit = [&] {
            if (limit) runs.limit.push_back(RunLimit(library.paths, folder, false));
        };
        const auto doCore = [&] {
            if (core) runs.core.push_back(RunCoreBatch(library.paths, map));
        };
        const auto doJournal = [&] {
            if (journal) {
                runs.journal.push_back(RunCoreBatchWithJournal(library.paths, map, journalFolder));
            }
        };
        // Turn the order round so that no side always follows the same other.
        const std::function<void()> sides[] = {doLimit, doCore, doJournal};
        for (int side = 0; side < 3; ++side) sides[(run + side) % 3]();
        if (limit) {
            const double seconds = RunLimit(compared, folder, true);
            runs.limitSyncedPerPatch.push_back(seconds / static_cast<double>(runs.compared));
            runs.limitParallel.push_back(RunLimitParallel(library.paths, 4));
            runs.limitGrouped.push_back(RunLimitGrouped(library.paths, 4, 64));
            runs.unsafeFloor.push_back(RunUnsafeFloor(library.paths));
        }
        if (core) {
            runs.coreSerial.push_back(RunCoreBatchSerial(library.paths, map));
            // With another map, so that the drop changes every patch; its
            // undo must bring back every one byte for byte.
            const std::vector<ContentDigest> before = DigestsOf(library.paths);
            runs.cli.push_back(RunCliProgram(folder, library.paths.size(), folder + "-state",
                                             WriteOtherMap(folder)));
            runs.cliUndo.push_back(RunCliUndo(folder, library.paths.size(), folder + "-state"));
            if (DigestsOf(library.paths) != before) {
                throw std::runtime_error("pemberlock-cli --undo left a patch changed");
            }
        }
        if (window && drop) DropOnWindow(window, library, runs);
    }
    if (window && drop) RunLogOnly(*window, library, options.runs, runs);
    if (report && !window) runs.reportWhy = runs.windowWhy;
    if (window && report) RunReportOpens(*window, library, options.runs, runs);
    if (preview && !window) runs.previewWhy = runs.windowWhy;
    if (window && preview) RunPreviews(*window, folder, options.runs, runs);
    return runs;
}

// One huge patch, and one a tenth of its size to show that the peak does
// not follow the size.
PeakRuns RunPeakMeasures(const std::string& folder, const Options& options) {
    PeakRuns peak;
    peak.bigBytes = options.bigMegabytes * 1000 * 1000;
    peak.smallBytes = std::max<std::uint64_t>(peak.bigBytes / 10, 1000 * 1000);
    const std::string bigPath = folder + "/huge.pch";
    const std::string smallPath = folder + "/large.pch";
    for (int run = 0; run < options.runs; ++run) {
        // Made again each time: the rewrite adds a section.
        MakeHugePatch(bigPath, options.seed, peak.bigBytes);
        const PeakResult big = MeasurePeak(bigPath);
        peak.bigPeak.push_back(big.peakMb - big.baselineMb);
        peak.bigBaseline.push_back(big.baselineMb);
        peak.bigSeconds.push_back(big.seconds);
        MakeHugePatch(smallPath, options.seed, peak.smallBytes);
        const PeakResult small = MeasurePeak(smallPath);
        peak.smallPeak.push_back(small.peakMb - small.baselineMb);
    }
    std::filesystem::remove(bigPath);
    std::filesystem::remove(smallPath);
    return peak;
}

StartupRuns RunStartups(const Options& options) {
    StartupRuns startup;
    startup.why = options.window ? "not chosen (--only)" : "skipped (--no-window)";
    if (!options.Chosen("startup") || !options.window) return startup;
    const std::filesystem::path probe =
        std::filesystem::path(SelfPath()).parent_path() / "pemberlock-bench-startup";
    if (!WindowBuilt() || !std::filesystem::exists(probe)) {
        startup.why = "the window was not built";
        return startup;
    }
    for (int i = 0; i < options.startups; ++i) {
        startup.seconds.push_back(RunStartup(probe.string()));
    }
    return startup;
}

}  // namespace

Results RunBench(const Options& options) {
    const TempFolder temp(options.folder);
    const std::string folder = temp.Path() + "/library";
    std::filesystem::create_directory(folder);
    const KnobControllerMap map;  // knob i to controller 101 + i, option off

    Results results;
    if (options.Chosen("9")) {
        const std::string large = temp.Path() + "/large";
        std::filesystem::create_directory(large);
        results.large = RunLargeLibrary(large, options);
        std::filesystem::remove_all(large);
    }
    const bool anyOther = std::any_of(options.only.begin(), options.only.end(),
                                      [](const std::string& m) { return m != "9"; });
    if (!anyOther) return results;

    std::printf("Generating %zu patches (seed %llu) in %s ...\n", options.files,
                static_cast<unsigned long long>(options.seed), temp.Path().c_str());
    std::fflush(stdout);
    const Library library = WriteLibrary(folder, options.seed, options.files);

    results.libraryMb = static_cast<double>(library.bytes) / 1e6;
    results.fileSystem = FileSystemName(temp.Path());
    // 3 first, before the file measures leave the disk busy.
    if (options.Chosen("3")) results.memory = RunMemoryMeasures(library, map, options.runs);
    results.files = RunFileMeasures(library, folder, map, options);
    if (options.Chosen("10")) results.names = RunNamesMeasures(library, map, options.runs);
    if (options.Chosen("5")) results.peak = RunPeakMeasures(temp.Path(), options);
    // Start-up: a fresh process each time, offscreen, until the first frame.
    results.startup = RunStartups(options);
    return results;
}

}  // namespace pemberlock::bench
