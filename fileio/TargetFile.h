// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"

#include <memory>
#include <string>
#include <string_view>

namespace pemberlock {

// Whether two looks at a file saw the same file with the same bytes, as far
// as its status tells: same identity, size and times. changeTime: compare
// the change times too (a new name, such as the journal's, changes it).
bool SameFileUnchanged(const FileStatus& before, const FileStatus& now, bool changeTime = true);

// Whether a file with this status may be replaced: it is a regular file and
// its owner has not protected it (a read-only file is left alone, as its
// owner expects). The Error says why not, for people.
Result<> CheckReplaceable(const FileStatus& status);

// A file about to be replaced: the file its path finally names (a symbolic
// link is kept and its target replaced), open for reading.
struct TargetFile {
    std::string path;  // the link's target, or the path itself
    std::unique_ptr<InputFile> in;
    const FileStatus& Status() const { return in->Status(); }
};

// Opens the file that path names when it may be replaced. Anything but a
// regular file is refused before it is opened.
Result<TargetFile> OpenTargetFile(FileSystem& fs, const std::string& path);

// Makes bytes the whole content of the file at path, through a temporary
// file beside it renamed over it, so that a failure leaves any old file as it
// was and no temporary file. A link is kept and the file it names replaced; a
// read-only file is left as it is; a new file gets the permission bits 0644.
Result<> ReplaceWholeFile(FileSystem& fs, const std::string& path, std::string_view bytes);

}  // namespace pemberlock
