// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/ContentHash.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pemberlock {

// A manifest as it was when a summary was made of it.
struct ManifestStamp {
    std::uint64_t size = 0;
    ContentDigest digest;
    friend bool operator==(const ManifestStamp&, const ManifestStamp&) = default;
};

// What a drop's record says and what became of the drop, in one line kept
// beside its manifest (file "summary"), so that the window can tell whether
// there is anything to undo, and --history list the drops, without reading
// every manifest (a drop of 10,000 patches has a manifest of about 2 MB).
// Written when the drop's record is finished and again whenever an undo
// marks the drop. Only a hint: a summary that is damaged, missing or that
// disagrees with the drop's marks or manifest is passed over, and the
// manifest read as before.
struct DropSummary {
    enum class State { Done, Undone, PartlyUndone, PartlyRecorded, Damaged, PartlyRedone };

    std::size_t patches = 0;   // replaced
    std::int64_t started = 0;  // seconds since 1970-01-01 UTC
    // The bytes of the drop's kept files that the journal alone holds, when
    // the summary was made.
    std::uint64_t held = 0;
    State state = State::Done;
    // PartlyUndone, PartlyRedone: how many the last undo or redo left (0:
    // unknown).
    std::uint64_t notRestored = 0;
    std::string damage;                     // Damaged: where, as DropRecord::damage
    std::optional<ManifestStamp> manifest;  // none: the drop had no manifest

    // A drop that replaced nothing, as DropRecord::Empty.
    bool Empty() const {
        return patches == 0 && state != State::PartlyRecorded && state != State::Damaged;
    }
};

// The summary's one line, LF included, checked as the manifest's lines are:
//
//   pemberlock-summary 1 PATCHES STARTED HELD MANIFESTSIZE:DIGEST STATE CHECK
//
// STATE is "done", "undone", "partly-undone N", "partly-redone N",
// "partly-recorded" or "damaged WHERE"; the manifest "-" when there was
// none. (A release before redo passes over a "partly-redone" summary, as
// over any it cannot read.)
std::string SummaryLine(const DropSummary& summary);
// nullopt for anything but such a line.
std::optional<DropSummary> ParseSummary(std::string_view text);

}  // namespace pemberlock
