// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace pemberlock::test {

struct ProcessResult {
    int status = -1;  // exit status; -1 when killed or not started
    bool timedOut = false;
    std::string out;
    std::string err;
    // From the start until the first whole line of out had arrived (zero if
    // none did): when a program says it is ready, not when it has ended.
    std::chrono::steady_clock::duration untilFirstLine{};
    // Its high-water mark of memory, where the system tells (else 0).
    long peakKilobytes = 0;
};

// Runs args[0] with args (no shell, so every byte of every argument arrives
// as given; in UTF-8 on Windows) in folder, collecting its output. Kills it
// after timeout. environment holds NAME=value entries to set for it alone.
ProcessResult RunProcess(std::vector<std::string> args, const std::string& folder,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60),
                         const std::vector<std::string>& environment = {});

#ifndef _WIN32
// Starts args[0] with args in folder, its output thrown away. The caller
// kills or waits for the returned process.
int StartProcess(std::vector<std::string> args, const std::string& folder,
                 const std::vector<std::string>& environment = {});
#endif

}  // namespace pemberlock::test
