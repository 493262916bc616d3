// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/Manifest.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace pemberlock {
namespace {

constexpr std::string_view kMagic = "pemberlock-journal ";
constexpr std::string_view kVersion = "1";

bool Escaped(unsigned char c) { return c < 0x20 || c == 0x7f || c == '%'; }

std::string EscapePath(std::string_view path) {
    std::string text;
    text.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (Escaped(byte)) {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            text += code;
        } else {
            text += c;
        }
    }
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> UnescapePath(std::string_view text) {
    std::string path;
    path.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            path += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

// The next field of line, up to a space; line keeps what follows the space.
std::string_view NextField(std::string_view& line) {
    const std::size_t space = line.find(' ');
    const std::string_view field = line.substr(0, space);
    line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
    return field;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "SIZE DIGEST KEPT HOW PATH", after "replaced ".
std::optional<ManifestEntry> ReadEntry(std::string_view fields) {
    ManifestEntry entry;
    if (!ReadNumber(NextField(fields), entry.newSize)) return std::nullopt;
    const std::optional<ContentDigest> digest = ContentDigest::FromHex(NextField(fields));
    if (!digest) return std::nullopt;
    entry.newDigest = *digest;
    entry.kept = std::string(NextField(fields));
    const std::string_view how = NextField(fields);
    if (entry.kept.empty() || (how != "link" && how != "copy")) return std::nullopt;
    entry.linked = how == "link";
    std::optional<std::string> path = UnescapePath(fields);
    if (!path || path->empty()) return std::nullopt;
    entry.path = std::move(*path);
    return entry;
}

}  // namespace

std::string ManifestHeader(std::int64_t started) {
    return std::string(kMagic) + std::string(kVersion) + "\nstarted " + std::to_string(started) +
           "\n";
}

std::string ManifestLine(const ManifestEntry& entry) {
    return "replaced " + std::to_string(entry.newSize) + " " + entry.newDigest.Hex() + " " +
           entry.kept + (entry.linked ? " link " : " copy ") + EscapePath(entry.path) + "\n";
}

Result<Manifest> ParseManifest(std::string_view text) {
    Manifest manifest;
    bool first = true;
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (first) {
            if (line.substr(0, kMagic.size()) != kMagic) return Error{"is not a drop's manifest"};
            if (line.substr(kMagic.size()) != kVersion) {
                return Error{"was written in a format this version does not read"};
            }
            first = false;
            continue;
        }
        const std::string_view kind = NextField(line);
        if (kind == "started" && !ReadNumber(line, manifest.started)) {
            return Error{"has a malformed start time"};
        }
        if (kind != "replaced") continue;
        std::optional<ManifestEntry> entry = ReadEntry(line);
        if (!entry) return Error{"has a malformed entry"};
        manifest.entries.push_back(std::move(*entry));
    }
    if (first) return Error{"is empty"};
    return manifest;
}

}  // namespace pemberlock
