// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropReportRows.h"
#include "drop/PatchDrop.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace pemberlock {

// Keeps the report of the drop it watches (which must ask for
// DropOptions::reportRewrites), and passes each result on to next.
class DropReportCollector final : public DropObserver {
public:
    // preview: the drop watched is a preview (DropOptions::preview).
    explicit DropReportCollector(DropObserver* next = nullptr, bool preview = false)
        : next_(next), rows_(preview) {}

    void PathDone(const DropPathResult& result, std::uint64_t handled,
                  std::uint64_t total) override;
    void Ended(std::uint64_t handled, std::uint64_t total) override;
    // The report, once the drop has ended (a stopped one says so); the
    // collector is left empty.
    DropReportRows TakeRows();

private:
    DropObserver* next_;
    mutable std::mutex mutex_;  // the drop's thread adds, another may read
    DropReportRows rows_;
    std::uint64_t handled_ = 0;
    std::uint64_t total_ = 0;
};

// What a drop of paths with map would do, as a report; nothing is written.
DropReportRows PreviewDropReport(const std::vector<std::string>& paths,
                                 const KnobControllerMap& map, FileSystem& fs = RealFileSystem());

}  // namespace pemberlock
