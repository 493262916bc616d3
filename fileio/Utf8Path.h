// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pemberlock {

// Paths are UTF-8 text everywhere in the program. std::filesystem reads a
// char string in the system's narrow encoding, which on Windows is a legacy
// code page, so paths cross into and out of it through these two.

inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace pemberlock
