// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropJournal.h"
#include "fileio/FileSystem.h"
#include "journal/JournalStore.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pemberlock {

// Records one drop in the journal, so that it can be undone: before each
// patch is replaced, the manifest gets the patch's entry and its old bytes
// are kept in the drop's folder (as a second name of the old file where the
// journal is on the same file system and the patch has no other name,
// costing no copy, else as a copy). When the drop ends, the manifest says
// so; when recording fails part-way, the record is marked as incomplete.
//
// Each entry reaches the system before the rename that follows it, so a
// drop killed part-way can be undone for every patch it replaced. The
// journal is made durable once, when the drop ends: a power cut during a
// drop may lose the entries of the patches replaced since its last group
// was synced, and those patches then cannot be undone (they are never lost
// or half-written: that does not depend on the journal).
//
// Nothing is written until the first patch is replaced, so a drop that
// replaces nothing leaves no record. Then the oldest drops beyond the
// newest `keep` and the journal's limit (this drop's old bytes included,
// as they are kept) are removed on a thread of their own, never this drop;
// Finish() writes the drop's summary and waits for that thread.
class DropRecorder final : public DropJournal {
public:
    // The drop's record goes into store, which keeps the newest `keep` drops.
    DropRecorder(FileSystem& fs, JournalStore store, std::size_t keep);
    // A recorder that cannot record: why is given for the drop's first patch.
    explicit DropRecorder(Error why);
    ~DropRecorder() override;

    DropRecorder(const DropRecorder&) = delete;
    DropRecorder& operator=(const DropRecorder&) = delete;

    void BeforeReplace(const ReplacedPatch& patch) override;
    void AfterReplace(bool done) override;
    // Makes the record durable; call when the drop has ended.
    void Finish();
    // The program making the drop ("pemberlock", "pemberlock-cli"), for the
    // history; set before the drop starts.
    void SetProgram(std::string program) { origin_.program = std::move(program); }

    // Why recording stopped, when it did: the drop cannot be undone.
    const Error* Failure() const { return failure_ ? &*failure_ : nullptr; }
    std::uint64_t Recorded() const { return recorded_; }
    // The drop's number in the journal, once anything was recorded.
    std::optional<std::uint64_t> Number() const {
        return opened_ ? std::optional<std::uint64_t>(number_) : std::nullopt;
    }
    // Once finished: the bytes the drop holds in the journal, and the
    // journal's limit, which it may exceed alone (it is kept all the same,
    // and no older drop is).
    std::uint64_t Held() const { return held_; }
    const JournalLimit& Limit() const { return limit_; }
    bool AloneOverLimit() const { return opened_ && held_ > limit_.bytes; }

private:
    Result<> Start();
    void Prune(JournalStore store);
    Result<> Append(const std::string& line);
    void WriteSummary();
    Result<> Keep(const ReplacedPatch& patch, const std::string& kept);
    Result<> Copy(const std::string& from, const std::string& to);
    void Fail(const Error& error);
    void MarkIncomplete();
    void ShareFolder(const std::string& patch);

    FileSystem* fs_ = nullptr;
    std::optional<JournalStore> store_;
    std::size_t keep_ = 0;
    std::optional<Error> failure_;
    std::optional<Error> unavailable_;  // why there is no journal at all
    std::uint64_t number_ = 0;          // the drop's number in the store
    std::unique_ptr<OutputFile> manifest_;
    std::size_t entries_ = 0;     // written to the manifest
    std::uint64_t recorded_ = 0;  // of them, the patches replaced
    bool pending_ = false;        // an entry whose rename is yet to be told
    bool finished_ = false;
    bool opened_ = false;            // the drop's folder and manifest were made
    std::int64_t started_ = 0;       // as the manifest says
    ContentHasher written_;          // of the manifest, as written
    std::uint64_t pendingSize_ = 0;  // the old bytes of the entry whose rename is pending
    DropOrigin origin_;              // the folder: the one all replaced patches share
    bool anyFolder_ = false;         // origin_.folder has been set once

    // The old bytes kept for the patches replaced, and how many the other
    // drops kept leave room for: beyond that the pruning thread wakes.
    static constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};
    std::atomic<std::uint64_t> held_ = 0;
    std::atomic<std::uint64_t> room_ = kNoLimit;
    std::mutex pruneMutex_;
    std::condition_variable pruneWake_;
    bool ended_ = false;          // the drop has ended: the pruning thread stops
    JournalLimit limit_;          // set by the pruning thread
    std::vector<HeldDrop> kept_;  // the drops it left, newest first
    std::thread pruning_;         // removes the oldest drops while this one runs
};

}  // namespace pemberlock
