#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <string>

namespace pemberlock {

// Rewrites the patch file at path in place (see PatchRewriter) through the
// temporary file path + "tmp": written, flushed to stable storage, closed,
// then renamed over the patch in one step. The patch is never left missing
// or half-written. A symbolic link is kept and the file it names rewritten.
// Read-only patches, files that are not regular files and files holding a
// NUL byte are refused and left as they were. On success, the file that was
// replaced (a link's target).
Result<std::string> RewritePatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs = RealFileSystem());

// The same, reduced to success or failure. The rename is atomic but, for
// speed over many files, not yet durable: see RunPatchDrop.
bool ProcessPatch(const std::string& path, const KnobControllerMap& map,
                  FileSystem& fs = RealFileSystem());

// What a rewrite of the patch at path would write as its controller
// section(s), CR LF lines, without writing anything; or why it would fail.
Result<std::string> PreviewPatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs = RealFileSystem());

// The temporary file used for path: path + "tmp", beside the real file when
// path is a symbolic link. Empty when a link cannot be resolved.
std::string TemporaryPatchPath(const std::string& path, FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
