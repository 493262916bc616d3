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

int RunUndo(UndoJournal& journal, std::ostream& out, std::ostream& err, bool outIsTerminal,
            const std::atomic<bool>* stop) {
    StreamStatusLog log(out, outIsTerminal);
    const Result<UndoSummary> undone = journal.UndoLast(log, {stop, {}});
    if (!undone) {
        err << kProgram << ": " << undone.error().Text() << "\n";
        return kExitUsage;
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

int RunHistory(UndoJournal& journal, std::ostream& out, std::ostream& err) {
    const Result<std::vector<RecordedDrop>> history = journal.History();
    if (!history) {
        err << kProgram << ": " << history.error().Text() << "\n";
        return kExitPatchFailed;
    }
    if (history->empty()) out << "No drops are recorded.\n";
    for (const RecordedDrop& drop : *history) {
        out << LocalTime(drop.started) << "  " << drop.patches
            << (drop.patches == 1 ? " patch" : " patches") << (drop.undone ? "  undone" : "")
            << "\n";
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
    }
}

std::string JournalHelp(const JournalPlace& place) {
    std::string where = place.folder;
    if (where.empty()) where = place.problem.empty() ? "no folder" : "no folder: " + place.problem;
    return "Undo:\n"
           "  Each drop is recorded before it replaces anything: for each patch, its old bytes\n"
           "  and a digest of what the drop wrote. --undo restores the patches of the last drop\n"
           "  not undone yet that still hold exactly what it wrote, each by the same safe replace\n"
           "  as a rewrite, and leaves any other as it is:\n"
           "    Restoring PATH  ....  Done.\n"
           "    Restoring PATH  ....  Error!     (and \"PATH: REASON\" on standard error)\n"
           "    R of N files restored.\n"
           "  Another --undo goes one drop further back. --history lists the recorded drops,\n"
           "  newest first: when, how many patches, and whether undone. The last 20 drops are\n"
           "  kept, in " +
           where +
           ".\n"
           "  --no-journal and --dry-run record nothing. A drop that cannot be recorded still\n"
           "  runs, with a warning on standard error.\n"
           "\n";
}

}  // namespace pemberlock::cli
