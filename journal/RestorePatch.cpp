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

// Which of a drop's bytes a file of the journal holds, in what the patch
// was refused for.
struct Held {
    const char* what;  // "its old bytes"
    std::string Missing() const { return what + std::string(" are missing from the journal"); }
    std::string Damaged() const { return what + std::string(" in the journal are damaged"); }
    std::string Unreadable() const {
        return what + std::string(" cannot be read from the journal");
    }
};
constexpr Held kOld{"its old bytes"};
constexpr Held kRewrittenBytes{"its rewritten bytes"};

constexpr const char* kLinkInItsPath = "a symbolic link now stands in its path";

// Bytes kept in the journal, only from a regular file of the journal's own,
// never through a link to elsewhere.
Result<std::unique_ptr<InputFile>> OpenKept(FileSystem& fs, const std::string& keptPath,
                                            const Held& held) {
    const FileStatus named = fs.LinkStatus(keptPath);
    if (named.kind == FileKind::Missing) return Error{held.Missing()};
    if (named.kind != FileKind::Regular) return Error{held.Damaged()};
    Result<std::unique_ptr<InputFile>> kept = fs.OpenRead(keptPath);
    if (!kept) return kept.error().As(held.Unreadable());
    const FileStatus& opened = (*kept)->Status();
    if (opened.kind != FileKind::Regular || opened.device != named.device ||
        opened.inode != named.inode) {
        return Error{held.Damaged()};
    }
    return kept;
}

// Writes the bytes kept at source (of fingerprint wanted, where recorded)
// over the patch: the very file they are kept as, moved out of the journal,
// where it can be, so that nothing is written and the patch has that file's
// times; else a copy, given that file's modification time.
Result<std::unique_ptr<AtomicFileWriter>> WriteBack(FileSystem& fs, const ManifestEntry& entry,
                                                    const FileStatus& now,
                                                    const std::string& source, const Held& held,
                                                    const std::optional<Fingerprint>& wanted,
                                                    bool flush, RewriteBuffers& buffers) {
    Result<std::unique_ptr<InputFile>> kept = OpenKept(fs, source, held);
    if (!kept) return kept.error();
    auto writer =
        std::make_unique<AtomicFileWriter>(fs, entry.path, entry.path + "tmp", &buffers.write);
    if (wanted && (*kept)->Status().device == now.device) {
        const Result<Fingerprint> bytes = FingerprintOf(**kept, buffers.read);
        if (!bytes) return bytes.error().As(held.Unreadable());
        if (*bytes != *wanted) return Error{held.Damaged()};
        if (writer->OpenToMove(source)) {
            if (writer->Written().inode != (*kept)->Status().inode) return Error{held.Damaged()};
            if (Result<> closed = writer->Close(flush); !closed) return closed.error();
            return writer;
        }
        // It cannot be moved here: its bytes are copied.
        kept = OpenKept(fs, source, held);
        if (!kept) return kept.error();
    }
    if (Result<> opened = writer->Open(now.permissions, &now); !opened) return opened.error();
    writer->KeepModified((*kept)->Status().modified);
    if (Result<> read = ReadChunks(**kept, buffers.read, nullptr,
                                   [&](std::string_view bytes) { writer->Write(bytes); });
        !read) {
        return read.error().As(held.Unreadable());
    }
    // Nothing but the very bytes recorded is ever written back.
    if (wanted && Fingerprint{writer->Size(), writer->Digest()} != *wanted) {
        writer->Abandon();
        return Error{held.Damaged()};
    }
    if (Result<> closed = writer->Close(flush); !closed) return closed.error();
    return writer;
}

