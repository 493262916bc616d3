// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/ContentHash.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// One patch a drop replaced, as the drop's manifest records it.
struct ManifestEntry {
    std::string path;           // absolute: the file a link named, not the link
    std::string kept;           // the file in the drop's folder that holds its old bytes
    bool linked = false;        // version 1: kept as a second name of the old file
    std::uint64_t newSize = 0;  // what the drop wrote in its place
    ContentDigest newDigest;
    // From version 2 on: the path has every link resolved, and the old
    // bytes' size and digest and the file the drop left are recorded.
    bool checked = false;
    std::uint64_t oldSize = 0;
    ContentDigest oldDigest;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool replaced = true;  // false: the drop's rename did not take place
};

// What a drop's manifest says: when it started and what it replaced.
struct Manifest {
    int version = 0;
    std::int64_t started = 0;  // seconds since 1970-01-01 UTC
    std::vector<ManifestEntry> entries;
    bool ended = false;       // the drop ended and its record is whole
    bool incomplete = false;  // recording failed part-way
    std::size_t lines = 0;    // the whole lines read
};

// The manifest is text, one record a line, written as the drop goes.
// Version 2:
//
//   pemberlock-journal 2
//   started 1796640036 CHECK
//   replaced NEWSIZE NEWDIGEST OLDSIZE OLDDIGEST DEVICE INODE 1 /home/ana/patches/bass.pch CHECK
//   not-replaced 1 CHECK       the rename announced by entry 1 did not take place
//   incomplete CHECK           recording failed: the patches replaced after this are not in it
//   ended 1 CHECK              the drop ended, having recorded 1 entry
//
// DIGESTs are 32 hexadecimal digits, CHECK the first 8 of the digest of the
// rest of its line, so that a line changed by even one digit is seen. Entry
// i's old bytes are in file i of the drop's folder. A path is absolute and
// ends in "pch", with '%' and control characters written as %XX so that any
// name fits on one line.
//
// Version 1 (still read): "replaced NEWSIZE NEWDIGEST KEPT link|copy PATH",
// no checks and no end.

// The first lines of a manifest.
std::string ManifestHeader(std::int64_t started);
// The line of one entry, LF included.
std::string ManifestLine(const ManifestEntry& entry);
// The lines that say entry `kept` was not replaced, that recording failed,
// and that the drop ended with `entries` entries.
std::string NotReplacedLine(const std::string& kept);
std::string IncompleteLine();
std::string EndedLine(std::size_t entries);

// text as a line with its check, LF included; and a line's text (LF left
// off) without its check, nullopt when the check is missing or wrong. The
// journal's other small files are checked the same way.
std::string Checked(const std::string& text);
std::optional<std::string_view> WithoutCheck(std::string_view line);

// The fields of such a line, for the manifest and the journal's other small
// files alike. The next field of line, up to a space; line keeps what
// follows the space.
std::string_view NextField(std::string_view& line);
// A field that is a whole decimal number (a signed one may start with
// '-'), with nothing before or after it.
template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Reads a manifest. A last line without its LF (a drop killed while writing
// it) is left out; whether that loses an entry is for the caller to judge,
// from the kept files. Fails on anything else that is not as written: the
// Error says where (its line, or "empty", or "format unknown to this
// version").
Result<Manifest> ParseManifest(std::string_view text);

}  // namespace pemberlock
