// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/Library.h"

#include "tests/support/PatchGenerator.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <stdlib.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace pemberlock::bench {

TempFolder::TempFolder(const std::string& parent) {
    std::string pattern = parent + "/pemberlock-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder in " + parent);
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

void WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

Library WriteLibrary(const std::string& folder, std::uint64_t seed, std::size_t files) {
    Library library;
    for (std::size_t i = 0; i < files; ++i) {
        char name[64];
        // Real names have blanks in them.
        std::snprintf(name, sizeof name, "/patch %05zu.pch", i);
        library.patches.push_back(test::GenerateLibraryPatch(seed, i));
        library.bytes += library.patches.back().size();
        library.paths.push_back(folder + name);
        WriteWhole(library.paths.back(), library.patches.back());
    }
    ::sync();
    return library;
}

std::string FileSystemName(const std::string& path) {
    struct statfs info {};
    if (::statfs(path.c_str(), &info) != 0) return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0xEF53: return "ext4";
        case 0x01021994: return "tmpfs";
        case 0x58465342: return "xfs";
        case 0x9123683E: return "btrfs";
        case 0x794C7630: return "overlayfs";
        default: {
            char hex[32];
            std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(info.f_type));
            return hex;
        }
    }
}

}  // namespace pemberlock::bench