// Copies the patch, still the file opened as `patch` and holding bytes,
// into the journal at keepAs, with its modification time: where it cannot
// be linked there. On stable storage when this returns: the sync of the
// patches' file system does not reach the journal's.
Result<> KeepCopy(FileSystem& fs, const std::string& path, const FileStatus& patch,
                  const Fingerprint& bytes, const std::string& keepAs, std::vector<char>& buffer,
                  const char* changedWhile) {
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(path);
    if (!in) return in.error().As("cannot be read");
    if (!SameFileUnchanged(patch, (*in)->Status())) return Error{changedWhile};
    AtomicFileWriter copy(fs, keepAs, keepAs + ".tmp");
    if (Result<> opened = copy.Open(0600); !opened) return opened.error();
    copy.KeepModified(patch.modified);
    if (Result<> read =
            ReadChunks(**in, buffer, nullptr, [&](std::string_view piece) { copy.Write(piece); });
        !read) {
        return read.error().As("cannot be read");
    }
    if (Fingerprint{copy.Size(), copy.Digest()} != bytes) {
        copy.Abandon();
        return Error{changedWhile};
    }
    return copy.Commit();
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

// Where the bytes a step puts back are kept, and where what the patch holds
// until then is to be kept.
struct StepFiles {
    std::string source;
    std::string keepAs;
};
StepFiles FilesOf(const std::string& keptPath, bool redo) {
    const std::string rewritten = keptPath + JournalStore::kRewritten;
    return redo ? StepFiles{rewritten, keptPath} : StepFiles{keptPath, rewritten};
}

// The patch opened for a step, checked to be where the drop left it, and
// what it holds.
struct OpenedPatch {
    FileStatus status;
    Fingerprint bytes;
};
Result<OpenedPatch> OpenPatch(FileSystem& fs, const ManifestEntry& entry, const char* changedWhile,
                              std::vector<char>& buffer) {
    const FileStatus named = fs.LinkStatus(entry.path);
    if (Result<> where = CheckPath(fs, entry, named); !where) return where.error();
    Result<TargetFile> patch = OpenTargetFile(fs, entry.path);
    if (!patch) return patch.error();
    const FileStatus now = patch->Status();
    if (!SameFileUnchanged(named, now)) return Error{changedWhile};
    const Result<Fingerprint> bytes = FingerprintOf(*patch->in, buffer);
    if (!bytes) return bytes.error().As("cannot be read");
    // Closed here: some systems refuse to replace a file that is open.
    return OpenedPatch{now, *bytes};
}

// The old bytes as version 1 knew them: from the kept file alone.
Result<Fingerprint> KeptFingerprint(FileSystem& fs, const std::string& keptPath,
                                    std::vector<char>& buffer) {
    Result<std::unique_ptr<InputFile>> kept = OpenKept(fs, keptPath, kOld);
    if (!kept) return kept.error();
    return FingerprintOf(**kept, buffer);
}

// The patch, found holding `holds` (what the step replaces), replaced by the
// bytes at files.source; where the journal is on another file system, what
// it holds is copied to files.keepAs first.
Result<PreparedRestore> Prepare(FileSystem& fs, const ManifestEntry& entry,
                                const OpenedPatch& patch, const StepFiles& files, const Held& held,
                                const std::optional<Fingerprint>& wanted, const char* changedWhile,
                                bool flush, RewriteBuffers& buffers) {
    PreparedRestore prepared;
    // Kept there already (by an earlier step that copied): its bytes are
    // checked when they are put back.
    const FileStatus keptAs = fs.LinkStatus(files.keepAs);
    const FileStatus journal = fs.LinkStatus(files.source);
    if (keptAs.kind == FileKind::Regular && keptAs.size == patch.bytes.size) {
        prepared.kept = true;
    } else if (journal.kind == FileKind::Regular && journal.device != patch.status.device) {
        if (Result<> copied = KeepCopy(fs, entry.path, patch.status, patch.bytes, files.keepAs,
                                       buffers.read, changedWhile);
            !copied) {
            return copied.error().As("what it holds cannot be kept in the journal");
        }
        prepared.kept = true;
    }
    Result<std::unique_ptr<AtomicFileWriter>> writer =
        WriteBack(fs, entry, patch.status, files.source, held, wanted, flush, buffers);
    if (!writer) return writer.error();
    prepared.target = entry.path;
    prepared.writer = std::move(*writer);
    prepared.device = patch.status.device;
    prepared.opened = patch.status;
    return prepared;
}

}  // namespace

Result<PreparedRestore> PrepareRestore(FileSystem& fs, const ManifestEntry& entry,
                                       const std::string& keptPath, bool flush,
                                       RewriteBuffers& buffers) {
    const Result<OpenedPatch> patch = OpenPatch(fs, entry, kChangedWhileRestored, buffers.read);
    if (!patch) return patch.error();
    const Fingerprint oldBytes{entry.oldSize, entry.oldDigest};
    if (entry.checked && patch->bytes == oldBytes) return PreparedRestore{};
    if (patch->bytes != Fingerprint{entry.newSize, entry.newDigest}) {
        if (!entry.checked) {
            // Version 1 kept no digest of the old bytes: the kept file tells.
            const Result<Fingerprint> old = KeptFingerprint(fs, keptPath, buffers.read);
            if (old && *old == patch->bytes) return PreparedRestore{};
        }
        return Error{"was changed after the drop"};
    }
    return Prepare(fs, entry, *patch, FilesOf(keptPath, false), kOld,
                   entry.checked ? std::optional(oldBytes) : std::nullopt, kChangedWhileRestored,
                   flush, buffers);
}

