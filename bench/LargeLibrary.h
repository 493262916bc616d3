// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchOptions.h"

#include <cstddef>
#include <string>

namespace pemberlock::bench {

// 9: a library as large as a long-time owner's, in a tree of folders, as
// pemberlock-cli --recursive and the window take it whole.
struct LargeRuns {
    std::size_t files = 0;
    std::size_t folders = 0;
    double megabytes = 0;
    double cliSeconds = -1;   // pemberlock-cli --recursive, journal on
    double cliPeakMb = 0;     // its high-water mark
    double undoSeconds = -1;  // pemberlock-cli --undo of that drop
    double undoPeakMb = 0;
    double windowSeconds = -1;  // the same drop on the window, offscreen
    double windowBaseMb = 0;    // the benchmark's high-water mark before it
    double windowPeakMb = 0;    // and after it: the window's share is the difference
    double windowBlocked = 0;   // the longest the window's event loop waited
    std::string windowWhy;      // why there is no window drop
};

// Writes the library below folder (which must exist), drops it, checks
// every patch byte for byte after the drop and after its undo, then drops
// it on the window. Throws when a patch is not as it must be.
LargeRuns RunLargeLibrary(const std::string& folder, const Options& options);

}  // namespace pemberlock::bench
