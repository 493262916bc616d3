// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SheetCommand.h"

#include "cli/CommandLine.h"
#include "map/MapFile.h"
#include "patch/PatchKnobs.h"
#include "sheet/MapSheet.h"
#include "sheet/MapSheetSvg.h"

#include <ctime>

namespace pemberlock::cli {
namespace {

constexpr const char* kProgram = "pemberlock-cli";

// The file's own name, whichever separator the path was typed with.
std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string TodayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return std::string(text, length);
}

int RunSheet(const std::string& out, const std::optional<std::string>& mapPath,
             std::optional<int> precedence, const std::optional<std::string>& patch,
             std::ostream& err, FileSystem& fs) {
    MapSheetContent content;
    content.mapName = "Default map";
    if (mapPath) {
        if (Result<> loaded = LoadMap(content.map, *mapPath, fs); !loaded) {
            err << kProgram << ": cannot load map file \"" << *mapPath
                << "\": " << loaded.error().Text() << "\n";
            return kExitPatchFailed;
        }
        content.mapName = FileName(*mapPath);
    }
    if (precedence) content.map.SetPrecedence(*precedence);
    content.date = TodayText();
    if (patch) {
        Result<PatchKnobs> knobs = ReadPatchKnobs(*patch, fs);
        if (!knobs) {
            err << kProgram << ": " << *patch << ": " << knobs.error().Text() << "\n";
            return kExitPatchFailed;
        }
        AddPatchToSheet(content, *knobs, FileName(*patch));
    }
    if (Result<> saved = SaveMapSheetSvg(LayOutMapSheet(content), out, fs); !saved) {
        err << kProgram << ": cannot write sheet \"" << out << "\": " << saved.error().Text()
            << "\n";
        return kExitPatchFailed;
    }
    return kExitOk;
}

}  // namespace pemberlock::cli
