// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "cli/StopOnCtrlC.h"
#include "fileio/WindowsText.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

// Windows hands a narrow main its arguments in the local code page, which
// cannot hold every file name; the wide ones can, and become UTF-8 here.
int wmain(int argc, wchar_t** argv) {
    // The same bytes as everywhere else: LF line ends, paths in UTF-8.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(pemberlock::Narrow(argv[i]));
    const pemberlock::cli::CtrlCFlags ctrlC = pemberlock::cli::StopOnCtrlC();
    const pemberlock::cli::Console console{_isatty(_fileno(stdout)) != 0, ctrlC.stop,
                                           pemberlock::JournalPlaceFrom(), ctrlC.hurry};
    return pemberlock::cli::RunCommandLine(args, std::cout, std::cerr, pemberlock::RealFileSystem(),
                                           console);
}
