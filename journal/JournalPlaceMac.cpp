// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalPlace.h"

namespace pemberlock {

const char* JournalPlaceRule() { return "~/Library/Application Support/Pemberlock/journal"; }

JournalPlace JournalPlaceFrom(const EnvironmentLookup& lookup) {
    const std::optional<std::string> home = lookup("HOME");
    if (home && !home->empty() && home->front() == '/') {
        return {*home + "/Library/Application Support/Pemberlock/journal", {}};
    }
    return {{}, Error{"there is no home folder (HOME is not set)"}};
}

}  // namespace pemberlock
