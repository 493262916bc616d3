// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "journal/DropRecorder.h"
#include "journal/JournalPlace.h"
#include "journal/JournalStore.h"
#include "journal/RestorePatch.h"
#include "patch/DropBatch.h"
#include "patch/StatusLog.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pemberlock {

// A drop as the journal keeps it.
struct RecordedDrop {
    std::uint64_t number = 0;
    std::int64_t started = 0;  // seconds since 1970-01-01 UTC
    std::size_t patches = 0;   // the patches it replaced
    bool undone = false;
};

// The journal of drops, shared by the window and the command line: each
// drop is recorded as it goes, the newest kKeptDrops are kept, and the
// newest drop not undone yet can be taken back.
class UndoJournal {
public:
    static constexpr std::size_t kKeptDrops = 20;

    UndoJournal(FileSystem& fs, JournalPlace place);

    // False when there is no journal and nothing to say about it.
    bool Wanted() const { return !place_.folder.empty() || !place_.problem.empty(); }
    const JournalPlace& Place() const { return place_; }

    // Takes the journal for one operation that changes patches (a drop, an
    // undo), held until the lock returned is destroyed, so that two programs
    // never work on one library at once. When another program holds it,
    // waiting() is called once and this waits, giving up (an Error that
    // says so) when stop is set. With no journal folder there is nothing to
    // hold: a null lock.
    Result<std::unique_ptr<HeldLock>> Hold(const std::function<void()>& waiting,
                                           const std::atomic<bool>* stop);

    // A recorder for the next drop, to hand to RunPatchDrop; nullptr when
    // no journal is wanted.
    std::unique_ptr<DropRecorder> Record();

    // The drops that replaced anything, newest first.
    Result<std::vector<RecordedDrop>> History();
    bool CanUndo();
    // Restores the patches of the newest drop not undone yet, each line in
    // a drop's manner on log ("Restoring PATH  ....  Done."), newest patch
    // first, then "R of N files restored.". Fails when there is none. A
    // stopped undo leaves the drop to be undone again.
    Result<UndoSummary> UndoLast(StatusLog& log, const UndoOptions& options = {});

private:
    // The newest drop not undone yet that replaced anything, with its manifest.
    Result<std::optional<std::pair<std::uint64_t, Manifest>>> LastToUndo();

    FileSystem& fs_;
    JournalPlace place_;
    JournalStore store_;
};

}  // namespace pemberlock
