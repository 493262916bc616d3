#pragma once

#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"
#include "patch/DropBatch.h"
#include "patch/StatusLog.h"

#include <string>
#include <vector>

namespace pemberlock {

// One drop of files rewritten with map (see RunDropBatch and
// RewritePatchFile). Each patch's new bytes reach the disk before its rename;
// the renames are made durable at the end, with one sync per folder instead
// of one per file, which would cost about half as much again as the rewrite.
BatchSummary RunPatchDrop(const std::vector<std::string>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
