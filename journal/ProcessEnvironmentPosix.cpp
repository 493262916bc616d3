// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalPlace.h"

#include <cstdlib>

namespace pemberlock {

// On POSIX systems the environment is bytes; paths in it are taken as UTF-8.
std::optional<std::string> ProcessEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

}  // namespace pemberlock
