// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"

#include <optional>
#include <ostream>
#include <string>

namespace pemberlock::cli {

// --sheet OUT [--map FILE] [--precedence N] [PATCH]: writes the printable
// sheet of the map (the default one without mapPath) to out as SVG, dated
// today; with a patch, each knob lists what it controls there. 0 when
// written; 1, with the reason on err, when the map or the patch cannot be
// read or out cannot be written.
int RunSheet(const std::string& out, const std::optional<std::string>& mapPath,
             std::optional<int> precedence, const std::optional<std::string>& patch,
             std::ostream& err, FileSystem& fs);

// Today's local date as the sheet prints it: "2026-12-08".
std::string TodayText();

}  // namespace pemberlock::cli
