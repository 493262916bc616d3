// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pemberlock::bench {

// The benchmark's own folder, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& parent);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The generated patches, in memory and as files, in the order written.
struct Library {
    std::vector<std::string> paths;
    std::vector<std::string> patches;
    std::uint64_t bytes = 0;
};

// Writes files generated patches into folder, which must exist, and pushes
// them to the disk, so that the measures start from a quiet disk.
Library WriteLibrary(const std::string& folder, std::uint64_t seed, std::size_t files);

// The kind of file system path is on, for the report.
std::string FileSystemName(const std::string& path);

}  // namespace pemberlock::bench
