// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Diagnostics.h"

#include "map/MapWarnings.h"

namespace pemberlock::cli {

void PrintMapWarnings(const KnobControllerMap& map, std::ostream& err) {
    for (const MapWarning& warning : FindMapWarnings(map)) {
        err << "warning: " << warning.text << "\n";
    }
}

void FailureReasons::PathDone(const DropPathResult& result, std::uint64_t, std::uint64_t) {
    if (result.kind != DropPathResult::Kind::Failed || !result.error) return;
    err_ << result.path << ": " << result.error->Text() << "\n";
}

}  // namespace pemberlock::cli
