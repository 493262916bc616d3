// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PeakMemory.h"

#include "bench/Measures.h"
#include "map/KnobControllerMap.h"
#include "patch/ProcessPatch.h"
#include "tests/support/PatchGenerator.h"
#include "tests/support/Process.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pemberlock::bench {
namespace {

long HighWaterKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

}  // namespace

PeakResult MeasurePeak(const std::string& path) {
    // A huge patch on a slow disk may take minutes.
    const test::ProcessResult child =
        test::RunProcess({SelfPath(), kPeakChildOption, path}, "", std::chrono::minutes(30));
    const std::string line = child.out.substr(0, child.out.find('\n'));
    if (child.status != 0) {
        throw std::runtime_error("peak child failed: " + line + child.err);
    }
    std::istringstream in(line);
    long before = 0;
    long after = 0;
    PeakResult result;
    if (!(in >> before >> after >> result.seconds)) {
        throw std::runtime_error("peak child said: " + line);
    }
    result.baselineMb = static_cast<double>(before) / 1024.0;
    result.peakMb = static_cast<double>(after) / 1024.0;
    return result;
}

int PeakChild(const std::string& path) {
    const KnobControllerMap map;
    const long before = HighWaterKilobytes();
    const Clock::time_point start = Clock::now();
    const Result<std::string> outcome = RewritePatchFile(path, map);
    const double seconds = SecondsSince(start);
    const long after = HighWaterKilobytes();
    if (!outcome) {
        std::printf("error %s\n", outcome.error().Text().c_str());
        return 1;
    }
    std::printf("%ld %ld %.6f\n", before, after, seconds);
    return 0;
}

void MakeHugePatch(const std::string& path, std::uint64_t seed, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    test::GenerateHugePatch(seed, bytes, [&](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    });
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace pemberlock::bench
