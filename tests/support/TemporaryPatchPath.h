// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"

#include <string>

namespace pemberlock::test {

// The temporary file a rewrite of the patch at path writes (PreparePatch):
// path + "tmp", beside the real file when path is a symbolic link. Empty
// when a link cannot be resolved.
inline std::string TemporaryPatchPath(const std::string& path, FileSystem& fs = RealFileSystem()) {
    const Result<ResolvedPath> target = fs.Resolve(path);
    return target ? target->path + "tmp" : std::string();
}

}  // namespace pemberlock::test
