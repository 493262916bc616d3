// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace pemberlock::bench {

struct Options {
    std::size_t files = 10000;
    int runs = 5;
    std::uint64_t bigMegabytes = 200;
    std::uint64_t seed = 1;
    int startups = 10;
    std::size_t compareFiles = 1000;  // patches for the folder-fsync comparison
    std::size_t largeFiles = 100000;  // patches of the large library (9)
    std::string folder;               // where the temporary folder goes
    bool window = true;
    // 9, the large library, only when asked for: it takes minutes.
    std::set<std::string> only = {"1", "2", "3", "4", "5", "6", "7", "10", "11", "startup"};

    bool Chosen(const std::string& measure) const { return only.count(measure) > 0; }
    bool operator==(const Options&) const = default;
};

// The options in args (the program's name left out). nullopt when the
// benchmark ends here, with status set and what to say already said on out
// or err: 0 after --help, 2 after a usage error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::ostream& out,
                                    std::ostream& err, int& status);

}  // namespace pemberlock::bench
