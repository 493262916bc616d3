// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/RestorePatch.h"

#include "fileio/ChunkedReader.h"
#include "fileio/ContentHash.h"
#include "fileio/TargetFile.h"
#include "fileio/Utf8Path.h"
#include "journal/JournalStore.h"

#include <map>
#include <set>
#include <vector>

namespace pemberlock {
namespace {

struct Fingerprint {
    std::uint64_t size = 0;
    ContentDigest digest;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

Result<Fingerprint> FingerprintOf(InputFile& in, std::vector<char>& buffer) {
    ContentHasher hasher;
    if (Result<> read =
            ReadChunks(in, buffer, nullptr, [&](std::string_view bytes) { hasher.Update(bytes); });
        !read) {
        return read.error();
    }
    return Fingerprint{hasher.Size(), hasher.Digest()};
}

constexpr const char* kKeptDamaged = "its old bytes in the journal are damaged";
constexpr const char* kLinkInItsPath = "a symbolic link now stands in its path";

// The kept old bytes of a patch, only from a regular file of the journal's
// own, never through a link to elsewhere.
Result<std::unique_ptr<InputFile>> OpenKept(FileSystem& fs, const std::string& keptPath) {
    const FileStatus named = fs.LinkStatus(keptPath);
    if (named.kind == FileKind::Missing) return Error{"its old bytes are missing from the journal"};
    if (named.kind != FileKind::Regular) return Error{kKeptDamaged};
    Result<std::unique_ptr<InputFile>> kept = fs.OpenRead(keptPath);
    if (!kept) return kept.error().As("its old bytes cannot be read from the journal");
    const FileStatus& opened = (*kept)->Status();
    if (opened.kind != FileKind::Regular || opened.device != named.device ||
        opened.inode != named.inode) {
        return Error{kKeptDamaged};
    }
    return kept;
}

Result<std::unique_ptr<AtomicFileWriter>> WriteBack(FileSystem& fs, const ManifestEntry& entry,
                                                    const FileStatus& now,
                                                    const std::string& keptPath, bool flush,
                                                    RewriteBuffers& buffers) {
    Result<std::unique_ptr<InputFile>> kept = OpenKept(fs, keptPath);
    if (!kept) return kept.error();
    auto writer =
        std::make_unique<AtomicFileWriter>(fs, entry.path, entry.path + "tmp", &buffers.write);
    if (entry.checked && (*kept)->Status().device == now.device) {
        // Kept bytes known to be the old ones go back as the very file they
        // were kept as, moved out of the journal: nothing is written, and the
        // patch has its own times again.
        const Result<Fingerprint> old = FingerprintOf(**kept, buffers.read);
        if (!old) return old.error().As("its old bytes cannot be read from the journal");
        if (*old != Fingerprint{entry.oldSize, entry.oldDigest}) return Error{kKeptDamaged};
        if (writer->OpenToMove(keptPath)) {
            if (writer->Written().inode != (*kept)->Status().inode) return Error{kKeptDamaged};
            if (Result<> closed = writer->Close(flush); !closed) return closed.error();
            return writer;
        }
        // It cannot be moved here: its bytes are copied.
        kept = OpenKept(fs, keptPath);
        if (!kept) return kept.error();
    }
    if (Result<> opened = writer->Open(now.permissions, &now); !opened) return opened.error();
    if (Result<> read = ReadChunks(**kept, buffers.read, nullptr,
                                   [&](std::string_view bytes) { writer->Write(bytes); });
        !read) {
        return read.error().As("its old bytes cannot be read from the journal");
    }
    // Nothing but the very bytes the drop replaced is ever written back.
    if (entry.checked && Fingerprint{writer->Size(), writer->Digest()} !=
                             Fingerprint{entry.oldSize, entry.oldDigest}) {
        writer->Abandon();
        return Error{kKeptDamaged};
    }
    if (Result<> closed = writer->Close(flush); !closed) return closed.error();
    return writer;
}

// Whether the patch is still where the drop left it: its path leads to a
// regular file, through no symbolic link that was not there at the drop.
// Version 1 recorded paths with their folders' links left in.
Result<> CheckPath(FileSystem& fs, const ManifestEntry& entry, const FileStatus& named) {
    switch (named.kind) {
        case FileKind::Missing: return Error{"does not exist"};
        case FileKind::Directory: return Error{"is a folder"};
        case FileKind::Other:
            return Error{fs.Status(entry.path).kind == FileKind::Other ? "is not a regular file"
                                                                       : kLinkInItsPath};
        case FileKind::Regular: break;
    }
    if (!entry.checked) return {};
    const Result<std::string> canonical = fs.Canonical(entry.path);
    if (!canonical) return canonical.error().As("its full path cannot be resolved");
    if (*canonical != entry.path) return Error{kLinkInItsPath};
    return {};
}

}  // namespace

Result<PreparedRestore> PrepareRestore(FileSystem& fs, const ManifestEntry& entry,
                                       const std::string& keptPath, bool flush,
                                       RewriteBuffers& buffers) {
    const FileStatus named = fs.LinkStatus(entry.path);
    if (Result<> where = CheckPath(fs, entry, named); !where) return where.error();
    Result<TargetFile> patch = OpenTargetFile(fs, entry.path);
    if (!patch) return patch.error();
    const FileStatus now = patch->Status();
    if (!SameFileUnchanged(named, now)) return Error{kChangedWhileRestored};
    const Result<Fingerprint> current = FingerprintOf(*patch->in, buffers.read);
    if (!current) return current.error().As("cannot be read");
    patch->in.reset();  // some systems refuse to replace a file that is open
    if (entry.checked && *current == Fingerprint{entry.oldSize, entry.oldDigest}) {
        return PreparedRestore{};
    }
    if (*current != Fingerprint{entry.newSize, entry.newDigest}) {
        if (!entry.checked) {
            // Version 1 kept no digest of the old bytes: the kept file tells.
            Result<std::unique_ptr<InputFile>> kept = OpenKept(fs, keptPath);
            const Result<Fingerprint> old =
                kept ? FingerprintOf(**kept, buffers.read) : Result<Fingerprint>(kept.error());
            if (old && *old == *current) return PreparedRestore{};
        }
        return Error{"was changed after the drop"};
    }
    Result<std::unique_ptr<AtomicFileWriter>> writer =
        WriteBack(fs, entry, now, keptPath, flush, buffers);
    if (!writer) return writer.error();
    PreparedRestore prepared;
    prepared.target = entry.path;
    prepared.writer = std::move(*writer);
    prepared.device = now.device;
    prepared.opened = now;
    return prepared;
}

namespace {

// An undo as jobs of the file engine, its lines in a drop's manner.
class RestoreJobs final : public FileJobs {
public:
    RestoreJobs(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                const UndoOptions& options)
        : fs_(fs), items_(items), log_(log), options_(options) {}

