// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalPlace.h"

namespace pemberlock {

const char* JournalPlaceRule() {
    return "$XDG_STATE_HOME/pemberlock/journal (by default ~/.local/state/pemberlock/journal)";
}

JournalPlace JournalPlaceFrom(const EnvironmentLookup& lookup) {
    // The base directory rules: an empty or relative XDG_STATE_HOME is ignored.
    const std::optional<std::string> state = lookup("XDG_STATE_HOME");
    if (state && !state->empty() && state->front() == '/') {
        return {*state + "/pemberlock/journal", {}};
    }
    const std::optional<std::string> home = lookup("HOME");
    if (home && !home->empty() && home->front() == '/') {
        return {*home + "/.local/state/pemberlock/journal", {}};
    }
    return {{}, Error{"there is no home folder (neither XDG_STATE_HOME nor HOME is set)"}};
}

}  // namespace pemberlock
