// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchOptions.h"
#include "bench/LargeLibrary.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pemberlock::bench {

// Seconds of each run, in the order run, unless said otherwise.

// 1, 2, 4 and 6, run in turns over the same library.
struct FileRuns {
    std::vector<double> core;
    std::vector<double> journal;  // 6
    std::vector<double> limit;
    std::vector<double> limitSyncedPerPatch;  // on the first compared patches
    std::vector<double> limitParallel;        // 4 threads on quarters of the files
    std::vector<double> limitGrouped;         // the same, 64 patches to one file-system sync
    std::vector<double> unsafeFloor;          // read, write, rename, nothing synced
    std::vector<double> coreSerial;           // one patch after the other, each flushed
    std::vector<double> cli;                  // pemberlock-cli as a user runs it
    std::vector<double> cliUndo;              // 8: pemberlock-cli --undo of that drop
    std::size_t compared = 0;
    std::vector<double> drops;
    std::vector<double> blocked;  // the longest the window's event loop waited, per drop
    std::vector<double> logOnlyDrops;
    std::vector<double> logOnlyCore;
    std::string windowWhy;            // why there are no drops
    std::vector<double> reportOpens;  // 7: Last Drop Report, until painted
    std::size_t reportRows = 0;
    std::size_t reportBytes = 0;         // what the window keeps of the report
    std::string reportWhy;               // why there are no report opens
    std::vector<double> previews;        // 11: Preview Folder… of the library
    std::vector<double> previewBlocked;  // the longest the event loop waited, per preview
    std::size_t previewRows = 0;
    std::size_t previewBytes = 0;  // what the shown preview holds
    std::string previewWhy;        // why there are no previews
};

// 3.
struct MemoryRuns {
    std::vector<double> rewrite;
    std::vector<double> streaming;
};

// 5, in MB but for the seconds.
struct PeakRuns {
    std::uint64_t bigBytes = 0;
    std::uint64_t smallBytes = 0;
    std::vector<double> bigPeak;  // above the baseline
    std::vector<double> bigBaseline;
    std::vector<double> bigSeconds;
    std::vector<double> smallPeak;
};

// 10: each drop and each in-memory pass once without the report and once
// with it (what each knob controls, named), in turn, so that the two of a
// pair meet the same machine.
struct NamesRuns {
    std::vector<double> dropWithout;
    std::vector<double> dropWith;
    std::vector<double> memoryWithout;
    std::vector<double> memoryWith;
};

struct StartupRuns {
    std::vector<double> seconds;
    std::string why;  // why there are none
};

struct Results {
    double libraryMb = 0;
    std::string fileSystem;  // of the temporary folder
    FileRuns files;
    MemoryRuns memory;
    PeakRuns peak;
    NamesRuns names;  // 10
    StartupRuns startup;
    LargeRuns large;  // 9
};

// Generates the library in a temporary folder and runs the chosen measures
// on it, saying on standard output how far it has come.
Results RunBench(const Options& options);

}  // namespace pemberlock::bench
