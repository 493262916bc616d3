// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/TargetFile.h"

namespace pemberlock {

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

}  // namespace pemberlock
