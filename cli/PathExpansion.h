#pragma once

#include <string>
#include <vector>

namespace pemberlock::cli {

struct ExpandedPaths {
    std::vector<std::string> paths;
    // One line per folder that could not be read completely, for people.
    std::vector<std::string> problems;
};

// Replaces every path that names a folder (a symbolic link to one counts)
// by all files below it, recursively; the files of one given folder are
// sorted bytewise by full path. Folders met inside are entered only when
// they are real folders, never through a symbolic link, so a link cannot
// make the walk loop; such links are left out. Any other path is kept
// exactly as given.
ExpandedPaths ExpandFolders(const std::vector<std::string>& paths);

}  // namespace pemberlock::cli
