// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/PreviewSummary.h"

#include "patch/PatchKnobs.h"

#include <algorithm>
#include <set>

namespace pemberlock {

void PreviewSummary::PathDone(const DropPathResult& result, std::uint64_t handled,
                              std::uint64_t total) {
    Add(result);
    if (next_) next_->PathDone(result, handled, total);
}

void PreviewSummary::Add(const DropPathResult& result) {
    if (result.kind != DropPathResult::Kind::Rewritten) return;
    AddPatch(result.report ? *result.report : RewriteReport{});
}

void PreviewSummary::AddRow(const DropReportRows& rows, std::size_t row) {
    if (rows.OutcomeOf(row) != DropReportRows::Outcome::Rewritten) return;
    AddPatch(rows.ReportOf(row));
}

void PreviewSummary::AddPatch(const RewriteReport& report) {
    ++patches_;
    for (int knob = 0; knob < kKnobCount; ++knob) {
        const std::vector<std::string_view> keys = KeysOnKnob(report, knob);
        if (keys.empty()) continue;
        Knob& counts = knobs_[static_cast<std::size_t>(knob)];
        ++counts.patches;
        // Two oscillators of one type on a knob are one patch for that thing.
        std::set<std::string> things;
        for (const std::string_view key : keys) {
            things.insert(TargetOf(key, report.NameOf(key)).Text());
        }
        for (const std::string& thing : things) ++counts.things[thing];
    }
}

std::uint64_t PreviewSummary::PatchesUsing(int knob) const {
    return knobs_[static_cast<std::size_t>(knob)].patches;
}

std::vector<std::pair<std::string, std::uint64_t>> PreviewSummary::Most(int knob) const {
    const auto& things = knobs_[static_cast<std::size_t>(knob)].things;
    std::vector<std::pair<std::string, std::uint64_t>> most(things.begin(), things.end());
    // The map gives them in the order of their words; a stable sort keeps
    // that order among equal counts.
    std::stable_sort(most.begin(), most.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (most.size() > kMostShown) most.resize(kMostShown);
    return most;
}

std::vector<std::string> PreviewSummary::Lines() const {
    std::vector<std::string> lines;
    const std::string of =
        " of " + std::to_string(patches_) + (patches_ == 1 ? " patch" : " patches");
    for (int knob = 0; knob < kKnobCount; ++knob) {
        std::string line = "Knob " + std::to_string(knob + 1) + ": used in " +
                           std::to_string(PatchesUsing(knob)) + of;
        const auto most = Most(knob);
        for (std::size_t i = 0; i < most.size(); ++i) {
            line += i == 0 ? "; mostly " : ", ";
            line += most[i].first + " (" + std::to_string(most[i].second) + ")";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace pemberlock
