#include "patch/PatchDrop.h"

#include "fileio/Utf8Path.h"
#include "patch/ProcessPatch.h"

#include <map>

namespace pemberlock {

BatchSummary RunPatchDrop(const std::vector<std::string>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs) {
    std::map<std::string, std::string> folders;  // folder -> a file replaced in it
    const BatchSummary summary =
        RunDropBatch(paths, log, [&](const std::string& path) -> Result<std::string> {
            Result<std::string> replaced = RewritePatchFile(path, map, fs);
            if (!replaced) return replaced;
            const std::string folder = Utf8FromPath(PathFromUtf8(*replaced).parent_path());
            folders.try_emplace(folder, std::move(*replaced));
            return std::string();
        });
    for (const auto& [folder, file] : folders) fs.SyncFolderOf(file);
    return summary;
}

}  // namespace pemberlock
