// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/DropRecorder.h"

#include "journal/Manifest.h"

#include <utility>

namespace pemberlock {

DropRecorder::DropRecorder(FileSystem& fs, JournalStore store, std::size_t keep)
    : fs_(&fs), store_(std::move(store)), keep_(keep) {}

DropRecorder::DropRecorder(Error why) : unavailable_(std::move(why)) {}

DropRecorder::~DropRecorder() { Finish(); }

// The manifest stays open, so that what was recorded is made durable at the end.
void DropRecorder::Fail(const Error& error) {
    if (!failure_) failure_ = error;
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
    pruning_ = std::thread([store = *store_, keep = keep_]() mutable { store.Prune(keep); });
    const std::string path = store_->InDrop(number_, JournalStore::kManifest);
    Result<std::unique_ptr<OutputFile>> file = fs_->CreateFresh(path, 0600);
    if (!file) return file.error().As("the manifest " + path + " cannot be made");
    manifest_ = std::move(*file);
    const std::string header = ManifestHeader(SecondsNow());
    if (Result<> written = manifest_->Write(header.data(), header.size()); !written) {
        return written.error().As("the manifest " + path + " cannot be written");
    }
    return {};
}

Result<> DropRecorder::Copy(const std::string& from, const std::string& to) {
    Result<std::unique_ptr<InputFile>> in = fs_->OpenRead(from);
    if (!in) return in.error();
    Result<std::unique_ptr<OutputFile>> out = fs_->CreateFresh(to, 0600);
    if (!out) return out.error();
    char buffer[64 * 1024];
    for (;;) {
        const Result<std::size_t> got = (*in)->Read(buffer, sizeof buffer);
        if (!got) return got.error();
        if (*got == 0) break;
        if (Result<> written = (*out)->Write(buffer, *got); !written) return written;
    }
    // Where the file system cannot be synced at once when the drop ends,
    // each copy is made durable on its own, as each patch is.
    if (!fs_->CanSyncWholeFileSystem()) {
        if (Result<> flushed = (*out)->Flush(); !flushed) return flushed;
    }
    return (*out)->Close();
}

// True when kept is a second name of target, false when it is a copy.
Result<bool> DropRecorder::Keep(const std::string& target, const std::string& kept) {
    if (fs_->MakeHardLink(target, kept)) return true;
    if (Result<> copied = Copy(target, kept); !copied) {
        (void)fs_->Remove(kept);
        return copied.error();
    }
    return false;
}

void DropRecorder::AfterReplace(bool) {}

void DropRecorder::BeforeReplace(const ReplacedPatch& patch) {
    const std::string& target = patch.target;
    if (unavailable_) return Fail(*unavailable_);
    if (failure_) return;
    if (!manifest_) {
        if (Result<> started = Start(); !started) return Fail(started.error());
    }
    Result<std::string> absolute = fs_->Absolute(target);
    if (!absolute) return Fail(absolute.error().As("the full path of " + target + " is unknown"));
    ManifestEntry entry;
    entry.path = std::move(*absolute);
    entry.kept = std::to_string(recorded_ + 1);
    entry.newSize = patch.newSize;
    entry.newDigest = patch.newDigest;
    const Result<bool> linked = Keep(target, store_->InDrop(number_, entry.kept));
    if (!linked) {
        return Fail(linked.error().As("the old bytes of " + target + " cannot be kept"));
    }
    entry.linked = *linked;
    // One write, so that the entry reaches the system whole before the rename.
    const std::string line = ManifestLine(entry);
    if (Result<> written = manifest_->Write(line.data(), line.size()); !written) {
        return Fail(written.error().As("the manifest cannot be written"));
    }
    ++recorded_;
}

void DropRecorder::Finish() {
    if (finished_) return;
    finished_ = true;
    if (manifest_) {
        // One sync of the whole file system where the system has one, which
        // takes the new names along; else the manifest itself, each copy
        // having been flushed as it was made.
        const std::string manifest = store_->InDrop(number_, JournalStore::kManifest);
        const Result<> durable = fs_->CanSyncWholeFileSystem()
                                     ? fs_->SyncWholeFileSystemOf(manifest)
                                     : manifest_->Flush();
        const Result<> closed = manifest_->Close();
        manifest_.reset();
        if (!durable) Fail(durable.error().As("the journal cannot be flushed to disk"));
        if (!closed) Fail(closed.error().As("the manifest cannot be closed"));
    }
    if (pruning_.joinable()) pruning_.join();
}

}  // namespace pemberlock
