// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/FolderExpansion.h"

#include <algorithm>
#include <filesystem>

namespace pemberlock {
namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

std::string Join(const std::string& folder, const std::string& name) {
    const char last = folder.empty() ? '\0' : folder.back();
    if (last == '/' || last == kSeparator) return folder + name;
    return folder + kSeparator + name;
}

void Collect(const std::string& folder, FileSystem& fs, std::vector<DropPath>& found) {
    Result<std::vector<FolderEntry>> entries = fs.ListFolder(folder);
    if (!entries) {
        found.push_back({folder, entries.error().As("cannot be read")});
        return;
    }
    for (const FolderEntry& entry : *entries) {
        switch (entry.kind) {
            case FolderEntry::Kind::Folder: Collect(Join(folder, entry.name), fs, found); break;
            case FolderEntry::Kind::LinkToFolder: break;  // neither entered nor listed
            case FolderEntry::Kind::File:
            case FolderEntry::Kind::Other: found.push_back({Join(folder, entry.name), {}}); break;
        }
    }
}

}  // namespace

std::vector<DropPath> ExpandFolders(const std::vector<std::string>& paths, FileSystem& fs) {
    std::vector<DropPath> result;
    for (const std::string& path : paths) {
        if (path.empty() || fs.Status(path).kind != FileKind::Directory) {
            result.push_back({path, {}});
            continue;
        }
        std::vector<DropPath> found;
        Collect(path, fs, found);
        // std::string compares like memcmp: a bytewise order, whatever the locale.
        std::sort(found.begin(), found.end(),
                  [](const DropPath& a, const DropPath& b) { return a.path < b.path; });
        result.insert(result.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    }
    return result;
}

}  // namespace pemberlock
