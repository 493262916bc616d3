// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// The most the journal holds by default, whatever the free space.
inline constexpr std::uint64_t kMostDefaultLimit = 2'000'000'000;

// How many bytes the journal may hold, and where that comes from.
struct JournalLimit {
    std::uint64_t bytes = kMostDefaultLimit;
    bool stored = false;  // set by --journal-limit; else the default
};

// The default: the smaller of kMostDefaultLimit and a tenth of the free
// space (unknown: kMostDefaultLimit), so that a nearly full disk is not
// filled by the journal.
std::uint64_t DefaultLimit(std::optional<std::uint64_t> freeSpace);

// A size as people write it: "500M", "2G", "1.5G", "750k", "123" (bytes);
// units of 1000, a "B" after them allowed ("500MB"), case ignored. nullopt
// for anything else, or for more than 64 bits hold.
std::optional<std::uint64_t> ParseSize(std::string_view text);

// A size as people read it: "512 bytes", "12.3 MB".
std::string SizeText(std::uint64_t bytes);

// Of drops holding held[i] bytes each, newest first, how many the newest
// are that a journal of at most `keep` drops and `limit` bytes keeps: the
// oldest go first, and the newest stays even when it alone is over.
std::size_t DropsKept(const std::vector<std::uint64_t>& held, std::size_t keep,
                      std::uint64_t limit);

// The line of the journal's file "limit", LF included, and its reading
// (nullopt when it is damaged).
std::string LimitLine(std::uint64_t bytes);
std::optional<std::uint64_t> ParseLimitLine(std::string_view text);

}  // namespace pemberlock
