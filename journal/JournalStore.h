// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"
#include "journal/Manifest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pemberlock {

// The journal's folder on disk: one folder per drop, named by a number that
// grows with each drop, holding the drop's manifest, the old bytes of each
// patch it replaced (files 1, 2, ...) and, once the drop was undone, a file
// "undone".
class JournalStore {
public:
    static constexpr const char* kManifest = "manifest";
    static constexpr const char* kUndone = "undone";

    JournalStore(FileSystem& fs, std::string folder) : fs_(fs), folder_(std::move(folder)) {}

    const std::string& Folder() const { return folder_; }
    // The folder of drop number, and a file in it.
    std::string DropFolder(std::uint64_t number) const;
    std::string InDrop(std::uint64_t number, const std::string& name) const;

    // The numbers of the drops kept, newest first; none when the journal's
    // folder does not exist yet.
    Result<std::vector<std::uint64_t>> Drops();
    // Makes the journal's folder and its parents where missing.
    Result<> Make();
    // Makes the journal's folder and its parents where missing, and in it a
    // folder for a new drop, newer than any other.
    Result<std::uint64_t> NewDrop();
    // Removes all but the newest `keep` drops, as far as it can.
    void Prune(std::size_t keep);
    Result<Manifest> ReadManifest(std::uint64_t number);
    bool Undone(std::uint64_t number);
    Result<> MarkUndone(std::uint64_t number, std::int64_t when);

private:
    Result<> MakeFolders(const std::string& folder);
    void RemoveDrop(std::uint64_t number);

    FileSystem& fs_;
    std::string folder_;
};

// Reads the whole file at path.
Result<std::string> ReadWholeFile(FileSystem& fs, const std::string& path);

// The time now, in seconds since 1970-01-01 UTC.
std::int64_t SecondsNow();

}  // namespace pemberlock
