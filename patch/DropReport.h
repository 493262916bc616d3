// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"
#include "patch/PatchDrop.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace pemberlock {

// The report of a drop, or of a preview of one, for people: a summary, then
// per path its outcome, the reason when it failed, and for each patch
// rewritten what its new controller section holds (see FormatRewriteReport):
//
//   2 files: 1 rewritten, 0 skipped, 1 failed.
//
//   /home/ana/bass.pch: rewritten
//     knob 1, controller 101: parameter 1 3 1
//   /home/ana/pad.pch: failed: line 2: knob 99 is not a knob
class DropReportText {
public:
    // A preview's words: "would be rewritten", "would fail".
    explicit DropReportText(bool preview) : preview_(preview) {}

    void Add(const DropPathResult& result);
    // The paths a stopped drop never reached.
    void SetNotProcessed(std::uint64_t notProcessed, std::uint64_t total);
    // The whole text, a summary first; what was added goes with it.
    std::string Take() &&;

private:
    bool preview_;
    std::uint64_t rewritten_ = 0;
    std::uint64_t skipped_ = 0;
    std::uint64_t failed_ = 0;
    std::uint64_t notProcessed_ = 0;
    std::uint64_t total_ = 0;
    std::string body_;
};

// Keeps the report of the drop it watches (which must ask for
// DropOptions::reportRewrites), and passes each result on to next.
class DropReportCollector final : public DropObserver {
public:
    explicit DropReportCollector(DropObserver* next = nullptr) : next_(next) {}

    void PathDone(const DropPathResult& result, std::uint64_t handled,
                  std::uint64_t total) override;
    // The report, once the drop has ended (a stopped one says so); the
    // collector is left empty.
    std::string TakeText();

private:
    DropObserver* next_;
    mutable std::mutex mutex_;  // the drop's thread adds, another may read
    DropReportText text_{false};
    std::uint64_t handled_ = 0;
    std::uint64_t total_ = 0;
};

// What a drop of paths with map would do, as a report; nothing is written.
std::string PreviewDropReport(const std::vector<std::string>& paths, const KnobControllerMap& map,
                              FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
