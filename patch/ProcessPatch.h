// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/AtomicFileWriter.h"
#include "fileio/FileSystem.h"
#include "fileio/PreparedFile.h"
#include "map/KnobControllerMap.h"
#include "patch/RewriteReport.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace pemberlock {

// A patch rewritten into its temporary file (path + "tmp", beside the file
// a link names) and closed, not yet put in place. target is the file it
// replaces (a link's target).
struct PreparedPatch final : PreparedFile {
    FileStatus old;           // what target was when it was read
    ContentDigest oldDigest;  // of the bytes read
};

// Why a patch is left as it is when another program wrote to it meanwhile.
inline constexpr const char* kChangedWhileRewritten = "was changed while it was being rewritten";

// Whether the patch is still the file that was read, unchanged (see
// SameFileUnchanged); checked just before its rename.
Result<> CheckStillAsRead(FileSystem& fs, const PreparedPatch& patch, bool changeTime = true);

// Rewrites the patch at path (see PatchRewriter) into its temporary file.
// With flush, the new bytes are on stable storage when it returns; without,
// the caller must make them so before the rename. Read-only patches, files
// that are not regular files and files holding a NUL byte are refused.
// report, when given, receives what the new sections hold and why. Setting
// giveUp ends the rewrite early, as a failure, with nothing left behind.
Result<PreparedPatch> PreparePatch(const std::string& path, const KnobControllerMap& map,
                                   FileSystem& fs, bool flush, RewriteBuffers* buffers = nullptr,
                                   RewriteReport* report = nullptr,
                                   const std::atomic<bool>* giveUp = nullptr);

// Rewrites the patch file at path in place: its temporary file written,
// flushed to stable storage, closed, then renamed over the patch in one
// step. The patch is never left missing or half-written; a symbolic link is
// kept and the file it names rewritten. On success, the file that was
// replaced (a link's target).
Result<std::string> RewritePatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs = RealFileSystem());

// The same, reduced to success or failure. The rename is atomic but, for
// speed over many files, not yet durable: see RunPatchDrop.
bool ProcessPatch(const std::string& path, const KnobControllerMap& map,
                  FileSystem& fs = RealFileSystem());

// What a rewrite of the patch at path would write as its controller
// section(s), CR LF lines, without writing anything; or why it would fail.
// report, when given, receives what those sections hold and why.
Result<std::string> PreviewPatchFile(const std::string& path, const KnobControllerMap& map,
                                     FileSystem& fs = RealFileSystem(),
                                     RewriteReport* report = nullptr);

}  // namespace pemberlock
