// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"

#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

// A path to hand to a drop: a file, or a folder that could not be read.
struct DropPath {
    std::string path;
    std::optional<Error> unreadable;  // set for a folder that could not be read
};

// Replaces every path that names a folder (a symbolic link to one counts)
// by all files below it, recursively, sorted bytewise by full path; a folder
// below it that cannot be read stands in that order, with why. Folders met
// inside are entered only when they are real folders, never through a
// symbolic link, so a link cannot make the walk loop; such links are left
// out. Any other path is kept exactly as given.
std::vector<DropPath> ExpandFolders(const std::vector<std::string>& paths, FileSystem& fs);

}  // namespace pemberlock
