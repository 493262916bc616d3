// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/RestorePatch.h"

#include "fileio/ContentHash.h"
#include "fileio/TargetFile.h"
#include "fileio/Utf8Path.h"

#include <map>
#include <set>
#include <vector>

namespace pemberlock {
namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kGroupSize = 64;  // as a drop's groups

struct Fingerprint {
    std::uint64_t size = 0;
    ContentDigest digest;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

// Reads in to its end, handing each piece to take.
template <typename Take>
Result<> ReadAll(InputFile& in, std::vector<char>& buffer, Take take) {
    if (buffer.size() < kChunk) buffer.resize(kChunk);
    for (;;) {
        const Result<std::size_t> got = in.Read(buffer.data(), buffer.size());
        if (!got) return got.error();
        if (*got == 0) return {};
        take(std::string_view(buffer.data(), *got));
    }
}

Result<Fingerprint> FingerprintOf(InputFile& in, std::vector<char>& buffer) {
    ContentHasher hasher;
    if (Result<> read = ReadAll(in, buffer, [&](std::string_view bytes) { hasher.Update(bytes); });
        !read) {
        return read.error();
    }
    return Fingerprint{hasher.Size(), hasher.Digest()};
}

Result<Fingerprint> FingerprintOf(FileSystem& fs, const std::string& path,
                                  std::vector<char>& buffer) {
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(path);
    if (!in) return in.error();
    return FingerprintOf(**in, buffer);
}

Result<std::unique_ptr<AtomicFileWriter>> WriteBack(FileSystem& fs, const std::string& target,
                                                    const FileStatus& now,
                                                    const std::string& keptPath, bool flush,
                                                    RewriteBuffers& buffers) {
    Result<std::unique_ptr<InputFile>> kept = fs.OpenRead(keptPath);
    if (!kept) return kept.error().As("its old bytes cannot be read from the journal");
    auto writer = std::make_unique<AtomicFileWriter>(fs, target, target + "tmp", &buffers.write);
    if (Result<> opened = writer->Open(now.permissions, &now); !opened) return opened.error();
    if (Result<> read =
            ReadAll(**kept, buffers.read, [&](std::string_view bytes) { writer->Write(bytes); });
        !read) {
        return read.error().As("its old bytes cannot be read from the journal");
    }
    if (Result<> closed = writer->Close(flush); !closed) return closed.error();
    return writer;
}

// Each group's temporary files made durable, one sync per file system; a
// group that cannot be is not put in place.
void SyncGroup(FileSystem& fs, std::vector<Result<PreparedRestore>>& group,
               const std::vector<RestoreItem>& items, std::size_t first) {
    std::map<std::uint64_t, Result<>> synced;
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!group[i] || !group[i]->writer) continue;
        auto [at, fresh] = synced.try_emplace(group[i]->device);
        if (fresh) at->second = fs.SyncWholeFileSystemOf(items[first + i].entry->path);
        if (!at->second) {
            group[i] = at->second.error().As("the temporary file cannot be flushed to disk");
        }
    }
}

}  // namespace

Result<PreparedRestore> PrepareRestore(FileSystem& fs, const ManifestEntry& entry,
                                       const std::string& keptPath, bool flush,
                                       RewriteBuffers& buffers) {
    Result<TargetFile> patch = OpenTargetFile(fs, entry.path);
    if (!patch) return patch.error();
    const FileStatus now = patch->Status();
    const Result<Fingerprint> current = FingerprintOf(*patch->in, buffers.read);
    if (!current) return current.error().As("cannot be read");
    patch->in.reset();  // some systems refuse to replace a file that is open
    if (*current != Fingerprint{entry.newSize, entry.newDigest}) {
        const Result<Fingerprint> old = FingerprintOf(fs, keptPath, buffers.read);
        if (old && *old == *current) return PreparedRestore{};
        return Error{"was changed after the drop"};
    }
    Result<std::unique_ptr<AtomicFileWriter>> writer =
        WriteBack(fs, patch->path, now, keptPath, flush, buffers);
    if (!writer) return writer.error();
    return PreparedRestore{std::move(*writer), now.device};
}

UndoSummary RestorePatches(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                           const UndoOptions& options) {
    const bool grouped = fs.CanSyncWholeFileSystem();
    UndoSummary summary;
    RewriteBuffers buffers;
    std::map<std::string, std::string> folders;  // folder -> a file restored in it
    std::size_t first = 0;
    while (first < items.size() && !(options.stop && *options.stop)) {
        // A patch that comes again (dropped twice) starts a new group, so
        // that it goes back one step at a time.
        std::vector<Result<PreparedRestore>> group;
        std::set<std::string> paths;
        while (first + group.size() < items.size() && group.size() < (grouped ? kGroupSize : 1) &&
               paths.insert(items[first + group.size()].entry->path).second) {
            const RestoreItem& item = items[first + group.size()];
            group.push_back(PrepareRestore(fs, *item.entry, item.keptPath, !grouped, buffers));
        }
        if (grouped) SyncGroup(fs, group, items, first);
        for (std::size_t i = 0; i < group.size(); ++i) {
            const std::string& path = items[first + i].entry->path;
            Result<> done = group[i] ? Result<>() : Result<>(group[i].error());
            if (done && group[i]->writer) done = group[i]->writer->Rename();
            log.Append("Restoring " + path + "  ....  " + (done ? "Done.\r\n" : "Error!\r\n"));
            ++summary.total;
            if (!done) {
                summary.failures.push_back({path, done.error()});
                continue;
            }
            ++summary.restored;
            folders.try_emplace(Utf8FromPath(PathFromUtf8(path).parent_path()), path);
        }
        first += group.size();
        if (options.progress) options.progress(first, items.size());
    }
    for (const auto& [folder, file] : folders) fs.SyncFolderOf(file);
    if (first < items.size()) {
        summary.stopped = true;
        log.Append(StoppedLine(items.size() - first, items.size()));
    }
    log.Append(std::to_string(summary.restored) + " of " + std::to_string(summary.total) +
               " files restored.\r\n");
    return summary;
}

}  // namespace pemberlock
