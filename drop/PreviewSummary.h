// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropReportRows.h"
#include "drop/PatchDrop.h"
#include "map/KnobControllerMap.h"
#include "patch/RewriteReport.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pemberlock {

// What the panel knobs do across the patches of a preview (or a drop): for
// each knob, in how many patches it controls anything, and what it controls
// most often, counted by module type and parameter ("OscA › freq coarse"),
// since each patch names its modules its own way. A key that names nothing
// counts under its own words ("1 9 0 (unknown: …)"). What it keeps grows
// with the different things counted, never with the number of patches.
//
// As an observer it counts each result as the drop passes it on, from the
// drop's thread; read it once the drop has ended.
class PreviewSummary final : public DropObserver {
public:
    static constexpr int kKnobCount = KnobControllerMap::kKnobCount;
    // The things named after "mostly".
    static constexpr std::size_t kMostShown = 3;

    explicit PreviewSummary(DropObserver* next = nullptr) : next_(next) {}

    void PathDone(const DropPathResult& result, std::uint64_t handled,
                  std::uint64_t total) override;
    void Ended(std::uint64_t handled, std::uint64_t total) override {
        if (next_) next_->Ended(handled, total);
    }
    // A path's result: a patch rewritten with its report counts; any other
    // path is no patch of the preview.
    void Add(const DropPathResult& result);
    // A row of a report, likewise.
    void AddRow(const DropReportRows& rows, std::size_t row);

    std::uint64_t Patches() const { return patches_; }
    // In how many patches knob (0..17) controls anything.
    std::uint64_t PatchesUsing(int knob) const;
    // What knob (0..17) controls most often and in how many patches, most
    // first, ties in the order of their words; at most kMostShown.
    std::vector<std::pair<std::string, std::uint64_t>> Most(int knob) const;
    // A line per knob: "Knob 1: used in 312 of 340 patches; mostly OscA ›
    // freq coarse (120), Morph 1 (88)", "Knob 5: used in 0 of 340 patches".
    std::vector<std::string> Lines() const;

private:
    struct Knob {
        std::uint64_t patches = 0;
        std::map<std::string, std::uint64_t, std::less<>> things;  // by its words
    };
    void AddPatch(const RewriteReport& report);

    DropObserver* next_;
    std::uint64_t patches_ = 0;
    std::array<Knob, kKnobCount> knobs_;
};

}  // namespace pemberlock
