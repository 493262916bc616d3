// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/TargetFile.h"

#include "fileio/AtomicFileWriter.h"

#include <cstdint>
#include <utility>

namespace pemberlock {
namespace {

// Where a file written whole to path goes, with the permission bits it gets:
// a link's target keeps its bits; a new file gets the usual 0644.
Result<std::pair<std::string, std::uint32_t>> WholeFileTarget(const std::string& path,
                                                              FileSystem& fs) {
    using Target = std::pair<std::string, std::uint32_t>;
    const Result<ResolvedPath> target = fs.Resolve(path);
    // A dangling link is replaced by the file itself.
    if (!target) return Target(path, 0644);
    if (target->status.kind == FileKind::Missing) return Target(target->path, 0644);
    if (Result<> replaceable = CheckReplaceable(target->status); !replaceable) {
        return replaceable.error();
    }
    return Target(target->path, target->status.permissions);
}

}  // namespace

bool SameFileUnchanged(const FileStatus& before, const FileStatus& now, bool changeTime) {
    return before.kind == now.kind && before.device == now.device && before.inode == now.inode &&
           before.size == now.size && before.modified == now.modified &&
           (!changeTime || before.changed == now.changed);
}

Result<> CheckReplaceable(const FileStatus& status) {
    switch (status.kind) {
        case FileKind::Missing: return Error{"does not exist"};
        case FileKind::Directory: return Error{"is a folder"};
        case FileKind::Other: return Error{"is not a regular file"};
        case FileKind::Regular: break;
    }
    if (!status.ownerWritable) return Error{"is read-only"};
    return {};
}

Result<TargetFile> OpenTargetFile(FileSystem& fs, const std::string& path) {
    Result<ResolvedPath> target = fs.Resolve(path);
    if (!target) return target.error().As("is a link to nothing");
    if (Result<> replaceable = CheckReplaceable(target->status); !replaceable) {
        return replaceable.error();
    }
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(target->path);
    if (!in) return in.error().As("cannot be opened");
    // It may have been swapped for something else in the meantime.
    if (Result<> replaceable = CheckReplaceable((*in)->Status()); !replaceable) {
        return replaceable.error();
    }
    return TargetFile{std::move(target->path), std::move(*in)};
}

Result<> ReplaceWholeFile(FileSystem& fs, const std::string& path, std::string_view bytes) {
    const Result<std::pair<std::string, std::uint32_t>> target = WholeFileTarget(path, fs);
    if (!target) return target.error();
    const auto& [targetPath, permissions] = *target;
    AtomicFileWriter writer(fs, targetPath, targetPath + ".pemberlock-tmp");
    Result<> written = writer.Open(permissions);
    if (written) {
        writer.Write(bytes);
        written = writer.Commit();
    }
    if (!written) {
        writer.Abandon();  // leaves no temporary file behind
        return written;
    }
    fs.SyncFolderOf(targetPath);
    return {};
}

}  // namespace pemberlock
