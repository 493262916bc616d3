// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/ChunkedReader.h"
#include "fileio/FileSystem.h"
#include "journal/DropSummary.h"
#include "journal/JournalLimit.h"
#include "journal/Manifest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

struct DropOrigin {
    std::string program;
    std::string folder;
};

// A drop's record as read back, and whether it can be trusted.
struct DropRecord {
    Manifest manifest;
    std::int64_t started = 0;  // seconds since 1970-01-01 UTC
    // Where the record is damaged ("line 12", "empty", "cut short after
    // line 9", "no manifest"); empty when it is sound.
    std::string damage;
    bool partlyRecorded = false;  // recording failed part-way through the drop

    // The patches it replaced, as far as its record tells.
    std::size_t Replaced() const;
    // A drop that replaced nothing: there is nothing to undo or to tell.
    bool Empty() const { return damage.empty() && !partlyRecorded && Replaced() == 0; }
};

// A drop kept, and the bytes of its kept files that the journal alone holds.
struct HeldDrop {
    std::uint64_t number = 0;
    std::uint64_t held = 0;
};

// The journal's folder on disk: one folder per drop, named by a number that
// grows with each drop, holding the drop's manifest, the old bytes of each
// patch it replaced (files 1, 2, ...), its summary (see DropSummary), a
// file "incomplete" when recording failed and the manifest could not say
// so, and, once the drop was undone, a file "undone" (or "not-restored",
// holding how many patches were not, when an undo left some as they were);
// a redo that left some, or is under way, puts "not-redone" in their place,
// and one that redid them all removes them: the drop is done again.
// Beside the drops, the file "limit" holds the limit set by --journal-limit.
//
// The journal is refused when its folder belongs to another user than the
// one running the program: its manifests name the files an undo writes.
class JournalStore {
public:
    static constexpr const char* kManifest = "manifest";
    static constexpr const char* kUndone = "undone";
    static constexpr const char* kIncomplete = "incomplete";
    static constexpr const char* kNotRestored = "not-restored";
    static constexpr const char* kNotRedone = "not-redone";
    static constexpr const char* kSummary = "summary";
    static constexpr const char* kOrigin = "origin";
    static constexpr const char* kLimit = "limit";
    // Appended to a kept file's name: the patch's rewritten bytes, kept
    // there once the drop is undone.
    static constexpr const char* kRewritten = ".rewritten";

    JournalStore(FileSystem& fs, std::string folder) : fs_(fs), folder_(std::move(folder)) {}

    const std::string& Folder() const { return folder_; }
    // The folder of drop number, and a file in it.
    std::string DropFolder(std::uint64_t number) const;
    std::string InDrop(std::uint64_t number, const std::string& name) const;

    // The numbers of the drops kept, newest first; none when the journal's
    // folder does not exist yet. Fails on a folder that is not the user's.
    Result<std::vector<std::uint64_t>> Drops();
    // Makes the journal's folder and its parents where missing; fails when
    // it is there but not the user's.
    Result<> Make();
    // Makes the journal's folder and its parents where missing, and in it a
    // folder for a new drop, newer than any other.
    Result<std::uint64_t> NewDrop();
    // The drops kept, newest first, with the bytes each holds; `recording`,
    // the drop being recorded, as holding nothing yet.
    std::vector<HeldDrop> Holdings(std::optional<std::uint64_t> recording = {});
    // Removes the oldest of drops (Holdings()) until at most `keep` are left
    // holding at most `limit` bytes together, as far as it can; drops keeps
    // those left. The newest is never removed.
    void Trim(std::vector<HeldDrop>& drops, std::size_t keep, std::uint64_t limit);
    // The limit stored (nullopt: none, or one damaged) and the one in force.
    std::optional<std::uint64_t> StoredLimit();
    JournalLimit Limit();
    // Stores the limit; nullopt: back to the default.
    Result<> StoreLimit(std::optional<std::uint64_t> bytes);
    DropRecord Read(std::uint64_t number);
    bool Undone(std::uint64_t number);
    Result<> MarkUndone(std::uint64_t number, std::int64_t when);
    // How many patches the last undo of the drop left as they were (0 when
    // the mark does not say); nullopt when no undo left any.
    std::optional<std::uint64_t> NotRestored(std::uint64_t number);
    Result<> MarkNotRestored(std::uint64_t number, std::uint64_t count);
    // As NotRestored, for the last redo; while a redo runs, 0.
    std::optional<std::uint64_t> NotRedone(std::uint64_t number);
    // Marks the drop as partly redone (count unknown: 0) in place of any
    // other mark.
    Result<> MarkNotRedone(std::uint64_t number, std::uint64_t count);
    // Removes every undo and redo mark: the drop is done again.
    Result<> MarkRedone(std::uint64_t number);
    // When an undo or redo last marked the drop (ns since 1970, from the
    // marks' second lines); nullopt when none did, and the drop has nothing
    // to redo.
    std::optional<std::int64_t> UndoneAt(std::uint64_t number);

    // The drop's summary; nullopt when there is none, or it is damaged, or
    // its state is not the one the drop's marks tell.
    std::optional<DropSummary> Summary(std::uint64_t number);
    Result<> WriteSummary(std::uint64_t number, const DropSummary& summary);
    // Which program made a drop, and the folder its patches share, for a
    // history to show: only words, never trusted for an undo. Empty where
    // the drop did not say (a release before, a drop killed part-way).
    Result<> WriteOrigin(std::uint64_t number, const DropOrigin& origin);
    DropOrigin Origin(std::uint64_t number);
    // Writes the summary of the drop as its record and marks say now; one
    // that cannot be written is removed rather than left to tell the past.
    void Summarize(std::uint64_t number, const DropRecord& record);
    // The manifest's size and digest as it is now; nullopt when there is none.
    std::optional<ManifestStamp> StampOf(std::uint64_t number);
    // The bytes the drop holds: its summary's while no undo has linked its
    // kept files back to patches, else counted from the files themselves.
    std::uint64_t Held(std::uint64_t number);
    // Counted: the kept files that have no other name.
    std::uint64_t HeldByFiles(std::uint64_t number);

private:
    Result<> CheckOwner();
    Result<> MakeFolders(const std::string& folder);
    // The highest number among the kept files of the drop; 0 when none.
    std::uint64_t LastKept(std::uint64_t number);
    Result<> WriteMark(const std::string& path, const std::string& text);
    // Writes text into path in one step, through a temporary file beside it.
    Result<> WriteWhole(const std::string& path, const std::string& text);
    bool Marked(std::uint64_t number, const char* mark);
    std::optional<std::uint64_t> CountIn(std::uint64_t number, const char* mark);
    void RemoveDrop(std::uint64_t number);

    FileSystem& fs_;
    std::string folder_;
};

// The time now, in seconds since 1970-01-01 UTC.
std::int64_t SecondsNow();

}  // namespace pemberlock
