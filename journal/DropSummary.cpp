// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/DropSummary.h"

#include "journal/Manifest.h"

namespace pemberlock {
namespace {

constexpr std::string_view kMagic = "pemberlock-summary 1 ";

std::string StateText(const DropSummary& summary) {
    using State = DropSummary::State;
    switch (summary.state) {
        case State::Done: return "done";
        case State::Undone: return "undone";
        case State::PartlyUndone: return "partly-undone " + std::to_string(summary.notRestored);
        case State::PartlyRedone: return "partly-redone " + std::to_string(summary.notRestored);
        case State::PartlyRecorded: return "partly-recorded";
        case State::Damaged: break;
    }
    // On one line whatever the system's reason said.
    std::string damage = summary.damage;
    for (char& c : damage) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return "damaged " + damage;
}

bool ReadState(std::string_view text, DropSummary& summary) {
    using State = DropSummary::State;
    const std::string_view word = NextField(text);
    if (word == "damaged" && !text.empty()) {
        summary.state = State::Damaged;
        summary.damage = std::string(text);
        return true;
    }
    if (word == "partly-undone" || word == "partly-redone") {
        summary.state = word == "partly-undone" ? State::PartlyUndone : State::PartlyRedone;
        return ReadNumber(text, summary.notRestored);
    }
    if (!text.empty()) return false;
    if (word == "done")
        summary.state = State::Done;
    else if (word == "undone")
        summary.state = State::Undone;
    else if (word == "partly-recorded")
        summary.state = State::PartlyRecorded;
    else
        return false;
    return true;
}

bool ReadStamp(std::string_view text, std::optional<ManifestStamp>& stamp) {
    if (text == "-") return true;
    const std::size_t colon = text.find(':');
    ManifestStamp read;
    if (colon == std::string_view::npos || !ReadNumber(text.substr(0, colon), read.size)) {
        return false;
    }
    const std::optional<ContentDigest> digest = ContentDigest::FromHex(text.substr(colon + 1));
    if (!digest) return false;
    read.digest = *digest;
    stamp = read;
    return true;
}

}  // namespace

std::string SummaryLine(const DropSummary& summary) {
    const std::string manifest = summary.manifest ? std::to_string(summary.manifest->size) + ":" +
                                                        summary.manifest->digest.Hex()
                                                  : "-";
    return Checked(std::string(kMagic) + std::to_string(summary.patches) + " " +
                   std::to_string(summary.started) + " " + std::to_string(summary.held) + " " +
                   manifest + " " + StateText(summary));
}

std::optional<DropSummary> ParseSummary(std::string_view text) {
    if (!text.ends_with('\n')) return std::nullopt;
    text.remove_suffix(1);
    std::optional<std::string_view> line = WithoutCheck(text);
    if (!line || !line->starts_with(kMagic)) return std::nullopt;
    line->remove_prefix(kMagic.size());
    DropSummary summary;
    if (!ReadNumber(NextField(*line), summary.patches) ||
        !ReadNumber(NextField(*line), summary.started) ||
        !ReadNumber(NextField(*line), summary.held) ||
        !ReadStamp(NextField(*line), summary.manifest) || !ReadState(*line, summary)) {
        return std::nullopt;
    }
    return summary;
}

}  // namespace pemberlock
