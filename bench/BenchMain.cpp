// SPDX-License-Identifier: GPL-3.0-or-later
// pemberlock-bench: how close rewriting a whole patch library comes to what
// the machine allows. See the README's "Benchmarks" section.

#include "bench/BenchOptions.h"
#include "bench/BenchRun.h"
#include "bench/PeakMemory.h"
#include "bench/Report.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace pemberlock::bench;
    if (argc == 3 && std::strcmp(argv[1], kPeakChildOption) == 0) return PeakChild(argv[2]);
    int status = 0;
    const std::optional<Options> options =
        ParseOptions(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, status);
    if (!options) return status;
    try {
        PrintReport(*options, RunBench(*options));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pemberlock-bench: %s\n", e.what());
        return 1;
    }
}
