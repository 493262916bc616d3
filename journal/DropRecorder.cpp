// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/DropRecorder.h"

#include "fileio/ChunkedReader.h"
#include "fileio/Utf8Path.h"

#include "journal/Manifest.h"

#include <algorithm>
#include <utility>

namespace pemberlock {

DropRecorder::DropRecorder(FileSystem& fs, JournalStore store, std::size_t keep)
    : fs_(&fs), store_(std::move(store)), keep_(keep) {}

DropRecorder::DropRecorder(Error why) : unavailable_(std::move(why)) {}

DropRecorder::~DropRecorder() { Finish(); }

void DropRecorder::Fail(const Error& error) {
    if (failure_) return;
    failure_ = error;
    MarkIncomplete();
}

// The record must not read as whole once a patch has been replaced without
// it. The manifest says so where it still can; else an empty file says so
// (a full disk often still has room for a name); else the manifest goes,
// and the drop reads as damaged rather than as whole.
void DropRecorder::MarkIncomplete() {
    if (!manifest_) return;
    if (Append(IncompleteLine())) return;
    Result<std::unique_ptr<OutputFile>> mark =
        fs_->CreateFresh(store_->InDrop(number_, JournalStore::kIncomplete), 0600);
    if (mark && (*mark)->Close()) return;
    // Through the open manifest itself: Windows removes no file that is open.
    manifest_->Discard();
    manifest_.reset();
}

Result<> DropRecorder::Start() {
    Result<std::uint64_t> number = store_->NewDrop();
    if (!number) return number.error();
    number_ = *number;
    // The oldest drops are removed beside the drop, not before or after it:
    // freeing their old files means reading bookkeeping the disk cache has
    // long let go of, which cost more than the rest of the journal together
    // (measure 6 of the benchmark). Nor need it reach the disk: a drop that
    // comes back after a power cut goes the next time.
    pruning_ = std::thread([this, store = *store_] { Prune(store); });
    const std::string path = store_->InDrop(number_, JournalStore::kManifest);
    Result<std::unique_ptr<OutputFile>> file = fs_->CreateFresh(path, 0600);
    Result<> written = file ? Result<>() : Result<>(file.error());
    started_ = SecondsNow();
    const std::string header = ManifestHeader(started_);
    written_.Update(header);
    if (file) written = (*file)->Write(header.data(), header.size());
    if (!written) {
        // Nothing is left behind: the drop runs unrecorded.
        if (file) (*file)->Discard();
        (void)fs_->RemoveFolder(store_->DropFolder(number_));
        return written.error().As(file ? "the manifest " + path + " cannot be written"
                                       : "the manifest " + path + " cannot be made");
    }
    manifest_ = std::move(*file);
    opened_ = true;
    return {};
}

// First the drops beyond `keep` and the limit with this one holding
// nothing; then, each time the old bytes this drop keeps outgrow the room
// the others leave it, the oldest that no longer fit, so that even a drop
// that fills the limit ends with little left to remove. Nothing is removed
// when this drop is not the newest (another program's drop, not waited
// for, came in between).
void DropRecorder::Prune(JournalStore store) {
    std::vector<HeldDrop> kept = store.Holdings(number_);
    const JournalLimit limit = store.Limit();
    std::unique_lock lock(pruneMutex_);
    limit_ = limit;
    while (!kept.empty() && kept.front().number == number_) {
        kept.front().held = held_;
        lock.unlock();
        store.Trim(kept, keep_, limit.bytes);
        lock.lock();
        std::uint64_t others = 0;
        for (std::size_t i = 1; i < kept.size(); ++i) others += kept[i].held;
        room_ = kept.size() > 1 ? limit.bytes - std::min(others, limit.bytes) : kNoLimit;
        pruneWake_.wait(lock, [this] { return ended_ || held_ > room_; });
        if (ended_) break;
    }
    kept_ = std::move(kept);
}

Result<> DropRecorder::Append(const std::string& line) {
    written_.Update(line);
    return manifest_->Write(line.data(), line.size());
}

Result<> DropRecorder::Copy(const std::string& from, const std::string& to) {
    Result<std::unique_ptr<InputFile>> in = fs_->OpenRead(from);
    if (!in) return in.error();
    Result<std::unique_ptr<OutputFile>> out = fs_->CreateFresh(to, 0600);
    if (!out) return out.error();
    std::vector<char> buffer(64 * 1024);
    if (Result<> copied = ReadChunks(
            **in, buffer, nullptr,
            [&](std::string_view piece) { return (*out)->Write(piece.data(), piece.size()); });
        !copied) {
        return copied;
    }
    // The copy has the old file's time, which an undo puts back with its bytes.
    (void)(*out)->SetModified((*in)->Status().modified);
    // Where the file system cannot be synced at once when the drop ends,
    // each copy is made durable on its own, as each patch is.
    if (!fs_->CanSyncWholeFileSystem()) {
        if (Result<> flushed = (*out)->Flush(); !flushed) return flushed;
    }
    return (*out)->Close();
}

// A second name of the old file costs no copy; but a file with other names
// can still be written through them after the drop, so it is copied.
Result<> DropRecorder::Keep(const ReplacedPatch& patch, const std::string& kept) {
    if (patch.old.links <= 1 && fs_->MakeHardLink(patch.target, kept)) return {};
    if (Result<> copied = Copy(patch.target, kept); !copied) {
        (void)fs_->Remove(kept);
        return copied.error();
    }
    return {};
}

void DropRecorder::BeforeReplace(const ReplacedPatch& patch) {
    pending_ = false;
    const std::string& target = patch.target;
    if (unavailable_) return Fail(*unavailable_);
    if (failure_) return;
    if (!manifest_) {
        if (Result<> started = Start(); !started) return Fail(started.error());
    }
    // The path as it really is, every link resolved, so that an undo can
    // tell a link put in its way since.
    Result<std::string> canonical = fs_->Canonical(target);
    if (!canonical) return Fail(canonical.error().As("the full path of " + target + " is unknown"));
    ShareFolder(*canonical);
    ManifestEntry entry;
    entry.path = std::move(*canonical);
    entry.kept = std::to_string(entries_ + 1);
    entry.newSize = patch.newSize;
    entry.newDigest = patch.newDigest;
    entry.oldSize = patch.old.size;
    entry.oldDigest = patch.oldDigest;
    entry.device = patch.written.device;
    entry.inode = patch.written.inode;
    // The entry first, in one write, so that it reaches the system whole;
    // then the old bytes. A drop killed between the two has not replaced
    // the patch yet, which an undo sees from the old digest; and no kept
    // file is ever without its entry, so that one lost from the end of the
    // manifest shows.
    if (Result<> written = Append(ManifestLine(entry)); !written) {
        return Fail(written.error().As("the manifest cannot be written"));
    }
    ++entries_;
    if (Result<> kept = Keep(patch, store_->InDrop(number_, entry.kept)); !kept) {
        return Fail(kept.error().As("the old bytes of " + target + " cannot be kept"));
    }
    pending_ = true;
    ++recorded_;
    // The kept file is the old file's only name once the patch is replaced,
    // or a copy: the journal's alone either way.
    pendingSize_ = patch.old.size;
    if ((held_ += pendingSize_) > room_) {
        // Under the lock, so that the pruning thread cannot miss it.
        const std::lock_guard lock(pruneMutex_);
        pruneWake_.notify_one();
    }
}

void DropRecorder::AfterReplace(bool done) {
    if (!pending_) return;
    pending_ = false;
    if (done) return;
    --recorded_;
    held_ -= pendingSize_;
    const std::string kept = std::to_string(entries_);
    if (Result<> written = Append(NotReplacedLine(kept)); !written) {
        return Fail(written.error().As("the manifest cannot be written"));
    }
    (void)fs_->Remove(store_->InDrop(number_, kept));
}

// The folder every replaced patch lies in, at any depth.
void DropRecorder::ShareFolder(const std::string& patch) {
    const std::string folder = Utf8FromPath(PathFromUtf8(patch).parent_path());
    if (!std::exchange(anyFolder_, true)) {
        origin_.folder = folder;
        return;
    }
    std::string& shared = origin_.folder;
    std::size_t same = 0;
    while (same < shared.size() && same < folder.size() && shared[same] == folder[same]) ++same;
    // Not part of a name: back to the last separator, unless all of one is shared.
    const auto separator = [](char c) { return c == '/' || c == '\\'; };
    const bool whole = same == shared.size() && (same == folder.size() || separator(folder[same]));
    if (whole) return;
    if (same == folder.size() && separator(shared[same])) {
        shared.resize(same);
        return;
    }
    while (same > 0 && !separator(shared[same - 1])) --same;
    // A root ("/", "C:\\") keeps its separator.
    const bool root = same <= 1 || shared[same - 2] == ':';
    shared.resize(root ? same : same - 1);
}

void DropRecorder::Finish() {
    if (finished_) return;
    finished_ = true;
    if (manifest_) {
        if (!failure_) {
            if (Result<> written = Append(EndedLine(entries_)); !written) {
                Fail(written.error().As("the manifest cannot be written"));
            }
        }
        // Before the sync, which takes them along. The origin is words for
        // a history alone: a drop is recorded whether it is written or not.
        if (!failure_) WriteSummary();
        if (opened_) (void)store_->WriteOrigin(number_, origin_);
        // One sync of the whole file system where the system has one, which
        // takes the new names along; else the manifest itself, each copy
        // having been flushed as it was made.
        const std::string manifest = store_->InDrop(number_, JournalStore::kManifest);
        const Result<> durable = fs_->CanSyncWholeFileSystem()
                                     ? fs_->SyncWholeFileSystemOf(manifest)
                                     : manifest_->Flush();
        if (!durable) Fail(durable.error().As("the journal cannot be flushed to disk"));
        const Result<> closed = manifest_->Close();
        if (!closed) Fail(closed.error().As("the manifest cannot be closed"));
        manifest_.reset();
    }
    // What the record reads as, which only reading it tells.
    if (opened_ && failure_) store_->Summarize(number_, store_->Read(number_));
    {
        const std::lock_guard lock(pruneMutex_);
        ended_ = true;
    }
    pruneWake_.notify_one();
    if (pruning_.joinable()) pruning_.join();
    // What the pruning thread had no time left to remove.
    if (opened_ && !kept_.empty() && kept_.front().number == number_) {
        kept_.front().held = held_;
        store_->Trim(kept_, keep_, limit_.bytes);
    }
}

void DropRecorder::WriteSummary() {
    DropSummary summary;
    summary.patches = recorded_;
    summary.started = started_;
    summary.held = held_;
    summary.manifest = ManifestStamp{written_.Size(), written_.Digest()};
    (void)store_->WriteSummary(number_, summary);
}

}  // namespace pemberlock
