// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/Manifest.h"

#include "fileio/Utf8Path.h"

#include <cstdio>
#include <optional>

namespace pemberlock {
namespace {

constexpr std::string_view kMagic = "pemberlock-journal ";
constexpr int kVersion = 2;
constexpr std::size_t kCheckDigits = 8;

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

std::string Check(std::string_view text) { return DigestOf(text).Hex().substr(0, kCheckDigits); }

// A manifest names only patches, by absolute path, and keeps their old bytes
// only in plain numbered files of its own folder: anything else is not what
// a drop wrote, and is never followed. "pch" in any case: resolving links on
// a file system that ignores case gives the name as it is on the disk.
bool PlausiblePath(const std::string& path) {
    if (path.size() < 3 || path.find('\0') != std::string::npos) return false;
    std::string end = path.substr(path.size() - 3);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == "pch" && PathFromUtf8(path).is_absolute();
}

bool PlausibleKept(std::string_view kept) {
    std::uint64_t number = 0;
    return ReadNumber(kept, number) && kept.front() != '0' &&
           kept.find_first_not_of("0123456789") == std::string_view::npos;
}

bool ReadDigest(std::string_view text, ContentDigest& digest) {
    const std::optional<ContentDigest> read = ContentDigest::FromHex(text);
    if (read) digest = *read;
    return read.has_value();
}

bool ReadPath(std::string_view text, ManifestEntry& entry) {
    std::optional<std::string> path = UnescapePath(text);
    if (!path || !PlausiblePath(*path)) return false;
    entry.path = std::move(*path);
    return true;
}

// Version 1: "SIZE DIGEST KEPT HOW PATH", after "replaced ".
std::optional<ManifestEntry> ReadEntry1(std::string_view fields) {
    ManifestEntry entry;
    if (!ReadNumber(NextField(fields), entry.newSize)) return std::nullopt;
    if (!ReadDigest(NextField(fields), entry.newDigest)) return std::nullopt;
    entry.kept = std::string(NextField(fields));
    const std::string_view how = NextField(fields);
    if (!PlausibleKept(entry.kept) || (how != "link" && how != "copy")) return std::nullopt;
    entry.linked = how == "link";
    if (!ReadPath(fields, entry)) return std::nullopt;
    return entry;
}

// Version 2: "NEWSIZE NEWDIGEST OLDSIZE OLDDIGEST DEVICE INODE KEPT PATH".
std::optional<ManifestEntry> ReadEntry2(std::string_view fields) {
    ManifestEntry entry;
    entry.checked = true;
    if (!ReadNumber(NextField(fields), entry.newSize) ||
        !ReadDigest(NextField(fields), entry.newDigest) ||
        !ReadNumber(NextField(fields), entry.oldSize) ||
        !ReadDigest(NextField(fields), entry.oldDigest) ||
        !ReadNumber(NextField(fields), entry.device) ||
        !ReadNumber(NextField(fields), entry.inode)) {
        return std::nullopt;
    }
    entry.kept = std::string(NextField(fields));
    if (!PlausibleKept(entry.kept) || !ReadPath(fields, entry)) return std::nullopt;
    return entry;
}

// One line of version 1, which had no checks; false when it is malformed.
bool ReadLine1(std::string_view line, Manifest& manifest) {
    const std::string_view kind = NextField(line);
    if (kind == "started") return ReadNumber(line, manifest.started);
    if (kind != "replaced") return true;  // of a kind this version did not know
    std::optional<ManifestEntry> entry = ReadEntry1(line);
    if (!entry) return false;
    manifest.entries.push_back(std::move(*entry));
    return true;
}

// One line of version 2, its check already taken off; false when it is
// malformed or out of place.
bool ReadLine2(std::string_view line, std::size_t number, Manifest& manifest) {
    const std::string_view kind = NextField(line);
    auto& entries = manifest.entries;
    if (number == 2) return kind == "started" && ReadNumber(line, manifest.started);
    if (kind == "incomplete") {
        manifest.incomplete = true;
        return line.empty();
    }
    if (manifest.ended) return false;
    if (kind == "replaced") {
        std::optional<ManifestEntry> entry = ReadEntry2(line);
        if (!entry || entry->kept != std::to_string(entries.size() + 1)) return false;
        entries.push_back(std::move(*entry));
        return true;
    }
    if (kind == "not-replaced") {
        // Said right after its entry, once.
        if (entries.empty() || !entries.back().replaced || line != entries.back().kept) {
            return false;
        }
        entries.back().replaced = false;
        return true;
    }
    std::size_t count = 0;
    if (kind == "ended" && ReadNumber(line, count) && count == entries.size()) {
        manifest.ended = true;
        return true;
    }
    return false;
}

}  // namespace

std::string Checked(const std::string& text) { return text + " " + Check(text) + "\n"; }

std::string_view NextField(std::string_view& line) {
    const std::size_t space = line.find(' ');
    const std::string_view field = line.substr(0, space);
    line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
    return field;
}

std::optional<std::string_view> WithoutCheck(std::string_view line) {
    const std::size_t space = line.rfind(' ');
    if (space == std::string_view::npos || line.size() - space - 1 != kCheckDigits) {
        return std::nullopt;
    }
    const std::string_view text = line.substr(0, space);
    if (line.substr(space + 1) != Check(text)) return std::nullopt;
    return text;
}

std::string ManifestHeader(std::int64_t started) {
    return std::string(kMagic) + std::to_string(kVersion) + "\n" +
           Checked("started " + std::to_string(started));
}

std::string ManifestLine(const ManifestEntry& entry) {
    return Checked("replaced " + std::to_string(entry.newSize) + " " + entry.newDigest.Hex() + " " +
                   std::to_string(entry.oldSize) + " " + entry.oldDigest.Hex() + " " +
                   std::to_string(entry.device) + " " + std::to_string(entry.inode) + " " +
                   entry.kept + " " + EscapePath(entry.path));
}

std::string NotReplacedLine(const std::string& kept) { return Checked("not-replaced " + kept); }

std::string IncompleteLine() { return Checked("incomplete"); }

std::string EndedLine(std::size_t entries) { return Checked("ended " + std::to_string(entries)); }

Result<Manifest> ParseManifest(std::string_view text) {
    if (text.empty()) return Error{"empty"};
    Manifest manifest;
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::size_t number = ++manifest.lines;
        if (number == 1) {
            if (!line.starts_with(kMagic)) return Error{"", 1};
            const std::string_view version = line.substr(kMagic.size());
            if (version != "1" && version != "2") return Error{"format unknown to this version"};
            manifest.version = version == "1" ? 1 : 2;
            continue;
        }
        if (manifest.version == 1) {
            if (!ReadLine1(line, manifest)) return Error{"", number};
            continue;
        }
        const std::optional<std::string_view> checked = WithoutCheck(line);
        if (!checked || !ReadLine2(*checked, number, manifest)) return Error{"", number};
    }
    if (manifest.lines == 0) return Error{"", 1};
    if (manifest.version == 2 && manifest.lines < 2) return Error{"", 2};
    return manifest;
}

}  // namespace pemberlock
