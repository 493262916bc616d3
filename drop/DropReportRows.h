// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/PatchDrop.h"
#include "patch/RewriteReport.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// The report of a drop, or of a preview of one: per path its outcome, the
// reason when it failed, and for each patch rewritten what its new
// controller section holds. A library of thousands of patches makes a
// report of megabytes as text, so each path is kept as a few hundred bytes
// packed one after the other, and text is made only for the rows asked for.
//
// As text, a summary, a blank line, then each row's lines:
//
//   2 files: 1 rewritten, 0 skipped, 1 failed.
//
//   /home/ana/bass.pch: rewritten
//     knob 1, controller 101: parameter 1 3 1
//   /home/ana/pad.pch: failed: line 2: knob 99 is not a knob
class DropReportRows {
public:
    enum class Outcome : std::uint8_t { Rewritten, Skipped, Failed };

    // A preview's words: "would be rewritten", "would fail".
    explicit DropReportRows(bool preview = false) : preview_(preview) {}

    void Add(const DropPathResult& result);
    // The paths a stopped drop never reached.
    void SetNotProcessed(std::uint64_t notProcessed, std::uint64_t total);
    // Gives back what growing left spare, once every row is in.
    void ShrinkToFit();

    bool Preview() const { return preview_; }
    // The drop was stopped before it reached every path.
    bool Stopped() const { return notProcessed_ > 0; }
    // How many rows are rewrites.
    std::uint64_t RewrittenCount() const { return counts_[static_cast<int>(Outcome::Rewritten)]; }
    std::size_t Count() const { return starts_.size(); }
    // "3 files: 2 rewritten, 0 skipped, 1 failed.\n", then a "Stopped: …"
    // line when the drop was stopped.
    std::string Summary() const;

    Outcome OutcomeOf(std::size_t row) const;
    std::string_view PathOf(std::size_t row) const;
    // "rewritten", "would fail", "skipped", …, as the row's line says it.
    std::string_view OutcomeWords(std::size_t row) const;
    // Why it failed, or why it was skipped; empty for a rewrite.
    std::string_view ReasonOf(std::size_t row) const;
    // What the rewrite wrote; no sections unless rewritten with a report.
    RewriteReport ReportOf(std::size_t row) const;
    // What knob slot (0..22) of the row's patch controls, named (see
    // WhatKnobControls); empty when nothing, or the row is no rewrite.
    std::string WhatKnobControls(std::size_t row, int slot) const;

    // The row's first line without its line end: "PATH: failed: REASON".
    std::string HeadLine(std::size_t row) const;
    // The row's indented lines (FormatRewriteReport), empty but for a rewrite.
    std::string Detail(std::size_t row) const;
    // The row's lines as the whole text has them.
    void AppendText(std::size_t row, std::string& out) const;
    // The whole report: the summary, a blank line, every row.
    std::string Text() const;

    // What the rows take in memory, the object itself included.
    std::size_t Bytes() const;

private:
    bool preview_;
    std::uint64_t counts_[3] = {};  // by Outcome
    std::uint64_t notProcessed_ = 0;
    std::uint64_t total_ = 0;
    std::string bytes_;                  // every row, packed
    std::vector<std::uint64_t> starts_;  // where each row begins in bytes_
};

}  // namespace pemberlock
