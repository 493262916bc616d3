// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace pemberlock::bench {

// 5: the memory a file-to-file rewrite of one patch adds. The rewrite runs
// in a process of its own, whose high-water mark nothing else has raised.

struct PeakResult {
    double baselineMb = 0;  // high-water mark before the rewrite
    double peakMb = 0;      // and after it
    double seconds = 0;
};

// Starts this program as the child below on path and reads what it found.
PeakResult MeasurePeak(const std::string& path);

// The child's side: rewrites the patch at path and prints the high-water
// marks before and after, in KB, and the seconds it took.
int PeakChild(const std::string& path);

// The option that makes this program the child.
inline constexpr const char* kPeakChildOption = "--peak-child";

// Writes a generated patch of about bytes to path, never holding it whole.
void MakeHugePatch(const std::string& path, std::uint64_t seed, std::uint64_t bytes);

}  // namespace pemberlock::bench
