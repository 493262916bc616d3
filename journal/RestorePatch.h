// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "drop/DropBatch.h"
#include "drop/FileJobs.h"
#include "drop/StatusLog.h"
#include "fileio/AtomicFileWriter.h"
#include "fileio/FileSystem.h"
#include "journal/Manifest.h"
#include "patch/ProcessPatch.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

// A patch's old bytes (or, for a redo, the drop's) written into its
// temporary file, ready to be renamed over it; no writer when the patch
// holds them already.
struct PreparedRestore final : PreparedFile {
    FileStatus opened;  // the patch when it was read
    // What the patch holds is kept in the journal already (copied there, the
    // journal being on another file system), not to be linked there.
    bool kept = false;
};

// Why a patch is left as it is when another program wrote to it meanwhile.
inline constexpr const char* kChangedWhileRestored = "was changed while it was being restored";
inline constexpr const char* kChangedWhileRedone = "was changed while it was being redone";

// Prepares putting back the old bytes of one patch a drop replaced, kept at
// keptPath, by the same safe replace as a rewrite (temporary file, flush,
// rename; permission bits kept), but only when the patch still holds exactly
// what the drop wrote, where the drop left it (no symbolic link put in its
// path since), and the kept bytes are a regular file of the journal's and
// exactly the old ones (as far as the entry's version recorded them). A
// patch that already holds its old bytes (undone before, or the drop was
// killed before its rename) needs nothing. Any other patch, and one that is
// missing or read-only, is to be left as it is, and the Error says why. With
// flush, the temporary file is on stable storage when this returns; else
// the caller makes it so before the rename.
Result<PreparedRestore> PrepareRestore(FileSystem& fs, const ManifestEntry& entry,
                                       const std::string& keptPath, bool flush,
                                       RewriteBuffers& buffers);

// The other way: prepares putting back the bytes the drop wrote, which an
// undo kept at keptPath + JournalStore::kRewritten, under the same checks,
// but only when the patch still holds exactly the old bytes the undo put
// back ("was changed after the undo" otherwise) and the rewritten bytes are
// a regular file of the journal's and exactly the drop's. A patch that holds
// the drop's bytes already needs nothing.
Result<PreparedRestore> PrepareRedo(FileSystem& fs, const ManifestEntry& entry,
                                    const std::string& keptPath, bool flush,
                                    RewriteBuffers& buffers);

// One patch to restore and where its old bytes are.
struct RestoreItem {
    const ManifestEntry* entry = nullptr;
    std::string keptPath;
};

// How an undo is followed and stopped.
struct UndoOptions {
    // Set from anywhere to stop after the patches in hand. The drop stays to
    // be undone; the next undo finds the patches restored so far as they
    // should be and goes on with the rest.
    const std::atomic<bool>* stop = nullptr;
    // As patches are done: the patches handled, of the drop's.
    std::function<void(std::uint64_t handled, std::uint64_t total)> progress;
};

// What an undo (or a redo) did.
struct UndoSummary {
    std::uint64_t drop = 0;  // the drop taken
    // Set when that drop cannot be undone (its record is damaged or
    // partial, or a newer drop changed its patches since): nothing was done.
    std::optional<Error> refused;
    std::uint64_t total = 0;  // the patches handled
    std::uint64_t restored = 0;
    bool stopped = false;                // before every patch of the drop was handled
    std::vector<PatchFailure> failures;  // the patches left as they were, and why
    // Set when the drop could not be marked as undone: the next undo takes
    // the same drop again (and finds its patches already restored).
    std::optional<Error> notMarked;
};

// Restores items in the order given, each one's line on log as a drop's
// ("Restoring PATH  ....  Done." or "Error!"). The patches are restored as a
// drop rewrites them (RunFileJobs: several threads, groups made durable with
// one sync each, lines in order), so that an undo costs about what its drop
// did. Stopped, it logs "Stopped: K of N files not processed." and then
// counts the patches it handled, as a drop does.
UndoSummary RestorePatches(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                           const UndoOptions& options = {});

// Redoes items in the order given (PrepareRedo), as RestorePatches restores
// them: "Redoing PATH  ....  Done.", then "R of N files redone."; restored
// counts the patches that hold the drop's bytes again. Before each rename
// the patch's old bytes keep a name in the journal at the item's keptPath
// (linked, or copied where they cannot be), so that the drop can be undone
// again; a patch whose old bytes cannot be kept is left as it is.
UndoSummary RedoPatches(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                        const UndoOptions& options = {});

}  // namespace pemberlock
