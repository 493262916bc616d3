// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "journal/JournalPlace.h"

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace pemberlock::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitPatchFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 130;  // as a shell reports a program Ctrl+C ended

// Where the command runs.
struct Console {
    // A person watches out: each line is shown as soon as its patch is done.
    // Otherwise (a pipe, a file) out is written in large blocks.
    bool outIsTerminal = false;
    // Set (by Ctrl+C) to stop after the patches in hand.
    const std::atomic<bool>* stop = nullptr;
    // Where drops are recorded for --undo and --history; by default nowhere.
    JournalPlace journal;
    // Set (by a second Ctrl+C) to end within a moment: the patches not yet
    // in place are given up.
    const std::atomic<bool>* hurry = nullptr;
};

// The command-line tool: args are its arguments without the program name,
// in UTF-8. The batch log goes to out; messages for people to err. Returns
// the exit status.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   FileSystem& fs = RealFileSystem(), const Console& console = {});

}  // namespace pemberlock::cli