Result<PreparedRestore> PrepareRedo(FileSystem& fs, const ManifestEntry& entry,
                                    const std::string& keptPath, bool flush,
                                    RewriteBuffers& buffers) {
    const Result<OpenedPatch> patch = OpenPatch(fs, entry, kChangedWhileRedone, buffers.read);
    if (!patch) return patch.error();
    const Fingerprint newBytes{entry.newSize, entry.newDigest};
    if (patch->bytes == newBytes) return PreparedRestore{};
    const Result<Fingerprint> old =
        entry.checked ? Result<Fingerprint>(Fingerprint{entry.oldSize, entry.oldDigest})
                      : KeptFingerprint(fs, keptPath, buffers.read);
    if (!old || *old != patch->bytes) return Error{"was changed after the undo"};
    return Prepare(fs, entry, *patch, FilesOf(keptPath, true), kRewrittenBytes, newBytes,
                   kChangedWhileRedone, flush, buffers);
}

namespace {

// An undo or a redo as jobs of the file engine, its lines in a drop's manner.
class RestoreJobs final : public FileJobs {
public:
    RestoreJobs(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                const UndoOptions& options, bool redo)
        : fs_(fs), items_(items), log_(log), options_(options), redo_(redo) {}

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
        const RestoreItem& item = items_[i];
        Result<PreparedRestore> prepared =
            redo_ ? PrepareRedo(fs_, *item.entry, item.keptPath, flush, buffers)
                  : PrepareRestore(fs_, *item.entry, item.keptPath, flush, buffers);
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
            if (!SameFileUnchanged(restore.opened, fs_.LinkStatus(path))) {
                done = Error{redo_ ? kChangedWhileRedone : kChangedWhileRestored};
            } else if (!restore.kept) {
                done = Keep(i, restore.opened);
            }
            if (done) done = restore.writer->Rename();
        }
        log_.Append((redo_ ? "Redoing " : "Restoring ") + path + "  ....  " +
                    (done ? "Done.\r\n" : "Error!\r\n"));
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
                    (redo_ ? " files redone.\r\n" : " files restored.\r\n"));
        return std::move(summary_);
    }

private:
    // What the patch holds until its rename keeps a name in the journal,
    // beside the bytes put back: the rename then frees nothing on its way
    // (the journal lets it go later, on its own thread), and the step can
    // be taken back. An undo's is only for a redo: best effort. A redo's is
    // the old bytes, without which the drop could not be undone again.
    Result<> Keep(std::size_t i, const FileStatus& patch) {
        const ManifestEntry& entry = *items_[i].entry;
        const std::string keepAs = FilesOf(items_[i].keptPath, redo_).keepAs;
        // Removed first only when an earlier step left one (stopped, or of
        // another size): this runs on the one thread that finishes every
        // patch.
        Result<> kept = fs_.MakeHardLink(entry.path, keepAs);
        if (!kept && fs_.LinkStatus(keepAs).kind != FileKind::Missing && fs_.Remove(keepAs)) {
            kept = fs_.MakeHardLink(entry.path, keepAs);
        }
        if (!kept) {
            // A file system without such names: copied.
            const Fingerprint bytes = redo_ ? Fingerprint{entry.oldSize, entry.oldDigest}
                                            : Fingerprint{entry.newSize, entry.newDigest};
            kept = KeepCopy(fs_, entry.path, patch, bytes, keepAs, buffer_,
                            redo_ ? kChangedWhileRedone : kChangedWhileRestored);
        }
        if (!kept && redo_) return kept.error().As("its old bytes cannot be kept in the journal");
        return {};
    }

    FileSystem& fs_;
    const std::vector<RestoreItem>& items_;
    StatusLog& log_;
    const UndoOptions& options_;
    const bool redo_;
    UndoSummary summary_;
    std::vector<char> buffer_;
};

}  // namespace

UndoSummary RestorePatches(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                           const UndoOptions& options) {
    RestoreJobs jobs(fs, items, log, options, false);
    JobOptions run;
    run.stop = options.stop;
    return jobs.End(RunFileJobs(jobs, fs, run));
}

UndoSummary RedoPatches(FileSystem& fs, const std::vector<RestoreItem>& items, StatusLog& log,
                        const UndoOptions& options) {
    RestoreJobs jobs(fs, items, log, options, true);
    JobOptions run;
    run.stop = options.stop;
    return jobs.End(RunFileJobs(jobs, fs, run));
}

}  // namespace pemberlock