    std::size_t Count() const override { return items_.size(); }
    bool NeedsWork(std::size_t) const override { return true; }
    // A patch dropped twice goes back one step at a time.
    bool NamesAFileTwice() override {
        std::set<std::string> paths;
        for (const RestoreItem& item : items_) {
            if (!paths.insert(item.entry->path).second) return true;
        }
        return false;
    }
    Result<std::unique_ptr<PreparedFile>> Prepare(std::size_t i, RewriteBuffers& buffers,
                                                  bool flush, const std::atomic<bool>*) override {
        Result<PreparedRestore> prepared =
            PrepareRestore(fs_, *items_[i].entry, items_[i].keptPath, flush, buffers);
        if (!prepared) return prepared.error();
        return std::unique_ptr<PreparedFile>(
            std::make_unique<PreparedRestore>(std::move(*prepared)));
    }
    void Finish(std::size_t i, Result<std::unique_ptr<PreparedFile>>* prepared) override {
        const std::string& path = items_[i].entry->path;
        Result<> done = *prepared ? Result<>() : Result<>(prepared->error());
        if (done && (**prepared)->writer) {
            auto& restore = static_cast<PreparedRestore&>(***prepared);
            // Another program may have saved the patch since it was read.
            if (SameFileUnchanged(restore.opened, fs_.LinkStatus(path))) {
                // The rewritten file keeps a name in the journal, beside where
                // its old one was: the rename then frees nothing on its way
                // (the journal lets it go later, on its own thread), and the
                // drop's bytes are there to put back. Best effort.
                const std::string rewritten = items_[i].keptPath + JournalStore::kRewritten;
                // Removed first only when an earlier, stopped undo left one:
                // this runs on the one thread that finishes every patch.
                if (!fs_.MakeHardLink(path, rewritten) && fs_.Remove(rewritten)) {
                    (void)fs_.MakeHardLink(path, rewritten);
                }
                done = restore.writer->Rename();
            } else {
                done = Error{kChangedWhileRestored};
            }
        }
        log_.Append("Restoring " + path + "  ....  " + (done ? "Done.\r\n" : "Error!\r\n"));
        ++summary_.total;
        if (done) {
            ++summary_.restored;
        } else {
            summary_.failures.push_back({path, done.error()});
        }
        if (options_.progress) options_.progress(summary_.total, items_.size());
    }

    UndoSummary End(std::size_t finished) {
        if (finished < items_.size()) {
            summary_.stopped = true;
            log_.Append(StoppedLine(items_.size() - finished, items_.size()));
        }
        log_.Append(std::to_string(summary_.restored) + " of " + std::to_string(summary_.total) +
                    " files restored.\r\n");
        return std::move(summary_);
    }

private:
    FileSystem& fs_;
    const std::vector<RestoreItem>& items_;
    StatusLog& log_;
    const UndoOptions& options_;
    UndoSummary summary_;
};

}  // namespace

UndoSummary RestorePatches(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                           const UndoOptions& options) {
    RestoreJobs jobs(fs, items, log, options);
    JobOptions run;
    run.stop = options.stop;
    return jobs.End(RunFileJobs(jobs, fs, run));
}

}  // namespace pemberlock
