// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/ContentHash.h"
#include "fileio/FileSystem.h"

#include <cstdint>
#include <string>

namespace pemberlock {

// Keeps what a drop replaces, so that the drop can be taken back. A drop
// calls it before each rename, from the thread that runs the drop.
class DropJournal {
public:
    virtual ~DropJournal() = default;
    // target, whose status is old, is about to be replaced by a file of
    // newSize bytes with digest newDigest: keep its old bytes and record
    // both before returning. A journal that fails keeps failing and says so
    // itself; the drop goes on without it.
    virtual void BeforeReplace(const std::string& target, const FileStatus& old,
                               std::uint64_t newSize, const ContentDigest& newDigest) = 0;
};

}  // namespace pemberlock
