#include "patch/PatchDrop.h"

#include "patch/ProcessPatch.h"

#include <filesystem>
#include <map>

namespace pemberlock {

BatchSummary RunPatchDrop(const std::vector<std::string>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs) {
    std::map<std::string, std::string> folders;  // folder -> a file replaced in it
    const BatchSummary summary = RunDropBatch(paths, log, [&](const std::string& path) {
        PatchOutcome outcome = RewritePatchFile(path, map, fs);
        if (outcome.ok) {
            const std::string folder = std::filesystem::path(outcome.replaced).parent_path().string();
            folders.try_emplace(folder, std::move(outcome.replaced));
        }
        return outcome.ok;
    });
    for (const auto& [folder, file] : folders) fs.SyncFolderOf(file);
    return summary;
}

}  // namespace pemberlock
