// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <functional>
#include <optional>
#include <string>

namespace pemberlock {

// Where the journal of drops is kept, or why there is none.
struct JournalPlace {
    std::string folder;            // empty: no journal, nothing recorded
    std::optional<Error> problem;  // with no folder: why; none when no journal was wanted
};

// Looks up a variable of the environment, in UTF-8; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// This process's own environment.
std::optional<std::string> ProcessEnvironment(const char* name);

// Where this system keeps a user's journal: $XDG_STATE_HOME/pemberlock/journal
// (by default ~/.local/state/pemberlock/journal) on Linux and other Unix
// systems, %LOCALAPPDATA%\Pemberlock\journal on Windows, and
// ~/Library/Application Support/Pemberlock/journal on macOS. Read only at
// start-up, so that tests can point the program elsewhere.
JournalPlace JournalPlaceFrom(const EnvironmentLookup& lookup = ProcessEnvironment);
// That rule in words, for help texts and manual pages: the same on every
// machine, unlike the folder it gives.
const char* JournalPlaceRule();

}  // namespace pemberlock
