// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <string>
#include <string_view>

namespace pemberlock {

// The map file: 19 lines ending in CR LF, the 18 entry texts in knob order
// and then the option as " 0 ", " 1 " or " 2 ".

std::string FormatMapFile(const KnobControllerMap& map);

// Reads map file text into map. All or nothing: on failure map is unchanged.
Result<> ParseMapFile(std::string_view text, KnobControllerMap& map);

// Writes the map through a temporary file renamed over path, so that a
// failed save leaves any old map file as it was and no temporary file. A
// link is kept and the file it names replaced; a read-only map file is left
// as it is.
Result<> SaveMap(const KnobControllerMap& map, const std::string& path,
                 FileSystem& fs = RealFileSystem());

// Reads the map file at path; all or nothing, like ParseMapFile.
Result<> LoadMap(KnobControllerMap& map, const std::string& path,
                 FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
