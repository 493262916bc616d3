// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/DropRecorder.h"
#include "journal/UndoJournal.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace pemberlock::cli {

// --undo [ID] [--skip-damaged]: restores the drop chosen (by default the
// last not undone yet), its lines on out and the reason for each "Error!"
// on err, holding the journal meanwhile (waiting, and saying so on err,
// while another program holds it). 0 when every patch was restored, 1 when
// any was left as it was or the drop cannot be undone (said on err), 2 when
// there was nothing to undo (said on err), 130 when stopped (the next
// --undo goes on with the same drop) or given up while waiting.
int RunUndo(UndoJournal& journal, const UndoChoice& which, std::ostream& out, std::ostream& err,
            bool outIsTerminal, const std::atomic<bool>* stop = nullptr);

// --redo [ID] [--skip-damaged]: as --undo, the other way: gives the patches
// of the drop chosen (by default the one undone last) the bytes it wrote
// back ("Redoing PATH  ....  Done.", "R of N files redone."), with the same
// statuses: 2 when there is nothing to redo or the drop named is not undone.
int RunRedo(UndoJournal& journal, const RedoChoice& which, std::ostream& out, std::ostream& err,
            bool outIsTerminal, const std::atomic<bool>* stop = nullptr);

// --history: the recorded drops, newest first, one a line: its number, when
// it started, what it holds in the journal, how many patches it replaced,
// and its state (done, undone, partly undone, partly recorded, damaged); then
// what the journal holds and keeps at most.
int RunHistory(UndoJournal& journal, std::ostream& out, std::ostream& err);

// --journal-limit SIZE|default: stores the limit (nullopt: the default
// again), holding the journal as an undo does, removes the oldest drops
// beyond it and says what the journal keeps now. 0 when stored, 1 when it
// cannot be (said on err), 130 when given up while waiting.
int RunJournalLimit(UndoJournal& journal, std::optional<std::uint64_t> bytes, std::ostream& out,
                    std::ostream& err, const std::atomic<bool>* stop = nullptr);

// After a drop: makes its record durable, and says on err, once, when the
// drop could not be recorded, or when it alone is over the journal's limit.
// Nothing without a recorder.
void FinishRecord(DropRecorder* recorder, std::ostream& err);

// What --help says about the journal, with where this system keeps it.
std::string JournalHelp(const JournalPlace& place);

}  // namespace pemberlock::cli
