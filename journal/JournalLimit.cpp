// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalLimit.h"

#include "journal/Manifest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>

namespace pemberlock {
namespace {

constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();

// "", "k", "M", "G", "T", each with or without a "B" after it.
std::optional<std::uint64_t> UnitOf(std::string_view suffix) {
    if (suffix.ends_with('B') || suffix.ends_with('b')) suffix.remove_suffix(1);
    if (suffix.empty()) return 1;
    constexpr std::string_view kPrefixes = "kmgt";
    const std::size_t power =
        suffix.size() == 1
            ? kPrefixes.find(static_cast<char>(std::tolower(static_cast<unsigned char>(suffix[0]))))
            : kPrefixes.npos;
    if (power == kPrefixes.npos) return std::nullopt;
    std::uint64_t unit = 1;
    for (std::size_t i = 0; i <= power; ++i) unit *= 1000;
    return unit;
}

}  // namespace

std::uint64_t DefaultLimit(std::optional<std::uint64_t> freeSpace) {
    return freeSpace ? std::min(kMostDefaultLimit, *freeSpace / 10) : kMostDefaultLimit;
}

std::optional<std::uint64_t> ParseSize(std::string_view text) {
    const auto digits = [&text] {
        const std::string_view read = text.substr(0, text.find_first_not_of("0123456789"));
        text.remove_prefix(read.size());
        return read;
    };
    const std::string_view whole = digits();
    std::string_view fraction;
    if (text.starts_with('.')) {
        text.remove_prefix(1);
        fraction = digits();
        if (fraction.empty()) return std::nullopt;
    }
    const std::optional<std::uint64_t> unit = UnitOf(text);
    // A fraction of a byte means nothing.
    if (whole.empty() || !unit || (!fraction.empty() && *unit == 1)) return std::nullopt;
    std::uint64_t number = 0;
    if (std::from_chars(whole.data(), whole.data() + whole.size(), number).ec != std::errc() ||
        number > kMost / *unit) {
        return std::nullopt;
    }
    // Digits of the fraction below a byte are dropped.
    std::uint64_t part = 0;
    std::uint64_t scale = *unit;
    for (const char digit : fraction) {
        scale /= 10;
        part += static_cast<std::uint64_t>(digit - '0') * scale;
    }
    if (number * *unit > kMost - part) return std::nullopt;
    return number * *unit + part;
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr std::array<const char*, 6> kUnits = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    // 999,960 bytes reads "1.0 MB", not "1000.0 kB".
    while (value >= 999.95 && unit + 1 < kUnits.size()) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::size_t DropsKept(const std::vector<std::uint64_t>& held, std::size_t keep,
                      std::uint64_t limit) {
    if (held.empty()) return 0;
    std::size_t kept = 1;
    std::uint64_t total = held.front();
    while (kept < held.size() && kept < keep && total <= limit && held[kept] <= limit - total) {
        total += held[kept];
        ++kept;
    }
    return kept;
}

std::string LimitLine(std::uint64_t bytes) { return Checked("limit " + std::to_string(bytes)); }

std::optional<std::uint64_t> ParseLimitLine(std::string_view text) {
    if (!text.ends_with('\n')) return std::nullopt;
    text.remove_suffix(1);
    const std::optional<std::string_view> line = WithoutCheck(text);
    constexpr std::string_view kWord = "limit ";
    if (!line || !line->starts_with(kWord)) return std::nullopt;
    const std::string_view number = line->substr(kWord.size());
    std::uint64_t bytes = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), bytes);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return bytes;
}

}  // namespace pemberlock
