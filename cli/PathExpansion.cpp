#include "cli/PathExpansion.h"

#include "fileio/Utf8Path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace pemberlock::cli {
namespace {

void CollectFiles(const fs::path& folder, std::vector<std::string>& files,
                  std::vector<std::string>& problems) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    const fs::directory_iterator end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& entry = it->path();
        std::error_code kindError;
        const fs::file_status own = it->symlink_status(kindError);
        if (fs::is_directory(own)) {
            CollectFiles(entry, files, problems);
            continue;
        }
        // A link to a folder is neither entered nor listed.
        if (fs::is_symlink(own) && fs::is_directory(it->status(kindError))) {
            continue;
        }
        files.push_back(Utf8FromPath(entry));
    }
    if (ec) {
        problems.push_back("cannot read folder \"" + Utf8FromPath(folder) + "\": " + ec.message());
    }
}

}  // namespace

ExpandedPaths ExpandFolders(const std::vector<std::string>& paths) {
    ExpandedPaths result;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (path.empty() || !fs::is_directory(PathFromUtf8(path), ec)) {
            result.paths.push_back(path);
            continue;
        }
        std::vector<std::string> files;
        CollectFiles(PathFromUtf8(path), files, result.problems);
        // std::string compares like memcmp: a bytewise order, whatever the locale.
        std::sort(files.begin(), files.end());
        result.paths.insert(result.paths.end(), std::make_move_iterator(files.begin()),
                            std::make_move_iterator(files.end()));
    }
    return result;
}

}  // namespace pemberlock::cli
