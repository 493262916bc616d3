// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "drop/PatchDrop.h"
#include "fileio/FileSystem.h"
#include "map/KnobControllerMap.h"

#include <ostream>
#include <string>

namespace pemberlock::cli {

// "warning: knobs 1 and 18 share controller 51", one line on err for each
// warning about map (see FindMapWarnings).
void PrintMapWarnings(const KnobControllerMap& map, std::ostream& err);

// Says on err why each path of a drop failed, as "PATH: REASON", right
// after its "Error!" line; the batch log itself has no room for reasons.
class FailureReasons final : public DropObserver {
public:
    explicit FailureReasons(std::ostream& err) : err_(err) {}
    void PathDone(const DropPathResult& result, std::uint64_t handled,
                  std::uint64_t total) override;

private:
    std::ostream& err_;
};

}  // namespace pemberlock::cli
