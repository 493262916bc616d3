// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "cli/StopOnCtrlC.h"

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The batch log is written through std::cout alone: no need to keep it
    // in step with C's stdout, which would cost a write per line in a pipe.
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const pemberlock::cli::CtrlCFlags ctrlC = pemberlock::cli::StopOnCtrlC();
    const pemberlock::cli::Console console{::isatty(STDOUT_FILENO) == 1, ctrlC.stop,
                                           pemberlock::JournalPlaceFrom(), ctrlC.hurry};
    return pemberlock::cli::RunCommandLine(args, std::cout, std::cerr, pemberlock::RealFileSystem(),
                                           console);
}
