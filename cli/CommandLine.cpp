// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "cli/Diagnostics.h"
#include "cli/PreviewWording.h"
#include "cli/SheetCommand.h"
#include "cli/StreamStatusLog.h"
#include "cli/UndoCommands.h"
#include "common/Version.h"
#include "drop/DropBatch.h"
#include "drop/FolderExpansion.h"
#include "drop/PatchDrop.h"
#include "journal/JournalLimit.h"
#include "map/KnobControllerMap.h"
#include "map/MapFile.h"
#include "patch/PatchKnobs.h"
#include "patch/ProcessPatch.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>

namespace pemberlock::cli {
namespace {

constexpr const char* kProgram = "pemberlock-cli";

constexpr const char* kDescription =
    "Rewrites the controller section ([CtrlMapDump]) of synthesizer patch files so that every\n"
    "parameter on a panel knob ([KnobMapDump]) gets the MIDI controller the map gives that knob.\n"
    "Patches are rewritten in place, by up to four threads, and logged in the order given. A path\n"
    "whose last three characters are not \"pch\" is skipped; one that does not exist is an error. "
    "The lines printed are those the window's status\n"
    "box would show for the same drop, each ending in a line feed.";

constexpr const char* kFooter =
    "Map:\n"
    "  Without --map, knob i (0 to 17) gets controller 101 + i and the precedence option is 0.\n"
    "  With --map, the map file is read whole before any patch is touched; if it cannot be read\n"
    "  the command says why on standard error and stops with status 2.\n"
    "  --precedence replaces the option of the map (also of a loaded map file): 1 keeps the\n"
    "  controller assignments already in a patch; 0 and 2 let the map's numbers replace them.\n"
    "\n"
    "Output: one line per path, then a summary.\n"
    "  > Processing PATH  ....  Done.\n"
    "  > Processing PATH  ....  Error!\n"
    "  > PATH is not a 'pch' file.. skipping.\n"
    "  > S of T files processed successfully.\n"
    "  > K files skipped.\n"
    "  > E errors.\n"
    "For each Error! standard error says why, in a line: PATH: REASON\n"
    "\n"
    "Warnings (on standard error, before the batch; they change nothing):\n"
    "  > warning: knob 1 uses controller 32, which the synthesizer reserves for bank select\n"
    "and likewise for controller 120, and for knobs that share one controller.\n"
    "\n"
    "--dry-run changes no file and creates none. For each path it prints instead\n"
    "  > Would rewrite PATH:\n"
    "followed by the lines of the new controller section, [CtrlMapDump] to [/CtrlMapDump],\n"
    "then indented lines on what it holds: each knob's parameters and controller, old\n"
    "assignments dropped and kept, knob assignments not added (precedence on); or\n"
    "  > PATH would fail: REASON\n"
    "or\n"
    "  > PATH is not a 'pch' file.. skipping.\n"
    "and at the end\n"
    "  > S of T files would be rewritten.\n"
    "  > K files skipped.\n"
    "  > E would fail.\n"
    "\n"
    "--explain PATH... changes nothing and records nothing. For each patch it prints\n"
    "  > PATH:\n"
    "then, indented, each knob and the parameters it controls, named from the patch's own\n"
    "module names and the synthesizer's module list, and each controller assignment:\n"
    "  >   knob 3: parameters 1 3 1 (Bass LP (FilterE) › frequency), 2 1 1 (Morph 2)\n"
    "  >   knob slot 19 (pedal): parameter 1 5 5 (Osc (OscA) › freq fine)\n"
    "  >   controller 7: parameter 1 9 0 (unknown: the voice area has no module 9)\n"
    "A patch that cannot be read is named on standard error with the reason (status 1).\n"
    "\n"
    "--recursive replaces each folder given by all files below it, sorted by full path (byte\n"
    "order); symbolic links to folders are not followed. Without it a folder is an ordinary\n"
    "path: skipped, or an error if its name ends in \"pch\". Put -- before the paths when a\n"
    "path may begin with a dash. Paths are used and printed exactly as given.\n"
    "\n"
    "--sheet OUT writes a printable sheet of the map (--map, or the default one; --precedence\n"
    "applies) to OUT as SVG, one A4 page in landscape: the 18 knobs as the window lays them\n"
    "out, three rows of six, each with its controller number and what the window warns of\n"
    "about it (\"! Bank select\", \"! All Sound Off\", \"! Also knob 11\"), then the precedence\n"
    "option, the map file's name and today's date. With one PATH, each knob also lists what\n"
    "it controls in that patch. No patch is touched; OUT is replaced safely.\n"
    "\n";

constexpr const char* kFooterEnd =
    "Exit status:\n"
    "  0  every patch was rewritten (or would be, with --dry-run); skipped paths do not count\n"
    "  1  at least one patch failed (\"Error!\" or \"would fail\") and was left as it was,\n"
    "     a folder could not be read with --recursive, or the output could not be written\n"
    "  2  usage error, or the map file could not be loaded; no patch was touched\n"
    "  130  stopped by Ctrl+C: the patches in hand were finished, the rest left as they were\n"
    "  With --undo: 0 every patch was restored, 1 at least one was left as it was or the drop\n"
    "  cannot be undone, 2 there was nothing to undo, 130 stopped (the next --undo goes on\n"
    "  with the same drop). With --redo, the same, for patches redone.\n"
    "  With --history: 0, or 1 when the journal cannot be read.\n"
    "  With --explain: 0, or 1 when a patch could not be read.\n"
    "  With --sheet: 0, or 1 when the map file or the patch cannot be read or OUT cannot be\n"
    "  written.\n"
    "  With --journal-limit: 0, 1 when the limit cannot be stored, 2 for a size it cannot\n"
    "  read.\n"
    "\n"
    "Example:\n"
    "  $ pemberlock-cli --map studio.mpn --precedence 1 --recursive -- ~/patches\n";

struct Options {
    std::optional<std::string> mapPath;
    std::optional<int> precedence;
    bool dryRun = false;
    bool recursive = false;
    bool undo = false;
    bool redo = false;
    UndoChoice undoChoice;  // or the redo's
    bool history = false;
    bool explain = false;
    bool setLimit = false;
    std::optional<std::uint64_t> limit;  // with setLimit; none: the default
    bool noJournal = false;
    std::optional<std::string> sheetPath;
    std::vector<std::string> paths;
};

// Parses args into options; nullopt with the exit status when the command
// ends here (--help, or a usage error already reported on err).
std::optional<Options> Parse(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err, const Console& console, int& status) {
    CLI::App app{kDescription, kProgram};
    Options options;
    int precedence = 0;
    std::string mapPath;
    CLI::Option* mapOption =
        app.add_option("--map", mapPath,
                       "Load the knob-to-controller map from this map file (.mpn)")
            ->type_name("FILE");
    CLI::Option* precedenceOption =
        app.add_option("--precedence", precedence,
                       "Existing controller mappings take precedence: 1 on, 0 or 2 off")
            ->type_name("0|1|2")
            ->check(CLI::Range(0, 2).description(""));
    app.add_flag("--dry-run", options.dryRun, "Print what would be written; change no file");
    app.add_flag("--recursive", options.recursive, "Expand folders into all files below them");
    app.add_flag("--no-journal", options.noJournal, "Record nothing for --undo");
    std::vector<std::string> undoDrop;
    CLI::Option* undo = app.add_option("--undo", undoDrop,
                                       "Restore the last drop not undone (or drop ID of --history)")
                            ->expected(0, 1)
                            ->type_name("[ID]");
    CLI::Option* redo =
        app.add_option("--redo", undoDrop, "Redo the drop undone last (or drop ID of --history)")
            ->expected(0, 1)
            ->type_name("[ID]");
    CLI::Option* skipDamaged =
        app.add_flag("--skip-damaged", options.undoChoice.skipDamaged,
                     "With --undo or --redo, go past drops whose record is damaged or partial");
    CLI::Option* history =
        app.add_flag("--history", options.history, "List the recorded drops, newest first");
    CLI::Option* explain = app.add_flag(
        "--explain", options.explain,
        "Print what each knob and controller assignment of the patches controls; change nothing");
    std::string limitText;
    CLI::Option* limit =
        app.add_option("--journal-limit", limitText, "Set how much the journal of drops may hold")
            ->type_name("SIZE|default");
    std::string sheetPath;
    CLI::Option* sheet =
        app.add_option("--sheet", sheetPath, "Write a printable sheet of the map to this SVG file")
            ->type_name("OUT");
    CLI::Option* paths =
        app.add_option("PATH", options.paths, "Patch files (and folders, with --recursive)")
            ->type_name("");
    app.footer(kFooter + JournalHelp(console.journal) + kFooterEnd);
    app.set_version_flag("--version",
                         std::string(kProgram) + " " + kVersion + "\n" + kCopyrightNotice,
                         "Print the version and the licence, then exit");
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
        // --undo, --redo, --history, --journal-limit, --explain (but for
        // its paths) and --sheet stand alone (checked here rather than by
        // CLI11, which would list the exclusions beside every option).
        const auto goesWith = [&](CLI::Option* command, CLI::Option* other) {
            if (command == undo || command == redo) return other == skipDamaged;
            if (command == explain) return other == paths;
            // The sheet is of the map given, and of one patch at most.
            if (command == sheet) {
                return other == mapOption || other == precedenceOption ||
                       (other == paths && options.paths.size() == 1);
            }
            return false;
        };
        for (CLI::Option* command : {undo, redo, history, limit, explain, sheet}) {
            for (CLI::Option* other : app.get_options()) {
                if (*command && *other && other != command && !goesWith(command, other)) {
                    throw CLI::ExcludesError(command->get_name(), other->get_name());
                }
            }
        }
        if (*skipDamaged && !*undo && !*redo) {
            throw CLI::RequiresError("--skip-damaged", "--undo or --redo");
        }
        // CLI11 gives an option that may go without its value an empty one.
        if (!undoDrop.empty() && !undoDrop.front().empty()) {
            std::uint64_t number = 0;
            const std::string& text = undoDrop.front();
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), number);
            if (error != std::errc() || end != text.data() + text.size() || number == 0) {
                throw CLI::ValidationError(*redo ? "--redo" : "--undo",
                                           "\"" + text + "\" is not a drop's number");
            }
            options.undoChoice.drop = number;
        }
        if (*limit && limitText != "default") {
            options.limit = ParseSize(limitText);
            if (!options.limit) {
                throw CLI::ValidationError(
                    "--journal-limit",
                    "\"" + limitText + "\" is not a size such as 500M or 2G, nor \"default\"");
            }
        }
        if (!*undo && !*redo && !*history && !*limit && !*sheet && !*paths) {
            throw CLI::RequiredError("PATH");
        }
    } catch (const CLI::ParseError& e) {
        // --help and --version end here with status 0; every real parse error is a usage error.
        status = app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
        return std::nullopt;
    }
    options.undo = undo->count() > 0;
    options.redo = redo->count() > 0;
    options.setLimit = limit->count() > 0;
    if (*mapOption) options.mapPath = mapPath;
    if (*sheet) options.sheetPath = sheetPath;
    if (*precedenceOption) options.precedence = precedence;
    return options;
}

