// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchOptions.h"
#include "bench/BenchRun.h"

#include <vector>

namespace pemberlock::bench {

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
};

// All zero for no values.
Stats Summarize(std::vector<double> values);

// Prints the table of measures, the ratios between them and their targets,
// and the runs in order, on standard output.
void PrintReport(const Options& options, const Results& results);

}  // namespace pemberlock::bench
