// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/ContentHash.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// One patch a drop replaced, as the drop's manifest records it.
struct ManifestEntry {
    std::string path;           // absolute: the file a link named, not the link
    std::string kept;           // the file in the drop's folder that holds its old bytes
    bool linked = false;        // kept as a second name of the old file rather than a copy
    std::uint64_t newSize = 0;  // what the drop wrote in its place
    ContentDigest newDigest;
};

// What a drop's manifest says: when it started and what it replaced.
struct Manifest {
    std::int64_t started = 0;  // seconds since 1970-01-01 UTC
    std::vector<ManifestEntry> entries;
};

// The manifest is text, one record a line, written as the drop goes:
//
//   pemberlock-journal 1
//   started 1796640036
//   replaced 3712 0f3c...(32 hex digits) 1 link /home/ana/patches/bass.pch
//
// A path is the rest of its line, with '%' and control characters written
// as %XX, so that any name fits on one line.

// The first lines of a manifest.
std::string ManifestHeader(std::int64_t started);
// The line of one entry, LF included.
std::string ManifestLine(const ManifestEntry& entry);
// Reads a manifest. A last line without its LF (a drop killed while writing
// it) and lines of kinds unknown to this version are left out. Fails on a
// manifest of another format or version.
Result<Manifest> ParseManifest(std::string_view text);

}  // namespace pemberlock