// --explain: per patch, what its knobs and controller assignments control.
int RunExplain(const std::vector<std::string>& paths, std::ostream& out, std::ostream& err,
               FileSystem& fs) {
    int status = kExitOk;
    for (const std::string& path : paths) {
        const Result<PatchKnobs> knobs = ReadPatchKnobs(path, fs);
        if (!knobs) {
            out << std::flush;
            err << path << ": " << knobs.error().Text() << "\n" << std::flush;
            status = kExitPatchFailed;
            continue;
        }
        out << path << ":\n" << ExplainPatchKnobs(*knobs);
    }
    out << std::flush;
    if (!out) {
        err << kProgram << ": could not write to standard output\n";
        status = kExitPatchFailed;
    }
    return status;
}

// The paths to drop: with recursive, each folder replaced by the files
// below it (one that cannot be read said on err and left out). A path that
// names nothing stays, to fail as "does not exist": a mistyped path must
// not pass for one that was skipped.
std::vector<DropPath> GatherPaths(const std::vector<std::string>& given, bool recursive,
                                  FileSystem& fs, std::ostream& err, int& status) {
    std::set<std::string> missing;
    for (const std::string& path : given) {
        if (fs.LinkStatus(path).kind == FileKind::Missing) {
            missing.insert(path);
        } else if (!recursive && fs.Status(path).kind == FileKind::Directory) {
            err << path << " is a folder: add --recursive to rewrite the patches in it\n";
        }
    }
    std::vector<DropPath> paths;
    if (!recursive) {
        for (const std::string& path : given) paths.push_back({path, {}});
    } else {
        for (DropPath& found : ExpandFolders(given, fs)) {
            if (found.unreadable) {
                err << kProgram << ": cannot read folder \"" << found.path
                    << "\": " << found.unreadable->cause << "\n";
                status = kExitPatchFailed;
            } else {
                paths.push_back(std::move(found));
            }
        }
    }
    for (DropPath& path : paths) {
        if (missing.count(path.path)) path.unreadable = Error{"does not exist"};
    }
    return paths;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   FileSystem& fs, const Console& console) {
    int status = kExitOk;
    std::optional<Options> options = Parse(args, out, err, console, status);
    if (!options) return status;
    if (options->sheetPath) {
        const std::optional<std::string> patch =
            options->paths.empty() ? std::nullopt : std::optional(options->paths.front());
        return RunSheet(*options->sheetPath, options->mapPath, options->precedence, patch, err, fs);
    }
    UndoJournal journal(fs, options->noJournal ? JournalPlace{} : console.journal);
    if (options->undo) {
        return RunUndo(journal, options->undoChoice, out, err, console.outIsTerminal, console.stop);
    }
    if (options->redo) {
        return RunRedo(journal, options->undoChoice, out, err, console.outIsTerminal, console.stop);
    }
    if (options->history) return RunHistory(journal, out, err);
    if (options->setLimit) return RunJournalLimit(journal, options->limit, out, err, console.stop);
    if (options->explain) return RunExplain(options->paths, out, err, fs);

    KnobControllerMap map;
    if (options->mapPath) {
        if (Result<> loaded = LoadMap(map, *options->mapPath, fs); !loaded) {
            err << kProgram << ": cannot load map file \"" << *options->mapPath
                << "\": " << loaded.error().Text() << "\n";
            return kExitUsage;
        }
    }
    if (options->precedence) map.SetPrecedence(*options->precedence);
    PrintMapWarnings(map, err);

    std::vector<DropPath> paths = GatherPaths(options->paths, options->recursive, fs, err, status);
    StreamStatusLog log(out, console.outIsTerminal);
    FailureReasons reasons(err);
    // One drop at a time on a library: another program's drop or undo is
    // waited for before anything is touched.
    Result<std::unique_ptr<HeldLock>> held = std::unique_ptr<HeldLock>();
    if (!options->dryRun) {
        held = journal.Hold(
            [&] { err << kProgram << ": Waiting for another drop to finish…\n"
                      << std::flush; },
            console.stop);
        if (!held && console.stop && console.stop->load()) {
            err << kProgram << ": " << held.error().Text() << "; nothing was changed\n";
            return kExitStopped;
        }
        // A journal that cannot be locked cannot record either: the drop
        // runs, and the recorder says why undo is not available.
    }
    const std::unique_ptr<DropRecorder> recorder = options->dryRun ? nullptr : journal.Record();
    if (recorder) recorder->SetProgram(kProgram);
    DropOptions drop;
    drop.stop = console.stop;
    drop.hurry = console.hurry;
    drop.observer = &reasons;
    drop.journal = recorder.get();
    const PreviewWording previewWords;
    if (options->dryRun) {
        drop.preview = true;
        drop.words = &previewWords;
    }
    const BatchSummary summary = RunPatchDrop(paths, log, map, fs, drop);
    FinishRecord(recorder.get(), err);
    if (summary.errors > 0) status = kExitPatchFailed;
    if (summary.total < paths.size()) status = kExitStopped;
    if (!log.Finish()) {
        err << kProgram << ": could not write to standard output\n";
        status = kExitPatchFailed;
    }
    return status;
}

}  // namespace pemberlock::cli
