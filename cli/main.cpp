#include "cli/PathExpansion.h"
#include "cli/StreamStatusLog.h"
#include "map/KnobControllerMap.h"
#include "map/MapFile.h"
#include "patch/DropBatch.h"
#include "patch/PatchDrop.h"
#include "patch/ProcessPatch.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace pemberlock;

constexpr int kExitOk = 0;
constexpr int kExitPatchFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kProgram = "pemberlock-cli";

constexpr const char* kDescription =
    "Rewrites the controller section ([CtrlMapDump]) of synthesizer patch files so that every\n"
    "parameter on a panel knob ([KnobMapDump]) gets the MIDI controller the map gives that knob.\n"
    "Patches are rewritten in place, one after the other, in the order given. A path whose last\n"
    "three characters are not \"pch\" is skipped. The lines printed are those the window's status\n"
    "box would show for the same drop, each ending in a line feed.";

constexpr const char* kFooter =
    "Map:\n"
    "  Without --map, knob i (0 to 17) gets controller 101 + i and the precedence option is 0.\n"
    "  With --map, the map file is read whole before any patch is touched; if it cannot be read\n"
    "  the command says why on standard error and stops with status 2.\n"
    "  --precedence replaces the option of the map (also of a loaded map file): 1 keeps the\n"
    "  controller assignments already in a patch; 0 and 2 let the map's numbers replace them.\n"
    "\n"
    "Output (one line per path, then a summary):\n"
    "  Processing PATH  ....  Done.\n"
    "  Processing PATH  ....  Error!\n"
    "  PATH is not a 'pch' file.. skipping.\n"
    "  S of T files processed successfully.\n"
    "  K files skipped.\n"
    "  E errors.\n"
    "\n"
    "--dry-run changes no file and creates none. For each path it prints instead:\n"
    "  Would rewrite PATH:\n"
    "  followed by the lines of the new controller section, [CtrlMapDump] to [/CtrlMapDump];\n"
    "  or: PATH would fail: REASON\n"
    "  or: PATH is not a 'pch' file.. skipping.\n"
    "  and at the end:\n"
    "  S of T files would be rewritten.\n"
    "  K files skipped.\n"
    "  E would fail.\n"
    "\n"
    "--recursive replaces each folder given by all files below it, sorted by full path (byte\n"
    "order); symbolic links to folders are not followed. Without it a folder is an ordinary\n"
    "path: skipped, or an error if its name ends in \"pch\". Put -- before the paths when a\n"
    "path may begin with a dash. Paths are used and printed exactly as given.\n"
    "\n"
    "Exit status:\n"
    "  0  every patch was rewritten (or would be, with --dry-run); skipped paths do not count\n"
    "  1  at least one patch failed (\"Error!\" or \"would fail\") and was left as it was,\n"
    "     a folder could not be read with --recursive, or the output could not be written\n"
    "  2  usage error, or the map file could not be loaded; no patch was touched\n"
    "\n"
    "Example:\n"
    "  pemberlock-cli --map studio.mpn --precedence 1 --recursive -- ~/patches\n";

std::string CountText(std::uint64_t n) { return std::to_string(n); }

// Shows what a rewrite would write, without writing. Returns the number of
// patches that would fail.
std::uint64_t RunDryRun(const std::vector<std::string>& paths, const KnobControllerMap& map,
                        StatusLog& out) {
    std::uint64_t skipped = 0;
    std::uint64_t failures = 0;
    for (const std::string& path : paths) {
        if (!IsPatchPath(path)) {
            out.Append(path + " is not a 'pch' file.. skipping.\r\n");
            ++skipped;
            continue;
        }
        const PatchPreview preview = PreviewPatchFile(path, map);
        if (preview.ok) {
            out.Append("Would rewrite " + path + ":\r\n");
            out.Append(preview.section);
        } else {
            out.Append(path + " would fail: " + preview.error + "\r\n");
            ++failures;
        }
    }
    const std::uint64_t total = paths.size();
    out.Append(CountText(total - (skipped + failures)) + " of " + CountText(total) +
               " files would be rewritten.\r\n" + CountText(skipped) + " files skipped.\r\n" +
               CountText(failures) + " would fail.\r\n");
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{kDescription, kProgram};
    std::string mapPath;
    int precedence = 0;
    bool dryRun = false;
    bool recursive = false;
    std::vector<std::string> paths;

    CLI::Option* mapOption =
        app.add_option("--map", mapPath,
                       "Load the knob-to-controller map from this map file (.mpn)")
            ->type_name("FILE");
    CLI::Option* precedenceOption =
        app.add_option("--precedence", precedence,
                       "Existing controller mappings take precedence: 1 on, 0 or 2 off")
            ->type_name("0|1|2")
            ->check(CLI::Range(0, 2).description(""));
    app.add_flag("--dry-run", dryRun, "Print what would be written; change no file");
    app.add_flag("--recursive", recursive, "Expand folders into all files below them");
    app.add_option("PATH", paths, "Patch files (and folders, with --recursive)")
        ->type_name("")
        ->required();
    app.footer(kFooter);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help ends here with status 0; every real parse error is a usage error.
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }

    KnobControllerMap map;
    if (*mapOption) {
        std::string error;
        if (!LoadMap(map, mapPath, RealFileSystem(), &error)) {
            std::fprintf(stderr, "%s: cannot load map file \"%s\"%s%s\n", kProgram, mapPath.c_str(),
                         error.empty() ? "" : ": ", error.c_str());
            return kExitUsage;
        }
    }
    if (*precedenceOption) {
        map.SetPrecedence(precedence);
    }

    int status = kExitOk;
    if (recursive) {
        cli::ExpandedPaths expanded = cli::ExpandFolders(paths);
        for (const std::string& problem : expanded.problems) {
            std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
            status = kExitPatchFailed;
        }
        paths = std::move(expanded.paths);
    }

    cli::StreamStatusLog out(stdout);
    if (dryRun) {
        if (RunDryRun(paths, map, out) > 0) {
            status = kExitPatchFailed;
        }
    } else {
        const BatchSummary summary = RunPatchDrop(paths, out, map);
        if (summary.errors > 0) {
            status = kExitPatchFailed;
        }
    }
    if (!out.Finish()) {
        std::fprintf(stderr, "%s: could not write to standard output\n", kProgram);
        status = kExitPatchFailed;
    }
    return status;
}
