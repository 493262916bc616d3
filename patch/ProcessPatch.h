#pragma once

#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <string>

namespace pemberlock {

struct PatchOutcome {
    bool ok = false;
    std::string error;     // why it failed, for people; empty on success
    std::string replaced;  // on success, the file that was replaced (a link's target)
};

// Rewrites the patch file at path in place (see PatchRewriter) through the
// temporary file path + "tmp": written, flushed to stable storage, closed,
// then renamed over the patch in one step. The patch is never left missing
// or half-written. A symbolic link is kept and the file it names rewritten.
// Read-only patches, files that are not regular files and files holding a
// NUL byte are refused and left as they were.
PatchOutcome RewritePatchFile(const std::string& path, const KnobControllerMap& map,
                              FileSystem& fs = RealFileSystem());

// The same, reduced to success or failure. The rename is atomic but, for
// speed over many files, not yet durable: see RunPatchDrop.
bool ProcessPatch(const std::string& path, const KnobControllerMap& map,
                  FileSystem& fs = RealFileSystem());

// What a rewrite of the patch at path would do, without writing anything.
struct PatchPreview {
    bool ok = false;
    std::string error;    // why it would fail; empty when it would succeed
    std::string section;  // the controller section(s) the rewrite would write, CR LF lines
};
PatchPreview PreviewPatchFile(const std::string& path, const KnobControllerMap& map,
                              FileSystem& fs = RealFileSystem());

// The temporary file used for path: path + "tmp", beside the real file when
// path is a symbolic link. Empty when a link cannot be resolved.
std::string TemporaryPatchPath(const std::string& path, FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
