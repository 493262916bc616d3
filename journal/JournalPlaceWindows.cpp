// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalPlace.h"

#include "fileio/WindowsText.h"

#include <windows.h>

namespace pemberlock {

std::optional<std::string> ProcessEnvironment(const char* name) {
    const std::wstring wide = Widen(name);
    const DWORD length = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring value(length, L'\0');
    value.resize(GetEnvironmentVariableW(wide.c_str(), value.data(), length));
    return Narrow(value);
}

const char* JournalPlaceRule() { return "%LOCALAPPDATA%\\Pemberlock\\journal"; }

JournalPlace JournalPlaceFrom(const EnvironmentLookup& lookup) {
    const std::optional<std::string> local = lookup("LOCALAPPDATA");
    if (local && !local->empty()) return {*local + "\\Pemberlock\\journal", {}};
    return {{},
            Error{"the folder for local application data is unknown (LOCALAPPDATA is not set)"}};
}

}  // namespace pemberlock
