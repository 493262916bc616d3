// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/UndoCommands.h"

#include "cli/CommandLine.h"
#include "cli/StreamStatusLog.h"

#include <ctime>

namespace pemberlock::cli {
namespace {

constexpr const char* kProgram = "pemberlock-cli";

// "2026-12-07 10:40:36", in the user's time zone.
std::string LocalTime(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    const std::tm* local = std::localtime(&time);
    char text[32] = "?";
    if (local) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return text;
}

}  // namespace

namespace {

// An undo or a redo: the same steps, the same statuses.
int RunStep(UndoJournal& journal, const UndoChoice& which, bool redo, std::ostream& out,
            std::ostream& err, bool outIsTerminal, const std::atomic<bool>* stop) {
    const std::string option = redo ? "--redo" : "--undo";
    // Held from before the journal is read until the step is recorded, so
    // that no drop or undo of another program comes in between.
    const Result<std::unique_ptr<HeldLock>> held = journal.Hold(
        [&] {
            err << kProgram << ": Waiting for another drop to finish\xe2\x80\xa6\n" << std::flush;
        },
        stop, false);
    if (!held) {
        err << kProgram << ": " << held.error().Text() << "\n";
        return stop && *stop ? kExitStopped : kExitPatchFailed;
    }
    StreamStatusLog log(out, outIsTerminal);
    const Result<UndoSummary> done =
        redo ? journal.Redo(which, log, {stop, {}}) : journal.Undo(which, log, {stop, {}});
    if (!done) {
        err << kProgram << ": " << done.error().Text() << "\n";
        return kExitUsage;
    }
    if (done->refused) {
        err << kProgram << ": " << done->refused->Text() << "\n";
        if (!which.drop && !which.skipDamaged) {
            err << kProgram << ": " << option << " --skip-damaged goes past it to the drops "
                << (redo ? "undone before it" : "before it") << "\n";
        }
        return kExitPatchFailed;
    }
    const bool written = log.Finish();
    for (const PatchFailure& failure : done->failures) {
        err << failure.path << ": " << failure.error.Text() << "\n";
    }
    if (done->notMarked) {
        err << kProgram << ": " << done->notMarked->Text() << "; the next " << option
            << " takes the same drop again\n";
    }
    if (!written) err << kProgram << ": could not write to standard output\n";
    if (!written) return kExitPatchFailed;
    if (done->stopped) return kExitStopped;
    return done->failures.empty() ? kExitOk : kExitPatchFailed;
}

}  // namespace

int RunUndo(UndoJournal& journal, const UndoChoice& which, std::ostream& out, std::ostream& err,
            bool outIsTerminal, const std::atomic<bool>* stop) {
    return RunStep(journal, which, false, out, err, outIsTerminal, stop);
}

int RunRedo(UndoJournal& journal, const RedoChoice& which, std::ostream& out, std::ostream& err,
            bool outIsTerminal, const std::atomic<bool>* stop) {
    return RunStep(journal, which, true, out, err, outIsTerminal, stop);
}

namespace {

// "7  2026-12-07 10:40:36  12.3 MB  3 patches  undone"
std::string HistoryLine(const RecordedDrop& drop, const JournalLimit& limit) {
    std::string line = std::to_string(drop.number) + "  " + LocalTime(drop.started) + "  " +
                       SizeText(drop.held) +
                       (drop.held > limit.bytes ? ", alone over the limit  " : "  ");
    // How many patches a damaged or partial record lists says nothing.
    if (!drop.damage.empty()) {
        line += "damaged (" + drop.damage + ")";
    } else if (drop.partlyRecorded) {
        line += "partly recorded";
    } else {
        line += std::to_string(drop.patches) + (drop.patches == 1 ? " patch" : " patches");
    }
    switch (drop.state()) {
        case RecordedDrop::State::Done: line += "  done"; break;
        case RecordedDrop::State::Undone: line += "  undone"; break;
        case RecordedDrop::State::PartlyUndone:
            line += "  partly undone";
            if (drop.notRestored.value_or(0) > 0) {
                line += ": " + std::to_string(*drop.notRestored) + " not restored";
            } else if (drop.notRedone.value_or(0) > 0) {
                line += ": " + std::to_string(*drop.notRedone) + " not redone";
            }
            break;
        case RecordedDrop::State::PartlyRecorded:
        case RecordedDrop::State::Damaged: break;  // said in place of the patches
    }
    return line + "\n";
}

// "at most 20 drops and 500.0 MB (set by --journal-limit)"
std::string Keeps(const JournalLimit& limit) {
    const char* why = limit.stored ? " (set by --journal-limit)"
                      : limit.bytes == kMostDefaultLimit
                          ? " (the default)"
                          : " (the default: a tenth of the free space)";
    return "at most " + std::to_string(UndoJournal::kKeptDrops) + " drops and " +
           SizeText(limit.bytes) + why;
}

}  // namespace

int RunHistory(UndoJournal& journal, std::ostream& out, std::ostream& err) {
    const Result<std::vector<RecordedDrop>> history = journal.History();
    if (!history) {
        err << kProgram << ": " << history.error().Text() << "\n";
        return kExitPatchFailed;
    }
    const JournalLimit limit = journal.Limit();
    std::uint64_t held = 0;
    if (history->empty()) out << "No drops are recorded.\n";
    for (const RecordedDrop& drop : *history) {
        out << HistoryLine(drop, limit);
        held += drop.held;
    }
    out << "The journal holds " << SizeText(held) << "; it keeps " << Keeps(limit) << ".\n";
    out.flush();
    if (out.fail()) {
        err << kProgram << ": could not write to standard output\n";
        return kExitPatchFailed;
    }
    return kExitOk;
}

int RunJournalLimit(UndoJournal& journal, std::optional<std::uint64_t> bytes, std::ostream& out,
                    std::ostream& err, const std::atomic<bool>* stop) {
    // Not while a drop or an undo works on the drops it may remove.
    const Result<std::unique_ptr<HeldLock>> held = journal.Hold(
        [&] {
            err << kProgram << ": Waiting for another drop to finish\xe2\x80\xa6\n" << std::flush;
        },
        stop);
    if (!held) {
        err << kProgram << ": " << held.error().Text() << "\n";
        return stop && *stop ? kExitStopped : kExitPatchFailed;
    }
    const Result<std::size_t> removed = journal.SetLimit(bytes);
    if (!removed) {
        err << kProgram << ": " << removed.error().Text() << "\n";
        return kExitPatchFailed;
    }
    out << "The journal keeps " << Keeps(journal.Limit()) << ".\n";
    if (*removed > 0) {
        out << (*removed == 1 ? "The oldest drop was"
                              : "The oldest " + std::to_string(*removed) + " drops were")
            << " removed to keep to it.\n";
    }
    out.flush();
    if (out.fail()) {
        err << kProgram << ": could not write to standard output\n";
        return kExitPatchFailed;
    }
    return kExitOk;
}

void FinishRecord(DropRecorder* recorder, std::ostream& err) {
    if (!recorder) return;
    recorder->Finish();
    if (recorder->Failure()) {
        err << kProgram << ": Undo is not available for this drop: " << recorder->Failure()->Text()
            << "\n";
    } else if (recorder->AloneOverLimit()) {
        err << kProgram << ": this drop alone holds " << SizeText(recorder->Held())
            << " in the journal, over its limit of " << SizeText(recorder->Limit().bytes)
            << ": it is kept for --undo, but no older drop is\n";
    }
}

std::string JournalHelp(const JournalPlace& place) {
    // The rule, not this machine's folder: the manual page is made from this.
    std::string where = JournalPlaceRule();
    if (place.folder.empty()) {
        where += place.problem ? " (here none: " + place.problem->Text() + ")" : " (here none)";
    }
    return "Undo:\n"
           "  Each drop is recorded before it replaces anything: for each patch, its old bytes\n"
           "  and digests of them and of what the drop wrote. --undo restores the patches of the\n"
           "  last drop not undone yet that still hold exactly what it wrote, where it wrote them\n"
           "  (not through a symbolic link put in the way since), each by the same safe replace\n"
           "  as a rewrite, and leaves any other as it is:\n"
           "    > Restoring PATH  ....  Done.\n"
           "    > Restoring PATH  ....  Error!     (and \"PATH: REASON\" on standard error)\n"
           "    > R of N files restored.\n"
           "  A drop is undone only when all its patches are restored; until then the next\n"
           "  --undo takes it again. Another --undo goes one drop further back. --undo ID undoes\n"
           "  drop ID of --history, unless a newer drop not undone changed the same patches.\n"
           "  A drop whose record is damaged or partial is neither undone nor passed over:\n"
           "  --undo stops with status 1, unless --skip-damaged says to go past it.\n"
           "  --redo takes back the last undo: each patch it restored that still holds the old\n"
           "  bytes it put back gets the bytes the drop wrote again, with their time, and the\n"
           "  drop can be undone again; any other patch is left as it is:\n"
           "    > Redoing PATH  ....  Done.\n"
           "    > Redoing PATH  ....  Error!       (and \"PATH: REASON\" on standard error)\n"
           "    > R of N files redone.\n"
           "  Until every patch is redone the drop stays partly undone, for --undo or --redo.\n"
           "  --redo ID redoes drop ID of --history.\n"
           "  --history lists the recorded drops, newest first: number, when, the bytes it holds\n"
           "  in the journal, how many patches, and whether done, undone, partly undone, partly\n"
           "  recorded or damaged; then the journal's size and limit. The last 20 drops are kept\n"
           "  as far as they fit in the limit, in " +
           where +
           ",\n"
           "  which is used only when it belongs to the user running the program.\n"
           "  --journal-limit SIZE sets the limit (500M, 2G, 1.5G: units of 1000; bytes without\n"
           "  one) for the window too, and removes the oldest drops beyond it at once;\n"
           "  --journal-limit default goes back to a tenth of the free space, at most 2 GB. A\n"
           "  drop over the limit by itself is kept, but no older one, and says so.\n"
           "  --no-journal and --dry-run record nothing. A drop that cannot be recorded still\n"
           "  runs, with a warning on standard error. One drop, undo or redo runs at a time;\n"
           "  another waits for it.\n"
           "\n";
}

}  // namespace pemberlock::cli
