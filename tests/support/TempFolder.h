// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/Utf8Path.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace pemberlock::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("pemberlock-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // A path below the folder, in UTF-8 like every path the program takes.
    std::string Path(std::string_view name) const {
        return Utf8FromPath(path_ / PathFromUtf8(name));
    }
    const std::filesystem::path& Root() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes a symbolic link, which on Windows needs a privilege that a test may
// not have (and Wine offers none). Empty when it worked, else why not.
inline std::string CannotLink(const std::filesystem::path& target,
                              const std::filesystem::path& link, bool toFolder = false) {
    std::error_code error;
    if (toFolder) {
        std::filesystem::create_directory_symlink(target, link, error);
    } else {
        std::filesystem::create_symlink(target, link, error);
    }
    return error ? "symbolic links cannot be made here: " + error.message() : std::string();
}

// Joins lines, each followed by CR LF.
inline std::string CrLfLines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace pemberlock::test
