// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropBatch.h"
#include "drop/StatusLog.h"
#include "fileio/FileSystem.h"
#include "journal/DropRecorder.h"
#include "journal/JournalPlace.h"
#include "journal/JournalStore.h"
#include "journal/RestorePatch.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

// A drop as the journal keeps it.
struct RecordedDrop {
    // What became of it, for a history view: Done until undone, Undone when
    // every patch holds its old bytes again, PartlyUndone when an undo or a
    // redo left some as they were (or was stopped); PartlyRecorded and
    // Damaged records are neither undone nor redone.
    enum class State { Done, Undone, PartlyUndone, PartlyRecorded, Damaged };

    std::uint64_t number = 0;
    std::int64_t started = 0;  // seconds since 1970-01-01 UTC
    std::size_t patches = 0;   // the patches it replaced, as far as its record tells
    bool undone = false;
    std::string damage;           // not empty: where its record is damaged
    bool partlyRecorded = false;  // recording failed part-way through the drop
    // Set when the last undo left some of its patches as they were: how
    // many (0 when that is not known).
    std::optional<std::uint64_t> notRestored;
    // Set when the last redo left some of its patches with their old bytes
    // (or is still under way): how many (0 when that is not known).
    std::optional<std::uint64_t> notRedone;
    std::uint64_t held = 0;  // bytes of its kept files that the journal alone holds
    std::string program;     // which made it, and the folder its patches share;
    std::string folder;      // empty where the drop did not say

    State state() const {
        if (!damage.empty()) return State::Damaged;
        if (partlyRecorded) return State::PartlyRecorded;
        if (undone) return State::Undone;
        if (notRestored || notRedone) return State::PartlyUndone;
        return State::Done;
    }
    // Whether UndoJournal::Redo can take it: some of its patches hold their
    // old bytes again.
    bool redoable() const { return state() == State::Undone || state() == State::PartlyUndone; }
};

// Which drop an undo takes.
struct UndoChoice {
    // A drop's number (RecordedDrop::number); none: the newest not undone.
    std::optional<std::uint64_t> drop;
    // Go past drops whose record is damaged or partial, and, for a named
    // drop, past newer ones whose record cannot tell what they changed.
    bool skipDamaged = false;
};

// Which drop a redo takes: a drop's number, or none: the one an undo (or
// a redo that left some of its patches) marked last, so that redos take
// back undos in the reverse order. skipDamaged goes past such a drop whose
// record has been damaged since.
using RedoChoice = UndoChoice;

// The journal of drops, shared by the window and the command line: each
// drop is recorded as it goes, the newest kKeptDrops are kept as far as
// they fit in the journal's limit (JournalLimit), and the newest drop not
// undone yet can be taken back. A drop whose record is
// damaged or partial is never passed over unless the caller says so, and a
// drop counts as undone only when every one of its patches holds its old
// bytes again.
class UndoJournal {
public:
    static constexpr std::size_t kKeptDrops = 20;

    UndoJournal(FileSystem& fs, JournalPlace place);

    // Takes the journal for one operation that changes patches (a drop, an
    // undo), held until the lock returned is destroyed, so that two programs
    // never work on one library at once. When another program holds it,
    // waiting() is called once and this waits, giving up (an Error that
    // says so) when stop is set. The journal's folder is made where missing
    // unless !make (an undo has nothing to do then). With no journal folder,
    // or one that cannot be used, there is nothing to hold: a null lock.
    Result<std::unique_ptr<HeldLock>> Hold(const std::function<void()>& waiting,
                                           const std::atomic<bool>* stop, bool make = true);

    // A recorder for the next drop, to hand to RunPatchDrop; nullptr when
    // no journal is wanted.
    std::unique_ptr<DropRecorder> Record();

    // The drops that replaced anything, newest first.
    Result<std::vector<RecordedDrop>> History();
    // Whether there is a drop to undo (or to refuse, saying why), told from
    // the drops' summaries: quick enough to ask whenever the window is
    // activated or its Edit menu opens.
    bool CanUndo();
    // The limit in force.
    JournalLimit Limit();
    // Stores the limit (nullopt: the default again) and removes at once the
    // oldest drops beyond it: how many. Hold the journal meanwhile.
    Result<std::size_t> SetLimit(std::optional<std::uint64_t> bytes);
    // Restores the patches of the drop chosen, each line in a drop's manner
    // on log ("Restoring PATH  ....  Done."), newest patch first, then
    // "R of N files restored.". Fails when there is none to take (nothing to
    // undo); a drop that cannot be undone is refused (UndoSummary::refused)
    // and nothing is done. A stopped undo leaves the drop to be undone
    // again, and so does one that left any patch as it was.
    Result<UndoSummary> Undo(const UndoChoice& which, StatusLog& log,
                             const UndoOptions& options = {});
    Result<UndoSummary> UndoLast(StatusLog& log, const UndoOptions& options = {}) {
        return Undo({}, log, options);
    }
    // Whether there is a drop to redo (RecordedDrop::redoable), told from
    // the drops' marks: as quick as CanUndo.
    bool CanRedo();
    // Takes back the undo of the drop chosen: each patch it restored gets
    // the drop's bytes back, kept by the undo, as Undo restores them, oldest
    // patch first ("Redoing PATH  ....  Done.", then "R of N files
    // redone."); the summary's restored counts the patches that hold the
    // drop's bytes again. A patch changed since the undo, or whose rewritten
    // bytes in the journal are missing or damaged, is left as it is and the
    // drop stays partly undone, for the next redo or undo to take. The drop's
    // old bytes stay in the journal, so that it can be undone again. Fails
    // when there is none to take (nothing to redo, or the drop named is not
    // undone); one whose record is damaged since is refused. Call it with
    // the journal held, as Undo.
    Result<UndoSummary> Redo(const RedoChoice& which, StatusLog& log,
                             const UndoOptions& options = {});

private:
    // The drop an undo of which takes, with its record, or why it cannot be
    // undone.
    struct Choice {
        std::uint64_t number = 0;
        DropRecord record;
        std::optional<Error> refused;
    };
    Result<Choice> Choose(const UndoChoice& which);
    Result<Choice> ChooseNamed(std::uint64_t number, const std::vector<std::uint64_t>& drops,
                               bool skipDamaged);
    Result<Choice> ChooseRedo(const RedoChoice& which);
    // Whether a drop that replaced anything is wanted, newest first.
    bool AnyDropThat(const std::function<bool(std::uint64_t)>& wanted);
    // Why there is no journal.
    Error NoJournal() const;

    FileSystem& fs_;
    JournalPlace place_;
    JournalStore store_;
};

}  // namespace pemberlock
