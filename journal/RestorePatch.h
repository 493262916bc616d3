#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"
#include "journal/Manifest.h"

#include <string>

namespace pemberlock {

// Puts the old bytes of one patch a drop replaced, kept at keptPath, back in
// its place by the same safe replace as a rewrite (temporary file, flush,
// rename; permission bits kept), but only when the patch still holds exactly
// what the drop wrote. A patch that already holds its old bytes (undone
// before, or the drop was killed before its rename) needs nothing. Any other
// patch, and one that is missing or read-only, is left as it is, and the
// Error says why.
Result<> RestorePatch(FileSystem& fs, const ManifestEntry& entry, const std::string& keptPath);

}  // namespace pemberlock
