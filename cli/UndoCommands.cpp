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

int RunUndo(UndoJournal& journal, const UndoChoice& which, std::ostream& out, std::ostream& err,
            bool outIsTerminal, const std::atomic<bool>* stop) {
    // Held from before the journal is read until the undo is recorded, so
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
    const Result<UndoSummary> undone = journal.Undo(which, log, {stop, {}});
    if (!undone) {
        err << kProgram << ": " << undone.error().Text() << "\n";
        return kExitUsage;
    }
    if (undone->refused) {
        err << kProgram << ": " << undone->refused->Text() << "\n";
        if (!which.drop && !which.skipDamaged) {
            err << kProgram << ": --undo --skip-damaged goes past it to the drops before it\n";
        }
        return kExitPatchFailed;
    }
    const bool written = log.Finish();
    for (const PatchFailure& failure : undone->failures) {
        err << failure.path << ": " << failure.error.Text() << "\n";
    }
    if (undone->notMarked) {
        err << kProgram << ": " << undone->notMarked->Text()
            << "; the next --undo takes the same drop again\n";
    }
    if (!written) err << kProgram << ": could not write to standard output\n";
    if (!written) return kExitPatchFailed;
    if (undone->stopped) return kExitStopped;
    return undone->failures.empty() ? kExitOk : kExitPatchFailed;
}

namespace {

// "7  2026-12-07 10:40:36  3 patches  undone"
std::string HistoryLine(const RecordedDrop& drop) {
    std::string line = std::to_string(drop.number) + "  " + LocalTime(drop.started) + "  ";
    // How many patches a damaged or partial record lists says nothing.
    if (!drop.damage.empty()) {
        line += "damaged (" + drop.damage + ")";
    } else if (drop.partlyRecorded) {
        line += "partly recorded";
    } else {
        line += std::to_string(drop.patches) + (drop.patches == 1 ? " patch" : " patches");
    }
    if (drop.undone) {
        line += "  undone";
    } else if (drop.notRestored) {
        line += "  partly undone";
        if (*drop.notRestored > 0)
            line += ": " + std::to_string(*drop.notRestored) + " not restored";
    }
    return line + "\n";
}

}  // namespace

int RunHistory(UndoJournal& journal, std::ostream& out, std::ostream& err) {
    const Result<std::vector<RecordedDrop>> history = journal.History();
    if (!history) {
        err << kProgram << ": " << history.error().Text() << "\n";
        return kExitPatchFailed;
    }
    if (history->empty()) out << "No drops are recorded.\n";
    for (const RecordedDrop& drop : *history) out << HistoryLine(drop);
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
    }
}

std::string JournalHelp(const JournalPlace& place) {
    std::string where = place.folder;
    if (where.empty()) where = place.problem.empty() ? "no folder" : "no folder: " + place.problem;
    return "Undo:\n"
           "  Each drop is recorded before it replaces anything: for each patch, its old bytes\n"
           "  and digests of them and of what the drop wrote. --undo restores the patches of the\n"
           "  last drop not undone yet that still hold exactly what it wrote, where it wrote them\n"
           "  (not through a symbolic link put in the way since), each by the same safe replace\n"
           "  as a rewrite, and leaves any other as it is:\n"
           "    Restoring PATH  ....  Done.\n"
           "    Restoring PATH  ....  Error!     (and \"PATH: REASON\" on standard error)\n"
           "    R of N files restored.\n"
           "  A drop is undone only when all its patches are restored; until then the next\n"
           "  --undo takes it again. Another --undo goes one drop further back. --undo ID undoes\n"
           "  drop ID of --history, unless a newer drop not undone changed the same patches.\n"
           "  A drop whose record is damaged or partial is neither undone nor passed over:\n"
           "  --undo stops with status 1, unless --skip-damaged says to go past it.\n"
           "  --history lists the recorded drops, newest first: number, when, how many patches,\n"
           "  and whether undone, partly undone, partly recorded or damaged. The last 20 drops\n"
           "  are kept, in " +
           where +
           ",\n"
           "  which is used only when it belongs to the user running the program.\n"
           "  --no-journal and --dry-run record nothing. A drop that cannot be recorded still\n"
           "  runs, with a warning on standard error. One drop or undo runs at a time; another\n"
           "  waits for it.\n"
           "\n";
}

}  // namespace pemberlock::cli
