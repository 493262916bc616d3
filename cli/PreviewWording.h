// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drop/DropBatch.h"

namespace pemberlock::cli {

// The words of a dry run: "Would rewrite PATH:" and the patch's text (the
// new controller section and what it holds), or "PATH would fail: REASON";
// then "S of T files would be rewritten.", "K files skipped.", "E would fail.".
class PreviewWording final : public BatchWording {
public:
    std::string Starting(const std::string& path) const override;
    std::string Finished(const std::string& path,
                         const Result<std::string>& outcome) const override;
    std::string Summary(const BatchSummary& summary) const override;
};

}  // namespace pemberlock::cli
